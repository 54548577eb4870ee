#include "ui/scrub/ScrubController.h"

#include "ui/preview/ThumbnailGenerator.h"

#include "support/MediaFixtures.h"
#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

#include <QMediaPlayer>
#include <QPointer>
#include <QPromise>
#include <QRunnable>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <cmath>

using namespace tarnwick;
using tarnwick::testing::drainEvents;

namespace {

// Holds a loader until the test opens it.
struct Gate {
    Gate() { promise.start(); }
    QCoro::Task<void> wait() {
        if (!closed)
            co_return;
        QFuture<void> opened = promise.future();
        co_await opened;
    }
    void open() {
        closed = false;
        promise.finish();
    }
    bool closed = false;
    QPromise<void> promise;
};

FilmFrame frameAt(double fraction) {
    QImage image(32, 18, QImage::Format_RGB32);
    image.fill(Qt::gray);
    return {QUuid::createUuid(), fraction, image};
}

struct FakeSheet {
    ScrubSheetServices services() {
        ScrubSheetServices s;
        s.openURL = [](const QString& path) { return QUrl::fromLocalFile(path); };
        s.loadDuration = [this](QString) -> QCoro::Task<std::optional<double>> {
            ++durationCalls;
            auto waiting = durationGate.wait();
            co_await std::move(waiting);
            co_return duration;
        };
        s.probeDuration = [this](QString) -> QCoro::Task<std::optional<double>> {
            ++probeCalls;
            co_return probe;
        };
        s.extractWaveform = [this](QString, int n, RequestToken token) -> QCoro::Task<QList<float>> {
            ++waveformCalls;
            bucketCount = n;
            stripToken = token;
            auto waiting = stripGate.wait();
            co_await std::move(waiting);
            co_return QList<float>(levels);
        };
        s.generateFrames = [this](QString, int count, double d,
                                  RequestToken token) -> QCoro::Task<QList<FilmFrame>> {
            ++framesCalls;
            frameCount = count;
            framesDuration = d;
            stripToken = token;
            auto waiting = stripGate.wait();
            co_await std::move(waiting);
            co_return QList<FilmFrame>(frames);
        };
        s.generateFramesWithFFmpeg = [this](QString path, int, double,
                                            RequestToken) -> QCoro::Task<QList<FilmFrame>> {
            ++ffmpegCalls;
            ffmpegPath = path;
            co_return QList<FilmFrame>(ffmpegFrames);
        };
        s.makePlayer = [](QObject* parent) { return new QMediaPlayer(parent); };
        return s;
    }

    Gate durationGate;
    Gate stripGate;
    std::optional<double> duration = 10.0;
    std::optional<double> probe;
    QList<float> levels{0.5f, 1.0f};
    QList<FilmFrame> frames{frameAt(0.25), frameAt(0.75)};
    QList<FilmFrame> ffmpegFrames;
    int durationCalls = 0, probeCalls = 0, waveformCalls = 0, framesCalls = 0, ffmpegCalls = 0;
    int bucketCount = 0, frameCount = 0;
    double framesDuration = -1;
    QString ffmpegPath;
    RequestToken stripToken;
};

void runLoad(ScrubController& ctrl, const QString& path, bool isAudio) {
    QCoro::waitFor(ctrl.load(path, isAudio));
}

} // namespace

