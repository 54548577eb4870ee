#include "ui/preview/PlayerClock.h"

#include <gtest/gtest.h>

using namespace tarnwick;

// A transport stream whose clock starts at 2.87 s, 4 s long: the player reports 2870 at its first
// frame and 6830 at its last, and its duration, 4000, once at the end.
TEST(PlayerClock, TheClipsTimeIsThePlayersLessTheStreamsStart) {
    const PlayerClock clock{2870};
    EXPECT_EQ(clock.clipTime(2870, 4000, false), 0);
    EXPECT_EQ(clock.clipTime(4870, 4000, false), 2000);
    EXPECT_EQ(clock.clipTime(6830, 4000, false), 3960);
    EXPECT_EQ(clock.clipTime(4000, 4000, true), 4000); // the end, not 1130
    // Before the first frame (0 when loaded) and past the end it stays within the clip.
    EXPECT_EQ(clock.clipTime(0, 4000, false), 0);
    EXPECT_EQ(clock.clipTime(9000, 4000, false), 4000);
    EXPECT_EQ(clock.clipTime(9000, 0, false), 6130); // no duration known yet
    // Seeks go back on the player's clock.
    EXPECT_EQ(clock.playerPosition(2000), 4870);
    EXPECT_EQ(clock.playerPosition(-5), 2870);
    // A clip that starts at 0 keeps the player's time.
    EXPECT_EQ(PlayerClock{}.clipTime(1234, 5000, false), 1234);
    EXPECT_EQ(PlayerClock{}.playerPosition(1234), 1234);
}
