#include "ui/brand/BrandPrimaryButton.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"

namespace tarnwick {

BrandPrimaryButton::BrandPrimaryButton(const QString& text, QWidget* parent) : BrandButton(text, parent) {}

BrandButton::Look BrandPrimaryButton::look() const {
    return {Font::brand(13, Font::Weight::semibold),
            Color::brandBackground(),
            Color::withOpacity(Color::brandAccent(), fillOpacity()),
            QColor(),
            14,
            8};
}

} // namespace tarnwick
