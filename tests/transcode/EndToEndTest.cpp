// Real runs through /usr/bin/ffmpeg on tiny generated clips.
#include "transcode/support/TranscodeTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// The streams ffprobe reports, in order.
QJsonArray streamsOf(const QString& path) {
    QByteArray out;
    ChildProcess child;
    child.run(ffprobeBeside(realFFmpeg),
              {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
               QStringLiteral("json"), QStringLiteral("-show_streams"), path},
              [&](const char* d, qsizetype n) { out.append(d, n); }, {});
    return QJsonDocument::fromJson(out).object().value(QLatin1String("streams")).toArray();
}

QJsonObject firstOfType(const QJsonArray& streams, const char* type) {
    for (const QJsonValue& s : streams)
        if (s.toObject().value(QLatin1String("codec_type")).toString() == QLatin1String(type))
            return s.toObject();
    return {};
}

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() : h(true) {}
    void SetUp() override {
        if (!haveRealFFmpeg())
            GTEST_SKIP() << "needs /usr/bin/ffmpeg";
    }
    QString make(const QString& name, const QStringList& args) {
        const QString path = h.media(name);
        EXPECT_TRUE(runFFmpeg(args + QStringList{path})) << name.toStdString();
        return path;
    }
    void expectHevcMovie(const QString& path, int width, int height, const char* audioCodec) {
        const QJsonArray streams = streamsOf(path);
        const QJsonObject video = firstOfType(streams, "video");
        EXPECT_EQ(video.value(QLatin1String("codec_name")).toString(), QStringLiteral("hevc"));
        EXPECT_EQ(video.value(QLatin1String("codec_tag_string")).toString(), QStringLiteral("hvc1"));
        EXPECT_EQ(video.value(QLatin1String("width")).toInt(), width);
        EXPECT_EQ(video.value(QLatin1String("height")).toInt(), height);
        EXPECT_EQ(firstOfType(streams, "audio").value(QLatin1String("codec_name")).toString(),
                  QString::fromLatin1(audioCodec));
    }
    QStringList x264Lossless() {
        return {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-qp"),
                QStringLiteral("0")};
    }

    EngineHarness h;
};

TEST_F(EndToEnd, H264AacMp4BecomesHevcMovAndSourceGoesToTrash) {
    const QString source =
        make(QStringLiteral("phone clip.mp4"), lavfiVideo(QStringLiteral("64x64"), 1) + lavfiAudio(1) +
                                                   x264Lossless() + QStringList{"-c:a", "aac", "-shortest"});
    const TranscodeOutcome outcome = h.engine->transcodeNow(h.request(source));
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_EQ(outcome.result->outputPath, h.media(QStringLiteral("phone clip.mov")));
    EXPECT_LT(outcome.result->newSize, outcome.result->sourceSize);
    EXPECT_FALSE(QFileInfo::exists(source));
    expectHevcMovie(outcome.result->outputPath, 64, 64, "aac");
    ASSERT_FALSE(h.progress.isEmpty());
    EXPECT_DOUBLE_EQ(h.progress.last(), 1.0);
    for (double f : h.progress)
        EXPECT_TRUE(f >= 0 && f <= 1);
}

TEST_F(EndToEnd, ProResPcmMovIsReplacedInPlace) {
    const QString source = make(QStringLiteral("A001.mov"),
                                lavfiVideo(QStringLiteral("64x64"), 1) + lavfiAudio(1) +
                                    QStringList{"-c:v", "prores_ks", "-c:a", "pcm_s24le", "-shortest"});
    const TranscodeOutcome outcome = h.engine->transcodeNow(h.request(source));
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_EQ(outcome.result->outputPath, source);
    EXPECT_EQ(h.ops->trashCalls, 0);
    expectHevcMovie(source, 64, 64, "pcm_s24le");
    EXPECT_TRUE(temporariesBeside(source).isEmpty());
}

