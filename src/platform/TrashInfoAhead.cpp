#include "platform/TrashInfoAhead.h"

#include "platform/LeftoverMark.h"
#include "platform/ThreadPools.h"

#include <QHash>
#include <QThreadPool>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace tarnwick {

struct TrashInfoAhead::State {
    // Where an expected item's info is, in the order the helper takes them.
    enum class Stage {
        expected,     // the helper has not come to it yet
        writing,      // the helper writes and links it now
        writtenAhead, // in info/, not durable yet
        syncing,      // its group's sync runs
        durable,      // for the caller to claim
        notAhead,     // none made ahead (or withdrawn, or taken): the caller's own
    };
    struct Entry {
        QByteArray path;
        Stage stage = Stage::expected;
        std::optional<Prepared> prepared;
    };

    State(PrepareFn fn, SyncFn syncFn, int wanted)
        : prepare(std::move(fn)), sync(std::move(syncFn)), depth(qint64(wanted)) {}

    Entry& at(qint64 seq) { return entries[size_t(seq - front)]; }
    // The list was replaced (or ended) since a claim looked `path` up as `seq`.
    bool gone(const QByteArray& path, qint64 seq) const {
        const auto now = seqOf.constFind(path);
        return now == seqOf.cend() || *now != seq;
    }

    // The first entry goes; its info too when it was made for nothing. One whose group's sync runs
    // keeps it until that sync is done with it: the sync would fail on an info gone from under it
    // and withdraw the whole group.
    void dropFrontLocked() {
        Entry& e = entries.front();
        if (e.stage == Stage::writtenAhead)
            --writtenAhead;
        if (e.stage == Stage::durable || e.stage == Stage::writtenAhead)
            ::unlink(e.prepared->infoPath.constData());
        if (const auto it = seqOf.constFind(e.path); it != seqOf.cend() && *it == front)
            seqOf.erase(it);
        entries.pop_front();
        ++front;
    }
    // The helper has no room to go further: a new group starts only when it can be whole, as a
    // sync per claim would cost the most. With nothing ahead the caller waits for the next item,
    // which then comes at once.
    bool lacksRoomLocked() const {
        const qint64 ahead = next - front;
        const qint64 left = qint64(entries.size()) - ahead;
        const qint64 room = depth - ahead;
        return room <= 0 || (writtenAhead == 0 && ahead > 0 && room < std::min<qint64>(syncGroup, left));
    }
    void clearLocked() {
        for (const QByteArray& info : std::exchange(inFiles, {}))
            leftover::unmark(info);
        while (!entries.empty())
            dropFrontLocked();
        next = front;
        syncedUpTo = front;
        writtenAhead = 0;
    }

    // The waits, one per reason. Each side wakes the other only when it can go on: a wake per item
    // would cost both threads a switch, on the run's own path.

    // The helper: for room ahead of the claims, or for a sync to end while as many run as may.
    // Way out: a claim that makes room, a sync's end, a new list and the owner's end all wake it.
    void helperWaitLocked(std::unique_lock<std::mutex>& lock) {
        helperWaits = true;
        helperMayGoOn.wait(lock);
        helperWaits = false;
    }
    // A claim: for the helper to put down the entry it writes, when that is the claimed one or one
    // before it (those go only once it is done with them). Way out: the helper's call returns on
    // its own; a new list ends the wait.
    void waitUntilPutDownLocked(std::unique_lock<std::mutex>& lock, const QByteArray& path, qint64 seq) {
        ++putDownWaiters;
        putDown.wait(lock, [&] { return writing < 0 || writing > seq || gone(path, seq); });
        --putDownWaiters;
    }
    // A claim at the front: for its info to be durable, or left to the caller. A sync running ends
    // on its own, whatever else happens. Way out: the run stops, the helper ends, a new list comes.
    void waitUntilDurableLocked(std::unique_lock<std::mutex>& lock, const QByteArray& path, qint64 seq) {
        ++durableWaiters;
        callerWaitsFor = seq;
        madeDurable.wait(lock, [&] {
            if (gone(path, seq))
                return true;
            const Stage stage = entries.front().stage;
            if (stage == Stage::syncing)
                return false;
            return stopped || !helperRunning ||
                   (stage != Stage::expected && stage != Stage::writing && stage != Stage::writtenAhead);
        });
        if (--durableWaiters == 0)
            callerWaitsFor = -1;
    }
    // A new list and the owner's end: for the helper's call and every sync to return, as they call
    // back into the owner. Way out: both are system calls of ours that return on their own.
    void waitUntilQuietLocked(std::unique_lock<std::mutex>& lock) {
        ++quietWaiters;
        quiet.wait(lock, [&] { return writing < 0 && syncsRunning == 0; });
        --quietWaiters;
    }

