#pragma once

#include "actions/FolderMoveStep.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

class QThreadPool;

namespace tarnwick {

class RecordRun;

// Carries one move-to-folder run between the GUI thread and a single worker that serves the whole
// run. As the run starts, scanners record the identity of every file the run may move, and the
// worker runs no job before every identity is recorded. The GUI thread plans jobs ahead and hands
// them over in batches; the worker takes them a few hundred at a time, writes the intents of their
// plain files to the journal together, then runs them in order, reading the cancel flag before
// each, and hands the outcomes back. It wakes the GUI thread when it runs short of jobs, when it
// ends, and otherwise at most every 25 ms, so the GUI thread works per batch.
class FolderMovePipeline : public QObject {
    Q_OBJECT
public:
    // The paths of one input file whose identity the run records: its source and its proxy.
    struct Watched {
        QString source;
        std::optional<QString> proxy;
    };
    struct Batch {
        QList<std::pair<FolderMoveJob, FolderMoveOutcome>> finished; // in job order
        bool done = false; // the worker has ended: nothing more will come
    };
    struct Progress {
        qint64 files = 0;        // jobs finished (a cancelled one excluded)
        qint64 bytes = 0;        // their sizes, plus the copied share of the file in flight
        qsizetype inFlight = -1; // index of the job being run, -1 between jobs
    };

    // `watched` has one entry per input file, by the jobs' index. A job's record goes to `records`
    // (may be null) from the worker: its intent right before the move, its outcome right after.
    FolderMovePipeline(std::shared_ptr<FileOperations> files, ProtectedFolderTest protection, QString folder,
                       QList<Watched> watched, std::shared_ptr<RecordRun> records = nullptr);
    // Stops the worker after the job in flight, without waiting for it.
    ~FolderMovePipeline() override;

    void start(QThreadPool& pool);
    void push(QList<FolderMoveJob> jobs);
    // No more jobs: the worker ends once it has run the ones it has.
    void closeInput();
    qsizetype queued() const;
    Batch take();
    Progress progress() const;
    // Stops before the next job; the one in flight is told to roll back (a copy is removed again).
    void cancel();
    // Stops before the next job; the one in flight completes.
    void stop();

Q_SIGNALS:
    void woke();

private:
    struct State;
    // Records the identities of the files from `begin` up to `end`.
    static void scan(const std::shared_ptr<State>& state, qsizetype begin, qsizetype end);
    static void work(const std::shared_ptr<State>& state);
    static void checkRoom(State& state);
    static QList<FolderMoveJob> takeJobs(State& state);
    // What the worker finished since it last handed over.
    struct Finished {
        QList<std::pair<FolderMoveJob, FolderMoveOutcome>> jobs;
        qint64 files = 0;
        qint64 bytes = 0;
    };
    static bool runJobs(State& state, QList<FolderMoveJob>& jobs);
    static void publish(State& state, Finished& finished);
    static bool joinsBatch(const State& state, const FolderMoveJob& job);
    static void intendBatch(State& state, const QList<FolderMoveJob>& jobs, QList<int>& seqs, qsizetype from,
                            bool syncNow);
    static void failIntents(State& state, const QList<int>& seqs);
    static FolderMoveOutcome execute(State& state, const FolderMoveJob& job, int seq,
                                     const FileOpProgress& progress);

    // One woke() until the next take(): an awaiter of the signal hears it once (a second queued
    // emission would reach it after it is gone).
    void emitWoke();

    std::shared_ptr<State> m_state;
    bool m_wokeUntaken = false; // GUI thread
};

} // namespace tarnwick
