#include "readers/ReaderTask.h"

#include "platform/Immortal.h"

#include <QThread>

#include <algorithm>

namespace tarnwick {

QThreadPool& readerPool() {
    // Never destroyed: a reader running on a worker a watchdog abandoned may still use it at exit.
    static Immortal<QThreadPool> pool;
    static const bool sized = [] {
        pool.get().setMaxThreadCount(std::max(QThread::idealThreadCount(), 2));
        return true;
    }();
    Q_UNUSED(sized);
    return pool.get();
}

} // namespace tarnwick
