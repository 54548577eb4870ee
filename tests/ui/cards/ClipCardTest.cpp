#include "ui/cards/ClipCard.h"

#include "ui/preview/ScrubEngine.h"

#include "support/FakeScrubFrameSource.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QToolButton>

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
