#include "ui/cards/ClipCard.h"

#include "ui/cards/CardStill.h"
#include "ui/preview/ScrubEngine.h"

#include "support/FakeScrubFrameSource.h"
#include "support/MediaFixtures.h"
#include "ui/preview/AudioOutputs.h"
#include "ui/preview/MediaPlayerView.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QApplication>
#include <QLabel>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QVariantAnimation>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

#include <algorithm>
#include <cmath>

using namespace tarnwick;

namespace {

MediaFile videoFile(const QString& path = QStringLiteral("/media/a clip.mp4")) {
    MediaFile file;
    file.path = path;
    file.status = MediaFileStatus::online;
    return file;
}

void hoverAt(QWidget& card, double x, double y = 60) {
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), QPointF(x, y), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&card, &move);
}

void leave(QWidget& card) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&card, &event);
}

struct CardWithEngine {
    explicit CardWithEngine(MediaFile file = videoFile())
        : source(std::make_shared<FakeScrubFrameSource>()),
          engine(file.path, source, ScrubEnginePolicy{}, nullptr), card(CardStillLoader{}) {
        card.resize(300, CardGridLayout::cardHeight);
        card.showFile(file, &engine, false);
    }
    // Loaded: 10 s with a poster tagged 1000.
    void load() { source->answerLoad(10, taggedFrame(1000)); }

    std::shared_ptr<FakeScrubFrameSource> source;
    ScrubEngine engine;
    ClipCard card;
};

QStringList texts(const QList<CardBadge>& badges) {
    QStringList out;
    for (const CardBadge& badge : badges)
        out.append(badge.text);
    return out;
}

} // namespace

TEST(ClipCard, AppearingPreparesAndDisappearingResets) {
    CardWithEngine c;
    ASSERT_EQ(c.source->loads.size(), 1);
    EXPECT_EQ(c.card.placeholderText(), QStringLiteral("Loading…"));
    c.load();
    ASSERT_TRUE(c.card.shownImage());
    EXPECT_EQ(frameTag(*c.card.shownImage()), 1000);
    EXPECT_TRUE(c.engine.ready());
    c.card.clear();
    EXPECT_FALSE(c.engine.ready());
    EXPECT_TRUE(c.engine.posterImage()); // kept for the next appearance
}

TEST(ClipCard, HoverMovesDriveScrubWithTheFractionOfThePreviewWidth) {
    CardWithEngine c;
    c.load();
    hoverAt(c.card, 150);
    EXPECT_TRUE(c.card.hovering());
    EXPECT_DOUBLE_EQ(c.card.scrubFraction(), 0.5);
    ASSERT_EQ(c.source->requests.size(), 1u);
    EXPECT_DOUBLE_EQ(c.source->requests.front().seconds, 5.0);
    EXPECT_EQ(c.engine.lastBucket(), 29);
    EXPECT_TRUE(c.card.shimmerRunning());

    c.card.handleHover(450); // past the right edge (the tracking reports it while the pointer leaves)
    EXPECT_DOUBLE_EQ(c.card.scrubFraction(), 1.0);
    EXPECT_EQ(c.engine.lastBucket(), 59);
    EXPECT_EQ(c.engine.pendingTime(), 10.0); // one in flight, the newest waits

    hoverAt(c.card, 0);
    EXPECT_DOUBLE_EQ(c.card.scrubFraction(), 0.0);
    EXPECT_EQ(c.engine.pendingTime(), 0.0);

    c.source->answerFrame(taggedFrame(29));
    ASSERT_EQ(c.source->requests.size(), 1u);
    EXPECT_DOUBLE_EQ(c.source->requests.front().seconds, 0.0);
    // The frame for the hovered position arrives and is shown.
    c.source->answerFrame(taggedFrame(0));
    EXPECT_EQ(frameTag(*c.card.shownImage()), 0);
    EXPECT_FALSE(c.card.shimmerRunning());

    // Below the preview (the details) is not the scrub surface.
    hoverAt(c.card, 100, ClipCard::previewHeight + 20);
    EXPECT_FALSE(c.card.hovering());
}

TEST(ClipCard, LeavingShowsThePosterAgain) {
    CardWithEngine c;
    c.load();
    hoverAt(c.card, 30);
    c.source->answerFrame(taggedFrame(5));
    EXPECT_EQ(frameTag(*c.card.shownImage()), 5);
    EXPECT_EQ(texts(c.card.badges().leading), QStringList({"Unused"}));
    leave(c.card);
    EXPECT_FALSE(c.card.hovering());
    EXPECT_EQ(frameTag(*c.card.shownImage()), 1000);
    EXPECT_EQ(c.engine.lastBucket(), -1);
    EXPECT_FALSE(c.engine.loadingFrame());
    EXPECT_EQ(texts(c.card.badges().leading), QStringList({"Unused", "Poster"}));
}

