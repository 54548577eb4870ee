#include "platform/media/FFmpegRoute.h"

#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tarnwick;
using namespace std::chrono_literals;

namespace {

// An executable script in `dir`.
QString script(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

} // namespace

TEST(FFmpegRoute, HangingProbeAndFrameGiveNoAnswerAndLeaveNoFile) {
    QTemporaryDir dir;
    const QString ffmpeg = script(dir, "ffmpeg", "exec sleep 600");
    script(dir, "ffprobe", "exec sleep 600");
    EXPECT_EQ(ffmpegRoute::probeDuration(ffmpeg, "/media/clip.mov", 200ms), std::nullopt);
    QTemporaryDir scratch;
    const auto frame = ffmpegRoute::frame(
        {ffmpeg, "/media/clip.mov", "1.000", QSizeF(64, 36), "3", "scrub_", scratch.path(), 200ms});
    EXPECT_FALSE(frame.has_value());
    EXPECT_TRUE(QDir(scratch.path()).entryList(QDir::Files).isEmpty());
}

TEST(FFmpegRoute, FFprobeAnswerThatIsNotANumberFallsBackToTheBanner) {
    QTemporaryDir dir;
    script(dir, "ffprobe", R"(echo '{"format":{"duration":"N/A"}}')");
    const QString ffmpeg =
        script(dir, "ffmpeg", "echo '  Duration: 00:01:02.50, start: 0.000000' >&2; exit 1");
    EXPECT_EQ(ffmpegRoute::probeDuration(ffmpeg, "/media/clip.mov", 10s), 62.5);
}

TEST(FFmpegRoute, RealFrameAndDuration) {
    const QString clip = testmedia::h264();
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg";
    const auto duration = ffmpegRoute::probeDuration(testmedia::systemFFmpeg, clip, 15s);
    ASSERT_TRUE(duration);
    EXPECT_NEAR(*duration, 5.0, 0.1);
    QTemporaryDir scratch;
    const auto frame = ffmpegRoute::frame(
        {testmedia::systemFFmpeg, clip, "2.000", QSizeF(160, 160), "3", "scrub_", scratch.path(), 30s});
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), QSize(160, 90));
    EXPECT_TRUE(QDir(scratch.path()).entryList(QDir::Files).isEmpty());
}

TEST(FFmpegRoute, FrameOfALongGroupOfPicturesIsDecodedFromTheStart) {
    const QString clip = testmedia::countingTransportStream(1000);
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg";
    QTemporaryDir scratch;
    const auto frame = ffmpegRoute::frame(
        {testmedia::systemFFmpeg, clip, "2.000", QSizeF(64, 64), "2", "scrub_", scratch.path(), 30s});
    ASSERT_TRUE(frame);
    EXPECT_NEAR(testmedia::countingIndex(*frame), 50, 1); // JPEG's rounding
    EXPECT_TRUE(QDir(scratch.path()).entryList(QDir::Files).isEmpty());
}
