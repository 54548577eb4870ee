#pragma once

#include "ui/brand/BrandButton.h"

namespace tarnwick {

// The violet call-to-action button: dark semibold label on the accent, dimmed while pressed.
class BrandPrimaryButton : public BrandButton {
    Q_OBJECT
public:
    explicit BrandPrimaryButton(const QString& text, QWidget* parent = nullptr);

    // The fill's opacity: 0.8 while pressed, 1.0 otherwise.
    qreal fillOpacity() const { return isDown() ? 0.8 : 1.0; }

protected:
    Look look() const override;
};

} // namespace tarnwick
