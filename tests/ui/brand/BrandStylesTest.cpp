#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandPrimaryButton.h"
#include "ui/brand/BrandSecondaryButton.h"
#include "ui/brand/BrandSectionHeader.h"
#include "ui/brand/StatusPill.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/FilterChipToggle.h"

#include <QHBoxLayout>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

QImage render(QWidget& w) {
    w.resize(w.sizeHint());
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    w.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

} // namespace

TEST(FilterChipToggle, ClickingFlipsItAndItsFill) {
    FilterChipToggle chip("Unused");
    EXPECT_FALSE(chip.isChecked());
    const QImage off = render(chip);
    const QPoint inside(4, chip.height() / 2);
    EXPECT_EQ(QColor(off.pixel(inside)).name(), Color::brandSurface().name());
    QTest::mouseClick(&chip, Qt::LeftButton, {}, chip.rect().center());
    EXPECT_TRUE(chip.isChecked());
    const QImage on = render(chip);
    EXPECT_EQ(QColor(on.pixel(inside)).name(), Color::brandAccent().name());
}

TEST(StatusPill, UnfilledPillHasAClearInside) {
    StatusPill filled("online", Color::brandGreen(), true);
    StatusPill clear("online", Color::brandGreen(), false);
    const QImage a = render(filled);
    const QImage b = render(clear);
    // In the left padding at mid-height: past the border, clear of the text whatever the font.
    const QPoint inside(4, a.height() / 2);
    EXPECT_NE(a.pixel(inside), qRgb(0, 0, 0));
    EXPECT_EQ(b.pixel(inside), qRgb(0, 0, 0));
    EXPECT_EQ(filled.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
}

TEST(BrandSectionHeader, WithoutSymbolIsJustTheTitleWidth) {
    BrandSectionHeader plain("Projects", std::nullopt);
    BrandSectionHeader withSymbol("Projects", QStringLiteral("film.stack"));
    EXPECT_EQ(withSymbol.sizeHint().width() - plain.sizeHint().width(), 9 + 6);
}

TEST(BrandButtons, DisabledDrawsAtFortyPercentAndPressingChangesTheFill) {
    BrandPrimaryButton primary("Move to Trash");
    BrandSecondaryButton secondary("Cancel", Color::brandTextSecondary());
    EXPECT_DOUBLE_EQ(primary.contentOpacity(), 1.0);
    EXPECT_DOUBLE_EQ(primary.fillOpacity(), 1.0);
    EXPECT_DOUBLE_EQ(secondary.fillOpacity(), 0.5);
    primary.setDown(true);
    secondary.setDown(true);
    EXPECT_DOUBLE_EQ(primary.fillOpacity(), 0.8);
    EXPECT_DOUBLE_EQ(secondary.fillOpacity(), 0.9);
    primary.setEnabled(false);
    secondary.setEnabled(false);
    EXPECT_DOUBLE_EQ(primary.contentOpacity(), 0.4);
    EXPECT_DOUBLE_EQ(secondary.contentOpacity(), 0.4);
}

TEST(BrandButtons, FillTheOfferedWidth) {
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    auto* primary = new BrandPrimaryButton("Go");
    layout->addWidget(primary);
    row.resize(500, 60);
    row.show();
    EXPECT_GT(primary->width(), 400);
    EXPECT_EQ(primary->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
}

TEST(SymbolIcons, MapsSymbolsToThemeNamesAndAlwaysHasAnIcon) {
    EXPECT_EQ(themeIconName(QStringLiteral("trash")), QStringLiteral("user-trash"));
    EXPECT_EQ(themeIconName(QStringLiteral("arrow.clockwise")), QStringLiteral("view-refresh"));
    EXPECT_TRUE(themeIconName(QStringLiteral("wand.and.stars")).isEmpty());
    for (const auto& name :
         {QStringLiteral("star.fill"), QStringLiteral("wand.and.stars"), QStringLiteral("envelope")}) {
        const QIcon icon = symbolIcon(name, Color::brandAmber());
        EXPECT_FALSE(icon.isNull()) << name.toStdString();
        EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    }
}
