#include "ui/scrub/MediaScrubView.h"

#include "ui/preview/AudioOutputs.h"
#include "ui/preview/MediaPlayerView.h"
#include "ui/preview/ThumbnailGenerator.h"
#include "ui/scrub/ScrubStrips.h"

#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

using namespace tarnwick;

namespace {

ScrubSheetServices instantServices(double duration, QList<float> levels, QList<FilmFrame> frames) {
    ScrubSheetServices s;
    s.openURL = [](const QString& path) { return QUrl::fromLocalFile(path); };
    s.loadDuration = [duration](QString) -> QCoro::Task<std::optional<double>> { co_return duration; };
    s.probeDuration = [](QString) -> QCoro::Task<std::optional<double>> { co_return std::nullopt; };
    s.extractWaveform = [levels](QString, int, RequestToken) -> QCoro::Task<QList<float>> {
        co_return QList<float>(levels);
    };
    s.generateFrames = [frames](QString, int, double, RequestToken) -> QCoro::Task<QList<FilmFrame>> {
        co_return QList<FilmFrame>(frames);
    };
    s.generateFramesWithFFmpeg = [](QString, int, double, RequestToken) -> QCoro::Task<QList<FilmFrame>> {
        co_return QList<FilmFrame>{};
    };
    s.makePlayer = [](QObject* parent) { return new QMediaPlayer(parent); };
    return s;
}

} // namespace

