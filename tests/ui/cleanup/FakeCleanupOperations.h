#pragma once

#include "analysis/ProjectManager.h"
#include "ui/cleanup/CleanupOperations.h"

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

// Counts every call; conflicts are chosen by path; runs wait on the gate while it is closed.
class FakeCleanupOperations : public CleanupOperations {
public:
    QHash<QString, QString> conflictReasons; // path -> reason
    QList<QList<MediaFile>> staged;
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
    QCoro::Task<ActionResult> moveToTrash(ProjectManager&) override {
        ++trashCalls;
        if (gate.closed)
            co_await gate.future();
        co_return trashResult;
    }
    ActionResult binMoveResult = ActionResult::counted(2);
    QCoro::Task<ActionResult> moveRecycleBinToFolder(ProjectManager&, QUrl folder) override {
        ++binMoveCalls;
        binMoveFolders.enqueue(folder);
        if (gate.closed)
            co_await gate.future();
        co_return binMoveResult;
    }
    QCoro::Task<ActionResult> moveFilesToFolder(ProjectManager&, QList<MediaFile> files, QUrl) override {
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
    QCoro::Task<ActionResult> permanentlyDelete(ProjectManager&) override {
        ++deleteCalls;
        if (gate.closed)
            co_await gate.future();
        co_return deleteResult;
    }
    TranscodeCompleteResult transcodeResult;
    QCoro::Task<TranscodeCompleteResult> transcodeAndReplace(ProjectManager&) override {
        ++transcodeCalls;
        if (gate.closed)
            co_await gate.future();
        co_return transcodeResult;
    }
    void cancelTranscode(ProjectManager& manager) override {
        ++cancelTranscodeCalls;
        CleanupOperations::cancelTranscode(manager);
    }
    std::optional<QString> locateFFmpeg() override { return ffmpegPath; }
    QCoro::Task<void> importDaVinciCSV(ProjectManager&, QUrl csv) override {
        csvImports.append(csv);
        co_return;
    }
};

} // namespace tarnwick::testing
