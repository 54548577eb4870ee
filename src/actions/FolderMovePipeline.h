#pragma once

#include "actions/FolderMoveStep.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <utility>

class QThreadPool;

namespace tarnwick {

// Carries one move-to-folder run between the GUI thread and a single worker that serves the whole
// run. The GUI thread plans jobs ahead and hands them over in batches; the worker first records the
// identity of every path it was given, then runs the jobs in order, reading the cancel flag before
// each, and hands the outcomes back. It wakes the GUI thread when it runs short of jobs, when it
// ends, and otherwise at most every 100 ms, so the GUI thread works per batch, not per file.
class FolderMovePipeline : public QObject {
    Q_OBJECT
public:
    struct Batch {
        QList<std::pair<FolderMoveJob, FolderMoveOutcome>> finished; // in job order
        bool done = false; // the worker has ended: nothing more will come
    };
    struct Progress {
        qint64 files = 0;        // jobs finished (a cancelled one excluded)
        qint64 bytes = 0;        // their sizes, plus the copied share of the file in flight
        qsizetype inFlight = -1; // index of the job being run, -1 between jobs
    };

    FolderMovePipeline(std::shared_ptr<FileOperations> files, ProtectedFolderTest protection, QString folder,
                       QStringList identityPaths);
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
    static void work(const std::shared_ptr<State>& state);

    std::shared_ptr<State> m_state;
};

} // namespace tarnwick