    // After the front moved: the helper when it may go on, and other claims, which may find their
    // entry gone with it.
    void frontMovedLocked() {
        if (helperWaits && !lacksRoomLocked())
            helperMayGoOn.notify_all();
        if (putDownWaiters > 0)
            putDown.notify_all();
        if (durableWaiters > 0)
            madeDurable.notify_all();
    }
    // The helper put entry `seq` down: a claim waiting for it goes on once it is durable, which the
    // sync tells, or now when it was not made ahead and is the caller's to make.
    void putDownLocked(qint64 seq, Stage stage) {
        if (putDownWaiters > 0)
            putDown.notify_all();
        if (quietWaiters > 0)
            quiet.notify_all();
        if (durableWaiters > 1 || (durableWaiters > 0 && callerWaitsFor == seq && stage == Stage::notAhead))
            madeDurable.notify_all();
    }
    // A new list, the helper's end or the owner's: every wait looks again.
    void wakeEveryoneLocked() {
        helperMayGoOn.notify_all();
        putDown.notify_all();
        madeDurable.notify_all();
        quiet.notify_all();
    }

    // The infos a sync took are ready to claim, or withdrawn when it failed.
    void release(const QList<QByteArray>& paths, const std::vector<qint64>& seqs, bool synced) {
        const std::lock_guard lock(mutex);
        for (size_t k = 0; k < seqs.size(); ++k) {
            const qint64 seq = seqs[k];
            // Passed over meanwhile (never claimed: a claim waits for the sync): made for nothing.
            if (seq < front) {
                ::unlink(paths[qsizetype(k)].constData());
                continue;
            }
            Entry& entry = at(seq);
            if (!synced) {
                ::unlink(entry.prepared->infoPath.constData());
                entry.prepared.reset();
            }
            entry.stage = synced ? Stage::durable : Stage::notAhead;
        }
        if (durableWaiters > 0)
            madeDurable.notify_all();
    }
    // A sync is done with everything it took.
    void syncEnded() {
        const std::lock_guard lock(mutex);
        --syncsRunning;
        if (helperWaits)
            helperMayGoOn.notify_all();
        if (quietWaiters > 0)
            quiet.notify_all();
    }

    const PrepareFn prepare;
    const SyncFn sync;
    const qint64 depth;
    std::mutex mutex;

    // The list: every expected item from the first not yet claimed or passed over, in order.
    std::deque<Entry> entries;
    QHash<QByteArray, qint64> seqOf; // the last entry of each path
    qint64 front = 0;                // the sequence number of entries.front()

    // What is ahead of the claims.
    qint64 next = 0;         // the next entry the helper writes
    qint64 writing = -1;     // the entry it writes now; -1 when none
    qint64 writtenAhead = 0; // entries written ahead and not yet taken by a sync

    // What is synced.
    qint64 syncedUpTo = 0; // the first entry no sync has looked at: skipped ones lie among the written
    int syncsRunning = 0;  // groups whose sync runs

    // What is handed back: infos whose items are in files/, their marks still to come off.
    std::vector<QByteArray> inFiles;

    bool helperRunning = false;
    bool stopped = false;

    // The waits above, and who waits in each.
    std::condition_variable helperMayGoOn;
    std::condition_variable putDown;
    std::condition_variable madeDurable;
    std::condition_variable quiet;
    bool helperWaits = false;
    int putDownWaiters = 0;
    int durableWaiters = 0;
    qint64 callerWaitsFor = -1; // the entry the last claim to wait waits for
    int quietWaiters = 0;
};

TrashInfoAhead::TrashInfoAhead(PrepareFn prepare, SyncFn sync, int depth)
    : m_state(std::make_shared<State>(std::move(prepare), std::move(sync), depth)) {}

TrashInfoAhead::~TrashInfoAhead() {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.stopped = true;
    s.waitUntilQuietLocked(lock);
    s.clearLocked();
    s.wakeEveryoneLocked();
}

void TrashInfoAhead::expect(const QList<QByteArray>& paths) {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.waitUntilQuietLocked(lock);
    s.clearLocked();
    for (const QByteArray& path : paths) {
        s.seqOf.insert(path, s.front + qint64(s.entries.size()));
        s.entries.push_back({path, State::Stage::expected, std::nullopt});
    }
    // A claim waiting for an entry of the list before finds it gone.
    s.wakeEveryoneLocked();
    if (s.entries.empty() || s.stopped)
        return;
    if (!s.helperRunning) {
        s.helperRunning = true;
        trashInfoPool().start([state = m_state] { run(state); });
    }
}

