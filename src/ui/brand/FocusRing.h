#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace tarnwick {

// The ring a control wears while it has the keyboard focus, drawn along the inside of its edge
// (`outline`): a light band outside, which reads on every dark surface round a control, and inside
// it a band that reads on the control's `fill` (dark on a light fill such as the violet accent,
// light again on a dark one), so the ring shows at 3:1 or more against both. Together the bands are
// `focusRingWidth` wide; a control keeps its label at least `focusRingGap` clear of them.
void paintFocusRing(QPainter& painter, const QRectF& outline, qreal cornerRadius, const QColor& fill = {});

inline constexpr qreal focusRingWidth = 4;
inline constexpr qreal focusRingGap = 2;

} // namespace tarnwick
