#include "platform/DiskPools.h"

#include "platform/ImmortalPool.h"

namespace tarnwick {

QThreadPool& walkPool() {
    static ImmortalPool pool("FolderWalks", 2);
    return pool.get();
}

QThreadPool& fileReadPool() {
    static ImmortalPool pool("FileReads", 1);
    return pool.get();
}

} // namespace tarnwick
