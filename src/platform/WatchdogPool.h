#pragma once

#include "platform/ThreadNames.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace tarnwick {

// A dedicated pool of at most `width` threads whose jobs run under a watchdog: a job that makes no
// progress for `timeout` (a stat or read stuck on a hard-mounted share that went away) is reported
// as abandoned, its thread is left to finish on its own, and a fresh thread takes its place.
// QThreadPool cannot do this: it keeps a blocked thread and waits for it on destruction.
class WatchdogPool {
public:
    enum class Outcome { finished, abandoned, cancelled };

    // Handed to each job; touch() restarts the job's clock before each blocking call.
    class Watch {
    public:
        explicit Watch(std::atomic<long long>* busySince) : m_busySince(busySince) {}
        void touch();

    private:
        std::atomic<long long>* m_busySince;
    };

    using Result = std::shared_ptr<void>;
    // A job owns what it uses (capture by value): an abandoned job may outlive run().
    using Job = std::function<Result(int index, Watch& watch)>;
    // Called on the thread that called run(), in the order jobs end; `result` is null unless finished.
    using Done = std::function<void(int index, Outcome outcome, const Result& result)>;

    // Restarts the clock of the job running on this thread, if any: for long walks deep inside a job
    // (a folder of many files on a slow share) that has no Watch at hand.
    static void touchCurrent();

    // Threads, each called `name`, start when jobs come and end after `idleExpiry` without one.
    WatchdogPool(ThreadName name, int width, std::chrono::milliseconds timeout,
                 std::chrono::milliseconds idleExpiry = std::chrono::seconds(2));
    ~WatchdogPool();
    WatchdogPool(const WatchdogPool&) = delete;
    WatchdogPool& operator=(const WatchdogPool&) = delete;

    int width() const;
    std::chrono::milliseconds timeout() const;
    // Threads given up on since the pool was made.
    int abandonedCount() const;
    // Threads running now (working or idle, not yet expired), abandoned ones not counted.
    int liveThreadCount() const;

    // Runs job(0) ... job(count - 1), at most width() at once, and returns when each has ended.
    // Once `cancel` is set, jobs not yet started end as cancelled. Runs from several threads take
    // turns.
    void run(int count, const Job& job, const Done& done, const std::atomic_bool* cancel = nullptr);

    // Typed convenience: `job` returns R; `done(index, outcome, const R*)`.
    template <class R, class J, class D>
    void map(int count, J job, D done, const std::atomic_bool* cancel = nullptr) {
        run(
            count,
            [job](int index, Watch& watch) -> Result { return std::make_shared<R>(job(index, watch)); },
            [&done](int index, Outcome outcome, const Result& result) {
                done(index, outcome, static_cast<const R*>(result.get()));
            },
            cancel);
    }

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace tarnwick
