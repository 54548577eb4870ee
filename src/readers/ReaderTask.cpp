#include "readers/ReaderTask.h"

#include "platform/ImmortalPool.h"

#include <QThread>

#include <algorithm>

namespace tarnwick {

QThreadPool& readerPool() {
    // Twice the processors: parts of one parse wait on each other, so some threads sit blocked.
    // Idle threads end soon: each keeps a cache of small freed blocks, which pins pages of the
    // allocator that would otherwise go back to the system once an import is done.
    static ImmortalPool pool("ProjectReaders", std::max(2 * QThread::idealThreadCount(), 4));
    return pool.get();
}

} // namespace tarnwick
