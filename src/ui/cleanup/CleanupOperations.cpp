#include "ui/cleanup/CleanupOperations.h"

#include "actions/DeleteSafetyCheck.h"
#include "actions/MoveToFolderAction.h"
#include "actions/RecycleBin.h"
#include "actions/RemovalRun.h"
#include "actions/UnusedFilesExport.h"
#include "analysis/DaVinciCSVImport.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "transcode/TranscodeAndReplace.h"
#include "transcode/TranscodeEngine.h"
#include "transcode/TranscodeExtensions.h"
#include "ui/cleanup/CleanupTexts.h"

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

std::optional<QString> CleanupOperations::locateFFmpeg() {
    return std::nullopt;
}

TranscodeRoute CleanupOperations::plannedTranscodeRoute(const QString& path, const std::optional<QString>&) {
    return transcodeExtensions::isProVideoFormat(path) ? TranscodeRoute::ffmpeg : TranscodeRoute::inProcess;
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
    std::unique_ptr<CleanupRun> makeRun(CleanupRunKind kind, ProjectManager& manager,
                                        const QUrl& folder) override {
        QString description = CleanupTexts::waitingText(kind, folder);
        switch (kind) {
        case CleanupRunKind::trash:
            return std::make_unique<RemovalRun>(manager, RemovalMethod::trash, std::move(description));
        case CleanupRunKind::deletion:
            return std::make_unique<RemovalRun>(manager, RemovalMethod::deletePermanently,
                                                std::move(description));
        case CleanupRunKind::binMove:
        case CleanupRunKind::unusedMove:
            return std::make_unique<MoveToFolderAction>(manager, kind, folder.toLocalFile(),
                                                        std::move(description));
        case CleanupRunKind::transcode:
            return std::make_unique<TranscodeAndReplace>(manager, transcodeEngine(), std::move(description));
        }
        Q_UNREACHABLE();
        return nullptr;
    }
    CSVExportResult exportUnusedFilesCSV(ProjectManager& manager) override {
        return UnusedFilesExport::exportUnusedFilesCSV(manager);
    }
    QCoro::Task<void> importDaVinciCSV(ProjectManager& manager, QUrl csv) override {
        co_await DaVinciCSVImport::importDaVinciCSV(manager, std::move(csv));
    }
    std::optional<QString> locateFFmpeg() override { return transcodeEngine().locateFFmpeg(); }
    TranscodeRoute plannedTranscodeRoute(const QString& path, const std::optional<QString>& ffmpeg) override {
        return transcodeEngine().plannedRoute(path, ffmpeg);
    }

private:
    // One engine per window, made on first use (it starts a thread of its own).
    TranscodeEngine& transcodeEngine() {
        std::call_once(m_transcodeEngineOnce,
                       [this] { m_transcodeEngine = std::make_unique<TranscodeEngine>(); });
        return *m_transcodeEngine;
    }
    std::once_flag m_transcodeEngineOnce;
    std::unique_ptr<TranscodeEngine> m_transcodeEngine;
};

} // namespace

std::unique_ptr<CleanupOperations> makeCleanupOperations() {
    return std::make_unique<EngineOperations>();
}

} // namespace tarnwick
