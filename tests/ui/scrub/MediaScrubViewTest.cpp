#include "ui/scrub/MediaScrubView.h"

#include "ui/preview/MediaPlayerView.h"
#include "ui/scrub/ScrubStrips.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace tarnwick;

namespace {

ScrubSheetServices instantServices(double duration, QList<float> levels, QList<FilmFrame> frames) {
    ScrubSheetServices s;
    s.openUrl = [](const QString& path) { return QUrl::fromLocalFile(path); };
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
