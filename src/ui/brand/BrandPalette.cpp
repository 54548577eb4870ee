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

#undef TARNWICK_BRAND_COLOR

QColor withOpacity(const QColor& color, qreal opacity) {
    QColor c = color;
    c.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    return c;
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
