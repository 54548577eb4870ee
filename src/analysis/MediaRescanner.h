#pragma once

#include "analysis/FileStatusChecking.h"
#include "analysis/UsageAggregator.h"
#include "model/MediaFile.h"

#include <QHash>
#include <QList>
#include <QUuid>

namespace tarnwick {

// The rescan's pieces: which paths to check, and how the checks and the projects' usage are
// written into the entries.
class MediaRescanner {
public:
    struct Check {
        QUuid id;
        QString path;
    };

    static QList<Check> checksFor(const QList<MediaFile>& mediaFiles);

    // Applies the check results (by entry id, so entries added or reordered meanwhile are safe)
    // and the usage of the loaded projects, in one pass. Returns how many entries were updated.
    static int apply(QList<MediaFile>& mediaFiles, const QHash<QUuid, FileStatusResult>& results,
                     const UsageMap& usage);

    // One entry: status (clean-up states stay), matched path, size, storage type.
    static void applyStatus(MediaFile& file, const FileStatusResult& result);
    // Usage fields from the projects; an entry no project lists keeps its own.
    static void applyUsage(MediaFile& file, const UsageMap& usage);
};

} // namespace tarnwick
