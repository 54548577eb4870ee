// Every clean-up run that touches a folder takes our abandoned temporaries there with it, whatever
// operation left them (here a transcode output of a killed run, which a Trash run used to leave).
#include "actions/RemovalRun.h"
#include "support/AbandonedLeftover.h"
#include "support/CleanupHarness.h"
#include "support/MoveHarness.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

TEST(CleanupLeftovers, TrashDeletionAndMovesSweepOurAbandonedTemporariesWhereTheyAct) {
    for (const bool toTrash : {true, false}) {
        CleanupHarness h;
        const MediaFile staged = h.makeFile("Day 1/clip.mov");
        leaveAbandonedTranscodeOutput(h.mediaPath("Day 1/clip_transcoding.mov"), "clip_transcoding.mov");
        leaveAbandonedTranscodeOutput(h.mediaPath("Day 1/b_transcoding.mov"), "b.mov"); // renamed into place
        h.stage({staged}, {staged});
        const ActionResult result = QCoro::waitFor(runRemoval(
            h.pm(), h.services(), toTrash ? RemovalMethod::trash : RemovalMethod::deletePermanently));
        EXPECT_EQ(result.succeeded, 1);
        EXPECT_FALSE(QFile::exists(h.mediaPath("Day 1/clip_transcoding.mov")));
        EXPECT_TRUE(QFile::exists(h.mediaPath("Day 1/b_transcoding.mov")));
        EXPECT_EQ(h.log.messages().filter("Removed leftover").size(), 1);
        EXPECT_EQ(h.audit.entries().size(), 1); // a sweep leaves no record
    }
    MoveHarness h;
    const MediaFile first = h.makeFile("Day 1/a.mov", 10);
    const MediaFile second = h.makeFile("Day 1/b.mov", 10);
    leaveAbandonedTranscodeOutput(h.mediaPath("Day 1/a_transcoding.mov"), "a_transcoding.mov");
    h.stage({first, second}, {first, second});
    EXPECT_EQ(h.moveBin().succeeded, 2);
    EXPECT_FALSE(QFile::exists(h.mediaPath("Day 1/a_transcoding.mov")));
    EXPECT_EQ(h.log.messages().filter("Removed leftover").size(), 1); // once for the folder
}
