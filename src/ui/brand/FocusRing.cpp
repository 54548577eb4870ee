#include "ui/brand/FocusRing.h"

#include "ui/brand/BrandPalette.h"

#include <QPainter>

#include <algorithm>

namespace tarnwick {

void paintFocusRing(QPainter& painter, const QRectF& outline, qreal cornerRadius, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(1.0);
    painter.setPen(QPen(color.isValid() ? color : Color::brandTextPrimary(), 1.5));
    painter.setBrush(Qt::NoBrush);
    const QRectF ring = outline.adjusted(1.5, 1.5, -1.5, -1.5);
    painter.drawRoundedRect(ring, std::max<qreal>(cornerRadius - 1.5, 0),
                            std::max<qreal>(cornerRadius - 1.5, 0));
    painter.restore();
}

} // namespace tarnwick
