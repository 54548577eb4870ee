#include "platform/ThreadNames.h"

#include <QThread>
#include <QThreadPool>

#include <pthread.h>

namespace tarnwick {

void nameThreads(QThreadPool& pool, ThreadName name) {
    pool.setObjectName(QLatin1StringView(name.text(), qsizetype(name.length())));
}

void nameThread(QThread& thread, ThreadName name) {
    thread.setObjectName(QLatin1StringView(name.text(), qsizetype(name.length())));
}

void nameCurrentThread(ThreadName name) {
    ::pthread_setname_np(::pthread_self(), name.text());
}

} // namespace tarnwick
