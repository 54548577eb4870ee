#include "actions/FolderMovePipeline.h"

#include "actions/StepRecords.h"
#include "platform/PathText.h"
#include "platform/ThreadPools.h"
#include "stores/RecordRun.h"

#include <QElapsedTimer>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace tarnwick {

namespace {

// The GUI thread hears of finished files at most this often while they go by: often enough that
// what is left for it to apply when the worker ends is a moment's work.
constexpr qint64 kWakeMs = 25;
// Below this many planned jobs the worker asks for more, so it never waits on the GUI thread, also
// when every core is busy and the GUI thread's turn comes late.
constexpr size_t kLowWater = 1024;

// Below this many files one scanner does.
constexpr qsizetype kFilesPerScanner = 512;
// The intents of this many planned jobs' plain files go to the journal in one write, synced once.
constexpr size_t kIntentBatch = size_t(RecordRun::intentBatch);
// The worker takes up to this many batches at a time: the next batch's intents are synced while the
// files of one move.
constexpr size_t kBatchesTaken = 4;

} // namespace

struct FolderMovePipeline::State {
    State(std::shared_ptr<FileOperations> ops, ProtectedFolderTest protection, QString folder,
          QList<Watched> paths, std::shared_ptr<RecordRun> run)
        : files(std::move(ops)), session(*files, std::move(protection), folder), folder(std::move(folder)),
          watched(std::move(paths)), identities(size_t(watched.size())), records(std::move(run)) {
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
            target, [target] { target->emitWoke(); }, Qt::QueuedConnection);
    }
    bool dueLocked() const {
        return clock.elapsed() - lastWakeMs >= kWakeMs || (!inputClosed && queue.size() < kLowWater);
    }
    bool stopping() const { return stop.load() || cancel.load(); }
    // Waits until every file's identity is recorded, so that a change made while earlier files
    // move is seen; false when the run stops first. A stat per file costs little beside a move.
    bool awaitIdentities() {
        const qsizetype index = watched.size() - 1;
        if (recorded.load() > index)
            return true;
        std::unique_lock lock(identityMutex);
        while (recorded.load() <= index && !scanEnded && !stopping())
            identityReady.wait_for(lock, std::chrono::milliseconds(1));
        return recorded.load() > index;
    }

    std::shared_ptr<FileOperations> files;
    FolderMoveSession session;
    const QString folder;
    QElapsedTimer clock;

    // Each scanner writes its own share, then counts it into `recorded`; the worker reads them
    // once all are counted.
    const QList<Watched> watched;
    std::vector<RecordedIdentity> identities;
    std::atomic<qsizetype> recorded = 0;
    std::atomic<int> scannersLeft = 0;
    std::mutex identityMutex;
    std::condition_variable identityReady;
    bool scanEnded = false;

    mutable std::mutex mutex;
    std::condition_variable jobsReady;
    std::deque<FolderMoveJob> queue;
    QList<std::pair<FolderMoveJob, FolderMoveOutcome>> finished;
    bool inputClosed = false;
    bool workerDone = false;
    bool wakePending = false;
    std::atomic<qint64> lastWakeMs = 0;
    FolderMovePipeline* owner = nullptr;

    std::atomic_bool cancel = false;
    std::atomic_bool stop = false;
    std::atomic<qint64> filesDone = 0;
    std::atomic<qint64> bytesDone = 0;
    std::atomic<qint64> bytesInFlight = 0;
    std::atomic<qsizetype> inFlight = -1;
    std::shared_ptr<RecordRun> records; // written by the worker only
    QSet<QString> recordedContainers;   // moved, with the records of every staged file inside
};

FolderMovePipeline::FolderMovePipeline(std::shared_ptr<FileOperations> files, ProtectedFolderTest protection,
                                       QString folder, QList<Watched> watched,
                                       std::shared_ptr<RecordRun> records)
    : m_state(std::make_shared<State>(std::move(files), std::move(protection), std::move(folder),
                                      std::move(watched), std::move(records))) {
    m_state->owner = this;
}

FolderMovePipeline::~FolderMovePipeline() {
    const std::lock_guard lock(m_state->mutex);
    m_state->owner = nullptr;
    m_state->stop = true;
    m_state->jobsReady.notify_all();
}

