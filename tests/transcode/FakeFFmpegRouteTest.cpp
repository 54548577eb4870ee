// Every outcome of the ffmpeg route, driven by fake ffmpeg and ffprobe scripts.
#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "support/ForeignMark.h"
#include "transcode/support/TranscodeTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class FakeFFmpegRoute : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveRealFFmpeg())
            GTEST_SKIP() << "needs /usr/bin/ffmpeg to generate media";
        source = h.stage(GeneratedMedia::instance().h264Aac(), QStringLiteral("clip one.mp4"));
        ASSERT_FALSE(source.isEmpty());
        sourceBytes = QFileInfo(source).size();
        h.tools.setFFprobeJson(probeJson(1.0));
    }
    void copyOutput(const QString& generated) {
        h.tools.setFFmpeg(QStringLiteral("echo out_time_ms=500000\ncp '%1' \"$out\"\n").arg(generated));
    }
    void expectSourceUntouched() {
        EXPECT_TRUE(QFileInfo::exists(source));
        EXPECT_EQ(QFileInfo(source).size(), sourceBytes);
        EXPECT_TRUE(temporariesBeside(source).isEmpty());
        EXPECT_EQ(h.ops->trashCalls, 0);
    }
    TranscodeOutcome run() { return h.engine->transcodeNow(h.request(source)); }

    EngineHarness h;
    QString source;
    qint64 sourceBytes = 0;
};

TEST_F(FakeFFmpegRoute, SuccessMovesOutputToMovNameAndSourceToTrash) {
    copyOutput(GeneratedMedia::instance().hevcOutput(true));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_EQ(outcome.result->outputPath, h.media(QStringLiteral("clip one.mov")));
    EXPECT_EQ(outcome.result->sourceSize, sourceBytes);
    EXPECT_EQ(outcome.result->newSize, QFileInfo(h.media(QStringLiteral("clip one.mov"))).size());
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_TRUE(QFileInfo::exists(QDir(h.ops->trashFolder()).filePath(QStringLiteral("clip one.mp4"))));
    ASSERT_FALSE(h.progress.isEmpty());
    EXPECT_DOUBLE_EQ(h.progress.first(), 0.5);
    EXPECT_DOUBLE_EQ(h.progress.last(), 1.0);
}

TEST_F(FakeFFmpegRoute, ArgumentsAreOneListWithTheSharedEncoderSettings) {
    copyOutput(GeneratedMedia::instance().hevcOutput(true));
    ASSERT_TRUE(run().result);
    const QStringList args = h.tools.ffmpegArguments();
    ASSERT_GE(args.size(), 6);
    EXPECT_EQ(args.mid(0, 4), (QStringList{"-hide_banner", "-nostdin", "-progress", "pipe:1"}));
    EXPECT_EQ(args[5], QStringLiteral("file:") + source); // one argument, blanks and all
    EXPECT_TRUE(args.contains(QStringLiteral("libx265")));
    EXPECT_EQ(args[args.indexOf(QStringLiteral("-c:a")) + 1], QStringLiteral("copy")); // aac
    EXPECT_EQ(args[args.indexOf(QStringLiteral("-map")) + 1], QStringLiteral("0:V"));
}

TEST_F(FakeFFmpegRoute, TinyOutputFailsAndKeepsSource) {
    h.tools.setFFmpeg(QStringLiteral("head -c 4096 /dev/zero > \"$out\"\n"));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->description(),
              QStringLiteral("Encoding failed: transcoded file is empty or truncated (4096 bytes)"));
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, UndecodableOutputFails) {
    h.tools.setFFmpeg(QStringLiteral("head -c 5000 /dev/urandom > \"$out\"\n"));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->payload(), QStringLiteral("transcoded file has no decodable video track"));
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, ShortOutputFailsTheDurationCheck) {
    h.tools.setFFprobeJson(probeJson(10.0));
    copyOutput(GeneratedMedia::instance().hevcOutput(true, 1.0));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(
        outcome.error->payload().startsWith(QStringLiteral("transcoded duration 1.0s is much shorter than "
                                                           "source 10.0s")))
        << outcome.error->payload().toStdString();
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, VideoOnlyOutputOfSourceWithAudioFails) {
    copyOutput(GeneratedMedia::instance().hevcOutput(false));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->payload(), QStringLiteral("transcoded file is missing audio tracks"));
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, OutputNotSmallerThanSourceKeepsSource) {
    // The "output" is the source itself plus a tail: decodable, with audio, but larger.
    h.tools.setFFmpeg(QStringLiteral("cp '%1' \"$out\"\nhead -c 100 /dev/zero >> \"$out\"\n").arg(source));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->description(),
              QStringLiteral(
                  "Encoding failed: transcoded file is not smaller than the source; the original was kept"));
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, NonZeroExitReportsLastUnindentedLine) {
    h.tools.setFFmpeg(QStringLiteral(
        "head -c 9000 /dev/zero > \"$out\"\n"
        "printf 'Input #0\\nUnknown encoder x\\n  detail one\\n  detail two\\n' >&2\nexit 1\n"));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->description(), QStringLiteral("ffmpeg error: Unknown encoder x"));
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, OnlyIndentedErrorTextReportsItsStart) {
    h.tools.setFFmpeg(QStringLiteral("printf '  only indented\\n' >&2\nexit 3\n"));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->payload(), QStringLiteral("  only indented\n"));
}

