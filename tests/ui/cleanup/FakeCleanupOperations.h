#pragma once

#include "actions/CleanupRun.h"
#include "analysis/ProjectManager.h"
#include "ui/cleanup/CleanupOperations.h"
#include "ui/cleanup/CleanupTexts.h"

#include <QFuture>
#include <QPromise>
#include <QQueue>
#include <QThread>

#include <atomic>

#include <qcoro/qcorofuture.h>

namespace tarnwick::testing {

// Holds runs until the test opens it.
class RunGate {
public:
    bool closed = false;
    QPromise<void> promise;
    RunGate() { promise.start(); }
    ~RunGate() { open(); }
    QFuture<void> future() { return promise.future(); }
    void open() {
        closed = false;
        if (!promise.future().isFinished())
            promise.finish();
    }
};

// Counts every call and every run; conflicts are chosen by path; the runs its factory makes wait on
// the gate while it is closed.
class FakeCleanupOperations : public CleanupOperations {
public:
    QHash<QString, QString> conflictReasons; // path -> reason
    QList<QList<MediaFile>> staged;
    int runsMade = 0;
    int trashCalls = 0;
    int binMoveCalls = 0;
    QList<QList<MediaFile>> fileMoves;
    int exportCalls = 0;
    CSVExportResult exportResult;
    QList<QUrl> csvImports;
    ActionResult trashResult;
    RunGate gate;

