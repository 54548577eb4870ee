#include "ui/common/FilterChipToggle.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {
constexpr qreal horizontalPadding = 10;
constexpr qreal verticalPadding = 4;
constexpr qreal cornerRadius = 5;

QFont chipFont(bool on) {
    return Font::brand(12, on ? Font::Weight::semibold : Font::Weight::regular);
}
} // namespace

FilterChipToggle::FilterChipToggle(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::toggled, this, [this] { updateGeometry(); });
}

QSize FilterChipToggle::sizeHint() const {
    // Sized for the semibold face so the chip does not jump when toggled.
    const QFontMetricsF metrics(chipFont(true));
    return QSizeF(metrics.horizontalAdvance(text()) + 2 * horizontalPadding,
                  metrics.height() + 2 * verticalPadding)
        .toSize()
        .expandedTo(QSize(1, 1));
}

void FilterChipToggle::paintEvent(QPaintEvent*) {
    const bool on = isChecked();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(outer, cornerRadius, cornerRadius);
    painter.fillPath(shape, on ? Color::brandAccent() : Color::brandSurface());
    painter.setPen(QPen(on ? Color::brandAccent() : Color::withOpacity(Color::brandBorder(), 0.6), 1));
    painter.drawPath(shape);
    painter.setFont(chipFont(on));
    painter.setPen(on ? Color::brandBackground() : Color::brandTextSecondary());
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus())
        paintFocusRing(painter, QRectF(rect()), cornerRadius,
                       on ? Color::brandAccent() : Color::brandSurface());
}

bool FilterChipToggle::hitButton(const QPoint& pos) const {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    return shape.contains(QPointF(pos));
}

} // namespace tarnwick