void TrashInfoAhead::finished(const QByteArray& infoPath) {
    State& s = *m_state;
    const std::lock_guard lock(s.mutex);
    s.inFiles.push_back(infoPath);
}

std::optional<TrashInfoAhead::Prepared> TrashInfoAhead::claim(const QByteArray& path) {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    const auto it = s.seqOf.constFind(path);
    if (it == s.seqOf.cend())
        return std::nullopt;
    const qint64 seq = *it;
    s.waitUntilPutDownLocked(lock, path, seq);
    if (s.gone(path, seq))
        return std::nullopt;
    while (s.front < seq)
        s.dropFrontLocked();
    // Not made yet, or made and not yet durable: the helper gets to it, and then to its sync.
    s.frontMovedLocked();
    s.waitUntilDurableLocked(lock, path, seq);
    if (s.gone(path, seq))
        return std::nullopt;
    State::Entry& entry = s.entries.front();
    std::optional<Prepared> taken;
    if (entry.stage == State::Stage::durable)
        taken = std::move(entry.prepared);
    entry.stage = State::Stage::notAhead; // taken: its info stays
    s.dropFrontLocked();
    s.frontMovedLocked();
    return taken;
}

// One sync for the infos written ahead since the last one, on a thread of its own so that the
// helper goes on meanwhile; those it could not make durable go.
void TrashInfoAhead::syncWrittenAhead(const std::shared_ptr<State>& state) {
    State& s = *state;
    QList<QByteArray> paths;
    std::vector<qint64> seqs;
    for (qint64 seq = std::max(s.front, s.syncedUpTo); seq < s.next; ++seq) {
        State::Entry& entry = s.at(seq);
        if (entry.stage != State::Stage::writtenAhead)
            continue;
        entry.stage = State::Stage::syncing;
        paths.append(entry.prepared->infoPath);
        seqs.push_back(seq);
    }
    s.writtenAhead = 0;
    s.syncedUpTo = s.next;
    if (paths.isEmpty())
        return;
    ++s.syncsRunning;
    // The marks of infos whose items went meanwhile come off on this thread too, once the claims
    // it releases may go on. It counts as a running sync until then: a run that ends finds them
    // all off.
    trashInfoSyncPool().start([state, paths, seqs = std::move(seqs), unmark = std::exchange(s.inFiles, {})] {
        State& s = *state;
        const bool synced = s.sync(paths);
        s.release(paths, seqs, synced);
        for (const QByteArray& info : unmark)
            leftover::unmark(info);
        s.syncEnded();
    });
}

// Prepares the expected items in order, at most `depth` ahead of the caller's claims, and syncs
// them in groups before the caller may claim them.
void TrashInfoAhead::run(const std::shared_ptr<State>& state) {
    State& s = *state;
    std::unique_lock lock(s.mutex);
    while (!s.stopped) {
        s.next = std::max(s.next, s.front);
        const qint64 ahead = s.next - s.front;
        const qint64 left = qint64(s.entries.size()) - ahead;
        const qint64 room = s.depth - ahead;
        if (s.writtenAhead > 0 && (s.writtenAhead >= syncGroup || left <= 0 || room <= 0)) {
            // A few groups' syncs side by side: more would only queue at the disk.
            if (s.syncsRunning >= maxSyncsRunning) {
                s.helperWaitLocked(lock);
                continue;
            }
            syncWrittenAhead(state);
            continue;
        }
        if (left <= 0)
            break;
        if (s.lacksRoomLocked()) {
            s.helperWaitLocked(lock);
            continue;
        }
        const qint64 seq = s.next;
        const QByteArray path = s.at(seq).path;
        s.at(seq).stage = State::Stage::writing;
        s.writing = seq;
        lock.unlock();
        std::optional<Prepared> prepared = s.prepare(path);
        lock.lock();
        // Nobody drops an entry the helper is writing: they wait for it.
        State::Entry& entry = s.at(seq);
        entry.stage = prepared ? State::Stage::writtenAhead : State::Stage::notAhead;
        entry.prepared = std::move(prepared);
        if (entry.prepared)
            ++s.writtenAhead;
        s.writing = -1;
        s.next = seq + 1;
        s.putDownLocked(seq, entry.stage);
    }
    s.helperRunning = false;
    s.wakeEveryoneLocked();
}

} // namespace tarnwick
