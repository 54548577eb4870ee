#include "platform/WatchdogPool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwick {

namespace {

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr auto cancelPoll = std::chrono::milliseconds(20);

thread_local WatchdogPool::Watch* currentWatch = nullptr;

} // namespace

struct WatchdogPool::State {
    struct Slot {
        std::atomic<long long> busySince{0}; // 0 while idle
        bool abandoned = false;              // guarded by mutex
        bool idleExit = false;               // guarded by mutex: ended after idling
        int index = -1;                      // guarded by mutex
        std::thread thread;
    };
    struct Task {
        int index = 0;
        std::shared_ptr<const Job> job;
    };
    struct Completion {
        int index = 0;
        Outcome outcome = Outcome::finished;
        Result result;
    };

    ThreadName name{"Watchdog"};
    int width = 1;
    std::chrono::nanoseconds timeout{0};
    std::chrono::nanoseconds idleExpiry{0};
    std::mutex runMutex; // one run() at a time: completions are not tagged by run
    std::mutex mutex;
    std::condition_variable workCv;
    std::condition_variable doneCv;
    std::deque<Task> queue;
    std::deque<Completion> completed;
    std::vector<std::shared_ptr<Slot>> slots;
    const std::atomic_bool* cancel = nullptr; // the current run's; guarded by mutex
    bool stopping = false;
    int abandoned = 0;

    static void workerLoop(const std::shared_ptr<State>& state, const std::shared_ptr<Slot>& slot);
    void startWorker(const std::shared_ptr<State>& self, std::size_t at);
    // Workers start when there is work: up to `wanted` of the slots get a live thread.
    void ensureWorkers(const std::shared_ptr<State>& self, int wanted);
    void abandonOverdue(long long now, long long& nextDeadline);
    void replaceAbandoned(const std::shared_ptr<State>& self);
};

void WatchdogPool::Watch::touch() {
    m_busySince->store(nowNs(), std::memory_order_relaxed);
}

void WatchdogPool::touchCurrent() {
    if (currentWatch)
        currentWatch->touch();
}

void WatchdogPool::State::workerLoop(const std::shared_ptr<State>& state, const std::shared_ptr<Slot>& slot) {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(state->mutex);
            const auto hasWork = [&] { return state->stopping || !state->queue.empty(); };
            // A thread idle for a while ends: a pool kept for later costs no threads meanwhile.
            if (!state->workCv.wait_for(lock, state->idleExpiry, hasWork)) {
                slot->idleExit = true;
                return;
            }
            if (state->stopping)
                return;
            task = std::move(state->queue.front());
            state->queue.pop_front();
            // Once cancelled no further job starts, even before the caller's thread gets to run.
            if (state->cancel && state->cancel->load()) {
                state->completed.push_back({task.index, Outcome::cancelled, nullptr});
                state->doneCv.notify_all();
                continue;
            }
            slot->index = task.index;
            slot->busySince.store(nowNs());
        }
        Watch watch(&slot->busySince);
        currentWatch = &watch;
        Result result;
        try {
            result = (*task.job)(task.index, watch);
        } catch (...) {
            result.reset(); // a job that throws ends without a result
        }
        currentWatch = nullptr;
        {
            std::lock_guard lock(state->mutex);
            if (slot->abandoned)
                return; // someone else holds this slot's place now
            slot->busySince.store(0);
            slot->index = -1;
            state->completed.push_back({task.index, Outcome::finished, std::move(result)});
        }
        state->doneCv.notify_all();
    }
}

void WatchdogPool::State::startWorker(const std::shared_ptr<State>& self, std::size_t at) {
    auto slot = std::make_shared<Slot>();
    slot->thread = std::thread([self, slot] {
        nameCurrentThread(self->name);
        workerLoop(self, slot);
    });
    slots[at] = std::move(slot);
}

// Called with the mutex held.
void WatchdogPool::State::ensureWorkers(const std::shared_ptr<State>& self, int wanted) {
    int live = 0;
    for (const auto& slot : slots) {
        if (slot && !slot->abandoned && !slot->idleExit)
            ++live;
    }
    for (std::size_t i = 0; i < slots.size() && live < wanted; ++i) {
        auto& slot = slots[i];
        if (slot && !slot->abandoned && !slot->idleExit)
            continue;
        if (slot && slot->idleExit && slot->thread.joinable())
            slot->thread.join(); // it has returned, or is about to: it only left its loop
        startWorker(self, i);
        ++live;
    }
}

