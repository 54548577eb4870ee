#include "ui/cards/CardInfoLayout.h"

#include "model/MediaFile.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

const QString shieldHelp =
    QStringLiteral("Some timeline usage could not be attributed and remains protected");

MediaFile onTimelines(QStringList names, bool unattributed) {
    MediaFile file;
    file.path = QStringLiteral("/media/Day 2/A014_C003_0815.mov");
    file.status = MediaFileStatus::online;
    file.size = 4'200'000;
    file.projectNames = {QStringLiteral("Feature")};
    file.sequenceNames = std::move(names);
    file.hasUnattributedSequenceUsage = unattributed;
    return file;
}

QRect united(const CardInfoLayout& layout) {
    return layout.status.rect | layout.size.rect | layout.summary.rect | layout.project.rect;
}

} // namespace

TEST(CardInfoLayout, TimelineSummaryAndShieldCarryTheirHelpTexts) {
    const CardInfoLayout layout = CardInfoLayout::make(
        onTimelines({QStringLiteral("Reel 2"), QStringLiteral("Assembly"), QStringLiteral("Reel 1")}, true),
        380, CardFonts::make());
    EXPECT_EQ(layout.summary.text, QStringLiteral("Reel 2 +2"));
    ASSERT_FALSE(layout.shield.isEmpty());

    const CardHelp summary = layout.helpAt(layout.summary.rect.center());
    EXPECT_EQ(summary.text, QStringLiteral("Assembly, Reel 1, Reel 2"));
    EXPECT_EQ(summary.area, layout.summary.rect);
    EXPECT_EQ(layout.helpAt(layout.shield.center()).text, shieldHelp);

    // The shield sits between the summary and the project, and neither neighbour answers with its help.
    EXPECT_LE(layout.summary.rect.right(), layout.shield.left());
    EXPECT_LE(layout.shield.right(), layout.project.rect.left());
    EXPECT_TRUE(layout.helpAt(layout.project.rect.center()).text.isEmpty());
    EXPECT_TRUE(layout.helpAt(layout.name.rect.center()).text.isEmpty());
    EXPECT_TRUE(layout.helpAt(layout.size.rect.center()).text.isEmpty());
    EXPECT_TRUE(layout.helpAt(layout.status.rect.center()).text.isEmpty());
}

// A timeline name is the user's text: a "%2" in it is shown as it is, never filled with the count.
TEST(CardInfoLayout, TimelineNamesWithPercentSignsAreShownVerbatim) {
    const CardInfoLayout layout = CardInfoLayout::make(
        onTimelines({QStringLiteral("Cut %2 v%1"), QStringLiteral("Reel 1"), QStringLiteral("Reel 2")},
                    false),
        380, CardFonts::make());
    EXPECT_EQ(layout.summary.text, QStringLiteral("Cut %2 v%1 +2"));
}

TEST(CardInfoLayout, NoTimelinesNoHelp) {
    const CardInfoLayout layout = CardInfoLayout::make(onTimelines({}, false), 380, CardFonts::make());
    EXPECT_TRUE(layout.summary.text.isEmpty());
    EXPECT_TRUE(layout.shield.isEmpty());
    const int row = layout.status.rect.center().y();
    for (int x = 0; x < 380; x += 4)
        EXPECT_TRUE(layout.helpAt(QPoint(x, row)).text.isEmpty()) << x;

    // One timeline: its name alone, in the summary and in its help.
    const CardInfoLayout one =
        CardInfoLayout::make(onTimelines({QStringLiteral("Main")}, false), 380, CardFonts::make());
    EXPECT_EQ(one.summary.text, QStringLiteral("Main"));
    EXPECT_EQ(one.helpAt(one.summary.rect.center()).text, QStringLiteral("Main"));
    // The shield's help alone, where the summary is absent.
    const CardInfoLayout shieldOnly = CardInfoLayout::make(onTimelines({}, true), 380, CardFonts::make());
    EXPECT_EQ(shieldOnly.helpAt(shieldOnly.shield.center()).text, shieldHelp);
}

TEST(CardInfoLayout, NarrowCardsKeepEveryTextInsideThePadding) {
    MediaFile file = onTimelines(
        {QStringLiteral("A very long timeline name for the festival cut"), QStringLiteral("B")}, true);
    file.projectNames = {QStringLiteral("A project whose name goes on and on and on")};
    file.path = QStringLiteral("/media/") + QString(120, QLatin1Char('x')) + QStringLiteral(".mov");
    for (const int width : {120, 300, 460}) {
        const CardInfoLayout layout = CardInfoLayout::make(file, width, CardFonts::make());
        EXPECT_GE(united(layout).left(), CardInfoLayout::inset) << width;
        EXPECT_LE(layout.project.rect.right(), width - CardInfoLayout::inset) << width;
        EXPECT_LE(layout.name.rect.right(), width - CardInfoLayout::inset) << width;
        EXPECT_TRUE(layout.name.text.contains(QChar(0x2026))) << width; // truncated in the middle
        EXPECT_TRUE(layout.name.text.endsWith(QStringLiteral(".mov"))) << width;
        EXPECT_FALSE(layout.summary.rect.intersects(layout.project.rect)) << width;
    }
}
