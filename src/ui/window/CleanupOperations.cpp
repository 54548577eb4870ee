#include "ui/window/CleanupOperations.h"

#include "actions/DeleteSafetyCheck.h"
#include "actions/MoveToFolderAction.h"
#include "actions/RecycleBin.h"
#include "actions/TrashAction.h"
#include "actions/UnusedFilesExport.h"
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

const QString notAvailable = QStringLiteral("This clean-up action is not available in this build.");

// Stands in until the engine's clean-up actions are wired: it stages files in the bin (which
// changes nothing on disk) and refuses every operation that would touch a file.
class StagingOnlyOperations : public CleanupOperations {
public:
    QList<Conflict> findDeleteSafetyConflicts(const QList<MediaFile>&,
                                              const QList<MediaFile>&) const override {
        return {};
    }
    QList<MediaFile> unusedFilesSafeToStage(const QList<MediaFile>& mediaFiles) const override {
        QList<MediaFile> out;
        for (const MediaFile& file : mediaFiles) {
            if (isEligibleUnused(file))
                out.append(file);
        }
        return out;
    }
    void addToRecycleBin(ProjectManager& manager, const QList<MediaFile>& files) override {
        QSet<QString> staged;
        for (const RecycleBinItem& item : manager.recycleBin())
            staged.insert(item.mediaFile.path);
        QList<RecycleBinItem> added;
        for (const MediaFile& file : files) {
            if (file.isProtected || file.isOffline() || staged.contains(file.path)) {
                AppLog::info(QStringLiteral("Skipped staging ") + file.fileName());
                continue;
            }
            staged.insert(file.path);
            added.append(RecycleBinItem{QUuid::createUuid(), file, QDateTime::currentDateTimeUtc()});
        }
        if (added.isEmpty())
            return;
        manager.modifyRecycleBin([&](QList<RecycleBinItem>& bin) { bin.append(added); });
        manager.updateSummary();
    }
    QCoro::Task<TrashResult> moveToTrash(ProjectManager& manager) override {
        const int count = int(manager.recycleBin().size());
        co_return TrashResult{0, count, count ? QStringList{notAvailable} : QStringList{}, {}};
    }
    QCoro::Task<MoveResult> moveRecycleBinToFolder(ProjectManager& manager, QUrl) override {
        const int count = int(manager.recycleBin().size());
        co_return MoveResult{0, count, count ? QStringList{notAvailable} : QStringList{}};
    }
    QCoro::Task<MoveResult> moveFilesToFolder(ProjectManager&, QList<MediaFile> files, QUrl) override {
        const int count = int(files.size());
        co_return MoveResult{0, count, count ? QStringList{notAvailable} : QStringList{}};
    }
    std::optional<QUrl> exportUnusedFilesCSV(ProjectManager&) override {
        AppLog::error(QStringLiteral("Failed to export CSV: ") + notAvailable);
        return std::nullopt;
    }
    QCoro::Task<void> importDaVinciCSV(ProjectManager& manager, QUrl) override {
        manager.setDaVinciImportMessage(
            QStringLiteral("DaVinci Resolve CSV import is not available in this build."));
        manager.setShowDaVinciImportResult(true);
        co_return;
    }
};

// The engine's clean-up actions; the DaVinci import stays refused until its operation exists.
class EngineOperations : public StagingOnlyOperations {
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
};

} // namespace

std::unique_ptr<CleanupOperations> makeCleanupOperations() {
    return std::make_unique<EngineOperations>();
}

} // namespace tarnwick