// A frame requested before the pointer left arrives after it: the poster stays.
TEST(ClipCard, LateFrameNeverReplacesThePosterAfterThePointerLeft) {
    CardWithEngine c;
    c.load();
    hoverAt(c.card, 150);
    hoverAt(c.card, 240); // waits behind the first
    ASSERT_EQ(c.source->requests.size(), 1u);
    leave(c.card);
    c.source->answerFrame(taggedFrame(29));
    EXPECT_EQ(frameTag(*c.card.shownImage()), 1000);
    EXPECT_TRUE(c.source->requests.empty()); // the waiting request was dropped, not started
    EXPECT_FALSE(c.engine.loadingFrame());
    // The late frame was still worth keeping: hovering there again shows it without a request.
    hoverAt(c.card, 150);
    EXPECT_EQ(frameTag(*c.card.shownImage()), 29);
    EXPECT_TRUE(c.source->requests.empty());
}

TEST(ClipCard, BadgesAndPlaceholders) {
    MediaFile file = videoFile();
    file.isProtected = true;
    file.proxyPath = QStringLiteral("/nowhere/proxy.mov"); // missing proxy: the file's own rules
    CardWithEngine c(file);
    EXPECT_EQ(texts(c.card.badges().leading),
              QStringList({"Unused", QStringLiteral("🔒 Protected"), "Proxy"}));
    EXPECT_TRUE(c.card.badges().leading.first().solid);
    c.source->answerLoad(0, std::nullopt); // no poster anywhere
    EXPECT_TRUE(c.engine.failed());
    EXPECT_EQ(c.card.placeholderText(), "Frame unavailable");
    EXPECT_EQ(texts(c.card.badges().trailing), QStringList({"Decode failed"}));

    MediaFile offline = videoFile();
    offline.status = MediaFileStatus::offline;
    ScrubEngine none(std::nullopt, nullptr, ScrubEnginePolicy{}, nullptr);
    ClipCard card{CardStillLoader{}};
    card.showFile(offline, &none, false);
    EXPECT_TRUE(none.failed());
    EXPECT_EQ(card.placeholderText(), "No preview available");
    EXPECT_EQ(texts(card.badges().trailing), QStringList({"No preview"}));
    EXPECT_FALSE(texts(card.badges().leading).contains("Poster"));
}

