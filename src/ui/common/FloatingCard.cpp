#include "ui/common/FloatingCard.h"

#include "ui/brand/BrandPalette.h"
#include "ui/common/CardShadow.h"

#include <QWidget>

namespace tarnwick {

void styleFloatingCard(QWidget* card, const QColor& background, QPointF shadowOffset, const QColor& shadow) {
    card->setStyleSheet(Color::styleSheet(QStringLiteral("#") + card->objectName() +
                                              QStringLiteral(" { background: %1; border-radius: 16px; }"),
                                          {background}));
    new CardShadow(card, shadowOffset, shadow); // owned by the card's parent
}

} // namespace tarnwick
