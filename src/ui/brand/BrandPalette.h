#pragma once

#include <QColor>
#include <QList>
#include <QString>

namespace tarnwick::Color {

// The brand palette: opaque sRGB colours, created once on first use.
const QColor& brandBackground();
const QColor& brandSurface();
const QColor& brandSurfaceRaised();
const QColor& brandControl();
const QColor& brandSurfaceSunken();
const QColor& brandBorder();
const QColor& brandTextPrimary();
const QColor& brandTextSecondary();
const QColor& brandTextTertiary();
const QColor& brandTextMuted();
const QColor& brandAccent();
const QColor& brandAccentDeep();
const QColor& brandAccentDim();
const QColor& brandCyan();
const QColor& brandGreen();
const QColor& brandAmber();
const QColor& brandRed();

// `color` with its alpha set to `opacity` (0...1).
QColor withOpacity(const QColor& color, qreal opacity);

struct NamedColor {
    QString name;
    QColor color;
};
// All seventeen, in palette order (for previews and tests).
QList<NamedColor> brandPalette();

} // namespace tarnwick::Color
