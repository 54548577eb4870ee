#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandTheme.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(BrandPalette, HasTheSeventeenColoursWithTheirExactValues) {
    const QList<std::pair<QString, QString>> expected{
        {"brandBackground", "#141414"},  {"brandSurface", "#1e1e1e"},       {"brandSurfaceRaised", "#2a2a2a"},
        {"brandControl", "#3d3d3d"},     {"brandSurfaceSunken", "#1a1a1a"}, {"brandBorder", "#404040"},
        {"brandTextPrimary", "#e0ddd6"}, {"brandTextSecondary", "#b5b2aa"}, {"brandTextTertiary", "#787570"},
        {"brandTextMuted", "#555250"},   {"brandAccent", "#9d8ae8"},        {"brandAccentDeep", "#7b6bc4"},
        {"brandAccentDim", "#3d3260"},   {"brandCyan", "#5cc8da"},          {"brandGreen", "#6bcb77"},
        {"brandAmber", "#e8a944"},       {"brandRed", "#dd6666"},
    };
    const auto palette = Color::brandPalette();
    ASSERT_EQ(palette.size(), expected.size());
    for (qsizetype i = 0; i < palette.size(); ++i) {
        SCOPED_TRACE(expected[i].first.toStdString());
        EXPECT_EQ(palette[i].name, expected[i].first);
        EXPECT_EQ(palette[i].color.name(QColor::HexRgb), expected[i].second);
        EXPECT_EQ(palette[i].color.alpha(), 255);
        EXPECT_TRUE(palette[i].color.isValid());
    }
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
