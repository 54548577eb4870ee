#include "ui/brand/BrandPalette.h"

#include <algorithm>

namespace tarnwick::Color {

namespace {
QColor rgb(int r, int g, int b) {
    return QColor::fromRgbF(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
}
} // namespace

#define TARNWICK_BRAND_COLOR(name, r, g, b)                                                                  \
    const QColor& name() {                                                                                   \
        static const QColor color = rgb(r, g, b);                                                            \
        return color;                                                                                        \
    }

TARNWICK_BRAND_COLOR(brandBackground, 0x14, 0x14, 0x14)
TARNWICK_BRAND_COLOR(brandSurface, 0x1E, 0x1E, 0x1E)
TARNWICK_BRAND_COLOR(brandSurfaceRaised, 0x2A, 0x2A, 0x2A)
TARNWICK_BRAND_COLOR(brandControl, 0x3D, 0x3D, 0x3D)
TARNWICK_BRAND_COLOR(brandSurfaceSunken, 0x1A, 0x1A, 0x1A)
TARNWICK_BRAND_COLOR(brandBorder, 0x40, 0x40, 0x40)
TARNWICK_BRAND_COLOR(brandTextPrimary, 0xE0, 0xDD, 0xD6)
TARNWICK_BRAND_COLOR(brandTextSecondary, 0xB5, 0xB2, 0xAA)
TARNWICK_BRAND_COLOR(brandTextTertiary, 0x78, 0x75, 0x70)
TARNWICK_BRAND_COLOR(brandTextMuted, 0x55, 0x52, 0x50)
TARNWICK_BRAND_COLOR(brandAccent, 0x9D, 0x8A, 0xE8)
TARNWICK_BRAND_COLOR(brandAccentDeep, 0x7B, 0x6B, 0xC4)
TARNWICK_BRAND_COLOR(brandAccentDim, 0x3D, 0x32, 0x60)
TARNWICK_BRAND_COLOR(brandCyan, 0x5C, 0xC8, 0xDA)
TARNWICK_BRAND_COLOR(brandGreen, 0x6B, 0xCB, 0x77)
TARNWICK_BRAND_COLOR(brandAmber, 0xE8, 0xA9, 0x44)
TARNWICK_BRAND_COLOR(brandRed, 0xDD, 0x66, 0x66)

TARNWICK_BRAND_COLOR(systemBlue, 0x00, 0x7A, 0xFF)
TARNWICK_BRAND_COLOR(systemGreen, 0x34, 0xC7, 0x59)
TARNWICK_BRAND_COLOR(systemOrange, 0xFF, 0x95, 0x00)
TARNWICK_BRAND_COLOR(systemRed, 0xFF, 0x3B, 0x30)
TARNWICK_BRAND_COLOR(systemPurple, 0xAF, 0x52, 0xDE)
TARNWICK_BRAND_COLOR(systemTeal, 0x30, 0xB0, 0xC7)
TARNWICK_BRAND_COLOR(systemIndigo, 0x58, 0x56, 0xD6)
TARNWICK_BRAND_COLOR(systemGray, 0x8E, 0x8E, 0x93)
TARNWICK_BRAND_COLOR(darkSystemBlue, 0x0A, 0x84, 0xFF)
TARNWICK_BRAND_COLOR(darkSystemCyan, 0x64, 0xD2, 0xFF)
TARNWICK_BRAND_COLOR(darkSystemGreen, 0x30, 0xD1, 0x58)
TARNWICK_BRAND_COLOR(darkSystemOrange, 0xFF, 0x9F, 0x0A)
TARNWICK_BRAND_COLOR(darkSystemRed, 0xFF, 0x45, 0x3A)
TARNWICK_BRAND_COLOR(darkSystemYellow, 0xFF, 0xD6, 0x0A)
TARNWICK_BRAND_COLOR(darkSystemPurple, 0xBF, 0x5A, 0xF2)
TARNWICK_BRAND_COLOR(darkSystemIndigo, 0x5E, 0x5C, 0xE6)
TARNWICK_BRAND_COLOR(successGreen, 0x32, 0xD7, 0x4B)
TARNWICK_BRAND_COLOR(welcomeCardBackground, 0x32, 0x32, 0x34)
TARNWICK_BRAND_COLOR(modalCardBackground, 0x2E, 0x2E, 0x30)
TARNWICK_BRAND_COLOR(placeholderFill, 0x33, 0x33, 0x33)

#undef TARNWICK_BRAND_COLOR

#define TARNWICK_SHADE(name, r, g, b, a)                                                                     \
    const QColor& name() {                                                                                   \
        static const QColor color(r, g, b, a);                                                               \
        return color;                                                                                        \
    }

TARNWICK_SHADE(welcomeCardShadow, 0, 0, 0, 77)
TARNWICK_SHADE(sheetCardShadow, 0, 0, 0, 84)
TARNWICK_SHADE(welcomeBackdrop, 0, 0, 0, 128)
TARNWICK_SHADE(analyzingBackdrop, 0, 0, 0, 77)
TARNWICK_SHADE(modalBackdrop, 0, 0, 0, 102)
TARNWICK_SHADE(pictureBadgeBacking, 0, 0, 0, 224)
TARNWICK_SHADE(pictureBadgeRim, 255, 255, 255, 36)
TARNWICK_SHADE(solidBadgeText, 0, 0, 0, 217)
TARNWICK_SHADE(timecodeBarBacking, 0, 0, 0, 128)
TARNWICK_SHADE(pictureButtonBacking, 0, 0, 0, 128)
TARNWICK_SHADE(pictureButtonPressedBacking, 0, 0, 0, 170)
TARNWICK_SHADE(pictureButtonIcon, 255, 255, 255, 230)
TARNWICK_SHADE(unselectedMark, 255, 255, 255, 217)
TARNWICK_SHADE(prominentButtonDetail, 255, 255, 255, 190)
TARNWICK_SHADE(mapTileInk, 0, 0, 0, 255)
TARNWICK_SHADE(mapTileDetail, 0, 0, 0, 127)
TARNWICK_SHADE(thumbnailRim, 255, 255, 255, 77)
TARNWICK_SHADE(thumbnailPending, 128, 128, 128, 77)
TARNWICK_SHADE(thumbnailMissing, 128, 128, 128, 51)

#undef TARNWICK_SHADE

const QColor& secondaryLabel() {
    static const QColor color(255, 255, 255, 140);
    return color;
}

const QColor& tertiaryLabel() {
    static const QColor color(255, 255, 255, 90);
    return color;
}

QColor withOpacity(const QColor& color, qreal opacity) {
    QColor c = color;
    c.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    return c;
}

QColor withAlpha(const QColor& color, int alpha) {
    QColor c = color;
    c.setAlpha(std::clamp(alpha, 0, 255));
    return c;
}

QString styleSheetValue(const QColor& color) {
    return color.name(color.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
}

QString styleSheet(QString pattern, std::initializer_list<QColor> colors) {
    // One at a time: each arg() fills every place of the lowest number left.
    for (const QColor& color : colors)
        pattern = pattern.arg(styleSheetValue(color));
    return pattern;
}

QList<NamedColor> brandPalette() {
    return {
        {QStringLiteral("brandBackground"), brandBackground()},
        {QStringLiteral("brandSurface"), brandSurface()},
        {QStringLiteral("brandSurfaceRaised"), brandSurfaceRaised()},
        {QStringLiteral("brandControl"), brandControl()},
        {QStringLiteral("brandSurfaceSunken"), brandSurfaceSunken()},
        {QStringLiteral("brandBorder"), brandBorder()},
        {QStringLiteral("brandTextPrimary"), brandTextPrimary()},
        {QStringLiteral("brandTextSecondary"), brandTextSecondary()},
        {QStringLiteral("brandTextTertiary"), brandTextTertiary()},
        {QStringLiteral("brandTextMuted"), brandTextMuted()},
        {QStringLiteral("brandAccent"), brandAccent()},
        {QStringLiteral("brandAccentDeep"), brandAccentDeep()},
        {QStringLiteral("brandAccentDim"), brandAccentDim()},
        {QStringLiteral("brandCyan"), brandCyan()},
        {QStringLiteral("brandGreen"), brandGreen()},
        {QStringLiteral("brandAmber"), brandAmber()},
        {QStringLiteral("brandRed"), brandRed()},
    };
}

} // namespace tarnwick::Color
