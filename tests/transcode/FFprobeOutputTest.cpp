#include "transcode/FFprobeOutput.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::ffprobe;

TEST(FFprobeOutput, FirstVideoAndFirstAudioStreamsAreTaken) {
    const auto info = parse(R"({"streams":[
        {"codec_type":"data","codec_name":"tmcd"},
        {"codec_type":"video","codec_name":"prores","width":1920,"height":1080,"bit_rate":"147000000","pix_fmt":"yuv422p10le","nb_frames":"250"},
        {"codec_type":"video","codec_name":"h264","width":640,"height":360},
        {"codec_type":"audio","codec_name":"pcm_s24le","sample_rate":"48000","channels":2,"channel_layout":"stereo"},
        {"codec_type":"audio","codec_name":"aac","sample_rate":"44100","channels":1}],
        "format":{"format_name":"mov,mp4,m4a,3gp,3g2,mj2","duration":"10.010000"}})");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->videoCodec, QStringLiteral("prores"));
    EXPECT_EQ(info->videoWidth, 1920);
    EXPECT_EQ(info->videoHeight, 1080);
    EXPECT_EQ(info->videoBitRate, 147000000);
    EXPECT_EQ(info->audioCodec, QStringLiteral("pcm_s24le"));
    EXPECT_EQ(info->audioSampleRate, 48000);
    EXPECT_EQ(info->audioChannels, 2);
    EXPECT_EQ(info->audioChannelLayout, QStringLiteral("stereo"));
    EXPECT_DOUBLE_EQ(info->duration, 10.01);
    EXPECT_TRUE(info->isHighBitDepth());
    EXPECT_FALSE(info->isStillImage());
}

TEST(FFprobeOutput, CoverArtIsNotVideo) {
    const auto info = parse(R"({"streams":[
        {"codec_type":"audio","codec_name":"mp3","sample_rate":44100,"channels":2},
        {"codec_type":"video","codec_name":"mjpeg","width":500,"height":500,"disposition":{"default":0,"attached_pic":1}}],
        "format":{"format_name":"mp3","duration":"180.5"}})");
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->hasVideo);
    EXPECT_TRUE(info->videoCodec.isEmpty());
    EXPECT_EQ(info->audioSampleRate, 44100); // a JSON number reads the same as its text
    EXPECT_EQ(ffprobe::probeLine(*info),
              QStringLiteral("  Probe:  0x0, audio: mp3 2ch 44100Hz, container: mp3, duration: 180.5s"));
}

TEST(FFprobeOutput, StillImagesAreRecognised) {
    auto info = parse(R"({"streams":[{"codec_type":"video","codec_name":"png","width":64,"height":64}],
                          "format":{"format_name":"png_pipe"}})");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo);
    EXPECT_TRUE(info->isStillImage());
    info = parse(R"({"streams":[{"codec_type":"video","codec_name":"h264","nb_frames":"1"}],
                     "format":{"format_name":"mov,mp4,m4a,3gp,3g2,mj2"}})");
    EXPECT_TRUE(info->isStillImage());
}

TEST(FFprobeOutput, MistypedAndMissingMembersTakeDefaults) {
    const auto info = parse(R"({"streams":[{"codec_type":"video","codec_name":7,"width":"64","height":64.5,
                                             "bit_rate":"12k"},
                                            {"codec_type":"audio","sample_rate":"48000.0","channels":null}],
                                "format":{"duration":" 12.0","format_name":["x"]}})");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo);
    EXPECT_TRUE(info->videoCodec.isEmpty());
    EXPECT_EQ(info->videoWidth, 0);
    EXPECT_EQ(info->videoHeight, 0);
    EXPECT_EQ(info->videoBitRate, 0);
    EXPECT_EQ(info->audioSampleRate, 0);
    EXPECT_EQ(info->audioChannels, 0);
    EXPECT_EQ(info->duration, 0);
    EXPECT_TRUE(info->containerFormat.isEmpty());
}

TEST(FFprobeOutput, EmptyObjectIsAProbeButNotJsonIsNone) {
    const auto empty = parse("{}");
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, ProbeInfo{});
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parse("[1,2]"));
    EXPECT_FALSE(parse("{\"streams\": [")); // cut short by a killed ffprobe
}

// What is not a duration is an unknown one (0), never a negative or endless length.
TEST(FFprobeOutput, DurationsThatAreNotOnesCountAsUnknown) {
    for (const char* bad : {"-5", "inf", "nan", "-inf", "1e400", "+-5"}) {
        const auto info =
            parse(QStringLiteral(R"({"format":{"duration":"%1"}})").arg(QLatin1String(bad)).toUtf8());
        ASSERT_TRUE(info) << bad;
        EXPECT_EQ(info->duration, 0) << bad;
    }
    EXPECT_EQ(parse(R"({"format":{"duration":"0.000000"}})")->duration, 0);
}
