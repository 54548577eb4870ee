#include "platform/media/WaveformLevels.h"

#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarnwick;

TEST(WaveformLevels, LoudestBucketIsExactlyOneAndMinus32768IsCapped) {
    WaveformLevels levels(4, 8);
    const int16_t samples[] = {100, -32768, 50, 200, -16384, 0, 1, 2};
    levels.add(samples, 8);
    const QList<float> result = levels.normalised();
    ASSERT_EQ(result.size(), 4);
    EXPECT_FLOAT_EQ(result[0], 1.0f); // 32768 / 32767, then capped
    EXPECT_NEAR(result[1], 200.0 / 32768, 1e-6);
    EXPECT_NEAR(result[2], 16384.0 / 32768, 1e-6);
    for (float level : result)
        EXPECT_LE(level, 1.0f);
}

TEST(WaveformLevels, SilenceStaysZeroWithoutDivision) {
    WaveformLevels levels(220, 48000);
    std::vector<int16_t> silence(48000, 0);
    levels.add(silence.data(), qsizetype(silence.size()));
    const QList<float> result = levels.normalised();
    ASSERT_EQ(result.size(), 220);
    for (float level : result)
        EXPECT_EQ(level, 0.0f);
}

TEST(WaveformLevels, UnknownDurationPutsOneSamplePerBucketThenTheRestInTheLast) {
    WaveformLevels levels(3, 0); // duration 0: T = n, P = 1
    EXPECT_EQ(levels.samplesPerBucket(), 1.0);
    const int16_t samples[] = {10, 20, 5, 40, 30};
    levels.add(samples, 5);
    const QList<float> result = levels.normalised();
    EXPECT_FLOAT_EQ(result[0], 0.25f);
    EXPECT_FLOAT_EQ(result[1], 0.5f);
    EXPECT_FLOAT_EQ(result[2], 1.0f);
}

TEST(WaveformLevels, StereoTenSecondsAt48kSpreadsInterleavedSamples) {
    WaveformLevels levels(220, 2 * (48000.0 * 10));
    EXPECT_NEAR(levels.samplesPerBucket(), 960000.0 / 220, 1e-9);
}

TEST(WaveformLevels, RealSoundGives220Bars) {
    const QString tone = testmedia::wav();
    if (tone.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg";
    const QList<float> bars = extractWaveformLevels(tone, 220);
    ASSERT_EQ(bars.size(), 220);
    EXPECT_FLOAT_EQ(*std::max_element(bars.begin(), bars.end()), 1.0f);
    // A steady tone: every stretch peaks near the top.
    for (float bar : bars)
        EXPECT_GT(bar, 0.9f);
    const QString clip = testmedia::h264(); // AAC sound, decoded to planar float then converted
    ASSERT_FALSE(clip.isEmpty());
    const QList<float> aac = extractWaveformLevels(clip, 220);
    ASSERT_EQ(aac.size(), 220);
    EXPECT_FLOAT_EQ(*std::max_element(aac.begin(), aac.end()), 1.0f);
}

TEST(WaveformLevels, NoAudioOrCancelledGivesWhatItHas) {
    const QString counting = testmedia::counting();
    if (counting.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg";
    EXPECT_TRUE(extractWaveformLevels(counting, 220).isEmpty());
    EXPECT_TRUE(extractWaveformLevels(QStringLiteral("/nonexistent.wav"), 220).isEmpty());
    const std::atomic_bool cancelled{true};
    const QList<float> early = extractWaveformLevels(testmedia::wav(), 220, &cancelled);
    ASSERT_EQ(early.size(), 220);
    EXPECT_EQ(*std::max_element(early.begin(), early.end()), 0.0f);
}
