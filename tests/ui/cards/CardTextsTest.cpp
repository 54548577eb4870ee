#include "ui/cards/CardTexts.h"

#include "model/MediaFile.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/ViewHelpers.h"
#include "ui/sidebar/SidebarTexts.h"
#include "ui/window/WindowTexts.h"

#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tarnwick;

TEST(CardGridLayout, ColumnsAndWidthsForWindowWidths) {
    // 300: narrower than one column; the one card shrinks to the room left by the padding.
    const CardGridLayout narrow = CardGridLayout::forWidth(300);
    EXPECT_EQ(narrow.columns, 1);
    EXPECT_EQ(narrow.columnWidth, 268);
    EXPECT_EQ(narrow.leftInset, 16);
    // 632: 600 of room, two columns need 616, so one column at its widest, centred.
    const CardGridLayout middle = CardGridLayout::forWidth(632);
    EXPECT_EQ(middle.columns, 1);
    EXPECT_EQ(middle.columnWidth, 460);
    EXPECT_EQ(middle.leftInset, 16 + 70);
    // 1000: 968 of room, three columns of (968 - 32) / 3.
    const CardGridLayout wide = CardGridLayout::forWidth(1000);
    EXPECT_EQ(wide.columns, 3);
    EXPECT_EQ(wide.columnWidth, 312);
    EXPECT_EQ(wide.cardRect(4),
              QRect(16 + 312 + 16, 16 + CardGridLayout::cardHeight + 16, 312, CardGridLayout::cardHeight));
}

