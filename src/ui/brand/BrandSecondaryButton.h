#pragma once

#include "ui/brand/BrandButton.h"

namespace tarnwick {

// The quiet button: a medium label in its tint on a translucent control fill with a faint border;
// the fill strengthens while pressed.
class BrandSecondaryButton : public BrandButton {
    Q_OBJECT
public:
    BrandSecondaryButton(const QString& text, const QColor& tint, QWidget* parent = nullptr);

    QColor tint() const { return m_tint; }
    // The fill's opacity: 0.9 while pressed, 0.5 otherwise.
    qreal fillOpacity() const { return isDown() ? 0.9 : 0.5; }

protected:
    Look look() const override;

private:
    QColor m_tint;
};

} // namespace tarnwick
