#include "transcode/FFmpegOutput.h"
#include "transcode/FFmpegArguments.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(FFmpegProgress, ClampsSentinelsAndOvershoot) {
    QList<double> seen;
    FFmpegProgressReader reader(10.0, [&](double f) { seen.append(f); });
    const QByteArray text =
        "frame=1\nout_time_ms=-9223372036854775807\nout_time_ms=N/A\nout_time_ms=2500000\n"
        "out_time_ms=25000000\nprogress=continue\n";
    reader.feed(text.constData(), text.size());
    EXPECT_EQ(seen, (QList<double>{0.0, 0.25, 0.99}));
}

TEST(FFmpegProgress, LinesSplitAcrossChunks) {
    QList<double> seen;
    FFmpegProgressReader reader(4.0, [&](double f) { seen.append(f); });
    for (const char* chunk : {"out_ti", "me_ms=100", "0000\nout_time_ms=2000000", "\n"})
        reader.feed(chunk, qsizetype(strlen(chunk)));
    // A number cut at a chunk boundary is not read until its line is whole.
    EXPECT_EQ(seen, (QList<double>{0.25, 0.5}));
}

TEST(FFmpegProgress, SilentWithoutDuration) {
    int calls = 0;
    FFmpegProgressReader reader(0, [&](double) { ++calls; });
    reader.feed("out_time_ms=5\n", 14);
    EXPECT_EQ(calls, 0);
}

TEST(FFmpegStderr, KeepsOnlyTheTail) {
    BoundedTail tail(8);
    tail.feed("0123456789", 10);
    tail.feed("ab", 2);
    EXPECT_EQ(tail.data(), QByteArray("456789ab"));
    EXPECT_EQ(ffmpegText::decodeStderr(QByteArray("\xff\xfe")), QStringLiteral("Unknown error"));
}

TEST(FFmpegDurationText, JsonMemberThenDurationLine) {
    using ffmpegText::durationFromText;
    EXPECT_EQ(durationFromText(QStringLiteral("{\"format\": {\"duration\": \"12.500000\"}}")), 12.5);
    EXPECT_EQ(durationFromText(QStringLiteral("  Duration: 01:02:03.50, start: 0")), 3723.5);
    EXPECT_EQ(durationFromText(QStringLiteral("  Duration: N/A, start")), std::nullopt);
    // Durations that are none fall through to the banner, and to nothing after it.
    for (const char* bad : {"inf", "nan", "-5"}) {
        const QString json = QStringLiteral("{\"format\": {\"duration\": \"%1\"}}").arg(QLatin1String(bad));
        EXPECT_EQ(durationFromText(json), std::nullopt) << bad;
        EXPECT_EQ(durationFromText(json + QStringLiteral("\n  Duration: 00:00:02.00, start")), 2.0) << bad;
    }
}

TEST(FFmpegArguments, AudioChoiceAndPixelFormat) {
    ProbeInfo p;
    EXPECT_EQ(ffmpegArguments::audioChoice(std::nullopt), QStringLiteral("pcm_s24le"));
    EXPECT_EQ(ffmpegArguments::audioChoice(p), QStringLiteral("pcm_s24le"));
    p.hasAudio = true;
    for (const char* copy : {"aac", "MP3", "ac3", "eac3"}) {
        p.audioCodec = QString::fromLatin1(copy);
        EXPECT_EQ(ffmpegArguments::audioChoice(p), QStringLiteral("copy")) << copy;
    }
    for (const char* pcm : {"pcm_s16le", "opus", "flac", "s302m_aes3"}) {
        p.audioCodec = QString::fromLatin1(pcm);
        EXPECT_EQ(ffmpegArguments::audioChoice(p), QStringLiteral("pcm_s24le")) << pcm;
    }
    p.videoPixelFormat = QStringLiteral("yuv420p");
    EXPECT_EQ(ffmpegArguments::pixelFormat(p), QStringLiteral("yuv420p"));
    p.videoPixelFormat = QStringLiteral("yuv422p10le");
    EXPECT_EQ(ffmpegArguments::pixelFormat(p), QStringLiteral("yuv420p10le"));
}

TEST(FFmpegArguments, OrderAndOutputLast) {
    const QStringList args =
        ffmpegArguments::transcode(QStringLiteral("/m/a:b.mxf"), QStringLiteral("/m/a_t.mov"), {});
    EXPECT_EQ(args.indexOf(QStringLiteral("-i")) + 1, args.indexOf(QStringLiteral("file:/m/a:b.mxf")));
    EXPECT_EQ(args.last(), QStringLiteral("file:/m/a_t.mov"));
    EXPECT_EQ(args[args.size() - 2], QStringLiteral("-y"));
    const QStringList mapping = args.mid(args.indexOf(QStringLiteral("-map")), 4);
    EXPECT_EQ(mapping, (QStringList{"-map", "0:V", "-map", "0:a?"}));
    EXPECT_EQ(args[args.indexOf(QStringLiteral("-crf")) + 1], QString::number(hevcSettings.crf));
    EXPECT_EQ(args[args.indexOf(QStringLiteral("-tag:v")) + 1], QStringLiteral("hvc1"));
    EXPECT_EQ(args[args.indexOf(QStringLiteral("-x265-params")) + 1], QStringLiteral("log-level=error"));
}
