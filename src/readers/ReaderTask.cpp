#include "readers/ReaderTask.h"

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
        return true;
    }();
    Q_UNUSED(sized);
    return pool.get();
}

} // namespace tarnwick