TEST(ScrubController, LoadsPlayerDurationObserverThenStrip) {
    FakeSheet fake;
    ScrubController ctrl(fake.services());
    QSignalSpy players(&ctrl, &ScrubController::playerChanged);
    runLoad(ctrl, QStringLiteral("/media/a b.mov"), false);
    EXPECT_EQ(players.count(), 1);
    ASSERT_TRUE(ctrl.player());
    EXPECT_EQ(ctrl.player()->source(), QUrl::fromLocalFile(QStringLiteral("/media/a b.mov")));
    EXPECT_EQ(ctrl.duration(), 10.0);
    EXPECT_EQ(fake.probeCalls, 0);
    EXPECT_TRUE(ctrl.observing());
    EXPECT_EQ(fake.frameCount, 20);
    EXPECT_EQ(fake.framesDuration, 10.0);
    EXPECT_EQ(ctrl.frames().size(), 2);
    EXPECT_TRUE(ctrl.waveform().isEmpty());
    EXPECT_FALSE(ctrl.loadingStrip());
    EXPECT_EQ(fake.ffmpegCalls, 0);

    FakeSheet audio;
    ScrubController sound(audio.services());
    runLoad(sound, QStringLiteral("/media/tone.wav"), true);
    EXPECT_EQ(audio.bucketCount, 220);
    EXPECT_EQ(sound.waveform(), audio.levels);
    EXPECT_TRUE(sound.frames().isEmpty());
    EXPECT_FALSE(sound.loadingStrip());
}

TEST(ScrubController, DurationFallsBackToTheProbe) {
    for (std::optional<double> container :
         {std::optional<double>(), std::optional<double>(0.0), std::optional<double>(std::nan("")),
          std::optional<double>(-3.0)}) {
        FakeSheet fake;
        fake.duration = container;
        fake.probe = 4.5;
        ScrubController ctrl(fake.services());
        runLoad(ctrl, QStringLiteral("/media/clip.mxf"), false);
        EXPECT_EQ(fake.probeCalls, 1);
        EXPECT_EQ(ctrl.duration(), 4.5);
        EXPECT_EQ(fake.framesDuration, 4.5);
    }
}

TEST(ScrubController, NoDurationMeansNoPlayheadWorkAndNoSeeking) {
    FakeSheet fake;
    fake.duration.reset();
    fake.probe = std::numeric_limits<double>::infinity();
    fake.frames.clear(); // the first route gives nothing: ffmpeg is asked with the path
    ScrubController ctrl(fake.services());
    runLoad(ctrl, QStringLiteral("/media/broken.mov"), false);
    EXPECT_EQ(ctrl.duration(), 0);
    EXPECT_EQ(fake.ffmpegCalls, 1);
    EXPECT_EQ(fake.ffmpegPath, QStringLiteral("/media/broken.mov"));
    EXPECT_TRUE(ctrl.frames().isEmpty());
    EXPECT_FALSE(ctrl.loadingStrip());

    QSignalSpy playhead(&ctrl, &ScrubController::playheadChanged);
    ctrl.updatePlayhead(2.0);
    ctrl.seek(0.5);
    EXPECT_EQ(playhead.count(), 0);
    EXPECT_EQ(ctrl.playheadFraction(), 0);
}

TEST(ScrubController, PlayheadAndSeekClamp) {
    FakeSheet fake;
    ScrubController ctrl(fake.services());
    runLoad(ctrl, QStringLiteral("/media/clip.mov"), false);
    ctrl.updatePlayhead(2.5);
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 0.25);
    ctrl.updatePlayhead(std::nan(""));
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 0.25);
    ctrl.updatePlayhead(25);
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 1);
    ctrl.updatePlayhead(-1);
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 0);
    ctrl.seek(1.7);
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 1);
    ctrl.seek(-0.5);
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 0);
    ctrl.seek(0.3);
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 0.3);
}

TEST(ScrubController, TeardownPausesAndDropsThePlayer) {
    FakeSheet fake;
    ScrubController ctrl(fake.services());
    runLoad(ctrl, QStringLiteral("/media/clip.mov"), false);
    QPointer<QMediaPlayer> player = ctrl.player();
    ASSERT_TRUE(player);
    QSignalSpy players(&ctrl, &ScrubController::playerChanged);
    ctrl.teardown();
    EXPECT_FALSE(ctrl.player());
    EXPECT_FALSE(ctrl.observing());
    EXPECT_EQ(players.count(), 1);
    EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(player); // released
    ctrl.seek(0.5);       // nothing to seek
    EXPECT_DOUBLE_EQ(ctrl.playheadFraction(), 0);
}

