// The in-process route on the FFmpeg libraries, checked by probing what it writes.
#include "transcode/LibraryHevcRoute.h"
#include "platform/AppLog.h"
#include "transcode/support/TranscodeTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QJsonArray streamsOf(const QString& path) {
    QByteArray out;
    ChildProcess child;
    child.run(ffprobeBeside(realFFmpeg),
              {"-v", "quiet", "-print_format", "json", "-show_streams", "-show_format", path},
              [&](const char* d, qsizetype n) { out.append(d, n); }, {});
    return QJsonDocument::fromJson(out).object().value(QLatin1String("streams")).toArray();
}

QList<QJsonObject> ofType(const QJsonArray& streams, const char* type) {
    QList<QJsonObject> found;
    for (const QJsonValue& s : streams)
        if (s.toObject().value(QLatin1String("codec_type")).toString() == QLatin1String(type))
            found.append(s.toObject());
    return found;
}

class LibraryRoute : public ::testing::Test {
protected:
    LibraryRoute() : h(true) {}
    void SetUp() override {
        if (!haveRealFFmpeg())
            GTEST_SKIP() << "needs /usr/bin/ffmpeg";
    }
    QString make(const QString& name, const QStringList& args) {
        const QString path = h.media(name);
        EXPECT_TRUE(runFFmpeg(args + QStringList{path})) << name.toStdString();
        return path;
    }
    static QStringList lossless() { return {"-c:v", "libx264", "-qp", "0"}; }
    // Grain keeps lossless video larger than 24-bit PCM, so the output is smaller than the source.
    static QStringList noisyVideo() {
        return {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1,noise=alls=30:allf=t"};
    }
    RouteResult transcode(const QString& source, LibraryHevcRoute route = LibraryHevcRoute()) {
        return route.transcode(*h.engine, h.request(source), h.engine->cancelFlag());
    }
    void expectVideo(const QString& path, int width, int height) {
        const auto video = ofType(streamsOf(path), "video");
        ASSERT_EQ(video.size(), 1);
        EXPECT_EQ(video[0].value("codec_name").toString(), QStringLiteral("hevc"));
        EXPECT_EQ(video[0].value("codec_tag_string").toString(), QStringLiteral("hvc1"));
        EXPECT_EQ(video[0].value("pix_fmt").toString(), QStringLiteral("yuv420p"));
        EXPECT_EQ(video[0].value("width").toInt(), width);
        EXPECT_EQ(video[0].value("height").toInt(), height);
    }
    void expectAudio(const QString& path, QList<int> channels) {
        const auto audio = ofType(streamsOf(path), "audio");
        ASSERT_EQ(audio.size(), channels.size());
        for (qsizetype i = 0; i < audio.size(); ++i) {
            EXPECT_EQ(audio[i].value("codec_name").toString(), QStringLiteral("pcm_s24le"));
            EXPECT_EQ(audio[i].value("sample_rate").toString(), QStringLiteral("48000"));
            EXPECT_EQ(audio[i].value("channels").toInt(), channels[i]);
            EXPECT_NEAR(audio[i].value("duration").toString().toDouble(), 1.0, 0.1);
        }
    }

    EngineHarness h;
};

TEST_F(LibraryRoute, H264AacBecomesHevcWithPcmAndProgressEndsAtTheTrailer) {
    const QString source = make(QStringLiteral("clip.mp4"), noisyVideo() + lavfiAudio(1) + lossless() +
                                                                QStringList{"-c:a", "aac", "-shortest"});
    const RouteResult r = transcode(source);
    EXPECT_EQ(r.outputPath, h.media(QStringLiteral("clip.mov")));
    expectVideo(r.outputPath, 160, 120);
    expectAudio(r.outputPath, {2});
    EXPECT_NEAR(ofType(streamsOf(r.outputPath), "video")[0].value("duration").toString().toDouble(), 1.0,
                0.05);
    ASSERT_GE(h.progress.size(), 3);
    EXPECT_DOUBLE_EQ(h.progress.last(), 1.0);
    EXPECT_DOUBLE_EQ(h.progress[h.progress.size() - 2], 0.95);
    for (qsizetype i = 1; i < h.progress.size(); ++i)
        EXPECT_GE(h.progress[i], h.progress[i - 1]);
    for (qsizetype i = 0; i + 1 < h.progress.size(); ++i)
        EXPECT_LE(h.progress[i], 0.95);
}

TEST_F(LibraryRoute, ProResPcmMovIsReplacedInPlace) {
    const QString source = make(QStringLiteral("A001.mov"),
                                noisyVideo() + lavfiAudio(1) +
                                    QStringList{"-c:v", "prores_ks", "-c:a", "pcm_s16le", "-shortest"});
    const RouteResult r = transcode(source);
    EXPECT_EQ(r.outputPath, source);
    expectVideo(source, 160, 120);
    expectAudio(source, {2});
}

TEST_F(LibraryRoute, RotatedClipKeepsCodedSizeAndDisplayMatrix) {
    const QString plain =
        make(QStringLiteral("plain.mp4"), lavfiVideo(QStringLiteral("64x48"), 1) + lossless());
    const QString source = make(QStringLiteral("portrait.mp4"),
                                QStringList{"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    const RouteResult r = transcode(source);
    expectVideo(r.outputPath, 64, 48);
    const QJsonArray sideData = ofType(streamsOf(r.outputPath), "video")[0].value("side_data_list").toArray();
    ASSERT_EQ(sideData.size(), 1);
    EXPECT_EQ(sideData[0].toObject().value("side_data_type").toString(), QStringLiteral("Display Matrix"));
    EXPECT_EQ(std::abs(sideData[0].toObject().value("rotation").toInt()), 90);
}

TEST_F(LibraryRoute, OddSizeIsCroppedToEven) {
    const QString source =
        make(QStringLiteral("odd.mp4"), lavfiVideo(QStringLiteral("63x47"), 1) + lossless());
    expectVideo(transcode(source).outputPath, 62, 46);
}

TEST_F(LibraryRoute, ChannelCountsKeptAndRateMadeFortyEightKilohertz) {
    QStringList args = noisyVideo();
    for (const char* audio : {"sine=frequency=300:sample_rate=44100:duration=1",
                              "sine=frequency=400:sample_rate=48000:duration=1",
                              "sine=frequency=500:sample_rate=48000:duration=1"})
        args += {"-f", "lavfi", "-i", QString::fromLatin1(audio)};
    args += lossless();
    args += {"-map", "0:v",     "-map", "1:a",     "-map", "2:a",  "-map",      "3:a",      "-ac:a:0",
             "1",    "-ac:a:1", "2",    "-ac:a:2", "6",    "-c:a", "pcm_s24le", "-shortest"};
    const QString source = make(QStringLiteral("channels.mov"), args);
    const RouteResult r = transcode(source);
    expectAudio(r.outputPath, {1, 2, 6});
}

TEST_F(LibraryRoute, UndecodableAudioRefusesSoTheEngineFallsBackToFFmpeg) {
    const QString source = make(QStringLiteral("clip.mp4"), noisyVideo() + lavfiAudio(1) + lossless() +
                                                                QStringList{"-c:a", "aac", "-shortest"});
    const auto noAac = [](AVCodecID id) -> const AVCodec* {
        return id == AV_CODEC_ID_AAC ? nullptr : avcodec_find_decoder(id);
    };
    try {
        transcode(source, LibraryHevcRoute(noAac));
        FAIL() << "expected cannotReadAsset";
    } catch (const TranscodeError& e) {
        EXPECT_EQ(e.kind(), TranscodeError::Kind::cannotReadAsset);
    }
    EXPECT_TRUE(QFileInfo::exists(source));
    EXPECT_TRUE(temporariesBeside(source).isEmpty());

    // Through the engine, with ffmpeg but no ffprobe beside it: without a probe the route is
    // tried first, refuses, and ffmpeg does the file with its audio.
    FakeTools tools;
    ASSERT_TRUE(QFile::link(realFFmpeg, QDir(tools.folder()).filePath(QStringLiteral("ffmpeg"))));
    TranscodeEngineServices services;
    services.ffmpegSearch = [&tools] {
        FFmpegSearch search;
        search.overrideFolder = tools.folder();
        return search;
    };
    services.fileOperations = h.ops;
    services.inProcessRoute = std::make_shared<LibraryHevcRoute>(noAac);
    TranscodeEngine engine(services);
    TranscodeRequest request;
    request.sourcePath = source;
    const TranscodeOutcome outcome = engine.transcodeNow(request);
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_EQ(ofType(streamsOf(outcome.result->outputPath), "audio").size(), 1);
}

TEST_F(LibraryRoute, CancelAtAVideoFrameRemovesTheOutputAndKeepsTheSource) {
    const QString source =
        make(QStringLiteral("long.mp4"), lavfiVideo(QStringLiteral("64x64"), 4) + lossless());
    const qint64 size = QFileInfo(source).size();
    TranscodeRequest request = h.request(source);
    int frames = 0;
    request.onProgress = [&](double) {
        if (++frames == 3)
            h.engine->cancel();
    };
    try {
        LibraryHevcRoute().transcode(*h.engine, request, h.engine->cancelFlag());
        FAIL() << "expected cancelled";
    } catch (const TranscodeError& e) {
        EXPECT_EQ(e.kind(), TranscodeError::Kind::cancelled);
    }
    EXPECT_EQ(frames, 3); // stopped at the next frame
    EXPECT_EQ(QFileInfo(source).size(), size);
    EXPECT_TRUE(temporariesBeside(source).isEmpty());
}

TEST_F(LibraryRoute, CoverArtIsNeverTheVideoTrack) {
    const QString cover = make(QStringLiteral("cover.png"),
                               lavfiVideo(QStringLiteral("64x64"), 0.04) + QStringList{"-frames:v", "1"});
    const QString song =
        make(QStringLiteral("song.m4a"),
             lavfiAudio(1) + QStringList{"-i", cover, "-map", "0:a", "-map", "1:v", "-c:a", "aac", "-c:v",
                                         "png", "-disposition:v", "attached_pic"});
    try {
        transcode(song);
        FAIL() << "expected noVideoTrack";
    } catch (const TranscodeError& e) {
        EXPECT_EQ(e.kind(), TranscodeError::Kind::noVideoTrack);
    }
    EXPECT_TRUE(QFileInfo::exists(song));
}

TEST_F(LibraryRoute, VideoOnlyFileGoesInProcessThroughTheEngine) {
    const QString source =
        make(QStringLiteral("silent.mp4"), lavfiVideo(QStringLiteral("64x64"), 1) + lossless());
    TranscodeEngineServices services;
    services.ffmpegSearch = [] {
        FFmpegSearch search;
        search.overrideFolder = QFileInfo(realFFmpeg).path();
        return search;
    };
    services.fileOperations = h.ops;
    services.inProcessRoute = std::make_shared<LibraryHevcRoute>();
    TranscodeEngine engine(services);
    QStringList lines;
    AppLog::setSink([&](const AppLog::Record& r) { lines.append(r.message); });
    TranscodeRequest request;
    request.sourcePath = source;
    const TranscodeOutcome outcome = engine.transcodeNow(request);
    AppLog::setSink({});
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral("Route: trying in-process")).size() == 1);
    EXPECT_TRUE(lines.filter(QStringLiteral("ffmpeg transcode:")).isEmpty());
    expectVideo(outcome.result->outputPath, 64, 64);
}

} // namespace
