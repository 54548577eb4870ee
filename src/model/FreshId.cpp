#include "model/FreshId.h"

#include <QRandomGenerator>

#include <unistd.h>

namespace tarnwick {

namespace {

// Seeded with 256 bits: identifiers of different threads and processes must not repeat, audit
// entries are kept by theirs.
QRandomGenerator64 seededGenerator() {
    quint32 seed[8];
    QRandomGenerator::system()->fillRange(seed);
    return QRandomGenerator64(seed);
}

} // namespace

QUuid freshId() {
    // A forked child starts with its parent's generator: drawn from as it is, both would hand out
    // the same identifiers.
    thread_local pid_t owner = ::getpid();
    thread_local QRandomGenerator64 random = seededGenerator();
    if (const pid_t pid = ::getpid(); pid != owner) {
        owner = pid;
        random = seededGenerator();
    }
    const quint64 high = random.generate64();
    const quint64 low = random.generate64();
    return QUuid(uint(high >> 32), ushort(high >> 16), ushort((high & 0x0FFF) | 0x4000),
                 uchar(0x80 | ((low >> 56) & 0x3F)), uchar(low >> 48), uchar(low >> 40), uchar(low >> 32),
                 uchar(low >> 24), uchar(low >> 16), uchar(low >> 8), uchar(low));
}

} // namespace tarnwick
