#include "ui/window/WelcomeDot.h"

#include "ui/brand/BrandPalette.h"

#include <QPainter>

namespace tarnwick {

WelcomeDot::WelcomeDot(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(side, side);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void WelcomeDot::setFill(const QColor& fill) {
    if (fill == m_fill)
        return;
    m_fill = fill;
    update();
}

void WelcomeDot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_fill);
    painter.drawEllipse(centre, diameter / 2.0, diameter / 2.0);
    if (hasFocus()) {
        // Round the dot with a gap, so the ring reads on the accent fill as on the grey one.
        painter.setPen(QPen(Color::brandTextPrimary(), 1.5));
        painter.setBrush(Qt::NoBrush);
        const qreal radius = side / 2.0 - 1;
        painter.drawEllipse(centre, radius, radius);
    }
}

} // namespace tarnwick
