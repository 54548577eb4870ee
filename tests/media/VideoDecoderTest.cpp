#include "platform/media/VideoDecoder.h"
#include "platform/media/FFmpegRoute.h"

#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace tarnwick;

#define NEEDS(path)                                                                                          \
    if ((path).isEmpty())                                                                                    \
    GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media"

TEST(VideoDecoder, DurationAndFramesOfCommonContainers) {
    for (const QString& clip : {testmedia::h264(), testmedia::prores(), testmedia::mxf()}) {
        NEEDS(clip);
        SCOPED_TRACE(clip.toStdString());
        auto decoder = VideoDecoder::open(clip);
        ASSERT_TRUE(decoder);
        EXPECT_GT(decoder->duration(), 2.5);
        // Kept in aspect inside the box, never enlarged; or stretched to it when asked.
        EXPECT_EQ(decoder->frameAt(1.0, QSize(160, 160))->size(), QSize(160, 90));
        EXPECT_EQ(decoder->frameAt(1.0, QSize(640, 360))->size(), QSize(320, 180));
        EXPECT_EQ(decoder->frameAt(1.0, QSize(32, 32), FrameFit::stretch)->size(), QSize(32, 32));
    }
}

TEST(VideoDecoder, FramesAreTheFirstAtOrAfterTheAskedTime) {
    const QString clip = testmedia::counting();
    NEEDS(clip);
    auto decoder = VideoDecoder::open(clip);
    ASSERT_TRUE(decoder);
    const QSize box(64, 64);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(1.0, box)), 25);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(1.01, box)), 26);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(0.0, box)), 0);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(3.5, box)), 88);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(0.48, box)), 12);
    // Past the end: the last frame.
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(60, box)), 99);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(2.0, box)), 50);
}

TEST(VideoDecoder, ForwardRequestsDecodeOnWithoutSeekingBack) {
    const QString clip = testmedia::counting();
    NEEDS(clip);
    auto decoder = VideoDecoder::open(clip);
    ASSERT_TRUE(decoder);
    ASSERT_TRUE(decoder->frameAt(0.0, QSize(64, 64)));
    const int seeksBefore = decoder->seekCount();
    // Within one group of pictures (12 frames from frame 0): no seek.
    for (int frame = 1; frame < 12; ++frame)
        EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(frame / 25.0, QSize(64, 64))), frame);
    EXPECT_EQ(decoder->seekCount(), seeksBefore);
    // Backwards: a seek, and still the right frame.
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(0.2, QSize(64, 64))), 5);
    EXPECT_GT(decoder->seekCount(), seeksBefore);
}

TEST(VideoDecoder, ThreadedDecoderSkippingUnusedFramesStillFindsEveryFrame) {
    const QString clip = testmedia::counting();
    NEEDS(clip);
    auto decoder = VideoDecoder::open(clip, 4);
    ASSERT_TRUE(decoder);
    const QSize box(64, 64);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(31.5 / 25, box)), 32);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(31.0 / 25, box)), 31); // perhaps skipped on the way
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(32.0 / 25, box)), 32);
    for (int frame : {97, 3, 50, 51, 49, 12, 13, 11, 70, 99, 0})
        EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(frame / 25.0, box)), frame);
}

TEST(VideoDecoder, IntraOnlyClipSeeksStraightToEachFrame) {
    const QString clip = testmedia::countingProRes();
    NEEDS(clip);
    auto decoder = VideoDecoder::open(clip, 4);
    ASSERT_TRUE(decoder);
    for (int frame : {0, 1, 30, 55, 56, 54, 99, 12})
        EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(frame / 25.0, QSize(64, 64))), frame);
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(40.5 / 25, QSize(64, 64))), 41);
}

TEST(VideoDecoder, ToleranceAcceptsAnEarlierKeyFrame) {
    const QString clip = testmedia::counting();
    NEEDS(clip);
    auto decoder = VideoDecoder::open(clip);
    ASSERT_TRUE(decoder);
    // Frame 30 asked with a second of tolerance: the key frame 24 is near enough.
    EXPECT_EQ(testmedia::countingIndex(*decoder->frameAt(1.2, QSize(64, 64), FrameFit::keepAspect, 1.0)), 24);
}

