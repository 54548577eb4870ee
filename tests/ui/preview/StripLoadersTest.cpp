#include "ui/preview/StripLoaders.h"
#include "ui/preview/MediaScrubFrameSource.h"
#include "ui/preview/ScrubCacheBudget.h"
#include "ui/preview/ScrubEngine.h"
#include "ui/preview/ThumbnailGenerator.h"

#include "support/MediaFixtures.h"
#include "support/ReleaseGate.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTimer>

#include <qcoro/qcorotask.h>

using namespace tarnwick;

namespace {

ThumbnailGeneratorServices withSystemFFmpeg() {
    ThumbnailGeneratorServices services;
    services.findFFmpeg = [] { return std::optional<QString>(testmedia::systemFFmpeg); };
    return services;
}

bool waitUntil(ScrubEngine& engine, const std::function<bool()>& done) {
    QSignalSpy changes(&engine, &ScrubEngine::changed);
    while (!done()) {
        if (!changes.wait(30'000))
            return false;
    }
    return true;
}

// The worker's and the awaiting watcher's holds on an answer are gone (the watcher is deleted
// later, by the event loop).
void letGoOfAnswers(ThumbnailGenerator& generator) {
    generator.decodingPool().waitForDone();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// How many of this process's descriptors have `path` open.
#define NEEDS(path)                                                                                          \
    if ((path).isEmpty())                                                                                    \
    GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media"

} // namespace

TEST(StripLoaders, TwentyFilmstripFramesInClipOrder) {
    const QString clip = testmedia::counting();
    NEEDS(clip);
    ThumbnailGenerator generator(withSystemFFmpeg());
    // Also from a transport stream whose only key frame is its first.
    for (const QString& file : {clip, testmedia::countingTransportStream(1000)}) {
        NEEDS(file);
        SCOPED_TRACE(file.toStdString());
        const QList<FilmFrame> frames =
            QCoro::waitFor(stripLoaders::generateFrames(generator, file, 20, 4.0));
        ASSERT_EQ(frames.size(), 20);
        for (int i = 0; i < 20; ++i) {
            EXPECT_DOUBLE_EQ(frames[i].fraction, (i + 0.5) / 20);
            // (i + 0.5) / 20 × 4 s at 25 fps: frame 5i + 2.5, so the first at or after is 5i + 3.
            EXPECT_EQ(testmedia::countingIndex(frames[i].image), 5 * i + 3);
            EXPECT_LE(frames[i].image.width(), 320);
            EXPECT_LE(frames[i].image.height(), 180);
        }
        EXPECT_NE(frames[0].id, frames[1].id);
    }
    EXPECT_TRUE(QCoro::waitFor(stripLoaders::generateFrames(generator, clip, 20, 0)).isEmpty());
    EXPECT_TRUE(QCoro::waitFor(stripLoaders::generateFrames(generator, clip, 0, 4)).isEmpty());
    EXPECT_TRUE(QCoro::waitFor(stripLoaders::generateFrames(generator, testmedia::wav(), 20, 3)).isEmpty());
}

TEST(StripLoaders, FFmpegFilmstripFrames) {
    const QString clip = testmedia::h264();
    NEEDS(clip);
    ThumbnailGenerator generator(withSystemFFmpeg());
    const QList<FilmFrame> frames =
        QCoro::waitFor(stripLoaders::generateFramesWithFFmpeg(generator, clip, 20, 5.0));
    ASSERT_EQ(frames.size(), 20);
    EXPECT_EQ(frames[19].image.size(), QSize(320, 180));
    EXPECT_DOUBLE_EQ(frames[19].fraction, 0.975);
    ThumbnailGeneratorServices none;
    ThumbnailGenerator without(none);
    EXPECT_TRUE(QCoro::waitFor(stripLoaders::generateFramesWithFFmpeg(without, clip, 20, 5.0)).isEmpty());
}

TEST(StripLoaders, WaveformOf220Bars) {
    const QString tone = testmedia::wav();
    NEEDS(tone);
    ThumbnailGenerator generator(withSystemFFmpeg());
    const QList<float> bars = QCoro::waitFor(stripLoaders::extractWaveform(generator, tone, 220));
    ASSERT_EQ(bars.size(), 220);
    EXPECT_FLOAT_EQ(*std::max_element(bars.begin(), bars.end()), 1.0f);
    EXPECT_TRUE(
        QCoro::waitFor(stripLoaders::extractWaveform(generator, testmedia::counting(), 220)).isEmpty());
}

TEST(MediaScrubFrameSource, PosterAtATenthAndExactFramesFromOneOpenDecoder) {
    // Also a card's transport stream whose only key frame is its first.
    for (const QString& clip : {testmedia::counting(), testmedia::countingTransportStream(1000)}) {
        NEEDS(clip);
        SCOPED_TRACE(clip.toStdString());
        ThumbnailGenerator generator(withSystemFFmpeg());
        auto source = std::make_shared<MediaScrubFrameSource>(clip, generator, ScrubEngine::frameSize);
        ScrubCacheBudget budget;
        ScrubEngine engine(clip, source, {}, &budget);
        engine.prepare();
        ASSERT_TRUE(waitUntil(engine, [&] { return engine.ready() || engine.failed(); }));
        ASSERT_TRUE(engine.ready());
        EXPECT_FALSE(engine.useFFmpeg());
        EXPECT_NEAR(engine.duration(), 4.0, 0.05);
        EXPECT_EQ(testmedia::countingIndex(*engine.posterImage()), 10); // 0.4 s
        EXPECT_TRUE(source->holdsDecoder());
        engine.scrub(0.5);
        ASSERT_TRUE(waitUntil(engine, [&] { return !engine.loadingFrame(); }));
        EXPECT_EQ(testmedia::countingIndex(*engine.displayImage()), 50);
        EXPECT_TRUE(source->holdsDecoder());
        engine.reset();
        EXPECT_FALSE(source->holdsDecoder());
    }
}

TEST(MediaScrubFrameSource, IdleDecoderClosesAndOpensAgainOnTheNextFrame) {
    const QString clip = testmedia::counting();
    NEEDS(clip);
    ThumbnailGenerator generator(withSystemFFmpeg());
    auto source = std::make_shared<MediaScrubFrameSource>(clip, generator, ScrubEngine::frameSize);
    ScrubCacheBudget budget;
    ScrubEngine engine(clip, source, {}, &budget);
    engine.prepare();
    ASSERT_TRUE(waitUntil(engine, [&] { return engine.ready(); }));
    QTimer& idle = source->idleTimerForTesting();
    ASSERT_TRUE(source->holdsDecoder());
    ASSERT_TRUE(idle.isActive());
    // Fired now rather than after its interval.
    QSignalSpy fired(&idle, &QTimer::timeout);
    idle.start(0);
    ASSERT_TRUE(fired.wait(30'000));
    EXPECT_FALSE(source->holdsDecoder());
    engine.scrub(0.5);
    ASSERT_TRUE(waitUntil(engine, [&] { return !engine.loadingFrame(); }));
    EXPECT_EQ(testmedia::countingIndex(*engine.displayImage()), 50);
    EXPECT_TRUE(source->holdsDecoder());
    EXPECT_TRUE(idle.isActive());
}

// A card that disappears resets its engine, and an engine ends, on the GUI thread: the decoder they
// let go of (its threads, frames and open file) closes on the release thread, not in that turn.
TEST(MediaScrubFrameSource, DecodersLetGoOfOnTheGuiThreadCloseOnTheReleaseThread) {
    const QString clip = testmedia::counting();
    NEEDS(clip);
    ThumbnailGenerator generator(withSystemFFmpeg());
    auto source = std::make_shared<MediaScrubFrameSource>(clip, generator, ScrubEngine::frameSize);
    ScrubCacheBudget budget;
    auto engine = std::make_unique<ScrubEngine>(clip, source, ScrubEnginePolicy{}, &budget);
    engine->prepare();
    ASSERT_TRUE(waitUntil(*engine, [&] { return engine->ready() || engine->failed(); }));
    ASSERT_TRUE(source->holdsDecoder());
    letGoOfAnswers(generator);
    ASSERT_EQ(testmedia::openDescriptors(clip), 1);
    {
        tarnwick::test::ReleaseGate gate;
        engine->reset();
        EXPECT_FALSE(source->holdsDecoder());
        EXPECT_EQ(testmedia::openDescriptors(clip), 1);
    }
    memory::waitForReleases();
    EXPECT_EQ(testmedia::openDescriptors(clip), 0);

    engine->prepare();
    engine->scrub(0.5); // opens it again
    ASSERT_TRUE(waitUntil(*engine, [&] { return !engine->loadingFrame(); }));
    ASSERT_TRUE(source->holdsDecoder());
    letGoOfAnswers(generator);
    {
        tarnwick::test::ReleaseGate gate;
        engine.reset();
        source.reset();
        EXPECT_EQ(testmedia::openDescriptors(clip), 1);
    }
    memory::waitForReleases();
    EXPECT_EQ(testmedia::openDescriptors(clip), 0);
}

TEST(MediaScrubFrameSource, FFmpegRouteForProfessionalContainersWithoutAReader) {
    const QString clip = testmedia::mxf();
    NEEDS(clip);
    ThumbnailGenerator generator(withSystemFFmpeg());
    auto source = std::make_shared<MediaScrubFrameSource>(clip, generator, ScrubEngine::frameSize);
    ScrubCacheBudget budget;
    ScrubEngine engine(clip, source, {false, false}, &budget);
    engine.prepare();
    ASSERT_TRUE(waitUntil(engine, [&] { return engine.ready() || engine.failed(); }));
    ASSERT_TRUE(engine.ready());
    EXPECT_TRUE(engine.useFFmpeg());
    EXPECT_NEAR(engine.duration(), 3.0, 0.1);
    EXPECT_FALSE(source->holdsDecoder());
    engine.scrub(0.9);
    ASSERT_TRUE(waitUntil(engine, [&] { return !engine.loadingFrame(); }));
    EXPECT_EQ(engine.cacheOrder().size(), 1);
}

TEST(MediaScrubFrameSource, FileWithoutVideoFails) {
    const QString tone = testmedia::wav();
    NEEDS(tone);
    ThumbnailGeneratorServices none; // and no ffmpeg to fall back on
    ThumbnailGenerator generator(none);
    auto source = std::make_shared<MediaScrubFrameSource>(tone, generator, ScrubEngine::frameSize);
    ScrubCacheBudget budget;
    ScrubEngine engine(tone, source, {}, &budget);
    engine.prepare();
    ASSERT_TRUE(waitUntil(engine, [&] { return engine.ready() || engine.failed(); }));
    EXPECT_TRUE(engine.failed());
}
