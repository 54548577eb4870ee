#pragma once

#include <QPointF>

class QColor;
class QWidget;

namespace tarnwick {

// Gives `card` (named with setObjectName) the look of a card floating over a dimmed window: a
// background of `background` with corners of radius 16 and a soft shadow of `shadow` (blur 40)
// moved by `shadowOffset`.
void styleFloatingCard(QWidget* card, const QColor& background, QPointF shadowOffset, const QColor& shadow);

} // namespace tarnwick
