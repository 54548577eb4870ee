#pragma once

#include "actions/CleanupServices.h"
#include "actions/TraceFileWriter.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"
#include "support/DiskFactsLogCapture.h"
#include "support/FaultInjectingFileOperations.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

namespace tarnwick::testing {

// Sets an environment variable while alive.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name) {
        if (qEnvironmentVariableIsSet(name))
            m_old = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

// A manager on temporary stores, a media folder, a temporary home whose Trash the runs use, real
// file operations with injectable faults, and captured log lines.
class CleanupHarness : public ProjectManagerHarness {
public:
    CleanupHarness()
        : audit(dir.filePath(QStringLiteral("store")), nullptr), stats(dir.filePath(QStringLiteral("store"))),
          files(std::make_shared<FaultInjectingFileOperations>()), trace([this] { return traceClock; }) {}

    CleanupServices services() {
        CleanupServices s;
        s.files = files;
        s.auditLog = &audit;
        s.statsManager = &stats;
        s.traceWriter = &trace;
        return s;
    }

    QString mediaPath(const QString& relative) const { return mediaDir.path() + QLatin1Char('/') + relative; }
    QString trashFolder() const { return home.path() + QStringLiteral("/data/Trash"); }

    // A real file of `size` bytes at the media-relative path, and its entry (unused, online).
    MediaFile makeFile(const QString& relative, qint64 size = 4) {
        const QString path = mediaPath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(size, 'm'));
        return media(path, 0, MediaFileStatus::online, size);
    }
    // Puts `entries` in the media list and stages `staged` (as the bin would after adding).
    void stage(const QList<MediaFile>& entries, const QList<MediaFile>& staged) {
        QList<MediaFile> list = entries;
        for (MediaFile& entry : list) {
            for (const MediaFile& s : staged) {
                if (s.path == entry.path)
                    entry.status = MediaFileStatus::inRecycleBin;
            }
        }
        QList<RecycleBinItem> bin;
        for (const MediaFile& s : staged)
            bin.append(binItem(s));
        // A state staged as it is: no follow-up on purpose.
        pm().edit(ProjectManager::ListChange::none).setMediaFiles(list).setRecycleBin(bin);
    }
    const MediaFile* entry(const QString& path) const {
        for (const MediaFile& file : manager->mediaFiles()) {
            if (file.path == path)
                return &file;
        }
        return nullptr;
    }
    QStringList binPaths() const {
        QStringList paths;
        for (const RecycleBinItem& item : manager->recycleBin())
            paths.append(item.mediaFile.path);
        return paths;
    }

    QTemporaryDir mediaDir;
    QTemporaryDir home;
    ScopedEnv homeVar{"HOME", QFile::encodeName(home.path())};
    ScopedEnv dataVar{"XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data"))};
    AuditLogManager audit;
    StatsManager stats;
    std::shared_ptr<FaultInjectingFileOperations> files;
    QDateTime traceClock = QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53));
    TraceFileWriter trace;
    test::DiskFactsLogCapture log;
};

} // namespace tarnwick::testing
