#include "ui/common/FloatingCard.h"

#include "ui/brand/BrandPalette.h"

#include <QGraphicsDropShadowEffect>
#include <QWidget>

namespace tarnwick {

void styleFloatingCard(QWidget* card, const QColor& background, QPointF shadowOffset, const QColor& shadow) {
    card->setStyleSheet(Color::styleSheet(QStringLiteral("#") + card->objectName() +
                                              QStringLiteral(" { background: %1; border-radius: 16px; }"),
                                          {background}));
    auto* effect = new QGraphicsDropShadowEffect(card);
    effect->setBlurRadius(40);
    effect->setOffset(shadowOffset);
    effect->setColor(shadow);
    card->setGraphicsEffect(effect);
}

} // namespace tarnwick
