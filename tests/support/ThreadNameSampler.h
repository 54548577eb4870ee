#pragma once

#include "platform/ThreadNames.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

#include <unistd.h>

namespace tarnwick::testing {

inline QString readThreadName(const QString& commFile) {
    QFile file(commFile);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// The name of the calling thread, as `top -H` shows it.
inline QString currentThreadName() {
    return readThreadName(QStringLiteral("/proc/thread-self/comm"));
}

// This process's threads now: their names by thread id.
inline QMap<int, QString> threadNames() {
    QMap<int, QString> names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString name = readThreadName(tasks.filePath(task + QStringLiteral("/comm")));
        if (!name.isEmpty()) // a thread that ended meanwhile
            names.insert(task.toInt(), name);
    }
    return names;
}

// A thread nobody named: one that kept the name it inherited from the thread that made it (the
// program's, for threads made by the main thread), or Qt's name for an unnamed pool or thread.
inline bool isUnnamed(int tid, const QString& name) {
    static const QString program = readThreadName(QStringLiteral("/proc/self/comm"));
    if (tid == int(::getpid()))
        return false; // the main thread carries the program's name
    return name == program || name == QLatin1String("Thread (pooled)") || name == QLatin1String("QThread");
}

// Lists this process's threads over and over on a thread of its own while it lives. A thread is
// unnamed when the last name it was seen with is: one caught between its start and its naming is
// seen named at a later look. A short-lived thread between two looks goes unseen, so only what it
// saw is asserted on.
class ThreadNameSampler {
public:
    ThreadNameSampler()
        : m_thread([this] {
              nameCurrentThread("NameSampler");
              while (!m_stop.load())
                  look();
          }) {}
    ~ThreadNameSampler() { stop(); }
    ThreadNameSampler(const ThreadNameSampler&) = delete;
    ThreadNameSampler& operator=(const ThreadNameSampler&) = delete;

    // Ends the sampling after one last look.
    void stop() {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        m_thread.join();
        look();
    }
    QSet<QString> seen() const {
        QMutexLocker lock(&m_mutex);
        QSet<QString> names;
        for (const QString& name : m_last)
            names.insert(name);
        return names;
    }
    QStringList unnamed() const {
        QMutexLocker lock(&m_mutex);
        QStringList found;
        for (auto it = m_last.cbegin(); it != m_last.cend(); ++it) {
            if (isUnnamed(it.key(), it.value()))
                found.append(it.value() + QStringLiteral(" (thread ") + QString::number(it.key()) + ')');
        }
        return found;
    }

private:
    void look() {
        const QMap<int, QString> now = threadNames();
        QMutexLocker lock(&m_mutex);
        m_last.insert(now);
    }

    mutable QMutex m_mutex;
    QMap<int, QString> m_last; // by thread id, the name it was last seen with
    std::atomic_bool m_stop{false};
    std::thread m_thread;
};

} // namespace tarnwick::testing