    QList<Conflict> findDeleteSafetyConflicts(const QList<MediaFile>& staging,
                                              const QList<MediaFile>&) const override {
        QList<Conflict> out;
        for (const MediaFile& f : staging) {
            if (conflictReasons.contains(f.path))
                out.append({f, f, conflictReasons.value(f.path)});
        }
        return out;
    }
    mutable std::atomic<int> safeListCalls{0};
    mutable std::atomic<QThread*> safeListThread{nullptr};
    QList<MediaFile> unusedFilesSafeToStage(const QList<MediaFile>& media) const override {
        ++safeListCalls;
        safeListThread = QThread::currentThread();
        QList<MediaFile> eligible;
        for (const MediaFile& f : media) {
            if (isEligibleUnused(f))
                eligible.append(f);
        }
        const auto conflicts = findDeleteSafetyConflicts(eligible, media);
        QList<MediaFile> out;
        for (const MediaFile& f : eligible) {
            if (!conflictReasons.contains(f.path))
                out.append(f);
        }
        return out;
    }
    void addToRecycleBin(ProjectManager&, const QList<MediaFile>& files,
                         std::function<void()> done) override {
        staged.append(files);
        if (done)
            done();
    }
    QCoro::Task<ActionResult> moveToTrash() {
        ++trashCalls;
        if (gate.closed)
            co_await gate.future();
        co_return trashResult;
    }
    ActionResult binMoveResult = ActionResult::counted(2);
    QCoro::Task<ActionResult> moveRecycleBinToFolder(QUrl folder) {
        ++binMoveCalls;
        binMoveFolders.enqueue(folder);
        if (gate.closed)
            co_await gate.future();
        co_return binMoveResult;
    }
    QCoro::Task<ActionResult> moveFilesToFolder(QList<MediaFile> files, QUrl) {
        fileMoves.append(files);
        if (gate.closed)
            co_await gate.future();
        co_return ActionResult::counted(files.size());
    }
    CSVExportResult exportUnusedFilesCSV(ProjectManager&) override {
        ++exportCalls;
        return exportResult;
    }
    int deleteCalls = 0;
    ActionResult deleteResult;
    QQueue<QUrl> binMoveFolders;
    int transcodeCalls = 0;
    int cancelTranscodeCalls = 0;
    std::optional<QString> ffmpegPath;
    QCoro::Task<ActionResult> permanentlyDelete() {
        ++deleteCalls;
        if (gate.closed)
            co_await gate.future();
        co_return deleteResult;
    }
    TranscodeCompleteResult transcodeResult;
    QCoro::Task<TranscodeCompleteResult> transcodeAndReplace() {
        ++transcodeCalls;
        if (gate.closed)
            co_await gate.future();
        co_return transcodeResult;
    }
    void cancelTranscode(ProjectManager& manager) {
        ++cancelTranscodeCalls;
        manager.updateTranscodeProgress(
            [](TranscodeRunProgress& transcode) { transcode.transcodeShouldCancel = true; });
    }
    std::unique_ptr<CleanupRun> makeRun(CleanupRunKind kind, ProjectManager& manager,
                                        const QUrl& folder) override;
    std::optional<QString> locateFFmpeg() override { return ffmpegPath; }
    // The route of each path as the engine would plan it; others by their extension. Set before a
    // sheet asks (read on a worker).
    QHash<QString, TranscodeRoute> routes;
    TranscodeRoute plannedTranscodeRoute(const QString& path, const std::optional<QString>& ffmpeg) override {
        return routes.value(path, CleanupOperations::plannedTranscodeRoute(path, ffmpeg));
    }
    QCoro::Task<void> importDaVinciCSV(ProjectManager&, QUrl csv) override {
        csvImports.append(csv);
        co_return;
    }
};

// A run of the fake: the counted operation of its kind, cancelled and followed through the
// manager's fields as the engine's runs are.
class FakeCleanupRun : public CleanupRun {
public:
    FakeCleanupRun(FakeCleanupOperations& ops, ProjectManager& manager, CleanupRunKind kind, QUrl folder)
        : CleanupRun(manager, kind, CleanupTexts::waitingText(kind, folder), groupsOf(kind)), m_ops(ops),
          m_folder(std::move(folder)) {}

protected:
    QCoro::Task<CleanupResult> work() override {
        ProjectManager& pm = *manager();
        switch (kind()) {
        case CleanupRunKind::trash:
            co_return CleanupResult::of(kind(), co_await m_ops.moveToTrash());
        case CleanupRunKind::deletion:
            co_return CleanupResult::of(kind(), co_await m_ops.permanentlyDelete());
        case CleanupRunKind::binMove:
            co_return CleanupResult::of(kind(), co_await m_ops.moveRecycleBinToFolder(m_folder));
        case CleanupRunKind::unusedMove:
            co_return CleanupResult::of(kind(), co_await m_ops.moveFilesToFolder(
                                                    m_ops.unusedFilesSafeToStage(pm.mediaFiles()), m_folder));
        case CleanupRunKind::transcode:
            break;
        }
        co_return CleanupResult::of(co_await m_ops.transcodeAndReplace());
    }
    void stop() override {
        if (kind() == CleanupRunKind::transcode)
            m_ops.cancelTranscode(*manager());
        else if (kind() == CleanupRunKind::binMove || kind() == CleanupRunKind::unusedMove)
            manager()->updateMoveProgress([](MoveProgress& move) { move.cancelMoveRequested = true; });
    }
    Progress liveProgress() const override {
        if (kind() == CleanupRunKind::transcode)
            return {manager()->transcodeProgress().transcodeFilesCompleted,
                    manager()->transcodeProgress().transcodeTotalFiles};
        if (kind() == CleanupRunKind::binMove || kind() == CleanupRunKind::unusedMove)
            return {manager()->moveProgress().moveFilesCompleted, manager()->moveProgress().moveTotalFiles};
        return {};
    }

private:
    static ProjectManager::Changes groupsOf(CleanupRunKind kind) {
        if (kind == CleanupRunKind::transcode)
            return ProjectManager::Change::transcodeProgress;
        if (kind == CleanupRunKind::binMove || kind == CleanupRunKind::unusedMove)
            return ProjectManager::Change::moveProgress;
        return {};
    }
    FakeCleanupOperations& m_ops;
    const QUrl m_folder;
};

inline std::unique_ptr<CleanupRun>
FakeCleanupOperations::makeRun(CleanupRunKind kind, ProjectManager& manager, const QUrl& folder) {
    ++runsMade;
    return std::make_unique<FakeCleanupRun>(*this, manager, kind, folder);
}

} // namespace tarnwick::testing
