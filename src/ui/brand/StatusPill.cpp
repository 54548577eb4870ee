#include "ui/brand/StatusPill.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {
constexpr qreal horizontalPadding = 7;
constexpr qreal verticalPadding = 2.5;
} // namespace

StatusPill::StatusPill(const QString& text, const QColor& color, bool filled, QWidget* parent)
    : QWidget(parent), m_text(text), m_color(color), m_filled(filled) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text);
}

void StatusPill::setText(const QString& text) {
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QFont StatusPill::pillFont() {
    QFont font = Font::brandMono(9.5, Font::Weight::bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    return font;
}

QSizeF StatusPill::pillSize(const QString& text) {
    const QFontMetricsF metrics(pillFont());
    return {metrics.horizontalAdvance(text.toUpper()) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

QSize StatusPill::sizeHint() const {
    return pillSize(m_text).toSize();
}

void StatusPill::paintPill(QPainter& painter, const QRectF& rect, const QString& text, const QColor& color,
                           bool filled) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = outer.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(outer, radius, radius);
    if (filled)
        painter.fillPath(capsule, Color::withOpacity(color, 0.14));
    painter.setPen(QPen(Color::withOpacity(color, 0.32), 1));
    painter.drawPath(capsule);
    painter.setFont(pillFont());
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignCenter, text.toUpper());
    painter.restore();
}

void StatusPill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPill(painter, QRectF(rect()), m_text, m_color, m_filled);
}

} // namespace tarnwick