TEST_F(FakeFFmpegRoute, ChildKilledBySignalIsAFailure) {
    h.tools.setFFmpeg(
        QStringLiteral("cp '%1' \"$out\"\nkill -SEGV $$\n").arg(GeneratedMedia::instance().hevcOutput(true)));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), TranscodeError::Kind::ffmpegFailed);
    EXPECT_EQ(outcome.error->payload(), QStringLiteral("ffmpeg terminated by signal 11"));
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, CancelWhileRunningKillsTheChildAndRemovesTheOutput) {
    // The first progress line is the gate: cancel arrives while the child surely runs.
    h.tools.setFFmpeg(
        QStringLiteral("head -c 9000 /dev/zero > \"$out\"\necho out_time_ms=100000\nexec sleep 60\n"));
    TranscodeRequest request = h.request(source);
    request.onProgress = [this](double) { h.engine->cancel(); };
    const TranscodeOutcome outcome = h.engine->transcodeNow(request);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), TranscodeError::Kind::cancelled);
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, CancelReachesAShellWhoseChildKeepsThePipesOpen) {
    // sleep inherits the pipes and outlives the killed shell: the wait must still end.
    h.tools.setFFmpeg(QStringLiteral("echo out_time_ms=100000\nsleep 60\n"));
    TranscodeRequest request = h.request(source);
    request.onProgress = [this](double) { h.engine->cancel(); };
    const TranscodeOutcome outcome = h.engine->transcodeNow(request);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), TranscodeError::Kind::cancelled);
}

TEST_F(FakeFFmpegRoute, CancelBeforeStartStartsNoChild) {
    h.tools.setFFmpeg(QStringLiteral("cp '%1' \"$out\"\n").arg(GeneratedMedia::instance().hevcOutput(true)));
    h.engine->cancel();
    const TranscodeOutcome atEntry = run();
    ASSERT_TRUE(atEntry.error);
    EXPECT_EQ(atEntry.error->kind(), TranscodeError::Kind::cancelled);
    // The route itself, called with the flag already set, refuses before its child starts.
    EXPECT_THROW(h.engine->transcodeWithFFmpeg(h.request(source), std::nullopt), TranscodeError);
    EXPECT_FALSE(h.tools.ffmpegStarted());
    expectSourceUntouched();
}

TEST_F(FakeFFmpegRoute, CancelDuringProbeKillsFFprobe) {
    // A FIFO is the gate: opening it for reading returns once the fake ffprobe runs.
    const QString fifo = h.dir.filePath(QStringLiteral("probe-gate"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    h.tools.setFFprobe(QStringLiteral("echo running > '%1'\nexec sleep 60\n").arg(fifo));
    h.tools.setFFmpeg(QStringLiteral("exit 0\n"));
    auto future = h.engine->transcode(h.request(source));
    QFile gate(fifo);
    ASSERT_TRUE(gate.open(QIODevice::ReadOnly));
    EXPECT_EQ(gate.readLine().trimmed(), QByteArray("running"));
    h.engine->cancel();
    future.waitForFinished();
    const TranscodeOutcome outcome = future.result();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), TranscodeError::Kind::cancelled);
    EXPECT_FALSE(h.tools.ffmpegStarted());
}

