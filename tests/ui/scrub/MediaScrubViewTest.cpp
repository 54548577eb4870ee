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

#include <QDialog>
#include <QLabel>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

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
