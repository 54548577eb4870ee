#include "model/FreshId.h"

#include <QRandomGenerator>

namespace tarnwick {

QUuid freshId() {
    thread_local QRandomGenerator64 random(QRandomGenerator::system()->generate());
    const quint64 high = random.generate64();
    const quint64 low = random.generate64();
    return QUuid(uint(high >> 32), ushort(high >> 16), ushort((high & 0x0FFF) | 0x4000),
                 uchar(0x80 | ((low >> 56) & 0x3F)), uchar(low >> 48), uchar(low >> 40), uchar(low >> 32),
                 uchar(low >> 24), uchar(low >> 16), uchar(low >> 8), uchar(low));
}

} // namespace tarnwick
