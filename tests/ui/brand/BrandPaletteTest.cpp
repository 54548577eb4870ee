#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandTheme.h"

#include <QImage>
#include <QPainter>
#include <QSet>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tarnwick;

// The list previews draw from: every brand colour once, opaque, under its own name, and no two
// alike (a colour pasted twice or given translucent shows here).
TEST(BrandPalette, ListsEachBrandColourOnceOpaqueUnderItsOwnName) {
    const auto palette = Color::brandPalette();
    ASSERT_FALSE(palette.isEmpty());
    QSet<QString> names;
    QSet<QRgb> colours;
    for (const Color::NamedColor& entry : palette) {
        SCOPED_TRACE(entry.name.toStdString());
        EXPECT_TRUE(entry.color.isValid());
        EXPECT_EQ(entry.color.alpha(), 255);
        names.insert(entry.name);
        colours.insert(entry.color.rgb());
    }
    EXPECT_EQ(names.size(), palette.size());
    EXPECT_EQ(colours.size(), palette.size());
}

TEST(BrandPalette, AccessorsReturnTheSameColourEveryTime) {
    EXPECT_EQ(&Color::brandAccent(), &Color::brandAccent());
    EXPECT_EQ(Color::brandAmber().name(), QStringLiteral("#e8a944"));
}

TEST(BrandPalette, OpacityLeavesTheColourAndClampsTheAlpha) {
    const QColor faint = Color::withOpacity(Color::brandBorder(), 0.6);
    EXPECT_EQ(faint.name(QColor::HexRgb), QStringLiteral("#404040"));
    EXPECT_NEAR(faint.alphaF(), 0.6, 0.005);
    EXPECT_EQ(Color::withOpacity(Color::brandRed(), 1.7).alpha(), 255);
    EXPECT_EQ(Color::withOpacity(Color::brandRed(), -1).alpha(), 0);
}

TEST(BrandTheme, StockWidgetsDrawOnTheBrandBackground) {
    const QPalette p = brandWidgetPalette();
    EXPECT_EQ(p.color(QPalette::Active, QPalette::Window), Color::brandBackground());
    EXPECT_EQ(p.color(QPalette::Active, QPalette::Base), Color::brandSurface());
    EXPECT_EQ(p.color(QPalette::Active, QPalette::Text), Color::brandTextPrimary());
    EXPECT_EQ(p.color(QPalette::Active, QPalette::Highlight), Color::brandAccent());
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::Text), Color::brandTextMuted());
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::Light).alpha(), 0); // no etched disabled text
}

TEST(BrandPalette, StyleSheetsWriteTheColoursTheyAreGiven) {
    EXPECT_EQ(Color::styleSheetValue(Color::brandAccent()), QStringLiteral("#9d8ae8"));
    const QColor faint = Color::withAlpha(Color::brandAccent(), 31);
    EXPECT_EQ(faint.alpha(), 31);
    EXPECT_EQ(Color::styleSheetValue(faint), QStringLiteral("#1f9d8ae8"));
    EXPECT_EQ(Color::styleSheet(QStringLiteral("a { color: %1; border: 1px solid %2; } b { color: %2; }"),
                                {Color::brandTextPrimary(), Color::brandBorder()}),
              QStringLiteral("a { color: #e0ddd6; border: 1px solid #404040; } b { color: #404040; }"));
}

TEST(BrandPalette, StyleSheetsDrawATranslucentColourAsThePainterDoes) {
    // The style sheet parser must read "#aarrggbb" as alpha first.
    const QColor faint = Color::withAlpha(Color::brandAccent(), 90);
    QWidget host;
    host.resize(8, 8);
    host.setStyleSheet(QStringLiteral("QWidget { background: #ffffff; }"));
    auto* swatch = new QWidget(&host);
    swatch->setAttribute(Qt::WA_StyledBackground);
    swatch->resize(8, 8);
    swatch->setStyleSheet(Color::styleSheet(QStringLiteral("QWidget { background: %1; }"), {faint}));

    QImage expected(8, 8, QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter(&expected).fillRect(expected.rect(), faint);
    EXPECT_EQ(host.grab().toImage().pixel(4, 4), expected.pixel(4, 4));
}