TEST_F(FakeFFmpegRoute, StillImageAndCoverArtAreNotVideo) {
    h.tools.setFFmpeg(QStringLiteral("exit 0\n"));
    h.tools.setFFprobeJson(
        R"({"streams":[{"codec_type":"audio","codec_name":"mp3","channels":2,"sample_rate":"44100"},
            {"codec_type":"video","codec_name":"png","width":64,"height":64,"disposition":{"attached_pic":1}}],
            "format":{"format_name":"mp3","duration":"3.0"}})");
    TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->description(), QStringLiteral("No video track: clip one.mp4"));

    h.tools.setFFprobeJson(R"({"streams":[{"codec_type":"video","codec_name":"mjpeg","width":64,"height":64}],
                               "format":{"format_name":"image2","duration":"0.04"}})");
    outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), TranscodeError::Kind::noVideoTrack);
    EXPECT_FALSE(h.tools.ffmpegStarted());
    expectSourceUntouched();
}

// A file the user named like our temporary used to be deleted for good: it is not ours.
TEST_F(FakeFFmpegRoute, FilesUnderTheTemporaryNameThatAreNotOursAreLeftAlone) {
    const QString theirs = TranscodeTemporary::preferredPath(source);
    QFile render(theirs);
    ASSERT_TRUE(render.open(QIODevice::WriteOnly));
    render.write("a render a project uses");
    render.close();
    QDir().mkpath(h.media(QStringLiteral("clip one_transcoding_1.mov/inner")));
    copyOutput(GeneratedMedia::instance().hevcOutput(true));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    ASSERT_TRUE(render.open(QIODevice::ReadOnly));
    EXPECT_EQ(render.readAll(), QByteArray("a render a project uses"));
    EXPECT_TRUE(QFileInfo(h.media(QStringLiteral("clip one_transcoding_1.mov/inner"))).isDir());
    EXPECT_EQ(temporariesBeside(source), (QStringList{"clip one_transcoding.mov"}));
}

// ffmpeg writes into the temporary we created and marked, never a fresh file of that name.
TEST_F(FakeFFmpegRoute, FFmpegWritesIntoOurMarkedTemporary) {
    const QString generated = GeneratedMedia::instance().hevcOutput(true);
    copyOutput(generated);
    TranscodeRequest request = h.request(source);
    QStringList seen;
    request.destructiveStepCheck = [&](const QString&) -> std::optional<TranscodeError> {
        for (const QString& name : temporariesBeside(source)) {
            const QString path = h.media(name);
            const auto mark = leftover::markOf(QFile::encodeName(path));
            if (mark && mark->writer == leftover::currentWriter() &&
                QFileInfo(path).size() == QFileInfo(generated).size())
                seen.append(name);
        }
        return std::nullopt;
    };
    const TranscodeOutcome outcome = h.engine->transcodeNow(request);
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    // Asked before the encode (nothing written yet), before the move (seen) and before the Trash.
    EXPECT_EQ(seen, (QStringList{"clip one_transcoding.mov"}));
    EXPECT_EQ(h.tools.ffmpegArguments().last(), QStringLiteral("file:/proc/self/fd/3"));
    EXPECT_TRUE(temporariesBeside(source).isEmpty());
}

