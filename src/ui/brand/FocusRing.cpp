#include "ui/brand/FocusRing.h"

#include "ui/brand/BrandPalette.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

double luminance(const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A translucent fill as it shows on the dark window.
QColor opaque(const QColor& fill) {
    const QColor& under = Color::brandBackground();
    const qreal a = fill.alphaF();
    return QColor::fromRgbF(float(fill.redF() * a + under.redF() * (1 - a)),
                            float(fill.greenF() * a + under.greenF() * (1 - a)),
                            float(fill.blueF() * a + under.blueF() * (1 - a)));
}

const QColor& innerBand(const QColor& fill) {
    const QColor& light = Color::brandTextPrimary();
    const QColor& dark = Color::brandBackground();
    if (!fill.isValid())
        return light;
    const QColor shown = opaque(fill);
    return contrast(dark, shown) > contrast(light, shown) ? dark : light;
}

void strokeBand(QPainter& painter, const QRectF& outline, qreal radius, qreal inset, qreal width,
                const QColor& color) {
    painter.setPen(QPen(color, width));
    const qreal middle = inset + width / 2;
    const qreal r = std::max<qreal>(radius - middle, 0);
    painter.drawRoundedRect(outline.adjusted(middle, middle, -middle, -middle), r, r);
}

} // namespace

void paintFocusRing(QPainter& painter, const QRectF& outline, qreal cornerRadius, const QColor& fill) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(1.0);
    painter.setBrush(Qt::NoBrush);
    constexpr qreal band = focusRingWidth / 2;
    strokeBand(painter, outline, cornerRadius, 0, band, Color::brandTextPrimary());
    strokeBand(painter, outline, cornerRadius, band, band, innerBand(fill));
    painter.restore();
}

} // namespace tarnwick
