#include "actions/FolderMovePipeline.h"

#include <QElapsedTimer>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tarnwick {

namespace {

// The screen's rate: the GUI thread hears of progress at most this often while files go by.
constexpr qint64 kWakeMs = 100;
// Below this many planned jobs the worker asks for more, so it never waits on the GUI thread.
constexpr size_t kLowWater = 256;

} // namespace

struct FolderMovePipeline::State {
    State(std::shared_ptr<FileOperations> ops, ProtectedFolderTest protection, QString folder,
          QStringList paths)
        : files(std::move(ops)), session(*files, std::move(protection), std::move(folder)),
          identityPaths(std::move(paths)) {
        clock.start();
    }

    // Posts one wake at a time; the GUI thread clears the flag when it takes what is there.
    void wakeLocked() {
        if (wakePending || !owner)
            return;
        wakePending = true;
        lastWakeMs = clock.elapsed();
        FolderMovePipeline* target = owner;
        QMetaObject::invokeMethod(
            target, [target] { Q_EMIT target->woke(); }, Qt::QueuedConnection);
    }
    bool dueLocked() const {
        return clock.elapsed() - lastWakeMs >= kWakeMs || (!inputClosed && queue.size() < kLowWater);
    }
    bool stopping() const { return stop.load() || cancel.load(); }

    std::shared_ptr<FileOperations> files;
    FolderMoveSession session;
    QStringList identityPaths;
    QElapsedTimer clock;

    mutable std::mutex mutex;
    std::condition_variable jobsReady;
    std::deque<FolderMoveJob> queue;
    QList<std::pair<FolderMoveJob, FolderMoveOutcome>> finished;
    bool inputClosed = false;
    bool workerDone = false;
    bool wakePending = false;
    qint64 lastWakeMs = 0;
    FolderMovePipeline* owner = nullptr;

    std::atomic_bool cancel = false;
    std::atomic_bool stop = false;
    std::atomic<qint64> filesDone = 0;
    std::atomic<qint64> bytesDone = 0;
    std::atomic<qint64> bytesInFlight = 0;
    std::atomic<qsizetype> inFlight = -1;
};

FolderMovePipeline::FolderMovePipeline(std::shared_ptr<FileOperations> files, ProtectedFolderTest protection,
                                       QString folder, QStringList identityPaths)
    : m_state(std::make_shared<State>(std::move(files), std::move(protection), std::move(folder),
                                      std::move(identityPaths))) {
    m_state->owner = this;
}

FolderMovePipeline::~FolderMovePipeline() {
    const std::lock_guard lock(m_state->mutex);
    m_state->owner = nullptr;
    m_state->stop = true;
    m_state->jobsReady.notify_all();
}

void FolderMovePipeline::start(QThreadPool& pool) {
    pool.start([state = m_state] { work(state); });
}

void FolderMovePipeline::push(QList<FolderMoveJob> jobs) {
    const std::lock_guard lock(m_state->mutex);
    for (FolderMoveJob& job : jobs)
        m_state->queue.push_back(std::move(job));
    m_state->jobsReady.notify_all();
}

void FolderMovePipeline::closeInput() {
    const std::lock_guard lock(m_state->mutex);
    m_state->inputClosed = true;
    m_state->jobsReady.notify_all();
}

qsizetype FolderMovePipeline::queued() const {
    const std::lock_guard lock(m_state->mutex);
    return qsizetype(m_state->queue.size());
}

FolderMovePipeline::Batch FolderMovePipeline::take() {
    const std::lock_guard lock(m_state->mutex);
    m_state->wakePending = false;
    return {std::exchange(m_state->finished, {}), m_state->workerDone};
}

FolderMovePipeline::Progress FolderMovePipeline::progress() const {
    return {m_state->filesDone.load(), m_state->bytesDone.load() + m_state->bytesInFlight.load(),
            m_state->inFlight.load()};
}

void FolderMovePipeline::cancel() {
    const std::lock_guard lock(m_state->mutex);
    m_state->cancel = true;
    m_state->jobsReady.notify_all();
}

void FolderMovePipeline::stop() {
    const std::lock_guard lock(m_state->mutex);
    m_state->stop = true;
    m_state->jobsReady.notify_all();
}

void FolderMovePipeline::work(const std::shared_ptr<State>& state) {
    // Before anything moves: what each source is now is what the run may move.
    for (const QString& path : std::as_const(state->identityPaths))
        state->session.recordIdentity(path);
    state->identityPaths.clear();
    for (;;) {
        FolderMoveJob job;
        {
            std::unique_lock lock(state->mutex);
            if (state->queue.empty() && !state->inputClosed)
                state->wakeLocked(); // out of work: ask now, whatever the time
            state->jobsReady.wait(
                lock, [&] { return !state->queue.empty() || state->inputClosed || state->stopping(); });
            if (state->stopping() || state->queue.empty())
                break;
            job = std::move(state->queue.front());
            state->queue.pop_front();
            state->inFlight = job.index;
        }
        // A long copy reports its share of the file's size as it goes.
        const FileOpProgress progress = [&state, size = job.size](qint64 done, qint64 total) {
            state->bytesInFlight = total > 0 ? qint64(double(size) * double(done) / double(total)) : 0;
            const std::lock_guard lock(state->mutex);
            if (state->clock.elapsed() - state->lastWakeMs >= kWakeMs)
                state->wakeLocked();
        };
        FolderMoveOutcome outcome = state->session.execute(job, progress, &state->cancel);
        const bool cancelled = outcome.kind == FolderMoveOutcome::Kind::cancelled;
        const std::lock_guard lock(state->mutex);
        state->bytesInFlight = 0;
        state->inFlight = -1;
        if (!cancelled) {
            state->filesDone += 1;
            state->bytesDone += job.size;
        }
        state->finished.append({std::move(job), std::move(outcome)});
        if (cancelled)
            break;
        if (state->dueLocked())
            state->wakeLocked();
    }
    const std::lock_guard lock(state->mutex);
    state->workerDone = true;
    state->wakePending = false; // the last word always goes out
    state->wakeLocked();
}

} // namespace tarnwick
