#pragma once

#include <QtGlobal>

namespace tarnwick {

// The player's clock against the clip's. Qt 6.4's FFmpeg player reports and seeks positions on the
// stream's own clock, which in a transport stream starts well after 0 (1.4 s and more), while its
// duration counts from the start: the clip's time is the player's less the video's start.
struct PlayerClock {
    qint64 startMs = 0; // where the video's clock starts; 0 when unknown

    // The clip's time at the player's position, within 0…duration (a duration of 0 is unknown);
    // the end once the player has reached it (it then reports its duration, on neither clock).
    qint64 clipTime(qint64 playerPosition, qint64 durationMs, bool atEnd) const;
    // The player's position for a time of the clip.
    qint64 playerPosition(qint64 clipTime) const;
};

} // namespace tarnwick
