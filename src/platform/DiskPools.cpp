#include "platform/DiskPools.h"

#include "platform/IdleThreads.h"
#include "platform/Immortal.h"

#include <QString>
#include <QThreadPool>

namespace tarnwick {

namespace {

QThreadPool& named(Immortal<QThreadPool>& pool, int width, const char* name) {
    pool.get().setMaxThreadCount(width);
    pool.get().setExpiryTimeout(idleThreadExpiryMs);
    pool.get().setObjectName(QString::fromLatin1(name));
    return pool.get();
}

} // namespace

QThreadPool& walkPool() {
    static Immortal<QThreadPool> pool;
    static QThreadPool& sized = named(pool, 2, "FolderWalks");
    return sized;
}

QThreadPool& fileReadPool() {
    static Immortal<QThreadPool> pool;
    static QThreadPool& sized = named(pool, 1, "FileReads");
    return sized;
}

} // namespace tarnwick
