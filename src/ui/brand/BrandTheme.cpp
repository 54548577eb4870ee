#include "ui/brand/BrandTheme.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandStyle.h"

#include <QApplication>
#include <QStyleFactory>

namespace tarnwick {

QPalette brandWidgetPalette() {
    QPalette p;
    const QColor white(Qt::white);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, Color::brandBackground());
        p.setColor(group, QPalette::WindowText, Color::brandTextPrimary());
        p.setColor(group, QPalette::Base, Color::brandSurface());
        p.setColor(group, QPalette::AlternateBase, Color::brandSurfaceRaised());
        p.setColor(group, QPalette::ToolTipBase, Color::brandSurfaceRaised());
        p.setColor(group, QPalette::ToolTipText, Color::brandTextPrimary());
        p.setColor(group, QPalette::PlaceholderText, Color::brandTextTertiary());
        p.setColor(group, QPalette::Text, Color::brandTextPrimary());
        p.setColor(group, QPalette::Button, Color::brandControl());
        p.setColor(group, QPalette::ButtonText, Color::brandTextPrimary());
        p.setColor(group, QPalette::BrightText, white);
        p.setColor(group, QPalette::Light, Color::brandBorder());
        p.setColor(group, QPalette::Midlight, Color::brandControl());
        p.setColor(group, QPalette::Mid, Color::brandSurfaceRaised());
        p.setColor(group, QPalette::Dark, Color::brandSurfaceSunken());
        p.setColor(group, QPalette::Shadow, Color::brandBackground());
        p.setColor(group, QPalette::Highlight, Color::brandAccent());
        p.setColor(group, QPalette::HighlightedText, Color::brandBackground());
        p.setColor(group, QPalette::Link, Color::brandAccent());
        p.setColor(group, QPalette::LinkVisited, Color::brandAccentDeep());
    }
    p.setColor(QPalette::Inactive, QPalette::Highlight, Color::brandAccentDim());
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, Color::brandTextPrimary());
    p.setColor(QPalette::Disabled, QPalette::Window, Color::brandBackground());
    p.setColor(QPalette::Disabled, QPalette::Base, Color::brandSurfaceSunken());
    p.setColor(QPalette::Disabled, QPalette::Button, Color::brandSurfaceRaised());
    p.setColor(QPalette::Disabled, QPalette::WindowText, Color::brandTextMuted());
    p.setColor(QPalette::Disabled, QPalette::Text, Color::brandTextMuted());
    p.setColor(QPalette::Disabled, QPalette::ButtonText, Color::brandTextMuted());
    p.setColor(QPalette::Disabled, QPalette::Highlight, Color::brandAccentDim());
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, Color::brandTextTertiary());
    // Fusion etches disabled text with the light colour; on a dark palette that reads as a blur.
    p.setColor(QPalette::Disabled, QPalette::Light, Qt::transparent);
    return p;
}

void applyBrandTheme() {
    if (auto* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(new BrandStyle(fusion)); // the application takes ownership
    QApplication::setPalette(brandWidgetPalette());
    QApplication::setFont(Font::brand(13));
}

} // namespace tarnwick