// A still that cannot be decoded ends where a video that cannot be decoded ends, not on "Loading…".
TEST(ClipCard, UndecodableStillEndsInTheFailedState) {
    QTemporaryDir dir;
    QFile damaged(dir.filePath(QStringLiteral("Title_Plate.png")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(2048, 'x'));
    damaged.close();
    const CardStillLoader read = [](QString path, QSize bound) -> QCoro::Task<std::optional<QImage>> {
        co_return readCardStill(path, bound);
    };
    MediaFile image;
    image.path = damaged.fileName();
    image.status = MediaFileStatus::online;
    ClipCard card(read);
    card.resize(300, CardGridLayout::cardHeight);
    card.showFile(image, nullptr, false);
    EXPECT_FALSE(card.shownImage());
    EXPECT_EQ(card.placeholderText(), "Frame unavailable");
    EXPECT_EQ(texts(card.badges().trailing), QStringList({"Decode failed"}));

    // A readable still shows no failure, and a card shown again starts over.
    const CardStillLoader fine = [](QString, QSize) -> QCoro::Task<std::optional<QImage>> {
        QImage still(8, 8, QImage::Format_RGB32);
        still.fill(Qt::green);
        co_return still;
    };
    ClipCard good(fine);
    good.showFile(image, nullptr, false);
    EXPECT_TRUE(good.shownImage());
    EXPECT_TRUE(good.badges().trailing.isEmpty());
    card.clear();
    EXPECT_EQ(card.placeholderText(), "Loading…");
}

TEST(ClipCard, SelectAndBinButtons) {
    CardWithEngine c;
    QUuid toggled;
    MediaFile trashed;
    QObject::connect(&c.card, &ClipCard::toggleSelectRequested, [&](const QUuid& id) { toggled = id; });
    QObject::connect(&c.card, &ClipCard::trashRequested, [&](const MediaFile& f) { trashed = f; });
    EXPECT_EQ(c.card.selectButton()->toolTip(), "Select");
    c.card.selectButton()->click();
    EXPECT_EQ(toggled, c.card.file().id);
    c.card.setSelected(true);
    EXPECT_EQ(c.card.selectButton()->toolTip(), "Deselect");
    c.card.trashButton()->click();
    EXPECT_EQ(trashed.id, c.card.file().id);
    EXPECT_EQ(c.card.trashButton()->toolTip(), "Move to virtual recycle bin");
    EXPECT_FALSE(c.card.playButton()->isHidden()); // a video plays its sound from the same file
}

TEST(ClipCard, ShownLaterStartsNothingUntilHoveredAndStopsNothingItNeverStarted) {
    auto source = std::make_shared<FakeScrubFrameSource>();
    ScrubEngine engine(QStringLiteral("/media/a clip.mp4"), source, ScrubEnginePolicy{}, nullptr);
    ClipCard card{CardStillLoader{}};
    card.resize(300, CardGridLayout::cardHeight);
    int wanted = 0;
    QObject::connect(&card, &ClipCard::engineWanted, [&](ClipCard* asking) {
        EXPECT_EQ(asking, &card);
        ++wanted;
    });
    QSignalSpy engineChanges(&engine, &ScrubEngine::changed);

    // Scrolled past: shown and gone without the engine doing anything.
    card.showFile(videoFile(), &engine, false, ClipCard::EngineStart::later);
    EXPECT_FALSE(card.engineStarted());
    card.clear();
    EXPECT_TRUE(source->loads.isEmpty());
    EXPECT_EQ(source->closes, 0);
    EXPECT_EQ(engineChanges.count(), 0);

    // Shown again and hovered: the engine starts with the first move over the preview.
    card.showFile(videoFile(), &engine, false, ClipCard::EngineStart::later);
    hoverAt(card, 30);
    EXPECT_EQ(wanted, 1);
    EXPECT_TRUE(card.engineStarted());
    ASSERT_EQ(source->loads.size(), 1);
    hoverAt(card, 60);
    EXPECT_EQ(wanted, 1);
    EXPECT_EQ(source->loads.size(), 1);
    card.clear();
    EXPECT_EQ(source->closes, 1); // a started engine is reset as the card goes
}

TEST(ClipCard, StartingLaterTakesTheGridsEngine) {
    auto source = std::make_shared<FakeScrubFrameSource>();
    ScrubEngine engine(QStringLiteral("/media/a clip.mp4"), source, ScrubEnginePolicy{}, nullptr);
    ClipCard card{CardStillLoader{}};
    card.resize(300, CardGridLayout::cardHeight);
    card.showFile(videoFile(), nullptr, false, ClipCard::EngineStart::later); // no engine made yet
    EXPECT_EQ(card.placeholderText(), QStringLiteral("Loading…"));
    card.startEngine(&engine);
    EXPECT_EQ(card.scrubEngine(), &engine);
    ASSERT_EQ(source->loads.size(), 1);
    source->answerLoad(10, taggedFrame(1000));
    ASSERT_TRUE(card.shownImage());
    EXPECT_EQ(frameTag(*card.shownImage()), 1000);
}

TEST(ClipCard, ScrubStripFollowsTheFractionOverFiftyMilliseconds) {
    CardWithEngine c;
    c.load();
    QVariantAnimation* strip = c.card.stripAnimation();
    EXPECT_EQ(strip->duration(), 50);
    EXPECT_EQ(strip->easingCurve().type(), QEasingCurve::Linear);

    hoverAt(c.card, 150);
    EXPECT_DOUBLE_EQ(strip->endValue().toDouble(), 0.5);
    strip->setCurrentTime(25);
    EXPECT_NEAR(c.card.stripFraction(), 0.25, 1e-9);
    strip->setCurrentTime(50);
    EXPECT_DOUBLE_EQ(c.card.stripFraction(), 0.5);

    // A new position mid-way starts from where the bar is drawn, not from the old target.
    hoverAt(c.card, 240);
    strip->setCurrentTime(0);
    EXPECT_DOUBLE_EQ(c.card.stripFraction(), 0.5);
    strip->setCurrentTime(50);
    EXPECT_DOUBLE_EQ(c.card.stripFraction(), 0.8);

    leave(c.card);
    EXPECT_EQ(strip->state(), QAbstractAnimation::Stopped);
    EXPECT_DOUBLE_EQ(c.card.stripFraction(), 0.0);
}

TEST(ClipCard, DetailsHelpShowsAsTooltipOverItsArea) {
    MediaFile file = videoFile();
    file.sequenceNames = {QStringLiteral("Reel 2"), QStringLiteral("Assembly")};
    file.hasUnattributedSequenceUsage = true;
    file.projectNames = {QStringLiteral("Feature")};
    CardWithEngine c(file);
    c.card.show();
    const CardInfoLayout& info = c.card.infoLayout();

    // The tooltip shown for a help event at a point; none when the card passes the event on.
    auto tooltipAt = [&](QPoint point) {
        QHelpEvent help(QEvent::ToolTip, point, c.card.mapToGlobal(point));
        QApplication::sendEvent(&c.card, &help);
        return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tooltipAt(info.summary.rect.center()), QStringLiteral("Assembly, Reel 2"));
    EXPECT_EQ(tooltipAt(info.shield.center()),
              QStringLiteral("Some timeline usage could not be attributed and remains protected"));
    EXPECT_EQ(tooltipAt(info.project.rect.center()), QString());
    EXPECT_EQ(tooltipAt(QPoint(150, 60)), QString()); // the preview
    EXPECT_EQ(tooltipAt(info.name.rect.center()), QString());
    QToolTip::hideText();
}

TEST(ClipCard, ReboundCardShowsTheNewFileNeverTheOldStill) {
    const CardStillLoader red = [](QString, QSize) -> QCoro::Task<std::optional<QImage>> {
        QImage still(64, 36, QImage::Format_RGB32);
        still.fill(Qt::red);
        co_return still;
    };
    MediaFile image;
    image.path = QStringLiteral("/media/stills/first frame.png");
    image.status = MediaFileStatus::online;
    ClipCard card(red);
    card.resize(300, CardGridLayout::cardHeight);
    card.show(); // a shown card keeps its drawn picture between paints
    card.showFile(image, nullptr, false);
    ASSERT_TRUE(card.shownImage());
    const QPoint middle(150, ClipCard::previewHeight / 2);
    EXPECT_EQ(card.grab().toImage().pixelColor(middle), QColor(Qt::red));
    EXPECT_EQ(card.infoLayout().name.text, QStringLiteral("first frame.png"));

    // The same widget now shows a video whose poster has not come: the old still must not linger.
    auto source = std::make_shared<FakeScrubFrameSource>();
    MediaFile video = videoFile(QStringLiteral("/media/second.mp4"));
    video.size = 2048;
    ScrubEngine engine(video.path, source, ScrubEnginePolicy{}, nullptr);
    card.showFile(video, &engine, false);
    EXPECT_FALSE(card.shownImage());
    EXPECT_NE(card.grab().toImage().pixelColor(middle), QColor(Qt::red));
    EXPECT_EQ(card.infoLayout().name.text, QStringLiteral("second.mp4"));
    EXPECT_EQ(card.infoLayout().size.text, cardTexts::sizeText(2048));

    // Its poster arrives and is drawn; selecting redraws the border around the same picture.
    source->answerLoad(5, taggedFrame(1000, QSize(64, 36)));
    const QImage unselected = card.grab().toImage();
    EXPECT_EQ(unselected.pixelColor(middle), taggedFrame(1000).pixelColor(0, 0));
    card.setSelected(true);
    const QImage selected = card.grab().toImage();
    EXPECT_EQ(selected.pixelColor(middle), unselected.pixelColor(middle));
    EXPECT_NE(selected.pixelColor(1, 100), unselected.pixelColor(1, 100)); // the wider accent border
}

namespace {

// WCAG relative luminance and contrast ratio.
double luminance(const QColor& c) {
    auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return std::max(la, lb) / std::min(la, lb);
}

} // namespace

// "Poster" is grey text: over a white frame its backing must still be dark enough to read it, and
// over a black frame the same badge still reads.
TEST(ClipCard, PlainBadgesReadOverBrightAndDarkFrames) {
    for (const QColor frame : {QColor(Qt::white), QColor(0xF4, 0xF2, 0xEC), QColor(128, 128, 128)}) {
        CardWithEngine c;
        QImage poster(320, 180, QImage::Format_RGB32);
        poster.fill(frame);
        c.source->answerLoad(10, poster);
        ASSERT_TRUE(c.engine.ready());
        const QList<std::pair<CardBadge, QRect>> placed = c.card.placedBadges();
        const auto posterBadge = std::find_if(placed.cbegin(), placed.cend(), [](const auto& b) {
            return b.first.text == QStringLiteral("Poster");
        });
        ASSERT_NE(posterBadge, placed.cend());
        const QImage shot = c.card.grab().toImage();
        const QRect rect = posterBadge->second;
        // The backing beside the text, inside the capsule's straight part.
        const QColor backing = shot.pixelColor(rect.left() + rect.height() / 2, rect.top() + 2);
        EXPECT_GE(contrast(backing, posterBadge->first.color), 3.0) << frame.name().toStdString();
        // And the text is drawn in its colour on that backing.
        int inked = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                inked += contrast(shot.pixelColor(x, y), backing) >= 2.5 ? 1 : 0;
        EXPECT_GT(inked, 20) << frame.name().toStdString();
    }
}

// The white play symbol over a white frame: its dark halo sets it apart.
TEST(ClipCard, PlayButtonStandsOutOverAWhiteFrame) {
    CardWithEngine c;
    QImage poster(320, 180, QImage::Format_RGB32);
    poster.fill(Qt::white);
    c.source->answerLoad(10, poster);
    ASSERT_TRUE(c.card.playButton()->isVisibleTo(&c.card));
    const QImage shot = c.card.grab().toImage();
    const QRect button = c.card.playButton()->geometry();
    int halo = 0;
    for (int y = button.top(); y <= button.bottom(); ++y)
        for (int x = button.left(); x <= button.right(); ++x)
            halo += qGray(shot.pixel(x, y)) < 200 ? 1 : 0;
    EXPECT_GT(halo, button.width()) << "the symbol's edge is lost in the frame";
}

// Play on a system without a sound output: attaching one crashed Qt's audio thread. An audio card
// now says so and makes no player; a video card plays its picture silently.
TEST(ClipCard, PlayWithoutASoundOutputNeverAttachesOne) {
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
    MediaFile audio;
    audio.path = tone;
    audio.status = MediaFileStatus::online;
    ClipCard card{CardStillLoader{}};
    card.resize(300, CardGridLayout::cardHeight);
    card.showFile(audio, nullptr, false);
    ASSERT_TRUE(card.playButton()->isVisibleTo(&card));
    EXPECT_EQ(card.placeholderText(), QStringLiteral("Audio · press play"));
    card.playButton()->click();
    // Had a player started with a sound output, its audio thread would have crashed by its end.
    EXPECT_TRUE(QTest::qWaitFor(
        [&card] { return !card.player() || card.player()->mediaStatus() == QMediaPlayer::EndOfMedia; },
        15'000));
    EXPECT_FALSE(card.playing());
    EXPECT_TRUE(card.noAudioOutput());
    EXPECT_EQ(card.placeholderText(), QStringLiteral("No audio output"));

    CardWithEngine video(videoFile(clip));
    video.card.show();
    video.card.startAudioPlayback();
    ASSERT_TRUE(video.card.playing());
    EXPECT_EQ(video.card.player()->audioOutput(), nullptr);
    auto* view = video.card.findChild<MediaPlayerView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->noAudioNote()->isVisibleTo(&video.card));
    QMediaPlayer* player = video.card.player();
    EXPECT_TRUE(QTest::qWaitFor([player] { return player->position() > 200; }, 15'000))
        << player->errorString().toStdString();
    video.card.stopPlayback();
}

// The demo's camera file, MPEG-2 4:2:2 in MXF under a Japanese name, whose thumbnails decode, plays
// in its card: the picture moves past its first frame and no failure shows.
TEST(ClipCard, ACameraMxfPlaysInItsCard) {
    const QString mxf = testmedia::cameraMxf();
    if (mxf.isEmpty())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg with its MPEG-2 encoder to make the camera file";
#if defined(__SANITIZE_ADDRESS__)
    // Qt 6.4's FFmpeg plug-in never frees the codec options it opens the decoders with.
    __lsan::ScopedDisabler backendKeepsItsOptions;
#endif
    CardWithEngine video(videoFile(mxf));
    video.card.show();
    video.card.startAudioPlayback();
    ASSERT_TRUE(video.card.playing());
    auto* view = video.card.findChild<MediaPlayerView*>();
    ASSERT_NE(view, nullptr);
    QVideoSink* picture = view->videoWidget()->videoSink();
    EXPECT_TRUE(QTest::qWaitFor([&] { return picture->videoFrame().startTime() >= 400'000; }, 30'000))
        << video.card.player()->errorString().toStdString();
    EXPECT_FALSE(view->failed());
    EXPECT_FALSE(view->failureNote()->isVisibleTo(view));
    // The player reads it (its sound, its time); the pictures of its 4:2:2 come from the decoder.
    EXPECT_FALSE(view->playsWithoutPlayer());
    EXPECT_TRUE(view->showsDecodedPictures());
    EXPECT_EQ(video.card.player()->playbackState(), QMediaPlayer::PlayingState);
    video.card.stopPlayback();
}
