#include "platform/MemoryRelease.h"

#include "platform/Immortal.h"
#include "platform/ThreadPools.h"

#include <QThreadPool>
#include <QtGlobal>

#include <algorithm>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tarnwick::memory {

namespace {

// A trim waits this long after the last request for one: what the work frees right after it ends
// (the views letting go of their rows, releases queued on later turns) is then given back too.
constexpr auto kTrimSettle = std::chrono::milliseconds(1000);

using Clock = std::chrono::steady_clock;

struct Releaser {
    QThreadPool& pool = memoryReleasePool();
    std::mutex mutex;
    std::condition_variable wake;
    Clock::time_point trimDue;
    bool trimQueued = false;
    int releasesQueued = 0;
    std::function<void()> trim;
};

// Immortal: a release may still be queued while static destructors run.
Releaser& releaser() {
    static Immortal<Releaser> instance;
    return instance.get();
}

void trimNow() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// On the release thread: waits for the settle time, letting releases queued meanwhile go first.
void trimWhenSettled(Releaser& r) {
    std::unique_lock lock(r.mutex);
    while (r.releasesQueued == 0 && Clock::now() < r.trimDue)
        r.wake.wait_until(lock, r.trimDue);
    if (r.releasesQueued > 0) {
        // Queued behind them: the thread is theirs first.
        lock.unlock();
        r.pool.start([&r] { trimWhenSettled(r); });
        return;
    }
    r.trimQueued = false;
    const std::function<void()> trim = r.trim;
    lock.unlock();
    trim ? trim() : trimNow();
}

} // namespace

void configureAllocator() {
#if defined(__GLIBC__)
    // Settings given in the environment win.
    if (!qEnvironmentVariableIsEmpty("GLIBC_TUNABLES"))
        return;
    // Four arenas per processor: the default (eight per processor) lets a hundred status-check
    // threads each keep an arena of freed lists; with fewer the project readers share arenas with
    // the threads that keep the import's results, whose pages the readers' freed temporaries then
    // riddle (resident after an import, medians of 15-24 imports: one per processor 1.35x the live
    // heap, two 1.29x, four 1.24x).
    if (qEnvironmentVariableIsEmpty("MALLOC_ARENA_MAX"))
        mallopt(M_ARENA_MAX, 4 * int(std::max(1u, std::thread::hardware_concurrency())));
    // Fixed thresholds instead of ones that grow with the largest block freed: after a 100,000-entry
    // list is freed the grown thresholds keep tens of megabytes at the top of every arena, which
    // malloc_trim() does not give back for any arena but the first. Blocks of a megabyte or more
    // are mapped on their own and return to the system when freed.
    constexpr int megabyte = 1 << 20;
    if (qEnvironmentVariableIsEmpty("MALLOC_MMAP_THRESHOLD_"))
        mallopt(M_MMAP_THRESHOLD, megabyte);
    if (qEnvironmentVariableIsEmpty("MALLOC_TRIM_THRESHOLD_"))
        mallopt(M_TRIM_THRESHOLD, megabyte);
#endif
}

void releaseOnThread(std::function<void()> release) {
    Releaser& r = releaser();
    {
        std::lock_guard lock(r.mutex);
        ++r.releasesQueued;
    }
    r.wake.notify_all();
    r.pool.start([&r, release = std::move(release)]() mutable {
        release();
        release = nullptr;
        std::lock_guard lock(r.mutex);
        --r.releasesQueued;
    });
}

void trimLater() {
    Releaser& r = releaser();
    {
        // Asked for many times in a row (a trim walks every arena with its lock held), it is done once.
        std::lock_guard lock(r.mutex);
        r.trimDue = Clock::now() + kTrimSettle;
        if (std::exchange(r.trimQueued, true))
            return;
    }
    r.pool.start([&r] { trimWhenSettled(r); });
}

void waitForReleases() {
    Releaser& r = releaser();
    {
        std::lock_guard lock(r.mutex);
        r.trimDue = Clock::now();
    }
    r.wake.notify_all();
    r.pool.waitForDone();
}

void setTrimForTests(std::function<void()> trim) {
    Releaser& r = releaser();
    std::lock_guard lock(r.mutex);
    r.trim = std::move(trim);
}

} // namespace tarnwick::memory
