#include "readers/ReaderTask.h"

#include "platform/IdleThreads.h"
#include "platform/Immortal.h"

#include <QThread>

#include <algorithm>

namespace tarnwick {

QThreadPool& readerPool() {
    // Never destroyed: a reader running on a worker a watchdog abandoned may still use it at exit.
    static Immortal<QThreadPool> pool;
    static const bool sized = [] {
        // Twice the processors: parts of one parse wait on each other, so some threads sit blocked.
        pool.get().setMaxThreadCount(std::max(2 * QThread::idealThreadCount(), 4));
        // Idle threads end soon: each keeps a cache of small freed blocks, which pins pages of the
        // allocator that would otherwise go back to the system once an import is done.
        pool.get().setExpiryTimeout(idleThreadExpiryMs);
        return true;
    }();
    Q_UNUSED(sized);
    return pool.get();
}

} // namespace tarnwick
