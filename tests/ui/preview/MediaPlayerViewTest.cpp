#include "ui/preview/MediaPlayerView.h"

#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QApplication>
#include <QAudioOutput>
#include <QLabel>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QVideoWidget>

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
    EXPECT_EQ(first.videoOutput(), view.videoWidget());
    const int changes = view.playerChanges();
    view.setPlayer(&first);
    EXPECT_EQ(view.playerChanges(), changes);
    view.setPlayer(&second);
    EXPECT_EQ(view.playerChanges(), changes + 1);
    EXPECT_EQ(second.videoOutput(), view.videoWidget());
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
} // namespace

// Round after round, entered by click or by key and left by Escape, a double click or the window
// manager's close: the picture is back in its card and no window is left behind.
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
        EXPECT_EQ(player.videoOutput(), picture);
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
        EXPECT_EQ(player.videoOutput(), view->videoWidget());
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
