#include "platform/ImmortalPool.h"

#include <type_traits>

namespace tarnwick {

// No destructor may run at exit: that is the point of the class.
static_assert(std::is_trivially_destructible_v<ImmortalPool>);

ImmortalPool::ImmortalPool(ThreadName name, int width, std::chrono::milliseconds idleExpiry) {
    QThreadPool& pool = m_pool.get();
    nameThreads(pool, name);
    pool.setMaxThreadCount(width);
    pool.setExpiryTimeout(static_cast<int>(idleExpiry.count()));
}

} // namespace tarnwick