TEST_F(EndToEnd, OddSizeIsCroppedToEven) {
    const QString source =
        make(QStringLiteral("odd.mp4"), lavfiVideo(QStringLiteral("63x47"), 1) + x264Lossless());
    const TranscodeOutcome outcome = h.engine->transcodeNow(h.request(source));
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    const QJsonObject video = firstOfType(streamsOf(outcome.result->outputPath), "video");
    EXPECT_EQ(video.value(QLatin1String("width")).toInt(), 62);
    EXPECT_EQ(video.value(QLatin1String("height")).toInt(), 46);
}

TEST_F(EndToEnd, RotatedClipPlaysUprightUnsquashed) {
    // The rotation is written as a display matrix only when remuxing.
    const QString plain =
        make(QStringLiteral("plain.mp4"), lavfiVideo(QStringLiteral("64x48"), 1) + x264Lossless());
    const QString source = make(QStringLiteral("portrait.mp4"),
                                QStringList{"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    ASSERT_FALSE(
        firstOfType(streamsOf(source), "video").value(QLatin1String("side_data_list")).toArray().isEmpty());
    const TranscodeOutcome outcome = h.engine->transcodeNow(h.request(source));
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    const QJsonObject video = firstOfType(streamsOf(outcome.result->outputPath), "video");
    const int w = video.value(QLatin1String("width")).toInt();
    const int h2 = video.value(QLatin1String("height")).toInt();
    // Either the pixels were turned (48x64, no rotation left) or the rotation was kept on 64x48:
    // never a turned size that still carries the rotation.
    const bool rotationKept = video.value(QLatin1String("side_data_list")).toArray().size() > 0;
    if (rotationKept)
        EXPECT_EQ(std::make_pair(w, h2), std::make_pair(64, 48));
    else
        EXPECT_EQ(std::make_pair(w, h2), std::make_pair(48, 64));
}

TEST_F(EndToEnd, MusicWithCoverArtIsNotTranscoded) {
    const QString cover = make(QStringLiteral("cover.png"),
                               lavfiVideo(QStringLiteral("64x64"), 0.04) + QStringList{"-frames:v", "1"});
    const QString source =
        make(QStringLiteral("song.mp3"),
             lavfiAudio(1) + QStringList{"-i", cover, "-map", "0:a", "-map", "1:v", "-c:a", "libmp3lame",
                                         "-c:v", "png", "-disposition:v", "attached_pic"});
    const qint64 size = QFileInfo(source).size();
    const TranscodeOutcome outcome = h.engine->transcodeNow(h.request(source));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->description(), QStringLiteral("No video track: song.mp3"));
    EXPECT_EQ(QFileInfo(source).size(), size);
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("song.mov"))));

    const TranscodeOutcome picture = h.engine->transcodeNow(h.request(cover));
    ASSERT_TRUE(picture.error);
    EXPECT_EQ(picture.error->kind(), TranscodeError::Kind::noVideoTrack);
    EXPECT_TRUE(QFileInfo::exists(cover));
}

TEST_F(EndToEnd, MovReplacedThroughTheSystemFileOperations) {
    const QString source = make(QStringLiteral("B002.mov"),
                                lavfiVideo(QStringLiteral("64x64"), 1) + QStringList{"-c:v", "prores_ks"});
    TranscodeEngineServices services;
    services.ffmpegSearch = [] {
        FFmpegSearch search;
        search.overrideFolder = QFileInfo(realFFmpeg).path();
        return search;
    };
    TranscodeEngine engine(services);
    TranscodeRequest request;
    request.sourcePath = source;
    const TranscodeOutcome outcome = engine.transcodeNow(request);
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_EQ(outcome.result->outputPath, source);
    EXPECT_EQ(QFileInfo(source).size(), outcome.result->newSize);
    EXPECT_TRUE(temporariesBeside(source).isEmpty());
    expectHevcMovie(source, 64, 64, "");
}

} // namespace
