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
    // linked: the info is in info/ but not durable yet; syncing: its group's sync runs; ready:
    // durable, for the caller to claim.
    enum class Stage { pending, preparing, linked, syncing, ready, none };
    struct Entry {
        QByteArray path;
        Stage stage = Stage::pending;
        std::optional<Prepared> prepared;
    };

    State(PrepareFn fn, SyncFn syncFn, int wanted)
        : prepare(std::move(fn)), sync(std::move(syncFn)), depth(qint64(wanted)) {}

    Entry& at(qint64 seq) { return entries[size_t(seq - front)]; }

    // The first entry goes; its info too when it was made for nothing. One whose group's sync runs
    // keeps it until that sync is done with it: the sync would fail on an info gone from under it
    // and withdraw the whole group.
    void dropFrontLocked() {
        Entry& e = entries.front();
        if (e.stage == Stage::linked)
            --linked;
        if (e.stage == Stage::ready || e.stage == Stage::linked)
            ::unlink(e.prepared->infoPath.constData());
        if (const auto it = seqOf.constFind(e.path); it != seqOf.cend() && *it == front)
            seqOf.erase(it);
        entries.pop_front();
        ++front;
    }
    // The helper and the syncs call back into the owner; no sync runs afterwards.
    void waitIdleLocked(std::unique_lock<std::mutex>& lock) {
        ++busyWaiters;
        changed.wait(lock, [&] { return !busy && syncing == 0; });
        --busyWaiters;
    }
    // The helper has no room to go further: a new group starts only when it can be whole, as a
    // sync per claim would cost the most. With nothing ahead the caller waits for the next item,
    // which then comes at once.
    bool lacksRoomLocked() const {
        const qint64 ahead = next - front;
        const qint64 left = qint64(entries.size()) - ahead;
        const qint64 room = depth - ahead;
        return room <= 0 || (linked == 0 && ahead > 0 && room < std::min<qint64>(syncGroup, left));
    }
    // After the front moved: the helper when it may go on, and other callers, who wait for it too.
    void wakeHelperLocked() {
        if ((helperWaits && !lacksRoomLocked()) || busyWaiters > 0 || claimWaiters > 0)
            changed.notify_all();
    }
    void helperWaitLocked(std::unique_lock<std::mutex>& lock) {
        helperWaits = true;
        changed.wait(lock);
        helperWaits = false;
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
            entry.stage = synced ? Stage::ready : Stage::none;
        }
        changed.notify_all();
    }
    void clearLocked() {
        for (const QByteArray& info : std::exchange(toUnmark, {}))
            leftover::unmark(info);
        while (!entries.empty())
            dropFrontLocked();
        next = front;
        syncFrom = front;
        linked = 0;
    }

    const PrepareFn prepare;
    const SyncFn sync;
    const qint64 depth;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Entry> entries;
    QHash<QByteArray, qint64> seqOf; // the last entry of each path
    qint64 front = 0;                // the sequence number of entries.front()
    qint64 next = 0;                 // the next the helper prepares
    qint64 busySeq = -1;             // the one the helper is preparing
    bool busy = false;
    qint64 linked = 0;   // entries linked and not yet synced
    qint64 syncFrom = 0; // the first entry no sync has looked at: skipped ones lie among the linked
    int syncing = 0;     // groups whose sync runs
    bool running = false;
    bool stopped = false;
    // Who waits for what, so that each side wakes the other only when it can go on: a wake per item
    // would cost both threads a switch, on the run's own path.
    bool helperWaits = false;         // for room, or for a sync to end
    int busyWaiters = 0;              // callers waiting for the helper to put an entry down
    int claimWaiters = 0;             // claims waiting for their entry to be made and made durable
    qint64 callerWaitsFor = -1;       // the entry the last of them waits for
    std::vector<QByteArray> toUnmark; // infos whose items are in files/, still marked
};

TrashInfoAhead::TrashInfoAhead(PrepareFn prepare, SyncFn sync, int depth)
    : m_state(std::make_shared<State>(std::move(prepare), std::move(sync), depth)) {}

TrashInfoAhead::~TrashInfoAhead() {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.stopped = true;
    s.waitIdleLocked(lock);
    s.clearLocked();
    s.changed.notify_all();
}

void TrashInfoAhead::expect(const QList<QByteArray>& paths) {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.waitIdleLocked(lock);
    s.clearLocked();
    for (const QByteArray& path : paths) {
        s.seqOf.insert(path, s.front + qint64(s.entries.size()));
        s.entries.push_back({path, State::Stage::pending, std::nullopt});
    }
    // A claim waiting for an entry of the list before finds it gone.
    s.changed.notify_all();
    if (s.entries.empty() || s.stopped)
        return;
    if (!s.running) {
        s.running = true;
        trashInfoPool().start([state = m_state] { run(state); });
    }
}

