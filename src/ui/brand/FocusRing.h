#pragma once

#include <QRectF>

class QPainter;

namespace tarnwick {

// The ring a control we paint ourselves draws inside its edge while it has the keyboard focus:
// light on every fill we use, the violet accent included.
void paintFocusRing(QPainter& painter, const QRectF& outline, qreal cornerRadius);

} // namespace tarnwick
