#include "model/FreshId.h"

#include <QRandomGenerator>

#include <atomic>

#include <pthread.h>

namespace tarnwick {

namespace {

// Seeded with 256 bits: identifiers of different threads and processes must not repeat, audit
// entries are kept by theirs.
QRandomGenerator64 seededGenerator() {
    quint32 seed[8];
    QRandomGenerator::system()->fillRange(seed);
    return QRandomGenerator64(seed);
}

// Counts the forks this process came out of: asking the process id per identifier is a system call,
// and a list of a million new records draws a million identifiers.
std::atomic_uint forks{0};

void countFork() {
    forks.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

QUuid freshId() {
    // A forked child starts with its parent's generator: drawn from as it is, both would hand out
    // the same identifiers.
    static const int counting = pthread_atfork(nullptr, nullptr, &countFork);
    (void)counting;
    thread_local unsigned seenForks = forks.load(std::memory_order_relaxed);
    thread_local QRandomGenerator64 random = seededGenerator();
    if (const unsigned now = forks.load(std::memory_order_relaxed); now != seenForks) {
        seenForks = now;
        random = seededGenerator();
    }
    const quint64 high = random.generate64();
    const quint64 low = random.generate64();
    return QUuid(uint(high >> 32), ushort(high >> 16), ushort((high & 0x0FFF) | 0x4000),
                 uchar(0x80 | ((low >> 56) & 0x3F)), uchar(low >> 48), uchar(low >> 40), uchar(low >> 32),
                 uchar(low >> 24), uchar(low >> 16), uchar(low >> 8), uchar(low));
}

} // namespace tarnwick