// Called with the mutex held.
void WatchdogPool::State::abandonOverdue(long long now, long long& nextDeadline) {
    const long long limit = timeout.count();
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (!slots[i])
            continue;
        const long long since = slots[i]->busySince.load();
        if (since == 0 || slots[i]->abandoned)
            continue;
        if (now - since < limit) {
            nextDeadline = std::min(nextDeadline, since + limit);
            continue;
        }
        slots[i]->abandoned = true;
        slots[i]->thread.detach();
        completed.push_back({slots[i]->index, Outcome::abandoned, nullptr});
        ++abandoned;
    }
}

// Called with the mutex held, after the abandonments were reported: the caller's reaction (say,
// writing off a hung mount) is in place before a fresh thread takes the next job.
void WatchdogPool::State::replaceAbandoned(const std::shared_ptr<State>& self) {
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i] && slots[i]->abandoned)
            startWorker(self, i);
    }
}

WatchdogPool::WatchdogPool(ThreadName name, int width, std::chrono::milliseconds timeout,
                           std::chrono::milliseconds idleExpiry)
    : m_state(std::make_shared<State>()) {
    m_state->name = name;
    m_state->width = std::max(width, 1);
    m_state->timeout = timeout;
    m_state->idleExpiry = idleExpiry;
    m_state->slots.resize(std::size_t(m_state->width));
}

WatchdogPool::~WatchdogPool() {
    std::vector<std::shared_ptr<State::Slot>> slots;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
        slots = m_state->slots;
    }
    m_state->workCv.notify_all();
    for (const auto& slot : slots) {
        if (slot && slot->thread.joinable())
            slot->thread.join();
    }
}

int WatchdogPool::liveThreadCount() const {
    std::lock_guard lock(m_state->mutex);
    return int(std::count_if(m_state->slots.begin(), m_state->slots.end(),
                             [](const auto& slot) { return slot && !slot->abandoned && !slot->idleExit; }));
}

int WatchdogPool::width() const {
    return m_state->width;
}

std::chrono::milliseconds WatchdogPool::timeout() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_state->timeout);
}

int WatchdogPool::abandonedCount() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->abandoned;
}

void WatchdogPool::run(int count, const Job& job, const Done& done, const std::atomic_bool* cancel) {
    if (count <= 0)
        return;
    // Callers on other threads wait their turn rather than take each other's completions.
    std::lock_guard runLock(m_state->runMutex);
    const auto shared = std::make_shared<const Job>(job);
    {
        std::lock_guard lock(m_state->mutex);
        m_state->cancel = cancel;
        for (int i = 0; i < count; ++i)
            m_state->queue.push_back({i, shared});
        m_state->ensureWorkers(m_state, count);
    }
    struct ForgetCancel {
        State& state;
        ~ForgetCancel() {
            std::lock_guard lock(state.mutex);
            state.cancel = nullptr;
        }
    } forget{*m_state};
    m_state->workCv.notify_all();

    int remaining = count;
    std::vector<State::Completion> ready;
    while (remaining > 0) {
        {
            std::unique_lock lock(m_state->mutex);
            if (cancel && cancel->load()) {
                for (const State::Task& task : m_state->queue)
                    m_state->completed.push_back({task.index, Outcome::cancelled, nullptr});
                m_state->queue.clear();
            }
            long long nextDeadline =
                nowNs() + std::chrono::duration_cast<std::chrono::nanoseconds>(
                              cancel ? std::chrono::nanoseconds(cancelPoll) : m_state->timeout)
                              .count();
            m_state->abandonOverdue(nowNs(), nextDeadline);
            if (m_state->completed.empty()) {
                const auto wakeAt =
                    std::chrono::steady_clock::time_point(std::chrono::nanoseconds(nextDeadline));
                m_state->doneCv.wait_until(lock, wakeAt);
            }
            ready.assign(std::make_move_iterator(m_state->completed.begin()),
                         std::make_move_iterator(m_state->completed.end()));
            m_state->completed.clear();
        }
        for (const State::Completion& completion : ready)
            done(completion.index, completion.outcome, completion.result);
        remaining -= int(ready.size());
        ready.clear();
        {
            std::lock_guard lock(m_state->mutex);
            m_state->replaceAbandoned(m_state);
        }
    }
}

} // namespace tarnwick
