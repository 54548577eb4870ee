#pragma once

#include <QFlags>
#include <QString>

class QColor;
class QFont;
class QLabel;
class QWidget;

namespace tarnwick {

class ElidedLabel;

// What a label does with its text beyond font and colour. Without plainText a label reads its text
// as QLabel does by default (rich text when it looks like markup).
enum class LabelOption {
    plainText = 0x1,
    wordWrap = 0x2,
    centred = 0x4,
    selectable = 0x8, // the user may select the text and copy it
};
Q_DECLARE_FLAGS(LabelOptions, LabelOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(LabelOptions)

// A label that draws `text` in `font` and `color`.
QLabel* brandLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr,
                   LabelOptions options = {});
// A secondary text of the system-styled sheets: its parent's font scaled by `scale`, in the tertiary
// text colour (the palette's placeholder colour) at `opacity`.
QLabel* secondaryLabel(const QString& text, QWidget* parent, LabelOptions options, qreal scale = 1.0,
                       qreal opacity = 1.0);
// A centred, wrapping plain-text label in its parent's font made `pointDelta` points larger and bold
// when asked (the platform-style sheets and cards of the recycle bin).
QLabel* textLabel(const QString& text, qreal pointDelta = 0, bool bold = false, QWidget* parent = nullptr);
// A one-line plain-text label elided to its width (ElidedLabel), in `font` and `color`.
ElidedLabel* elidedLabel(const QString& text, Qt::TextElideMode mode, const QFont& font, const QColor& color,
                         QWidget* parent = nullptr);

// The colour a widget draws its text in (the window-text role of its palette).
void setTextColor(QWidget* widget, const QColor& color);

} // namespace tarnwick
