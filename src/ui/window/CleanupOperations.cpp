#include "ui/window/CleanupOperations.h"

#include "actions/DeleteSafetyCheck.h"
#include "actions/MoveToFolderAction.h"
#include "actions/RecycleBin.h"
#include "actions/TrashAction.h"
#include "actions/UnusedFilesExport.h"
#include "analysis/DaVinciCSVImport.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"

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
    void addToRecycleBin(ProjectManager& manager, const QList<MediaFile>& files) override {
        (void)RecycleBin(manager).addToRecycleBin(files);
    }
    QCoro::Task<TrashResult> moveToTrash(ProjectManager& manager) override {
        const RemovalResult r = co_await TrashAction::moveToTrash(manager);
        co_return TrashResult{int(r.deleted), int(r.failed), r.errors, r.failedItems};
    }
    QCoro::Task<MoveResult> moveRecycleBinToFolder(ProjectManager& manager, QUrl folder) override {
        const tarnwick::MoveResult r =
            co_await MoveToFolderAction::moveRecycleBinToFolder(manager, folder.toLocalFile());
        co_return MoveResult{int(r.succeeded), int(r.failed), r.errors};
    }
    QCoro::Task<MoveResult> moveFilesToFolder(ProjectManager& manager, QList<MediaFile> files,
                                              QUrl folder) override {
        const tarnwick::MoveResult r =
            co_await MoveToFolderAction::moveFilesToFolder(manager, std::move(files), folder.toLocalFile());
        co_return MoveResult{int(r.succeeded), int(r.failed), r.errors};
    }
    std::optional<QUrl> exportUnusedFilesCSV(ProjectManager& manager) override {
        if (const std::optional<QString> path = UnusedFilesExport::exportUnusedFilesCSV(manager))
            return QUrl::fromLocalFile(*path);
        return std::nullopt;
    }
    QCoro::Task<void> importDaVinciCSV(ProjectManager& manager, QUrl csv) override {
        co_await DaVinciCSVImport::importDaVinciCSV(manager, std::move(csv));
    }
};

} // namespace

std::unique_ptr<CleanupOperations> makeCleanupOperations() {
    return std::make_unique<EngineOperations>();
}

} // namespace tarnwick
