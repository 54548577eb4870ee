#pragma once

#include "analysis/ProjectManager.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace tarnwick::bench {

// `count` small media files in folders of a thousand under `root`, as a card's clips.
inline QStringList makeMediaFiles(const QString& root, int count) {
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/Card %1").arg(i / 1000);
        if (i % 1000 == 0)
            QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/A%1_C001.mov").arg(i);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("small media", 11);
        paths.append(path);
    }
    return paths;
}

// Every path an unused entry of the manager's list, all of them in the bin.
inline void stageAll(ProjectManager& manager, const QStringList& paths) {
    QList<MediaFile> list;
    QList<RecycleBinItem> bin;
    list.reserve(paths.size());
    bin.reserve(paths.size());
    for (const QString& path : paths) {
        list.append(testing::media(path, 0, MediaFileStatus::inRecycleBin, 11));
        bin.append(testing::binItem(list.last()));
    }
    // A state staged as it is: no follow-up on purpose.
    manager.edit(ProjectManager::ListChange::none).setMediaFiles(list).setRecycleBin(bin);
}

} // namespace tarnwick::bench