TEST(VideoDecoder, RotatedClipIsTurnedUprightLikeFFmpegDoes) {
    const QString clip = testmedia::rotated();
    NEEDS(clip);
    auto decoder = VideoDecoder::open(clip);
    ASSERT_TRUE(decoder);
    EXPECT_NE(decoder->rotation(), 0);
    const auto frame = decoder->frameAt(0.5, QSize(640, 640));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), QSize(180, 320));
    QTemporaryDir scratch;
    const auto reference = ffmpegRoute::frame({testmedia::systemFFmpeg, clip, "0.500", QSizeF(180, 320), "2",
                                               "scrub_", scratch.path(), std::chrono::seconds(30)});
    ASSERT_TRUE(reference);
    ASSERT_EQ(reference->size(), frame->size());
    // The red square lands in the same corner.
    for (const QPoint corner : {QPoint(10, 10), QPoint(169, 10), QPoint(10, 309), QPoint(169, 309)}) {
        const bool red = qRed(frame->pixel(corner)) > 128 && qGreen(frame->pixel(corner)) < 100;
        const bool referenceRed =
            qRed(reference->pixel(corner)) > 128 && qGreen(reference->pixel(corner)) < 100;
        EXPECT_EQ(red, referenceRed) << corner.x() << "," << corner.y();
    }
}

TEST(VideoDecoder, AudioAndCoverArtHaveNoVideo) {
    for (const QString& file : {testmedia::wav(), testmedia::audioWithCover()}) {
        NEEDS(file);
        EXPECT_FALSE(VideoDecoder::open(file)) << file.toStdString();
    }
    EXPECT_FALSE(VideoDecoder::open(QStringLiteral("/nonexistent/clip.mov")));
}

TEST(VideoDecoder, ContainerDurationOfSound) {
    const QString file = testmedia::wav();
    NEEDS(file);
    ASSERT_TRUE(containerDuration(file));
    EXPECT_NEAR(*containerDuration(file), 3.0, 0.01);
    EXPECT_EQ(containerDuration(QStringLiteral("/nonexistent.wav")), std::nullopt);
}

// The counting clip's frame index at `seconds`, -1 when no frame came.
int indexAt(VideoDecoder& decoder, double seconds, double toleranceBefore = 0) {
    const auto frame = decoder.frameAt(seconds, QSize(64, 64), FrameFit::keepAspect, toleranceBefore);
    return frame ? testmedia::countingIndex(*frame) : -1;
}

TEST(VideoDecoder, TransportStreamFramesDecodeForwardFromTheKeyFrameBefore) {
    // The container seeks to any packet, not to key frames: one key frame only, or one every 12.
    for (const QString& clip :
         {testmedia::countingTransportStream(1000), testmedia::countingTransportStream(1000, true),
          testmedia::countingTransportStream(12)}) {
        NEEDS(clip);
        SCOPED_TRACE(clip.toStdString());
        auto decoder = VideoDecoder::open(clip, 4);
        ASSERT_TRUE(decoder);
        EXPECT_NEAR(decoder->duration(), 4.0, 0.05);
        EXPECT_NEAR(decoder->startTime(), 2.87, 0.01);
        // Times count from the stream's start: backwards, far and near forwards, past the end.
        for (int frame : {50, 10, 11, 90, 30, 99, 0, 61})
            EXPECT_EQ(indexAt(*decoder, frame / 25.0), frame) << frame;
        EXPECT_EQ(indexAt(*decoder, 60), 99);
        // The poster's tolerance: any frame from a second before on.
        const int poster = indexAt(*VideoDecoder::open(clip), 1.6, 1.0);
        EXPECT_GE(poster, 15);
        EXPECT_LE(poster, 40);
    }
}

TEST(VideoDecoder, LongGroupOfPicturesIsDecodedInBoundedStepsAndCanBeCancelled) {
    const QString clip = testmedia::countingTransportStream(1000);
    NEEDS(clip);
    auto decoder = VideoDecoder::open(clip);
    ASSERT_TRUE(decoder);
    std::atomic_bool cancelled{true};
    EXPECT_FALSE(decoder->frameAt(2.0, QSize(64, 64), FrameFit::keepAspect, 0, &cancelled));
    // Ten frames decoded at most per request: the newest stands in, and each request goes on from it.
    decoder->setDecodeLimit(10);
    int shown = indexAt(*decoder, 2.0);
    EXPECT_GE(shown, 0);
    EXPECT_LT(shown, 12);
    for (int request = 0; request < 10 && shown < 50; ++request) {
        const int next = indexAt(*decoder, 2.0);
        EXPECT_GT(next, shown);
        shown = next;
    }
    EXPECT_EQ(shown, 50);
}