TEST(MediaScrubView, AudioSheetLoadsItsWaveformAndSeeksOnAClick) {
    MediaScrubView view(QStringLiteral("/media/tone.wav"), QStringLiteral("tone.wav"), true,
                        instantServices(8, {0.25f, 1.0f}, {}));
    EXPECT_EQ(view.kindText(), "Audio");
    EXPECT_EQ(view.hintText(), "click the waveform to seek");
    EXPECT_EQ(view.minimumSize(), QSize(760, 320));
    EXPECT_TRUE(view.showsStripSpinner());
    EXPECT_TRUE(view.showsPlayerSpinner());
    ASSERT_TRUE(view.waveform());
    EXPECT_FALSE(view.filmstrip());

    QSignalSpy loaded(view.controller(), &ScrubController::stripLoaded);
    view.show();
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(10'000));
    EXPECT_FALSE(view.showsStripSpinner());
    EXPECT_FALSE(view.showsPlayerSpinner());
    EXPECT_EQ(view.playerView()->player(), view.controller()->player());
    EXPECT_EQ(view.waveform()->samples(), QList<float>({0.25f, 1.0f}));

    Q_EMIT view.waveform()->seekRequested(0.5);
    EXPECT_DOUBLE_EQ(view.controller()->playheadFraction(), 0.5);
    EXPECT_DOUBLE_EQ(view.waveform()->playhead(), 0.5);
}

TEST(MediaScrubView, VideoSheetAndDoneTearsDown) {
    QDialog sheet;
    auto* view = new MediaScrubView(QStringLiteral("/media/clip.mov"), QStringLiteral("clip.mov"), false,
                                    instantServices(4, {}, {}));
    auto* layout = new QVBoxLayout(&sheet);
    layout->addWidget(view);
    EXPECT_EQ(view->kindText(), "Video");
    EXPECT_EQ(view->hintText(), "click the filmstrip to seek");
    EXPECT_EQ(view->minimumSize(), QSize(760, 540));
    ASSERT_TRUE(view->filmstrip());
    EXPECT_TRUE(view->doneButton()->isDefault());

    QSignalSpy loaded(view->controller(), &ScrubController::stripLoaded);
    sheet.open();
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(10'000));
    EXPECT_TRUE(view->filmstrip()->frames().isEmpty()); // both routes gave nothing: the placeholder
    EXPECT_FALSE(view->showsStripSpinner());
    ASSERT_TRUE(view->controller()->player());

    view->doneButton()->click();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_TRUE(view->controller()->tornDown());
    EXPECT_FALSE(view->controller()->player());
    EXPECT_FALSE(view->controller()->observing());
    EXPECT_TRUE(view->showsPlayerSpinner());
}

// Without a sound device the sheet's player gets no sound output (attaching one crashed Qt's audio
// thread): a video plays its picture silently, an audio clip keeps its waveform and says why it
// cannot play.
TEST(MediaScrubView, WithoutASoundOutputVideoPlaysSilentlyAndAudioSaysSo) {
    if (audioOutputAvailable())
        GTEST_SKIP() << "this machine has a sound output";
    const QString tone = testmedia::wav();
    const QString clip = testmedia::h264();
    if (tone.isEmpty() || clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
#if defined(__SANITIZE_ADDRESS__)
    // Qt 6.4's FFmpeg plug-in never frees the codec options it opens the decoders with.
    __lsan::ScopedDisabler backendKeepsItsOptions;
#endif
    ThumbnailGenerator generator(ThumbnailGeneratorServices{});
    for (const bool audio : {false, true}) {
        ScrubSheetServices services = instantServices(audio ? 3 : 5, {0.5f, 1.0f}, {});
        services.makePlayer = ScrubSheetServices::system(generator).makePlayer;
        MediaScrubView view(audio ? tone : clip, QStringLiteral("clip"), audio, std::move(services));
        QSignalSpy loaded(view.controller(), &ScrubController::stripLoaded);
        view.show();
        ASSERT_TRUE(loaded.count() > 0 || loaded.wait(10'000));
        QMediaPlayer* player = view.controller()->player();
        ASSERT_TRUE(player);
        EXPECT_EQ(player->audioOutput(), nullptr);
        EXPECT_TRUE(view.playerView()->noAudioNote()->isVisibleTo(&view)) << audio;
        ASSERT_TRUE(
            QTest::qWaitFor([player] { return player->mediaStatus() >= QMediaPlayer::LoadedMedia; }, 15'000));
        if (audio) {
            EXPECT_EQ(view.waveform()->samples(), QList<float>({0.5f, 1.0f}));
            EXPECT_FALSE(view.playerView()->playButton()->isEnabled()); // nothing to hear or see
        } else {
            ASSERT_TRUE(view.playerView()->playButton()->isEnabled());
            view.playerView()->playButton()->click();
            EXPECT_TRUE(QTest::qWaitFor([player] { return player->position() > 200; }, 15'000))
                << player->errorString().toStdString();
        }
    }
}

// The picture shows the frame at the playhead as soon as the clip is loaded, not only once Play
// is pressed, and a click on the strip shows the frame it seeks to.
TEST(MediaScrubView, AVideoShowsTheFrameAtThePlayheadBeforePlay) {
    const QString clip = testmedia::h264();
    if (clip.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
#if defined(__SANITIZE_ADDRESS__)
    __lsan::ScopedDisabler backendKeepsItsOptions; // as above
#endif
    MediaScrubView view(clip, QStringLiteral("clip"), false, instantServices(5, {}, {}));
    QSignalSpy loaded(view.controller(), &ScrubController::stripLoaded);
    view.show();
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(10'000));
    QVideoSink* sink = view.playerView()->videoWidget()->videoSink();
    ASSERT_TRUE(QTest::qWaitFor([sink] { return sink->videoFrame().isValid(); }, 15'000))
        << "the picture stays black until Play";
    QMediaPlayer* player = view.controller()->player();
    EXPECT_NE(player->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_LT(sink->videoFrame().startTime(), 500'000);

    Q_EMIT view.filmstrip()->seekRequested(0.6); // 3 s into the clip
    EXPECT_TRUE(QTest::qWaitFor([sink] { return sink->videoFrame().startTime() >= 2'500'000; }, 15'000))
        << sink->videoFrame().startTime();
    EXPECT_NE(player->playbackState(), QMediaPlayer::PlayingState);
}

// A sound has no picture: the sheet shows no black box above the bar, the waveform takes the spare
// height, and the "No audio output" note keeps clear of the full-screen button.
TEST(MediaScrubView, AnAudioSheetGivesItsHeightToTheWaveform) {
    // A sound the player can read: one it cannot says so in place of the bar.
    const QString tone = testmedia::wav();
    if (tone.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to make the test media";
    MediaScrubView view(tone, QStringLiteral("tone.wav"), true, instantServices(8, {0.25f, 1.0f}, {}));
    view.resize(760, 480);
    QSignalSpy loaded(view.controller(), &ScrubController::stripLoaded);
    view.show();
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(10'000));
    QApplication::processEvents();
    MediaPlayerView* player = view.playerView();
    EXPECT_FALSE(player->videoWidget()->isVisibleTo(&view));
    EXPECT_LE(player->height(), 80);
    const QRect bar = player->playButton()->geometry();
    EXPECT_LE(std::abs(bar.center().y() - player->rect().center().y()), 2); // centred in the band
    EXPECT_GE(view.waveform()->height(), 480 - 80 - 120);

    QLabel* note = player->noAudioNote();
    ASSERT_TRUE(note->isVisibleTo(&view)); // this player has no sound output
    EXPECT_EQ(note->text(), "No audio output");
    EXPECT_GE(player->fullScreenButton()->geometry().left() - note->geometry().right(), 6);
}
