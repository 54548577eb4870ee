#pragma once

#include "analysis/FileStatusChecking.h"
#include "analysis/UsageAggregator.h"
#include "model/MediaFile.h"

#include <QHash>
#include <QList>
#include <QUuid>

#include <qcoro/qcorotask.h>

namespace tarnwick {

class ProjectManager;

// The rescan's pieces: which paths to check, and how the checks and the projects' usage are
// written into the entries.
class MediaRescanner {
public:
    // "Refresh File Status": checks every entry on the worker pool while the manager is busy, then
    // applies the results and the projects' usage in one pass, recounts and summarises. False when
    // refused because another operation is running.
    static QCoro::Task<bool> rescanAll(ProjectManager& manager);

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
