#include "ui/preview/MediaPlayerView.h"

#include "ui/preview/DecodedPictures.h"

#include "support/MediaFixtures.h"
#include "support/ReleaseGate.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QApplication>
#include <QAudioOutput>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <QVideoSink>
#include <QVideoWidget>

#include <cstring>
#include <memory>

using namespace tarnwick;

TEST(MediaPlayerView, TimeTexts) {
    EXPECT_EQ(playerTimeText(0), QStringLiteral("0:00"));
    EXPECT_EQ(playerTimeText(65'400), QStringLiteral("1:05"));
    EXPECT_EQ(playerTimeText(3'723'000), QStringLiteral("1:02:03"));
    EXPECT_EQ(playerTimeText(-5), QStringLiteral("0:00"));
}

TEST(MediaPlayerView, SamePlayerLeavesTheViewAloneAnotherReplacesIt) {
    QMediaPlayer first;
    QMediaPlayer second;
    MediaPlayerView view(&first);
    EXPECT_EQ(first.videoOutput(), view.playerSink());
    const int changes = view.playerChanges();
    view.setPlayer(&first);
    EXPECT_EQ(view.playerChanges(), changes);
    view.setPlayer(&second);
    EXPECT_EQ(view.playerChanges(), changes + 1);
    EXPECT_EQ(second.videoOutput(), view.playerSink());
    EXPECT_EQ(first.videoOutput(), nullptr);
    EXPECT_EQ(view.timeLabel()->text(), QStringLiteral("0:00 / 0:00"));
}

namespace {
int windowsShown() {
    int shown = 0;
    for (const QWidget* w : QApplication::topLevelWidgets())
        shown += w->isVisible() ? 1 : 0;
    return shown;
}
// A frame as the player draws it, into the view's sink, handed on to the pictures by the view's queue.
QVideoFrame drawn(MediaPlayerView& view, QColor color) {
    QImage image(16, 9, QImage::Format_RGB32);
    image.fill(color);
    QVideoFrame frame(
        QVideoFrameFormat(image.size(), QVideoFrameFormat::pixelFormatFromImageFormat(image.format())));
    if (frame.map(QVideoFrame::WriteOnly)) {
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(frame.bits(0) + y * frame.bytesPerLine(0), image.constScanLine(y),
                        size_t(image.width()) * 4);
        frame.unmap();
    }
    view.playerSink()->setVideoFrame(frame);
    QCoreApplication::sendPostedEvents(&view, QEvent::MetaCall);
    return frame;
}

} // namespace

// Round after round, entered by click or by key and left by Escape, a double click or the window
// manager's close: the picture is back in its card and no window is left behind. Full screen, every
// frame the player draws shows there (Qt 6.4's player never moved to another output mid-play, which
// left the full screen on one frame while the clip played on).
TEST(MediaPlayerView, LeavingFullScreenAlwaysPutsThePictureBackIntoItsCard) {
    QWidget card;
    card.resize(400, 300);
    QMediaPlayer player;
    auto* view = new MediaPlayerView(&player, &card);
    view->setGeometry(card.rect());
    card.show();
    const int before = windowsShown();
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        if (round % 2 == 0) {
            view->fullScreenButton()->click();
        } else {
            view->fullScreenButton()->setFocus();
            QTest::keyClick(view->fullScreenButton(), Qt::Key_Space);
        }
        QWidget* full = view->fullScreenWindow();
        ASSERT_NE(full, nullptr);
        EXPECT_TRUE(full->isVisible() && full->isFullScreen());
        EXPECT_NE(player.videoOutput(), view->videoWidget());
        EXPECT_EQ(windowsShown(), before + 1);
        auto* picture = full->findChild<QVideoWidget*>();
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(player.videoOutput(), view->playerSink());
        for (const QColor color : {QColor(Qt::red), QColor(Qt::blue)}) {
            const QVideoFrame frame = drawn(*view, color);
            EXPECT_EQ(picture->videoSink()->videoFrame(), frame);
            EXPECT_EQ(view->videoWidget()->videoSink()->videoFrame(), frame);
        }
        switch ((round / 2) % 4) {
        case 0:
            QTest::keyClick(full->focusWidget() ? full->focusWidget() : full, Qt::Key_Escape);
            break;
        case 1: {
            QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(10, 10),
                              picture->mapToGlobal(QPointF(10, 10)), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(picture, &twice);
            break;
        }
        case 2:
            full->close();
            break;
        default:
            // The button brings the picture back to the front rather than leaving.
            view->fullScreenButton()->click();
            EXPECT_TRUE(view->isFullScreen() && full->isVisible());
            QTest::keyClick(full, Qt::Key_Escape);
            break;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(view->isFullScreen());
        EXPECT_EQ(player.videoOutput(), view->playerSink());
        EXPECT_EQ(view->videoWidget()->videoSink()->videoFrame(), drawn(*view, Qt::green));
        EXPECT_FALSE(view->videoWidget()->isWindow());
        EXPECT_EQ(view->videoWidget()->window(), &card);
        EXPECT_TRUE(view->videoWidget()->isVisible());
        EXPECT_EQ(windowsShown(), before);
    }
    // A card that goes while full screen takes its full-screen window with it.
    view->fullScreenButton()->click();
    ASSERT_TRUE(view->isFullScreen());
    delete view;
    EXPECT_EQ(windowsShown(), before);
}

TEST(MediaPlayerView, LoadsAClipAndShowsItsDuration) {
    const QString clip = testmedia::h264();
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
    QMediaPlayer player;
    QAudioOutput audio;
    player.setAudioOutput(&audio);
    MediaPlayerView view(&player);
    view.resize(320, 240);
    QSignalSpy durations(&player, &QMediaPlayer::durationChanged);
    QSignalSpy errors(&player, &QMediaPlayer::errorOccurred);
    {
#if defined(__SANITIZE_ADDRESS__)
        // Qt 6.4's FFmpeg plug-in never frees the codec options it opens the decoders with.
        __lsan::ScopedDisabler backendKeepsItsOptions;
#endif
        player.setSource(QUrl::fromLocalFile(clip));
    }
    while (player.duration() <= 0 && errors.isEmpty()) {
        if (!durations.wait(15'000))
            break;
    }
    if (player.duration() <= 0)
        GTEST_SKIP() << "the multimedia backend could not start here: " << player.errorString().toStdString();
    EXPECT_NEAR(player.duration(), 5000, 100);
    EXPECT_EQ(view.positionSlider()->maximum(), int(player.duration()));
    EXPECT_TRUE(view.timeLabel()->text().endsWith(QStringLiteral("0:05")));
}

namespace {

// How many of the button's pixels stand out from the black picture around it.
int brightPixels(MediaPlayerView& view, double threshold) {
    const QImage shot = view.grab().toImage();
    const QRect button = view.playButton()->geometry();
    int count = 0;
    for (int y = button.top(); y <= button.bottom(); ++y)
        for (int x = button.left(); x <= button.right(); ++x)
            count += qGray(shot.pixel(x, y)) >= threshold * 255 ? 1 : 0;
    return count;
}

} // namespace

// The play/pause control on the black picture: its glyph stands out in every state.
TEST(MediaPlayerView, PlayControlIsVisibleInEveryState) {
    const QString clip = testmedia::h264();
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
    MediaPlayerView idle(nullptr);
    idle.resize(480, 300);
    EXPECT_FALSE(idle.playButton()->isEnabled());
    EXPECT_GT(brightPixels(idle, 0.3), 12) << "disabled";

    QMediaPlayer player;
    MediaPlayerView view(&player);
    view.resize(480, 300);
    view.show();
    {
#if defined(__SANITIZE_ADDRESS__)
        __lsan::ScopedDisabler backendKeepsItsOptions;
#endif
        player.setSource(QUrl::fromLocalFile(clip));
        ASSERT_TRUE(
            QTest::qWaitFor([&player] { return player.mediaStatus() >= QMediaPlayer::LoadedMedia; }, 15'000));
        ASSERT_TRUE(view.playButton()->isEnabled());
        EXPECT_GT(brightPixels(view, 0.6), 40) << "paused";
        view.playButton()->setDown(true);
        EXPECT_GT(brightPixels(view, 0.6), 40) << "pressed";
        view.playButton()->setDown(false);
        player.play();
        ASSERT_TRUE(QTest::qWaitFor(
            [&player] { return player.playbackState() == QMediaPlayer::PlayingState; }, 15'000));
        EXPECT_EQ(view.playButton()->toolTip(), QStringLiteral("Pause"));
        EXPECT_GT(brightPixels(view, 0.6), 40) << "playing";
        player.stop();
    }
}

namespace {

// The picture times the decoder delivered.
QList<qint64> pictureTimes(const QSignalSpy& pictures) {
    QList<qint64> times;
    for (const QList<QVariant>& arguments : pictures)
        times.append(arguments.at(1).toLongLong());
    return times;
}

} // namespace

namespace {

// A shown view over its player, playing `source` with its pictures decoded from `pictureSource`.
struct ShownPlayer {
#if defined(__SANITIZE_ADDRESS__)
    __lsan::ScopedDisabler backendKeepsItsOptions;
#endif
    QMediaPlayer player;
    MediaPlayerView view{&player};
    std::unique_ptr<QSignalSpy> spy;

    ShownPlayer(const QString& source, const QString& pictureSource, QThreadPool& pool) {
        view.resize(480, 300);
        view.show();
        player.setSource(QUrl::fromLocalFile(source));
        view.setPictureSource(pictureSource, pool);
        spy = std::make_unique<QSignalSpy>(view.decodedPictures(), &DecodedPictures::picture);
    }
    QSignalSpy& pictures() {
        return *spy;
    }
};

} // namespace

// A file the player cannot read plays through the previews' decoder, silently on its own clock; a
// file neither can read says so in place of the picture.
TEST(MediaPlayerView, AFileThePlayerCannotReadPlaysThroughTheDecoderOrSaysSo) {
    const QString clip = testmedia::cameraMxf();
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg with its MPEG-2 encoder to make the camera file";
    const QString missing = QFileInfo(clip).dir().filePath(QStringLiteral("no such clip.mxf"));
    QThreadPool pool;
    {
        ShownPlayer shown(missing, clip, pool);
        QMediaPlayer& player = shown.player;
        MediaPlayerView& view = shown.view;
        QSignalSpy& pictures = shown.pictures();
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.playsWithoutPlayer(); }, 30'000));
        EXPECT_FALSE(view.failed());
        EXPECT_FALSE(view.failureNote()->isVisibleTo(&view));
        EXPECT_NEAR(double(view.duration()), 3000, 100);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !pictureTimes(pictures).isEmpty() && pictureTimes(pictures).last() >= 400; },
            30'000));
        EXPECT_TRUE(view.videoWidget()->videoSink()->videoFrame().isValid());
        EXPECT_EQ(view.playButton()->toolTip(), QStringLiteral("Pause"));
        EXPECT_TRUE(view.noAudioNote()->isVisibleTo(&view)) << "its sound is not played";
        // Pause holds the clock; a seek shows the picture there.
        view.playButton()->click();
        const qint64 held = view.position();
        EXPECT_EQ(view.position(), held);
        view.seek(2000);
        EXPECT_EQ(view.position(), 2000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pictureTimes(pictures).contains(2000); }, 30'000));
    }
    {
        QTemporaryDir dir;
        const QString garbage = dir.filePath(QStringLiteral("damaged.mxf"));
        QFile file(garbage);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(64 * 1024, '\x5a'));
        file.close();
        ShownPlayer shown(garbage, garbage, pool);
        QMediaPlayer& player = shown.player;
        MediaPlayerView& view = shown.view;
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.failed(); }, 30'000));
        EXPECT_TRUE(view.failureNote()->isVisibleTo(&view));
        EXPECT_EQ(view.failureNote()->text(), QStringLiteral("Can’t play this file"));
        EXPECT_FALSE(view.playButton()->isEnabled());
        EXPECT_FALSE(view.playsWithoutPlayer());
    }
    pool.waitForDone();
}

// ProRes stores 10-bit 4:2:2, which Qt 6.4's player shows in false colours: the pictures come from
// the decoder, at the player's time, while the player plays on with its sound.
TEST(MediaPlayerView, PicturesThePlayerGetsWrongComeFromTheDecoderAtThePlayersTime) {
    const QString clip = testmedia::prores();
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg with its ProRes encoder to make the clip";
    EXPECT_FALSE(MediaPlayerView::playerShowsPixelFormat(QStringLiteral("yuv422p10le")));
    EXPECT_TRUE(MediaPlayerView::playerShowsPixelFormat(QStringLiteral("yuv420p")));
    QThreadPool pool;
    {
        ShownPlayer shown(clip, clip, pool);
        QMediaPlayer& player = shown.player;
        MediaPlayerView& view = shown.view;
        QSignalSpy& pictures = shown.pictures();
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.showsDecodedPictures(); }, 30'000));
        EXPECT_EQ(view.decodedPictures()->pixelFormat(), QStringLiteral("yuv422p10le"));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !pictureTimes(pictures).isEmpty() && pictureTimes(pictures).last() >= 400; },
            30'000))
            << player.errorString().toStdString();
        EXPECT_FALSE(view.playsWithoutPlayer());
        EXPECT_EQ(player.playbackState(), QMediaPlayer::PlayingState);
        // The card's picture holds the decoder's frame, never the player's.
        EXPECT_NE(view.videoWidget()->videoSink()->videoFrame().pixelFormat(),
                  QVideoFrameFormat::Format_P016);
        player.stop();
    }
    pool.waitForDone();
}

// A transport stream's clock starts well after 0 (at 2.87 s here) while the player's duration counts
// from its start: the bar shows the clip's time, its duration at the end, and the decoder's pictures
// (this 4:4:4 clip's come from it) are those of the clip's time.
TEST(MediaPlayerView, ATransportStreamsTimeCountsFromItsStart) {
    const QString clip = testmedia::countingTransportStream(1000);
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
    QThreadPool pool;
    ShownPlayer shown(clip, clip, pool);
    QMediaPlayer& player = shown.player;
    MediaPlayerView& view = shown.view;
    QSignalSpy& pictures = shown.pictures();
    if (!QTest::qWaitFor([&] { return player.duration() > 0 && view.showsDecodedPictures(); }, 15'000))
        GTEST_SKIP() << "the multimedia backend could not start here: " << player.errorString().toStdString();
    EXPECT_EQ(view.decodedPictures()->startMs(), 2870);
    qint64 latest = 0;
    QStringList texts;
    QObject::connect(&player, &QMediaPlayer::positionChanged, &view, [&] {
        latest = std::max(latest, view.position());
        texts.append(view.timeLabel()->text());
    });
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.mediaStatus() == QMediaPlayer::EndOfMedia; }, 30'000));
    EXPECT_LE(latest, 4000);
    EXPECT_FALSE(texts.filter(QStringLiteral("0:02 / 0:04")).isEmpty()) << texts.join(", ").toStdString();
    EXPECT_TRUE(texts.filter(QStringLiteral("0:05")).isEmpty()) << texts.join(", ").toStdString();
    EXPECT_EQ(view.timeLabel()->text().toStdString(), "0:04 / 0:04");
    ASSERT_GT(pictures.count(), 0);
    for (const QList<QVariant>& picture : std::as_const(pictures)) {
        const qint64 ms = picture.at(1).toLongLong();
        EXPECT_LE(ms, 4000);
        EXPECT_NEAR(testmedia::countingIndex(picture.at(0).value<QImage>()), ms / 40.0, 1.0) << ms;
    }
}

// Closing a decoder joins its threads: let go of on the GUI thread, it closes on the release thread.
TEST(DecodedPictures, ItsDecoderClosesOnTheReleaseThread) {
    const QString clip = testmedia::counting();
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
    QThreadPool pool;
    auto pictures = std::make_unique<DecodedPictures>(clip, pool);
    QSignalSpy shown(pictures.get(), &DecodedPictures::picture);
    pictures->open();
    pictures->showAt(500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 30'000));
    pool.waitForDone();
    ASSERT_EQ(testmedia::openDescriptors(clip), 1);
    {
        tarnwick::test::ReleaseGate gate;
        pictures.reset();
        pool.waitForDone();
        QCoreApplication::processEvents();
        EXPECT_EQ(testmedia::openDescriptors(clip), 1) << "closed before the release thread ran";
    }
    memory::waitForReleases();
    EXPECT_EQ(testmedia::openDescriptors(clip), 0);
}
