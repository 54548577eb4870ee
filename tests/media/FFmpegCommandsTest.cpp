#include "platform/media/FFmpegCommands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tarnwick;
using namespace tarnwick::ffmpegCommands;

TEST(FFmpegCommands, FrameArgumentsForThumbnailsAndScrubFrames) {
    const QString path = QStringLiteral("/Media/A Day/clip 01.mov");
    EXPECT_EQ(frameArguments(path, seekText(12.345, 2), QSizeF(640, 360), "2", "/tmp/thumb_X.jpg"),
              (QStringList{"-hide_banner", "-loglevel", "error", "-ss", "12.35", "-i", path, "-vframes", "1",
                           "-vf", "scale=640:360:force_original_aspect_ratio=decrease", "-q:v", "2", "-y",
                           "/tmp/thumb_X.jpg"}));
    EXPECT_EQ(frameArguments(path, seekText(-3, 3), QSizeF(31.9, 31.9), "3", "/tmp/scrub_Y.jpg"),
              (QStringList{"-hide_banner", "-loglevel", "error", "-ss", "0.000", "-i", path, "-vframes", "1",
                           "-vf", "scale=31:31:force_original_aspect_ratio=decrease", "-q:v", "3", "-y",
                           "/tmp/scrub_Y.jpg"}));
    EXPECT_EQ(frameArgumentsDecodingFromStart(path, seekText(2, 3), QSizeF(64, 36), "3", "/tmp/scrub_Z.jpg"),
              (QStringList{"-hide_banner", "-loglevel", "error", "-i", path, "-ss", "2.000", "-vframes", "1",
                           "-vf", "scale=64:36:force_original_aspect_ratio=decrease", "-q:v", "3", "-y",
                           "/tmp/scrub_Z.jpg"}));
    EXPECT_EQ(seekText(1.0 / 3, 3), QStringLiteral("0.333"));
    for (const double unknown : {std::numeric_limits<double>::infinity(), std::nan("")})
        EXPECT_EQ(seekText(unknown, 2), QStringLiteral("0.00"));
}

TEST(FFmpegCommands, ProbeArguments) {
    EXPECT_EQ(ffprobeDurationArguments("/m/a.mxf"),
              (QStringList{"-v", "quiet", "-print_format", "json", "-show_format", "/m/a.mxf"}));
    EXPECT_EQ(ffmpegInfoArguments("/m/a.mxf"), (QStringList{"-i", "/m/a.mxf", "-hide_banner"}));
}

TEST(FFmpegCommands, FFprobeJsonDurationMustBeAWholeNumberText) {
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":{"duration":"12.480000"}})"), 12.48);
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":{"duration":"+7"}})"), 7.0);
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":{"duration":"0"}})"), 0.0);
    for (const char* notADuration : {"N/A", "inf", "nan", "-5", "+-5", "infinity"})
        EXPECT_EQ(
            durationFromFFprobeJson(
                QStringLiteral(R"({"format":{"duration":"%1"}})").arg(QLatin1String(notADuration)).toUtf8()),
            std::nullopt)
            << notADuration;
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":{"duration":" 12.5"}})"), std::nullopt);
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":{"duration":"12.5s"}})"), std::nullopt);
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":{"duration":12.5}})"), std::nullopt);
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":{}})"), std::nullopt);
    EXPECT_EQ(durationFromFFprobeJson(R"({"format":[]})"), std::nullopt);
    EXPECT_EQ(durationFromFFprobeJson(R"([])"), std::nullopt);
    EXPECT_EQ(durationFromFFprobeJson("{broken"), std::nullopt);
}

TEST(FFmpegCommands, FFmpegBannerDurationLine) {
    EXPECT_EQ(
        durationFromFFmpegText("Input #0, mov\n  Duration: 01:02:03.50, start: 0.000000, bitrate: 5 kb/s\n"),
        3723.5);
    // A line without a comma after the marker, or with another shape, is passed over.
    EXPECT_EQ(durationFromFFmpegText(
                  "  Duration: N/A, start: 0\n  Duration: 00:00:10.00\n  Duration: 00:00:02.25, x"),
              2.25);
    EXPECT_EQ(durationFromFFmpegText("  Duration: 00:10, start\n"), std::nullopt);
    EXPECT_EQ(durationFromFFmpegText("  Duration: 00:00:-5.00, x\n  Duration: 00:00:inf, x\n"), std::nullopt);
    EXPECT_EQ(durationFromFFmpegText("no duration here"), std::nullopt);
    EXPECT_EQ(durationFromFFmpegText(QByteArray("  Duration: 00:00:01.00, \xff\xfe", 26)), std::nullopt);
}
