#include "ui/common/EmptyStateView.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/Labels.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

EmptyStateView::EmptyStateView(const QString& symbol, const QString& title, const QString& message,
                               QWidget* parent)
    : QWidget(parent), m_title(title) {
    setObjectName(QStringLiteral("emptyState"));
    auto* layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignCenter);
    layout->setSpacing(8);
    auto* icon = new QLabel(this);
    icon->setPixmap(symbolIcon(symbol, Color::brandTextMuted()).pixmap(40, 40));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto addText = [&](const QString& text, const QFont& font, const QColor& color) {
        auto* label = brandLabel(text, font, color, this, LabelOption::centred | LabelOption::wordWrap);
        label->setMinimumWidth(260);
        layout->addWidget(label);
    };
    addText(title, Font::brand(15, Font::Weight::semibold), Color::brandTextSecondary());
    if (!message.isEmpty())
        addText(message, Font::brand(12), Color::brandTextTertiary());
}

} // namespace tarnwick
