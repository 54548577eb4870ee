#include "ui/brand/BrandSecondaryButton.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"

namespace tarnwick {

BrandSecondaryButton::BrandSecondaryButton(const QString& text, const QColor& tint, QWidget* parent)
    : BrandButton(text, parent), m_tint(tint) {}

BrandButton::Look BrandSecondaryButton::look() const {
    return {Font::brand(13, Font::Weight::medium),
            m_tint,
            Color::withOpacity(Color::brandControl(), fillOpacity()),
            Color::withOpacity(Color::brandBorder(), 0.6),
            12,
            7};
}

} // namespace tarnwick
