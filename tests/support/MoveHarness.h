#pragma once

#include "actions/MoveToFolderAction.h"
#include "support/CleanupHarness.h"

#include <QFile>
#include <QTemporaryDir>

namespace tarnwick::testing {

// A media harness with an archive folder beside it.
struct MoveHarness : CleanupHarness {
    QTemporaryDir archiveDir;
    QString archive() const { return archiveDir.path(); }
    QString archived(const QString& path) const { return archive() + path; }

    ActionResult moveBin() {
        return QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(pm(), archive(), services()));
    }
    ActionResult moveBinTo(const QString& folder) {
        return QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(pm(), folder, services()));
    }
    ActionResult moveList(const QList<MediaFile>& files) {
        return QCoro::waitFor(MoveToFolderAction::moveFilesToFolder(pm(), files, archive(), services()));
    }
};

inline QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace tarnwick::testing
