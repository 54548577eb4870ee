#include "ui/cleanup/CleanupRuns.h"

#include "analysis/ProjectManager.h"
#include "ui/cleanup/CleanupOperations.h"
#include "ui/cleanup/CleanupTexts.h"

namespace tarnwick::CleanupRuns {

namespace {

using Change = ProjectManager::Change;

QCoro::Task<CleanupResult> reported(CleanupRunKind kind, QCoro::Task<ActionResult> action) {
    co_return CleanupResult::of(kind, co_await std::move(action));
}

QCoro::Task<CleanupResult> transcoded(QCoro::Task<TranscodeCompleteResult> run) {
    co_return CleanupResult::of(co_await std::move(run));
}

CleanupRun::Progress moveProgress(const ProjectManager& manager) {
    const MoveProgress& move = manager.moveProgress();
    return {move.moveFilesCompleted, move.moveTotalFiles};
}

CleanupRun::Job moveJob(CleanupRunKind kind, ProjectManager& pm, CleanupOperations& ops, const QUrl& folder) {
    CleanupRun::Job job;
    job.kind = kind;
    job.description = CleanupTexts::waitingText(kind, folder);
    if (kind == CleanupRunKind::binMove) {
        job.work = [&pm, &ops, folder] {
            return reported(CleanupRunKind::binMove, ops.moveRecycleBinToFolder(pm, folder));
        };
    } else {
        // The safe list is read when the move starts: it may have changed while the run waited.
        job.work = [&pm, &ops, folder] {
            return reported(CleanupRunKind::unusedMove,
                            ops.moveFilesToFolder(pm, ops.unusedFilesSafeToStage(pm.mediaFiles()), folder));
        };
    }
    job.cancel = [&pm] {
        pm.updateMoveProgress([](MoveProgress& move) { move.cancelMoveRequested = true; });
    };
    job.progress = [&pm] { return moveProgress(pm); };
    job.progressGroups = Change::moveProgress;
    return job;
}

} // namespace

std::unique_ptr<CleanupRun> make(CleanupRunKind kind, ProjectManager& pm, CleanupOperations& ops,
                                 const QUrl& folder) {
    CleanupRun::Job job;
    job.kind = kind;
    job.description = CleanupTexts::waitingText(kind, folder);
    switch (kind) {
    case CleanupRunKind::trash:
        job.work = [&pm, &ops] { return reported(CleanupRunKind::trash, ops.moveToTrash(pm)); };
        break;
    case CleanupRunKind::deletion:
        job.work = [&pm, &ops] { return reported(CleanupRunKind::deletion, ops.permanentlyDelete(pm)); };
        break;
    case CleanupRunKind::binMove:
    case CleanupRunKind::unusedMove:
        job = moveJob(kind, pm, ops, folder);
        break;
    case CleanupRunKind::transcode:
        job.work = [&pm, &ops] { return transcoded(ops.transcodeAndReplace(pm)); };
        job.cancel = [&pm, &ops] { ops.cancelTranscode(pm); };
        job.progress = [&pm]() -> CleanupRun::Progress {
            const TranscodeRunProgress& transcode = pm.transcodeProgress();
            return {transcode.transcodeFilesCompleted, transcode.transcodeTotalFiles};
        };
        job.progressGroups = Change::transcodeProgress;
        break;
    }
    return std::make_unique<CleanupRun>(pm, std::move(job));
}

} // namespace tarnwick::CleanupRuns
