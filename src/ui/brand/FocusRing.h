#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace tarnwick {

// The ring a control we paint ourselves draws inside its edge while it has the keyboard focus:
// light on every fill we use, the violet accent included. A control lit by the style's gradient
// gives its own `color` (its label's), which reads on that fill.
void paintFocusRing(QPainter& painter, const QRectF& outline, qreal cornerRadius, const QColor& color = {});

} // namespace tarnwick