void TrashInfoAhead::finished(const QByteArray& infoPath) {
    State& s = *m_state;
    const std::lock_guard lock(s.mutex);
    s.toUnmark.push_back(infoPath);
}

std::optional<TrashInfoAhead::Prepared> TrashInfoAhead::claim(const QByteArray& path) {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    auto it = s.seqOf.constFind(path);
    if (it == s.seqOf.cend())
        return std::nullopt;
    const qint64 seq = *it;
    const auto gone = [&] {
        const auto now = s.seqOf.constFind(path);
        return now == s.seqOf.cend() || *now != seq; // another list came meanwhile
    };
    // The helper may be on it or on one before it: those go only once it is done with them.
    ++s.busyWaiters;
    s.changed.wait(lock, [&] { return !(s.busy && s.busySeq <= seq) || gone(); });
    --s.busyWaiters;
    if (gone())
        return std::nullopt;
    while (s.front < seq)
        s.dropFrontLocked();
    // Not made yet, or made and not yet durable: the helper gets to it, and then to its sync. A
    // sync running ends on its own, whatever else happens.
    s.wakeHelperLocked();
    ++s.claimWaiters;
    s.callerWaitsFor = seq;
    s.changed.wait(lock, [&] {
        if (gone())
            return true;
        const State::Stage stage = s.entries.front().stage;
        if (stage == State::Stage::syncing)
            return false;
        return s.stopped || !s.running ||
               (stage != State::Stage::pending && stage != State::Stage::preparing &&
                stage != State::Stage::linked);
    });
    if (--s.claimWaiters == 0)
        s.callerWaitsFor = -1;
    if (gone())
        return std::nullopt;
    State::Entry& entry = s.entries.front();
    std::optional<Prepared> taken;
    if (entry.stage == State::Stage::ready)
        taken = std::move(entry.prepared);
    entry.stage = State::Stage::none; // taken: its info stays
    s.dropFrontLocked();
    s.wakeHelperLocked();
    return taken;
}

// One sync for the infos linked since the last one, on a thread of its own so that the helper goes
// on meanwhile; those it could not make durable go.
void TrashInfoAhead::syncLinked(const std::shared_ptr<State>& state) {
    State& s = *state;
    QList<QByteArray> paths;
    std::vector<qint64> seqs;
    for (qint64 seq = std::max(s.front, s.syncFrom); seq < s.next; ++seq) {
        State::Entry& entry = s.at(seq);
        if (entry.stage != State::Stage::linked)
            continue;
        entry.stage = State::Stage::syncing;
        paths.append(entry.prepared->infoPath);
        seqs.push_back(seq);
    }
    s.linked = 0;
    s.syncFrom = s.next;
    if (paths.isEmpty())
        return;
    ++s.syncing;
    // The marks of infos whose items went meanwhile come off on this thread too, once the claims
    // it releases may go on. It counts as a running sync until then: a run that ends finds them
    // all off.
    trashInfoSyncPool().start([state, paths, seqs = std::move(seqs), unmark = std::exchange(s.toUnmark, {})] {
        State& s = *state;
        const bool synced = s.sync(paths);
        s.release(paths, seqs, synced);
        for (const QByteArray& info : unmark)
            leftover::unmark(info);
        const std::lock_guard lock(s.mutex);
        --s.syncing;
        s.changed.notify_all();
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
        if (s.linked > 0 && (s.linked >= syncGroup || left <= 0 || room <= 0)) {
            // A few groups' syncs side by side: more would only queue at the disk.
            if (s.syncing >= maxSyncsRunning) {
                s.helperWaitLocked(lock);
                continue;
            }
            syncLinked(state);
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
        s.at(seq).stage = State::Stage::preparing;
        s.busy = true;
        s.busySeq = seq;
        lock.unlock();
        std::optional<Prepared> prepared = s.prepare(path);
        lock.lock();
        // Nobody drops an entry the helper is preparing: they wait for it.
        State::Entry& entry = s.at(seq);
        entry.stage = prepared ? State::Stage::linked : State::Stage::none;
        entry.prepared = std::move(prepared);
        if (entry.prepared)
            ++s.linked;
        s.busy = false;
        s.next = seq + 1;
        // A caller waiting for this entry goes on once it is durable, which the sync tells, or now
        // when it was not made ahead and is the caller's to make.
        if (s.busyWaiters > 0 || s.claimWaiters > 1 ||
            (s.claimWaiters > 0 && s.callerWaitsFor == seq && entry.stage == State::Stage::none))
            s.changed.notify_all();
    }
    s.running = false;
    s.changed.notify_all();
}

} // namespace tarnwick
