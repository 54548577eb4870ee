#include "ui/common/Labels.h"

#include "ui/brand/BrandPalette.h"
#include "ui/common/ElidedLabel.h"

#include <QApplication>
#include <QLabel>

namespace tarnwick {

QLabel* brandLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent,
                   LabelOptions options) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    setTextColor(label, color);
    if (options & LabelOption::plainText)
        label->setTextFormat(Qt::PlainText);
    if (options & LabelOption::wordWrap)
        label->setWordWrap(true);
    if (options & LabelOption::centred)
        label->setAlignment(Qt::AlignCenter);
    if (options & LabelOption::selectable)
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* secondaryLabel(const QString& text, QWidget* parent, LabelOptions options, qreal scale,
                       qreal opacity) {
    QFont font = parent ? parent->font() : QApplication::font();
    font.setPointSizeF(font.pointSizeF() * scale);
    return brandLabel(text, font, Color::withOpacity(Color::brandTextTertiary(), opacity), parent, options);
}

QLabel* textLabel(const QString& text, qreal pointDelta, bool bold, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    if (pointDelta != 0)
        font.setPointSizeF(font.pointSizeF() + pointDelta);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

ElidedLabel* elidedLabel(const QString& text, Qt::TextElideMode mode, const QFont& font, const QColor& color,
                         QWidget* parent) {
    auto* label = new ElidedLabel(mode, parent);
    label->setText(text);
    label->setFont(font);
    setTextColor(label, color);
    return label;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace tarnwick
