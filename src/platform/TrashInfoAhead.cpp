#include "platform/TrashInfoAhead.h"

#include "platform/ThreadPools.h"

#include <QHash>
#include <QThreadPool>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unistd.h>

namespace tarnwick {

namespace {} // namespace

struct TrashInfoAhead::State {
    enum class Stage { pending, preparing, ready, none };
    struct Entry {
        QByteArray path;
        Stage stage = Stage::pending;
        std::optional<Prepared> prepared;
    };

    State(PrepareFn fn, int wanted) : prepare(std::move(fn)), depth(qint64(wanted)) {}

    Entry& at(qint64 seq) { return entries[size_t(seq - front)]; }

    // The first entry goes; its info too when it was made for nothing.
    void dropFrontLocked() {
        Entry& e = entries.front();
        if (e.stage == Stage::ready)
            ::unlink(e.prepared->infoPath.constData());
        if (const auto it = seqOf.constFind(e.path); it != seqOf.cend() && *it == front)
            seqOf.erase(it);
        entries.pop_front();
        ++front;
    }
    void waitIdleLocked(std::unique_lock<std::mutex>& lock) {
        changed.wait(lock, [&] { return !busy; });
    }
    void clearLocked() {
        while (!entries.empty())
            dropFrontLocked();
        next = front;
    }

    const PrepareFn prepare;
    const qint64 depth;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Entry> entries;
    QHash<QByteArray, qint64> seqOf; // the last entry of each path
    qint64 front = 0;                // the sequence number of entries.front()
    qint64 next = 0;                 // the next the helper prepares
    qint64 busySeq = -1;             // the one the helper is preparing
    bool busy = false;
    bool running = false;
    bool stopped = false;
};

TrashInfoAhead::TrashInfoAhead(PrepareFn prepare, int depth)
    : m_state(std::make_shared<State>(std::move(prepare), depth)) {}

TrashInfoAhead::~TrashInfoAhead() {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.stopped = true;
    s.waitIdleLocked(lock); // the helper calls back into the owner
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
    if (s.entries.empty() || s.stopped)
        return;
    if (!s.running) {
        s.running = true;
        trashInfoPool().start([state = m_state] { run(state); });
    }
    s.changed.notify_all();
}

std::optional<TrashInfoAhead::Prepared> TrashInfoAhead::claim(const QByteArray& path) {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    auto it = s.seqOf.constFind(path);
    if (it == s.seqOf.cend())
        return std::nullopt;
    const qint64 seq = *it;
    if (s.busy && s.busySeq <= seq) {
        s.changed.wait(lock, [&] { return !s.busy || s.busySeq > seq; });
        it = s.seqOf.constFind(path);
        if (it == s.seqOf.cend() || *it != seq)
            return std::nullopt; // another list came meanwhile
    }
    while (s.front < seq)
        s.dropFrontLocked();
    State::Entry& entry = s.entries.front();
    std::optional<Prepared> taken;
    if (entry.stage == State::Stage::ready)
        taken = std::move(entry.prepared);
    entry.stage = State::Stage::none; // taken: its info stays
    s.dropFrontLocked();
    s.changed.notify_all();
    return taken;
}

// Prepares the expected items in order, at most `depth` ahead of the caller's claims.
void TrashInfoAhead::run(const std::shared_ptr<State>& state) {
    State& s = *state;
    std::unique_lock lock(s.mutex);
    while (!s.stopped) {
        s.next = std::max(s.next, s.front);
        if (s.next - s.front >= qint64(s.entries.size()))
            break;
        if (s.next - s.front >= s.depth) {
            s.changed.wait(lock);
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
        entry.stage = prepared ? State::Stage::ready : State::Stage::none;
        entry.prepared = std::move(prepared);
        s.busy = false;
        s.next = seq + 1;
        s.changed.notify_all();
    }
    s.running = false;
    s.changed.notify_all();
}

} // namespace tarnwick
