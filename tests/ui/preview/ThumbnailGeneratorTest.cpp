#include "ui/preview/ThumbnailGenerator.h"
#include "ui/preview/ThumbnailProgressTracker.h"
#include "ui/preview/VisibleRequests.h"

#include "platform/AppLog.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <qcoro/qcorotask.h>

using namespace tarnwick;
using namespace std::chrono_literals;

namespace {

ThumbnailGeneratorServices servicesWith(std::optional<QString> ffmpeg, bool proVideoInstalled = true) {
    ThumbnailGeneratorServices services;
    services.findFFmpeg = [ffmpeg] { return ffmpeg; };
    services.proVideoInstalled = proVideoInstalled;
    return services;
}

struct Generator {
    explicit Generator(ThumbnailGeneratorServices services = servicesWith(testmedia::systemFFmpeg))
        : generator(std::move(services), &tracker) {}
    ThumbnailProgressTracker tracker;
    ThumbnailGenerator generator;
};

// Holds all four decoding slots until released.
struct BusySlots {
    explicit BusySlots(QThreadPool& pool) {
        for (int i = 0; i < ThumbnailGenerator::maxConcurrentOperations; ++i)
            jobs.append(QtConcurrent::run(&pool, [this] {
                entered.release();
                gate.acquire();
            }));
        entered.acquire(ThumbnailGenerator::maxConcurrentOperations);
    }
    void release() {
        gate.release(ThumbnailGenerator::maxConcurrentOperations);
        for (auto& job : jobs)
            job.waitForFinished();
    }
    QSemaphore entered;
    QSemaphore gate;
    QList<QFuture<void>> jobs;
};

QString script(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

#define NEEDS(path)                                                                                          \
    if ((path).isEmpty())                                                                                    \
    GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media"

} // namespace

TEST(ThumbnailGenerator, KeysRoundHalvesAwayAndNeverCollide) {
    EXPECT_EQ(ThumbnailGenerator::videoKey("/m/a.mov", QSizeF(31.5, 31.5)),
              QStringLiteral("/m/a.mov_small_32x32"));
    EXPECT_EQ(ThumbnailGenerator::imageKey("/m/a.mov", QSizeF(31.4, 32)),
              QStringLiteral("/m/a.mov_img_small_31x32"));
}

TEST(ThumbnailGenerator, VideoThumbnailIsStretchedCachedAndOutlivesItsFile) {
    const QString clip = testmedia::h264();
    NEEDS(clip);
    QTemporaryDir dir;
    const QString copy = dir.filePath("clip.mp4");
    ASSERT_TRUE(QFile::copy(clip, copy));
    Generator g;
    const auto image = QCoro::waitFor(g.generator.generateSmallThumbnail(copy, QSizeF(32, 32)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(32, 32));
    EXPECT_EQ(g.generator.cacheCount(), 1);
    ASSERT_TRUE(QFile::remove(copy));
    EXPECT_TRUE(QCoro::waitFor(g.generator.generateSmallThumbnail(copy, QSizeF(32, 32))));
    EXPECT_FALSE(QCoro::waitFor(g.generator.generateSmallThumbnail(copy, QSizeF(64, 64))));
    QCoreApplication::processEvents();
    EXPECT_EQ(g.tracker.activeOperations(), 0);
}

TEST(ThumbnailGenerator, ProResAndMxfDecodeInProcess) {
    for (const QString& clip : {testmedia::prores(), testmedia::mxf()}) {
        NEEDS(clip);
        Generator g(servicesWith(std::nullopt)); // no ffmpeg at all
        const auto image = QCoro::waitFor(g.generator.generateSmallThumbnail(clip, QSizeF(48, 27)));
        ASSERT_TRUE(image) << clip.toStdString();
        EXPECT_EQ(image->size(), QSize(48, 27));
    }
}

// A transport stream whose only key frame is its first (the container seeks to any packet).
TEST(ThumbnailGenerator, LongGroupOfPicturesDecodesInProcess) {
    const QString clip = testmedia::countingTransportStream(1000);
    NEEDS(clip);
    Generator g(servicesWith(std::nullopt)); // no ffmpeg to fall back on
    const auto image = QCoro::waitFor(g.generator.generateSmallThumbnail(clip, QSizeF(48, 27)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(48, 27));
    EXPECT_LE(testmedia::countingIndex(*image), 10); // a tenth into the clip, within a second before it
}

TEST(ThumbnailGenerator, SoundGetsNoThumbnailAndNothingIsCached) {
    const QString tone = testmedia::wav();
    NEEDS(tone);
    Generator g;
    QSignalSpy counts(&g.tracker, &ThumbnailProgressTracker::activeOperationsChanged);
    EXPECT_FALSE(QCoro::waitFor(g.generator.generateSmallThumbnail(tone, QSizeF(32, 32))));
    EXPECT_EQ(g.generator.cacheCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(g.tracker.activeOperations(), 0);
    EXPECT_EQ(counts.size(), 2); // up, then down
    EXPECT_FALSE(QCoro::waitFor(g.generator.generateSmallThumbnail("/nonexistent/a.mov", QSizeF(32, 32))));
}

TEST(ThumbnailGenerator, MxfWithoutReaderOrFFmpegGetsACachedPlaceholder) {
    const QString clip = testmedia::mxf();
    NEEDS(clip);
    Generator g(servicesWith(std::nullopt, false));
    const auto image = QCoro::waitFor(g.generator.generateSmallThumbnail(clip, QSizeF(32, 32)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelColor(16, 28), QColor::fromRgbF(0.2f, 0.2f, 0.2f).toRgb()); // the grey card
    EXPECT_EQ(g.generator.decodesStarted(), 0);
    EXPECT_EQ(g.generator.cachedImage(ThumbnailGenerator::videoKey(clip, QSizeF(32, 32)))->size(),
              QSize(32, 32));

    Generator withFFmpeg(servicesWith(testmedia::systemFFmpeg, false));
    const auto frame = QCoro::waitFor(withFFmpeg.generator.generateSmallThumbnail(clip, QSizeF(32, 32)));
    ASSERT_TRUE(frame);
    // The frame keeps the clip's shape, so its middle rather than the card's spot.
    const QColor middle = frame->pixelColor(frame->width() / 2, frame->height() / 2);
    ASSERT_TRUE(middle.isValid());
    EXPECT_NE(middle, QColor::fromRgbF(0.2f, 0.2f, 0.2f).toRgb());
    EXPECT_EQ(withFFmpeg.generator.decodesStarted(), 0); // straight to ffmpeg
}

// Only when the MXF support is really missing: a damaged MXF with the support installed gets its
// placeholder and no prompt. (Outside the sandbox a missing support sends MXF straight to ffmpeg,
// and the analysis raises the prompt instead.)
TEST(ThumbnailGenerator, UnreadableProVideoRecommendsTheFormatsOnlyWhenTheyAreMissing) {
    QTemporaryDir dir;
    QFile broken(dir.filePath("A001.mxf"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4096, 'x'));
    broken.close();
    for (const auto& [installed, sandboxed, granted, expected] :
         {std::tuple{false, false, false, 0}, std::tuple{false, true, false, 0},
          std::tuple{false, true, true, 1}, std::tuple{true, false, false, 0},
          std::tuple{true, true, true, 0}}) {
        ThumbnailGeneratorServices services = servicesWith(std::nullopt, installed);
        services.sandboxed = sandboxed;
        services.coveredByGrant = [granted = granted](const QString&) { return granted; };
        int posted = 0;
        services.recommendProVideoFormats = [&posted] { ++posted; };
        Generator g(services);
        const auto image =
            QCoro::waitFor(g.generator.generateSmallThumbnail(broken.fileName(), QSizeF(32, 32)));
        EXPECT_TRUE(image); // the placeholder
        EXPECT_EQ(posted, expected) << installed << sandboxed << granted;
    }
}

TEST(ThumbnailGenerator, ImageThumbnailIsFittedAndCachedByTheEntryCountRule) {
    QTemporaryDir dir;
    QImage wide(64, 32, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QStringList paths;
    for (int i = 0; i < 101; ++i) {
        paths << dir.filePath(QStringLiteral("still %1.png").arg(i));
        ASSERT_TRUE(wide.save(paths.back()));
    }
    Generator g;
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(QCoro::waitFor(g.generator.imageThumbnail(paths[i], QSizeF(32, 32))));
    EXPECT_EQ(g.generator.cacheCount(), 100);
    const auto last = QCoro::waitFor(g.generator.imageThumbnail(paths[100], QSizeF(32, 32)));
    EXPECT_EQ(g.generator.cacheCount(), 1);
    ASSERT_TRUE(last);
    EXPECT_EQ(qAlpha(last->pixel(16, 4)), 0);
    EXPECT_EQ(last->pixelColor(16, 16), QColor(Qt::red));
    EXPECT_FALSE(QCoro::waitFor(g.generator.imageThumbnail(dir.filePath("missing.png"), QSizeF(32, 32))));
}

TEST(ThumbnailGenerator, WholeImagesComeUprightAndUncached) {
    QTemporaryDir dir;
    const QString turned = testmedia::exifJpeg(dir.path(), QSize(40, 20), 6);
    Generator g;
    const auto image = QCoro::waitFor(g.generator.loadImage(turned));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(20, 40));
    EXPECT_EQ(g.generator.cacheCount(), 0);
}

TEST(ThumbnailGenerator, FFmpegFramesAndDurations) {
    const QString clip = testmedia::h264();
    NEEDS(clip);
    Generator g;
    const auto duration = QCoro::waitFor(g.generator.probeDuration(clip));
    ASSERT_TRUE(duration);
    EXPECT_NEAR(*duration, 5.0, 0.1);
    const auto frame = QCoro::waitFor(g.generator.scrubFrame(clip, -2, QSizeF(160, 90)));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), QSize(160, 90));
    EXPECT_TRUE(QCoro::waitFor(g.generator.ffmpegThumbnail(clip, QSizeF(64, 36), 0.1)));

    Generator none(servicesWith(std::nullopt));
    EXPECT_FALSE(QCoro::waitFor(none.generator.probeDuration(clip)));
    EXPECT_FALSE(QCoro::waitFor(none.generator.scrubFrame(clip, 1, QSizeF(64, 36))));
}

TEST(ThumbnailGenerator, FFmpegLookupHoldsForTheGeneratorsLife) {
    int lookups = 0;
    ThumbnailGeneratorServices services;
    services.findFFmpeg = [&lookups] {
        ++lookups;
        return std::optional<QString>();
    };
    Generator g(services);
    EXPECT_FALSE(g.generator.locateFFmpeg());
    EXPECT_FALSE(g.generator.locateFFmpeg());
    EXPECT_EQ(lookups, 1);
}

// One hanging child used to stop every later frame and probe for the rest of the session.
TEST(ThumbnailGenerator, HangingChildIsKilledAndTheNextChildRuns) {
    QTemporaryDir bin;
    QImage still(64, 36, QImage::Format_RGB32);
    still.fill(Qt::green);
    const QString jpeg = bin.filePath("still.jpg");
    ASSERT_TRUE(still.save(jpeg));
    // Hangs on the dead share; otherwise writes its frame to the output path (the last argument).
    const QByteArray body = "case \"$*\" in *hang*) exec sleep 600;; esac\nfor last; do :; done\ncp '" +
                            QFile::encodeName(jpeg) + "' \"$last\"";
    const QString ffmpeg = script(bin, "ffmpeg", body);
    script(bin, "ffprobe",
           "case \"$*\" in *hang*) exec sleep 600;; esac\necho '{\"format\":{\"duration\":\"4\"}}'");
    ThumbnailGeneratorServices services = servicesWith(ffmpeg);
    services.frameLimit = 1000ms;
    services.probeLimit = 500ms;
    Generator g(services);
    auto hanging = g.generator.scrubFrame("/share/hang.mov", 1, QSizeF(64, 36));
    auto probing = g.generator.probeDuration("/share/hang.mov");
    auto next = g.generator.scrubFrame("/local/clip.mov", 1, QSizeF(64, 36));
    auto nextProbe = g.generator.probeDuration("/local/clip.mov");
    EXPECT_FALSE(QCoro::waitFor(std::move(hanging)));
    EXPECT_FALSE(QCoro::waitFor(std::move(probing)));
    const auto frame = QCoro::waitFor(std::move(next));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), QSize(64, 36));
    EXPECT_EQ(QCoro::waitFor(std::move(nextProbe)), 4.0);
}

TEST(ThumbnailGenerator, FourDecodingSlotsAndAFifthWaitsWithoutPolling) {
    Generator g;
    QThreadPool& pool = g.generator.decodingPool();
    EXPECT_EQ(pool.maxThreadCount(), 4);
    BusySlots busy(pool);
    std::atomic_bool fifthRan{false};
    QFuture<void> fifth = QtConcurrent::run(&pool, [&fifthRan] { fifthRan = true; });
    EXPECT_EQ(pool.activeThreadCount(), 4);
    EXPECT_FALSE(fifthRan.load());
    busy.release();
    fifth.waitForFinished();
    EXPECT_TRUE(fifthRan.load());
}

// Rows that scrolled away before their turn used to be decoded all the same.
TEST(ThumbnailGenerator, CancelledRequestIsDroppedBeforeItsTurn) {
    const QString clip = testmedia::h264();
    NEEDS(clip);
    Generator g;
    VisibleRequests visible;
    visible.setVisible({QStringLiteral("row 1"), QStringLiteral("row 2")});
    const auto token = visible.begin(QStringLiteral("row 1"));
    ASSERT_TRUE(token);
    BusySlots busy(g.generator.decodingPool());
    auto request = g.generator.generateSmallThumbnail(clip, QSizeF(32, 32), *token);
    auto image = g.generator.imageThumbnail(clip, QSizeF(32, 32), *token);
    visible.setVisible({QStringLiteral("row 2")}); // scrolled away
    EXPECT_TRUE(token->isCancelled());
    busy.release();
    EXPECT_FALSE(QCoro::waitFor(std::move(request)));
    EXPECT_FALSE(QCoro::waitFor(std::move(image)));
    EXPECT_EQ(g.generator.decodesStarted(), 0);
    EXPECT_EQ(g.generator.cacheCount(), 0);
    EXPECT_FALSE(QCoro::waitFor(g.generator.scrubFrame(clip, 1, QSizeF(64, 36), *token)));
}

TEST(VisibleRequests, OneRequestPerVisibleKey) {
    VisibleRequests visible;
    EXPECT_FALSE(visible.begin(QStringLiteral("a"))); // not on screen
    visible.setVisible({QStringLiteral("a"), QStringLiteral("b")});
    const auto a = visible.begin(QStringLiteral("a"));
    ASSERT_TRUE(a);
    EXPECT_FALSE(visible.begin(QStringLiteral("a"))); // already asked
    const auto b = visible.begin(QStringLiteral("b"));
    visible.finish(QStringLiteral("b"));
    visible.setVisible({QStringLiteral("b")});
    EXPECT_TRUE(a->isCancelled());
    EXPECT_FALSE(b->isCancelled()); // answered before it scrolled
    EXPECT_EQ(visible.inFlight(), 0);
    EXPECT_TRUE(visible.begin(QStringLiteral("b")));
}

TEST(ThumbnailGenerator, PlaceholdersAreDrawnAtTheAskedSize) {
    const QImage card = ThumbnailGenerator::placeholderThumbnail(QStringLiteral("mxf"), QSizeF(32, 32));
    EXPECT_EQ(card.size(), QSize(32, 32));
    EXPECT_EQ(card.pixelColor(16, 1), QColor(142, 142, 147)); // the band along the top
    const QImage wave = ThumbnailGenerator::waveformPlaceholder(QSizeF(32, 32));
    EXPECT_EQ(wave.size(), QSize(32, 32));
    // Ten bars at x = 3i + 1, two wide; the gaps between them are the faint card.
    EXPECT_EQ(wave.pixelColor(1, 16), QColor(175, 82, 222));
    EXPECT_EQ(wave.pixelColor(28, 16), QColor(175, 82, 222));
    EXPECT_LT(qAlpha(wave.pixel(30, 16)), 255);
}

TEST(ThumbnailProgressTracker, NeverBelowZeroAndSignalsOnlyChanges) {
    ThumbnailProgressTracker tracker;
    QSignalSpy changes(&tracker, &ThumbnailProgressTracker::activeOperationsChanged);
    tracker.decrement();
    EXPECT_EQ(tracker.activeOperations(), 0);
    EXPECT_EQ(changes.size(), 0);
    tracker.increment();
    tracker.decrement();
    tracker.decrement();
    EXPECT_EQ(changes.size(), 2);
}
