#include "ui/preview/PlayerClock.h"

#include <algorithm>

namespace tarnwick {

qint64 PlayerClock::clipTime(qint64 playerPosition, qint64 durationMs, bool atEnd) const {
    if (atEnd && durationMs > 0)
        return durationMs;
    const qint64 time = std::max<qint64>(playerPosition - startMs, 0);
    return durationMs > 0 ? std::min(time, durationMs) : time;
}

qint64 PlayerClock::playerPosition(qint64 clipTime) const {
    return std::max<qint64>(clipTime, 0) + startMs;
}

} // namespace tarnwick
