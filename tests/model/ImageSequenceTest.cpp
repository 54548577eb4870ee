#include "model/ImageSequence.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

TEST(ImageSequence, AFirstFrameGivesThePatternAndItsTitleTheRange) {
    const std::optional<ImageSequence> s = ImageSequence::fromFirstFrame(
        QStringLiteral("C:\\Shoot\\A7 2\\frame_0001.png"), QStringLiteral("frame_[0001-0026].png"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->folder, QStringLiteral("C:/Shoot/A7 2"));
    EXPECT_EQ(s->prefix, QStringLiteral("frame_"));
    EXPECT_EQ(s->suffix, QStringLiteral(".png"));
    EXPECT_EQ(s->digits, 4);
    EXPECT_EQ(s->firstFrame, 1);
    EXPECT_EQ(s->lastFrame, 26);
    EXPECT_EQ(s->displayPath(), QStringLiteral("C:/Shoot/A7 2/frame_[0001-0026].png"));
    EXPECT_EQ(s->frameNumber(QStringLiteral("frame_0026.png")), 26);
    EXPECT_EQ(s->frameNumber(QStringLiteral("frame_0001.png")), 1);
    for (const char* other : {"frame_0027.png", "frame_026.png", "frame_00026.png", "frame_0002.png.xmp",
                              "frame_.png", "frame_00a2.png", "Frame_0002.png"})
        EXPECT_FALSE(s->frameNumber(QString::fromLatin1(other))) << other;

    // Without a range in the title (a renamed clip), or one that misses the first frame: any number.
    const auto renamed = ImageSequence::fromFirstFrame(QStringLiteral("/s/1.png"), QStringLiteral("Sky"));
    ASSERT_TRUE(renamed);
    EXPECT_FALSE(renamed->hasRange());
    EXPECT_EQ(renamed->frameNumber(QStringLiteral("4711.png")), 4711);
    EXPECT_FALSE(ImageSequence::fromFirstFrame(QStringLiteral("/s/a_5.png"), QStringLiteral("a_[1-4].png"))
                     ->hasRange());
    EXPECT_FALSE(ImageSequence::fromFirstFrame(QStringLiteral("/s/still.png"), QStringLiteral("[1-4]")));
}

// A clip the editor renamed may carry brackets of its own: they are no range of its frames.
TEST(ImageSequence, OnlyARangeInPlaceOfTheFrameNumberRestrictsTheFrames) {
    const auto renamed =
        ImageSequence::fromFirstFrame(QStringLiteral("/s/f_0001.png"), QStringLiteral("Sky [1-3]"));
    ASSERT_TRUE(renamed);
    EXPECT_FALSE(renamed->hasRange());
    EXPECT_EQ(renamed->frameNumber(QStringLiteral("f_0005.png")), 5);
    const auto named =
        ImageSequence::fromFirstFrame(QStringLiteral("/s/f_0001.png"), QStringLiteral("F_[0001-0003].PNG"));
    ASSERT_TRUE(named);
    EXPECT_EQ(named->lastFrame, 3);
}

// Without a range in the title, the stream's frame count from the first frame; without either, every
// number from the first frame on.
TEST(ImageSequence, AFrameCountRunsFromTheFirstFrameWhereTheTitleHasNoRange) {
    const auto counted = ImageSequence::fromFirstFrame(QStringLiteral("/s/f_05.png"), u"f_05.png", 10);
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->firstFrame, 5);
    EXPECT_EQ(counted->lastFrame, 14);
    EXPECT_FALSE(counted->frameNumber(QStringLiteral("f_15.png")));
    EXPECT_EQ(ImageSequence::fromFirstFrame(QStringLiteral("/s/f_05.png"), u"f_[01-20].png", 10)->lastFrame,
              20);
    const auto open = ImageSequence::fromFirstFrame(QStringLiteral("/s/f_05.png"), u"f_05.png");
    EXPECT_FALSE(open->frameNumber(QStringLiteral("f_04.png")));
    EXPECT_EQ(open->frameNumber(QStringLiteral("f_99.png")), 99);
    const auto huge = ImageSequence::fromFirstFrame(QStringLiteral("/s/f_999999999999999999.png"), u"f",
                                                    std::numeric_limits<qint64>::max());
    EXPECT_FALSE(huge->lastFrame); // past the largest number: every later one
}