void FolderMovePipeline::start(QThreadPool& pool) {
    const qsizetype files = m_state->watched.size();
    // The scanners record every identity before the worker's first move, so they share the files
    // out, one per thread of their pool: the worker waits on the slowest of them.
    QThreadPool& scanning = folderMoveScanPool();
    const int scanners = int(std::clamp<qsizetype>(files / kFilesPerScanner, 1, scanning.maxThreadCount()));
    m_state->scannersLeft = scanners;
    for (int part = 0; part < scanners; ++part) {
        const qsizetype begin = files * part / scanners;
        const qsizetype end = files * (part + 1) / scanners;
        scanning.start([state = m_state, begin, end] { scan(state, begin, end); });
    }
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

void FolderMovePipeline::emitWoke() {
    if (std::exchange(m_wokeUntaken, true))
        return;
    Q_EMIT woke();
}

FolderMovePipeline::Batch FolderMovePipeline::take() {
    m_wokeUntaken = false;
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

void FolderMovePipeline::scan(const std::shared_ptr<State>& state, qsizetype begin, qsizetype end) {
    // What each file is as the run starts is what the run may move.
    qsizetype i = begin;
    for (; i < end && !state->stopping(); ++i) {
        const Watched& paths = state->watched.at(i);
        state->identities[size_t(i)] = RecordedIdentity::of(*state->files, paths.source, paths.proxy);
    }
    state->recorded += i - begin;
    if (--state->scannersLeft > 0)
        return;
    const std::lock_guard lock(state->identityMutex);
    state->scanEnded = true;
    state->identityReady.notify_all();
}

// Whether a job's intent is written with its batch's: a plain file's own record, settled by its
// move alone.
bool FolderMovePipeline::joinsBatch(const State& state, const FolderMoveJob& job) {
    return state.records && job.intentLine && job.records.size() == 1 && !job.decided &&
           job.container == FolderMoveJob::Container::none && !job.records.first().member;
}

// The intents of the plain files of jobs [from, from + a batch), in one write, into `seqs`; -1
// stays for a job that writes its own. `syncNow`: durable before it returns, else awaited later.
void FolderMovePipeline::intendBatch(State& state, const QList<FolderMoveJob>& jobs, QList<int>& seqs,
                                     qsizetype from, bool syncNow) {
    QList<RecordRun::Planned> intents;
    QList<qsizetype> positions;
    const qsizetype to = std::min(jobs.size(), from + qsizetype(kIntentBatch));
    for (qsizetype i = from; i < to; ++i) {
        const FolderMoveJob& job = jobs.at(i);
        if (!joinsBatch(state, job))
            continue;
        RecordRun::Planned intent{job.records.first(), *job.intentLine};
        intent.record.identity = state.identities[size_t(job.index)].source;
        intents.append(std::move(intent));
        positions.append(i);
    }
    // Once the records stop being kept, the jobs are kept without intents.
    if (intents.isEmpty() || !state.records->stopReason().isEmpty())
        return;
    const QList<int> written = state.records->intendAll(std::move(intents), syncNow);
    for (qsizetype i = 0; i < positions.size(); ++i)
        seqs[positions.at(i)] = written.at(i);
}

// The move of one job with its records: a kill between the intent and its outcome leaves the intent,
// which the next start decides by the disk (the source gone: moved). `seq` is the job's intent
// when the batch wrote it already.
FolderMoveOutcome FolderMovePipeline::execute(State& state, const FolderMoveJob& job, int seq,
                                              const FileOpProgress& progress) {
    const RecordedIdentity& recorded = state.identities[size_t(job.index)];
    const bool isContainer = job.container == FolderMoveJob::Container::proceed;
    RecordRun* records = state.records.get();
    // A file that went with its container was recorded with the container's move.
    if (!records || job.records.isEmpty() || job.decided ||
        (isContainer && state.recordedContainers.contains(job.source)))
        return state.session.execute(job, recorded, progress, &state.cancel);
    StepRecords step(records, *state.files);
    if (seq < 0 && records->stopReason().isEmpty()) {
        for (FileRecord intent : job.records) {
            intent.identity = recorded.source;
            step.intend(std::move(intent));
        }
    }
    if (!records->stopReason().isEmpty()) {
        // Its record could be kept nowhere: no file is moved unrecorded.
        if (seq >= 0)
            records->failed(seq);
        step.settle(false);
        records->keptForStop();
        FolderMoveOutcome kept;
        kept.kind = FolderMoveOutcome::Kind::keptForRecords;
        kept.error = FileOpStatus::failure(EIO, QStringLiteral("kept, its move could not be recorded: ") +
                                                    records->stopReason());
        return kept;
    }
    FolderMoveOutcome outcome = state.session.execute(job, recorded, progress, &state.cancel);
    const bool moved = outcome.kind == FolderMoveOutcome::Kind::moved;
    const std::optional<QString> destination = moved ? std::optional(outcome.destination) : std::nullopt;
    if (seq >= 0 && moved)
        records->done(seq, std::nullopt, destination);
    else if (seq >= 0)
        records->failed(seq);
    // A container copied but only partly removed: what left its place is recorded.
    step.settle(moved, std::nullopt, destination);
    if (moved && isContainer)
        state.recordedContainers.insert(job.source);
    return outcome;
}

QList<FolderMoveJob> FolderMovePipeline::takeJobs(State& state) {
    std::unique_lock lock(state.mutex);
    if (state.queue.empty() && !state.inputClosed)
        state.wakeLocked(); // out of work: ask now, whatever the time
    state.jobsReady.wait(lock, [&] { return !state.queue.empty() || state.inputClosed || state.stopping(); });
    QList<FolderMoveJob> jobs;
    if (state.stopping())
        return jobs;
    const size_t count = std::min(state.queue.size(), kIntentBatch * kBatchesTaken);
    jobs.reserve(qsizetype(count));
    for (size_t i = 0; i < count; ++i) {
        jobs.append(std::move(state.queue.front()));
        state.queue.pop_front();
    }
    return jobs;
}

void FolderMovePipeline::failIntents(State& state, const QList<int>& seqs) {
    for (const int seq : seqs) {
        if (seq >= 0)
            state.records->failed(seq);
    }
}

// Hands what the worker finished to the GUI thread, with its counts, and wakes it when due. Once
// per batch or wake rather than per file: the lock is shared with the GUI thread.
void FolderMovePipeline::publish(State& state, Finished& finished) {
    const std::lock_guard lock(state.mutex);
    state.filesDone += finished.files;
    state.bytesDone += finished.bytes;
    state.bytesInFlight = 0;
    state.finished += std::exchange(finished.jobs, {});
    finished.files = 0;
    finished.bytes = 0;
    if (state.dueLocked())
        state.wakeLocked();
}

// Runs the jobs in order; false once the run stops. The intents of jobs it did not reach are
// settled as failed: those files stay where they are.
bool FolderMovePipeline::runJobs(State& state, QList<FolderMoveJob>& jobs) {
    QList<int> seqs(jobs.size(), -1);
    intendBatch(state, jobs, seqs, 0, true);
    Finished finished;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        if (state.stopping()) {
            publish(state, finished);
            failIntents(state, seqs.mid(i));
            return false;
        }
        // A batch's intents are durable before its first move; the next batch's sync meanwhile.
        if (i % qsizetype(kIntentBatch) == 0 && state.records) {
            if (i > 0)
                state.records->awaitDurable();
            intendBatch(state, jobs, seqs, i + qsizetype(kIntentBatch), false);
        }
        FolderMoveJob& job = jobs[i];
        state.inFlight = job.index;
        // A long copy reports its share of the file's size as it goes.
        const FileOpProgress progress = [&state, size = job.size](qint64 done, qint64 total) {
            state.bytesInFlight = total > 0 ? qint64(double(size) * double(done) / double(total)) : 0;
            if (state.clock.elapsed() - state.lastWakeMs < kWakeMs)
                return;
            const std::lock_guard lock(state.mutex);
            state.wakeLocked();
        };
        FolderMoveOutcome outcome = execute(state, job, seqs.at(i), progress);
        const bool cancelled = outcome.kind == FolderMoveOutcome::Kind::cancelled;
        state.inFlight = -1;
        if (!cancelled) {
            finished.files += 1;
            finished.bytes += job.size;
        }
        finished.jobs.append({std::move(job), std::move(outcome)});
        if (cancelled) {
            publish(state, finished);
            failIntents(state, seqs.mid(i + 1));
            return false;
        }
        // A copy's share stays counted until its file is; a rename reports none.
        if (state.bytesInFlight.load() > 0 || state.clock.elapsed() - state.lastWakeMs >= kWakeMs)
            publish(state, finished);
    }
    publish(state, finished);
    return true;
}

namespace {

// The device of `path`, or of its nearest folder that exists (a destination made by the run).
std::optional<quint64> deviceOf(FileOperations& files, QString path) {
    for (int depth = 0; depth < 64 && !path.isEmpty(); ++depth) {
        const FileOpInfo info = files.status(path, true);
        if (info.kind != FileKind::missing)
            return info.device;
        const QString parent = path::deletingLastPathComponent(path);
        if (parent == path)
            break;
        path = parent;
    }
    return std::nullopt;
}

} // namespace

// Room for the run's records before its first move: a line each, its destination in it twice. A
// move off the store's disk gives back there what it moves.
void FolderMovePipeline::checkRoom(State& state) {
    if (!state.records)
        return;
    const FileOpInfo store = state.files->status(state.records->storeFolder(), true);
    const std::optional<quint64> target = deviceOf(*state.files, state.folder);
    const bool leavesStore = store.kind != FileKind::missing && target && *target != store.device;
    qint64 bytes = 0;
    qint64 freed = 0;
    for (qsizetype i = 0; i < state.watched.size(); ++i) {
        const Watched& paths = state.watched.at(i);
        bytes += RecordJournal::estimatedRecordBytes(paths.source, paths.source, {},
                                                     state.folder + QLatin1Char('/') + paths.source);
        const std::optional<FileIdentity>& source = state.identities[size_t(i)].source;
        if (leavesStore && source && source->device == store.device)
            freed += std::max<qint64>(0, source->size);
    }
    state.records->checkRoom(bytes, freed);
}

void FolderMovePipeline::work(const std::shared_ptr<State>& state) {
    // The identities say which files leave the store's disk.
    if (state->awaitIdentities())
        checkRoom(*state);
    for (;;) {
        QList<FolderMoveJob> jobs = takeJobs(*state);
        if (jobs.isEmpty() || !state->awaitIdentities() || !runJobs(*state, jobs))
            break;
    }
    // The run's records are the action's once the worker is done: the last reference must not
    // end here, after the action (and the journal it writes to) may be gone.
    state->records.reset();
    const std::lock_guard lock(state->mutex);
    state->workerDone = true;
    state->wakePending = false; // the last word always goes out
    state->wakeLocked();
}

} // namespace tarnwick