// A sheet closed while its duration is loading adds no observer and loads no strip.
TEST(ScrubController, TornDownSheetStopsLoadingAfterTheDurationAwait) {
    FakeSheet fake;
    fake.durationGate.closed = true;
    ScrubController ctrl(fake.services());
    auto loading = ctrl.load(QStringLiteral("/media/tone.wav"), true);
    ASSERT_TRUE(ctrl.player());
    ctrl.teardown();
    fake.durationGate.open();
    QCoro::waitFor(loading);
    EXPECT_FALSE(ctrl.player());
    EXPECT_FALSE(ctrl.observing());
    EXPECT_EQ(fake.probeCalls, 0);
    EXPECT_EQ(fake.waveformCalls, 0);
    EXPECT_TRUE(ctrl.waveform().isEmpty());
}

// Closed while the strip loads: the loader is told to stop and its answer is not published.
TEST(ScrubController, TornDownSheetStopsLoadingAfterTheStripAwait) {
    FakeSheet fake;
    fake.stripGate.closed = true;
    ScrubController ctrl(fake.services());
    QSignalSpy loaded(&ctrl, &ScrubController::stripLoaded);
    auto loading = ctrl.load(QStringLiteral("/media/clip.mov"), false);
    ASSERT_EQ(fake.framesCalls, 1);
    EXPECT_FALSE(fake.stripToken.isCancelled());
    ctrl.teardown();
    EXPECT_TRUE(fake.stripToken.isCancelled());
    fake.stripGate.open();
    QCoro::waitFor(loading);
    EXPECT_TRUE(ctrl.frames().isEmpty());
    EXPECT_EQ(fake.ffmpegCalls, 0);
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_FALSE(ctrl.observing());
}

// The waveform is decoded on the generator's workers and published on the GUI thread: with every
// worker held, the GUI thread keeps running and the strip waits.
TEST(ScrubController, WaveformDecodesOnAWorkerAndAppliesOnTheGuiThread) {
    const QString tone = testmedia::wav();
    if (tone.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
    ThumbnailGeneratorServices generatorServices;
    generatorServices.findFFmpeg = [] { return std::optional<QString>(testmedia::systemFFmpeg); };
    ThumbnailGenerator generator(generatorServices);
    ScrubSheetServices services = ScrubSheetServices::system(generator);
    services.openURL = [](const QString& path) { return QUrl::fromLocalFile(path); };
    services.makePlayer = [](QObject* parent) { return new QMediaPlayer(parent); };
    ScrubController ctrl(services);

    QSemaphore release;
    QSemaphore held;
    const int workers = generator.decodingPool().maxThreadCount();
    for (int i = 0; i < workers; ++i)
        generator.decodingPool().start([&] {
            held.release();
            release.acquire();
        });
    held.acquire(workers);

    QThread* appliedOn = nullptr;
    QObject::connect(
        &ctrl, &ScrubController::stripLoaded, &ctrl, [&] { appliedOn = QThread::currentThread(); },
        Qt::DirectConnection);
    QSignalSpy loaded(&ctrl, &ScrubController::stripLoaded);
    auto loading = ctrl.load(tone, true);
    drainEvents();
    EXPECT_TRUE(ctrl.loadingStrip()); // nothing decoded here while the workers are held
    release.release(workers);
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(60'000));
    EXPECT_EQ(appliedOn, QThread::currentThread());
    EXPECT_NEAR(ctrl.duration(), 3.0, 0.05);
    ASSERT_EQ(ctrl.waveform().size(), 220);
    EXPECT_FLOAT_EQ(*std::max_element(ctrl.waveform().cbegin(), ctrl.waveform().cend()), 1.0f);
    ctrl.teardown();
}