TEST(CardGridLayout, VisibleRangeCoversTheScreenAndOneRowEitherSide) {
    const CardGridLayout layout = CardGridLayout::forWidth(1000); // 3 columns
    const int pitch = CardGridLayout::cardHeight + CardGridLayout::spacing;
    EXPECT_EQ(layout.visibleRange(0, 600, 10'000), std::make_pair(0, 3 * (600 / pitch + 2)));
    const auto [first, end] = layout.visibleRange(100 * pitch, 600, 10'000);
    EXPECT_EQ(first, 3 * 98); // row 99 starts just above the band (the padding), one more before it
    EXPECT_LE(end - first, 3 * (600 / pitch + 4));
    EXPECT_EQ(layout.visibleRange(0, 600, 2), std::make_pair(0, 2));
    EXPECT_EQ(layout.visibleRange(0, 600, 0), std::make_pair(0, 0));
    EXPECT_EQ(layout.contentHeight(4), 2 * 16 + 2 * CardGridLayout::cardHeight + 16);
}

TEST(CardTexts, TimecodeString) {
    EXPECT_EQ(timecodeString(0), "00:00");
    EXPECT_EQ(timecodeString(59.9), "00:59");
    EXPECT_EQ(timecodeString(61), "01:01");
    EXPECT_EQ(timecodeString(3600), "60:00");
    EXPECT_EQ(timecodeString(75 * 60 + 3), "75:03");
    EXPECT_EQ(timecodeString(6000), "100:00");
    EXPECT_EQ(timecodeString(-5), "00:00");
    EXPECT_EQ(timecodeString(std::nan("")), "00:00");
    EXPECT_EQ(timecodeString(std::numeric_limits<double>::infinity()), "00:00");
}

TEST(CardTexts, UsageLabelInOrder) {
    MediaFile file;
    file.usageCount = 2;
    file.isFromDaVinciCSV = true;
    UsageLabel label = usageLabel(file);
    EXPECT_EQ(label.text, QStringLiteral("Used 2×"));
    EXPECT_EQ(label.color, Color::brandGreen());
    EXPECT_FALSE(label.solid);

    file.usageCount = 0;
    label = usageLabel(file);
    EXPECT_EQ(label.text, "DaVinci CSV");
    EXPECT_EQ(label.color, Color::brandCyan());
    EXPECT_TRUE(label.solid);

    file.isAEFootage = true;
    label = usageLabel(file);
    EXPECT_EQ(label.text, "In AE");
    EXPECT_EQ(label.color, Color::brandGreen());
    EXPECT_FALSE(label.solid);

    file.isAEFootage = false;
    file.isFromDaVinciCSV = false;
    label = usageLabel(file);
    EXPECT_EQ(label.text, "Unused");
    EXPECT_EQ(label.color, Color::brandAmber());
    EXPECT_TRUE(label.solid);
}

TEST(CardTexts, HeaderAndDetailTexts) {
    EXPECT_EQ(cardTexts::clipCount(0), "0 clips");
    EXPECT_EQ(cardTexts::clipCount(1), "1 clip");
    EXPECT_EQ(cardTexts::clipCount(12), "12 clips");
    EXPECT_EQ(cardTexts::selectionCount(2), "2 selected");
    EXPECT_EQ(cardTexts::hint(), QStringLiteral("· hover to scrub · ⊕ to select"));
    EXPECT_EQ(cardTexts::sizeText(0), QStringLiteral("—"));
    EXPECT_EQ(cardTexts::timelineSummary({"Edit"}), "Edit");
    EXPECT_EQ(cardTexts::timelineSummary({"Edit", "B", "A"}), "Edit +2");
    EXPECT_EQ(cardTexts::timelineHelp({"Edit", "B", "A"}), "A, B, Edit");
    EXPECT_EQ(cardTexts::extensionLabel("/m/clip.r3d"), "R3D");
    EXPECT_EQ(cardTexts::extensionLabel("/m/README"), "FILE");
}

TEST(CardTexts, DeleteSafetyAlertMessage) {
    EXPECT_EQ(deleteSafetyMessage({}), QString());
    EXPECT_EQ(deleteSafetyMessage({"A is used by B"}),
              "A is used by B\n\nDeleting this file may break that project.");
    EXPECT_EQ(
        deleteSafetyMessage({"first", "second", "third"}),
        QStringLiteral("first\n\n…and 2 more conflict(s)\n\nDeleting this file may break that project."));
}

TEST(CardTexts, HoverFractionClamps) {
    EXPECT_EQ(cardTexts::hoverFraction(0, 300), 0);
    EXPECT_EQ(cardTexts::hoverFraction(150, 300), 0.5);
    EXPECT_EQ(cardTexts::hoverFraction(400, 300), 1);
    EXPECT_EQ(cardTexts::hoverFraction(-3, 300), 0);
    EXPECT_EQ(cardTexts::hoverFraction(0.4, 1), 0.4); // a preview 1 wide uses x itself
    EXPECT_EQ(cardTexts::hoverFraction(3, 0.5), 1);
}

// Texts that put the user's names beside counts are filled in one pass, so a name holding "%1"
// or "%2" is never filled in again by the next placeholder.
TEST(CardTexts, UserTextWithPercentSignsIsNeverFilledIn) {
    EXPECT_EQ(cardTexts::timelineSummary({"Cut %2", "B", "A"}), "Cut %2 +2");
    EXPECT_EQ(cardTexts::timelineSummary({"Cut %1%2", "B"}), "Cut %1%2 +1");
    EXPECT_EQ(SidebarTexts::moveUnusedMessage(3, QStringLiteral("Day %1 %2")),
              QStringLiteral("Move 3 file(s) to “Day %1 %2”? Originals are relocated with their directory "
                             "structure preserved."));
    EXPECT_EQ(WindowTexts::moveFilesMessage(4, QUrl::fromLocalFile(QStringLiteral("/Archive/Old %1%2"))),
              QStringLiteral("Move 4 file(s) to “Old %1%2”? Originals are relocated with their directory "
                             "structure preserved."));
    const QString html = richText({{QStringLiteral("a %1 b %6"), QColor(1, 2, 3), true}});
    EXPECT_TRUE(html.contains(QStringLiteral(">a %1 b %6</span>"))) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("rgba(1,2,3,1.00);font-weight:bold;"))) << html.toStdString();
}
