#include "ui/cleanup/CleanupOperations.h"

#include "actions/DeleteSafetyCheck.h"
#include "actions/MoveToFolderAction.h"
#include "actions/PermanentDeletion.h"
#include "actions/RecycleBin.h"
#include "actions/TrashAction.h"
#include "actions/UnusedFilesExport.h"
#include "analysis/DaVinciCSVImport.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "transcode/TranscodeAndReplace.h"
#include "transcode/TranscodeEngine.h"

#include <QPointer>

#include <mutex>

namespace tarnwick {

bool CleanupOperations::isEligibleUnused(const MediaFile& file) {
    const bool statusOk = file.status == MediaFileStatus::online ||
                          file.status == MediaFileStatus::matching ||
                          file.status == MediaFileStatus::transcoded;
    return file.usageCount == 0 && !file.isAEFootage && statusOk && !file.needsReview;
}

bool CleanupOperations::isExportableUnused(const MediaFile& file) {
    return file.usageCount == 0 && !file.isAEFootage;
}

QCoro::Task<ActionResult> CleanupOperations::permanentlyDelete(ProjectManager& manager) {
    const int count = int(manager.recycleBin().size());
    co_return ActionResult{
        0,
        count,
        count ? QStringList{QStringLiteral("Permanent deletion is not available in this build.")}
              : QStringList{},
        {},
        false,
        {}};
}

QCoro::Task<TranscodeCompleteResult> CleanupOperations::transcodeAndReplace(ProjectManager&) {
    co_return TranscodeCompleteResult{};
}

void CleanupOperations::cancelTranscode(ProjectManager& manager) {
    manager.updateTranscodeProgress(
        [](TranscodeRunProgress& transcode) { transcode.transcodeShouldCancel = true; });
}

std::optional<QString> CleanupOperations::locateFFmpeg() {
    return std::nullopt;
}

QStringList CleanupOperations::conflictReasons(const QList<MediaFile>& staging,
                                               const QList<MediaFile>& mediaFiles) const {
    QStringList reasons;
    for (const Conflict& conflict : findDeleteSafetyConflicts(staging, mediaFiles))
        reasons.append(conflict.reason);
    return reasons;
}

namespace {

// The engine's clean-up and import operations.
class EngineOperations : public CleanupOperations {
public:
    QList<Conflict> findDeleteSafetyConflicts(const QList<MediaFile>& staging,
                                              const QList<MediaFile>& mediaFiles) const override {
        QList<Conflict> out;
        for (const DeleteSafetyConflict& c :
             DeleteSafetyCheck::findDeleteSafetyConflicts(mediaFiles, staging))
            out.append({c.fileToDelete, c.usedFile, c.reason});
        return out;
    }
    QList<MediaFile> unusedFilesSafeToStage(const QList<MediaFile>& mediaFiles) const override {
        return DeleteSafetyCheck::safeUnusedFiles(mediaFiles);
    }
    void addToRecycleBin(ProjectManager& manager, const QList<MediaFile>& files,
                         std::function<void()> staged) override {
        (void)RecycleBin(manager).addToRecycleBin(files, std::move(staged));
    }
    QCoro::Task<ActionResult> moveToTrash(ProjectManager& manager) override {
        return TrashAction::moveToTrash(manager);
    }
    QCoro::Task<ActionResult> moveRecycleBinToFolder(ProjectManager& manager, QUrl folder) override {
        return MoveToFolderAction::moveRecycleBinToFolder(manager, folder.toLocalFile());
    }
    QCoro::Task<ActionResult> moveFilesToFolder(ProjectManager& manager, QList<MediaFile> files,
                                                QUrl folder) override {
        return MoveToFolderAction::moveFilesToFolder(manager, std::move(files), folder.toLocalFile());
    }
    CSVExportResult exportUnusedFilesCSV(ProjectManager& manager) override {
        return UnusedFilesExport::exportUnusedFilesCSV(manager);
    }
    QCoro::Task<void> importDaVinciCSV(ProjectManager& manager, QUrl csv) override {
        co_await DaVinciCSVImport::importDaVinciCSV(manager, std::move(csv));
    }
    QCoro::Task<ActionResult> permanentlyDelete(ProjectManager& manager) override {
        return PermanentDeletion::permanentlyDelete(manager);
    }
    QCoro::Task<TranscodeCompleteResult> transcodeAndReplace(ProjectManager& manager) override {
        QPointer<ProjectManager> pm(&manager);
        const TranscodeRunTotals totals = co_await tarnwick::transcodeAndReplace(manager, engine());
        // The run stored its outcome on the manager, the cancellation with it.
        if (pm && pm->transcodeProgress().transcodeCompleteResult)
            co_return *pm->transcodeProgress().transcodeCompleteResult;
        co_return TranscodeCompleteResult{totals.transcoded, totals.skipped, totals.failed,
                                          totals.spaceSaved, totals.errors,  false};
    }
    void cancelTranscode(ProjectManager& manager) override { tarnwick::cancelTranscode(manager, engine()); }
    std::optional<QString> locateFFmpeg() override { return engine().locateFFmpeg(); }

private:
    // One engine per window, made on first use (it starts a thread of its own).
    TranscodeEngine& engine() {
        std::call_once(m_engineOnce, [this] { m_engine = std::make_unique<TranscodeEngine>(); });
        return *m_engine;
    }
    std::once_flag m_engineOnce;
    std::unique_ptr<TranscodeEngine> m_engine;
};

} // namespace

std::unique_ptr<CleanupOperations> makeCleanupOperations() {
    return std::make_unique<EngineOperations>();
}

} // namespace tarnwick
