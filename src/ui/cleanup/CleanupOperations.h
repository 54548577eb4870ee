#pragma once

#include "actions/CleanupResult.h"
#include "actions/UnusedFilesExport.h"
#include "model/MediaFile.h"
#include "model/RecycleBinItem.h"
#include "transcode/TranscodeTypes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

class CleanupRun;
class ProjectManager;

// The clean-up and import operations the window calls on its manager. The window reaches them
// only through this interface, so the engine's implementation plugs in with one line (see
// makeCleanupOperations) and tests count and hold the runs.
class CleanupOperations {
public:
    struct Conflict {
        MediaFile fileToDelete;
        MediaFile usedFile;
        QString reason;
    };

    virtual ~CleanupOperations() = default;

    // Pure over the given list: callable on a worker thread with a snapshot of the media list.
    virtual QList<Conflict> findDeleteSafetyConflicts(const QList<MediaFile>& staging,
                                                      const QList<MediaFile>& mediaFiles) const = 0;
    // The reason of each conflict, for the views' alert.
    QStringList conflictReasons(const QList<MediaFile>& staging, const QList<MediaFile>& mediaFiles) const;
    virtual QList<MediaFile> unusedFilesSafeToStage(const QList<MediaFile>& mediaFiles) const = 0;

    // GUI thread. While the manager is busy the staging waits for it; `staged` runs once it happened.
    virtual void addToRecycleBin(ProjectManager& manager, const QList<MediaFile>& files,
                                 std::function<void()> staged = {}) = 0;
    // The one factory of the clean-up runs the runner holds; `folder` is the destination of the
    // moves, unused by the others. The manager and these operations outlive the run.
    virtual std::unique_ptr<CleanupRun> makeRun(CleanupRunKind kind, ProjectManager& manager,
                                                const QUrl& folder = {}) = 0;
    virtual CSVExportResult exportUnusedFilesCSV(ProjectManager& manager) = 0;
    // The ffmpeg executable; callable from any thread.
    virtual std::optional<QString> locateFFmpeg();
    // The route a transcode run takes first for the file at `path`, with `ffmpeg` as locateFFmpeg()
    // found it; callable from any thread (it may open the file). Here by its extension alone: a
    // professional format goes to ffmpeg.
    virtual TranscodeRoute plannedTranscodeRoute(const QString& path, const std::optional<QString>& ffmpeg);
    virtual QCoro::Task<void> importDaVinciCSV(ProjectManager& manager, QUrl csv) = 0;

    // Unused, not After Effects footage, online/matching/transcoded, not awaiting review.
    static bool isEligibleUnused(const MediaFile& file);
    // Unused and not After Effects footage, whatever the status.
    static bool isExportableUnused(const MediaFile& file);
};

// The operations the application uses.
std::unique_ptr<CleanupOperations> makeCleanupOperations();

} // namespace tarnwick
