#include "platform/MemoryRelease.h"

#include "platform/IdleThreads.h"
#include "platform/Immortal.h"

#include <QThreadPool>
#include <QtGlobal>

#include <algorithm>

#include <atomic>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tarnwick::memory {

namespace {

struct Releaser {
    QThreadPool pool;
    std::atomic<bool> trimQueued{false};

    Releaser() {
        pool.setMaxThreadCount(1);
        pool.setExpiryTimeout(idleThreadExpiryMs);
        pool.setObjectName(QStringLiteral("MemoryRelease"));
    }
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

} // namespace

void configureAllocator() {
#if defined(__GLIBC__)
    // Settings given in the environment win.
    if (!qEnvironmentVariableIsEmpty("GLIBC_TUNABLES"))
        return;
    // One arena per processor: the default (eight per processor) lets a hundred status-check
    // threads each keep an arena of freed lists.
    if (qEnvironmentVariableIsEmpty("MALLOC_ARENA_MAX"))
        mallopt(M_ARENA_MAX, int(std::max(1u, std::thread::hardware_concurrency())));
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
    releaser().pool.start([release = std::move(release)]() mutable {
        release();
        release = nullptr;
    });
}

void trimLater() {
    Releaser& r = releaser();
    // A trim walks every arena with its lock held: asked for many times in a row, it is done once.
    if (r.trimQueued.exchange(true))
        return;
    r.pool.start([&r] {
        r.trimQueued = false;
        trimNow();
    });
}

void waitForReleases() {
    releaser().pool.waitForDone();
}

} // namespace tarnwick::memory