// A kill leaves a marked temporary behind; the next transcode in that folder takes it away, with
// any other leftover of ours, and only those.
TEST_F(FakeFFmpegRoute, AbandonedTemporariesOfOursAreSweptAndNothingElse) {
    const auto place = [&](const QString& name, std::optional<leftover::Writer> writer,
                           const QString& subjectName) {
        const QString path = h.media(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        if (writer) {
            const QByteArray subject = "transcode 1 2 3 4 " + QFile::encodeName(subjectName);
            EXPECT_TRUE(markAsWrittenBy(path, *writer, subject));
        }
        return path;
    };
    leftover::Writer gone = leftover::currentWriter();
    gone.startTicks += 1; // the same id, a later process: the writer is gone
    const QString abandoned =
        place(QStringLiteral("other_transcoding_2.mov"), gone, "other_transcoding_2.mov");
    const QString running =
        place(QStringLiteral("live_transcoding.mov"), leftover::currentWriter(), "live_transcoding.mov");
    const QString renamed = place(QStringLiteral("kept_transcoding.mov"), gone, "kept_transcoding_1.mov");
    const QString unmarked = place(QStringLiteral("user_transcoding.mov"), std::nullopt, {});
    // Another operation's leftover in the same folder goes as well.
    const QString moveCopy = place(QStringLiteral(".b.mov.tarnwick-move-a1b2c3"), gone, {});
    QStringList lines;
    AppLog::setSink([&](const AppLog::Record& r) { lines.append(r.message); });
    copyOutput(GeneratedMedia::instance().hevcOutput(true));
    const TranscodeOutcome outcome = run();
    AppLog::setSink({});
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_FALSE(QFileInfo::exists(abandoned));
    EXPECT_TRUE(QFileInfo::exists(running));
    EXPECT_TRUE(QFileInfo::exists(renamed));
    EXPECT_TRUE(QFileInfo::exists(unmarked));
    EXPECT_FALSE(QFileInfo::exists(moveCopy));
    EXPECT_EQ(lines.filter(QStringLiteral("Removed leftover")).size(), 2);
}

TEST_F(FakeFFmpegRoute, NotEnoughFreeSpaceStopsBeforeWriting) {
    h.capacity = 1000;
    h.tools.setFFmpeg(QStringLiteral("exit 0\n"));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(
        outcome.error->payload().startsWith(QStringLiteral("not enough free space to transcode (need ~")));
    EXPECT_FALSE(h.tools.ffmpegStarted());
}

TEST_F(FakeFFmpegRoute, MissingFFmpegIsReportedWithTheDebianPackage) {
    QFile::remove(QDir(h.tools.folder()).filePath(QStringLiteral("ffmpeg")));
    h.tools.removeFFprobe();
    // No probe and no ffmpeg: when the in-process route refuses there is nothing to fall back to.
    h.rebuildEngine(std::make_shared<RefusingInProcessRoute>());
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), TranscodeError::Kind::cannotReadAsset);
    EXPECT_THROW(h.engine->transcodeWithFFmpeg(h.request(source), std::nullopt), TranscodeError);
    EXPECT_EQ(TranscodeError::ffmpegNotFound().description(),
              QStringLiteral("ffmpeg not found. Install it with: sudo apt install ffmpeg"));
}

TEST_F(FakeFFmpegRoute, WithoutFFprobeTheFallbackRouteStillRuns) {
    h.tools.removeFFprobe();
    auto refusing = std::make_shared<RefusingInProcessRoute>();
    h.rebuildEngine(refusing);
    copyOutput(GeneratedMedia::instance().hevcOutput(true));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.result) << outcome.error->description().toStdString();
    EXPECT_EQ(refusing->calls, 1);
    EXPECT_TRUE(h.tools.ffmpegStarted());
}

TEST_F(FakeFFmpegRoute, CancelInsideTheInProcessRouteNeverFallsBackToFFmpeg) {
    h.tools.removeFFprobe();
    class CancelledRoute : public InProcessRoute {
    public:
        RouteResult transcode(TranscodeEngine&, const TranscodeRequest&, const std::atomic_bool&) override {
            throw TranscodeError::cancelled();
        }
    };
    h.rebuildEngine(std::make_shared<CancelledRoute>());
    copyOutput(GeneratedMedia::instance().hevcOutput(true));
    const TranscodeOutcome outcome = run();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), TranscodeError::Kind::cancelled);
    EXPECT_FALSE(h.tools.ffmpegStarted());
    expectSourceUntouched();
}

TEST(FFmpegLocator, FoundPathIsCachedAndAFailedSearchIsRetried) {
    EngineHarness h;
    EXPECT_FALSE(h.engine->isFFmpegAvailable()); // the fake folder is empty so far
    h.tools.setFFmpeg(QStringLiteral("exit 0\n"));
    const auto found = h.engine->locateFFmpeg();
    ASSERT_TRUE(found);
    QFile::remove(*found);
    EXPECT_EQ(h.engine->locateFFmpeg(), found); // kept for the life of the engine
}

TEST(FFprobeRun, JsonOfAFailingProbeIsStillUsedButNothingFromAKilledOne) {
    EngineHarness h;
    h.tools.setFFmpeg(QStringLiteral("exit 0\n"));
    h.tools.setFFprobe(QStringLiteral("echo '{\"format\":{\"duration\":\"2.5\"}}'\nexit 1\n"));
    const auto probe = h.engine->probe(h.dir.filePath(QStringLiteral("any.mov")));
    ASSERT_TRUE(probe);
    EXPECT_DOUBLE_EQ(probe->duration, 2.5);
    h.tools.setFFprobe(QStringLiteral("echo '{\"format\":{}}'\nkill -KILL $$\n"));
    EXPECT_FALSE(h.engine->probe(h.dir.filePath(QStringLiteral("any.mov"))));
}

} // namespace
