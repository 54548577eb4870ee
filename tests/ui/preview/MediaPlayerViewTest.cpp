#include "ui/preview/MediaPlayerView.h"

#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

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
