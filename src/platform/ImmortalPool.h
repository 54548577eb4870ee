#pragma once

#include "platform/IdleThreads.h"
#include "platform/Immortal.h"
#include "platform/ThreadNames.h"

#include <QThreadPool>

#include <chrono>

namespace tarnwick {

// A named pool of at most `width` threads, made on first use and never destroyed. QThreadPool's
// destructor waits for its threads, so a pool that may hold a call stuck on a share that stopped
// answering would hold up the exit. Each is a function-local static of the pools table
// (ThreadPools.cpp).
class ImmortalPool {
public:
    // Idle threads end after `idleExpiry`, soon by default, so none sits idle after the work.
    ImmortalPool(ThreadName name, int width,
                 std::chrono::milliseconds idleExpiry = std::chrono::milliseconds(idleThreadExpiryMs));
    ImmortalPool(const ImmortalPool&) = delete;
    ImmortalPool& operator=(const ImmortalPool&) = delete;

    QThreadPool& get() { return m_pool.get(); }

private:
    Immortal<QThreadPool> m_pool;
};

} // namespace tarnwick
