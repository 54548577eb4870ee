#include "ui/common/DialogButtons.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace tarnwick::dialogButtons {

namespace {
constexpr char destructiveProperty[] = "tarnwickDestructive";

bool canTakeFocus(const QPushButton& button) {
    return button.isEnabled() && button.isVisibleTo(button.window()) && (button.focusPolicy() & Qt::TabFocus);
}
} // namespace

void setDestructive(QPushButton& button) {
    button.setProperty(destructiveProperty, true);
}

bool isDestructive(const QPushButton& button) {
    return button.property(destructiveProperty).toBool();
}

QPushButton* firstFocus(const QList<QPushButton*>& buttons) {
    for (QPushButton* button : buttons) {
        if (button->isDefault() && !isDestructive(*button) && canTakeFocus(*button))
            return button;
    }
    for (QPushButton* button : buttons) {
        if (!isDestructive(*button) && canTakeFocus(*button))
            return button;
    }
    return nullptr;
}

void keepDefaultInPlace(QDialog& dialog) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

bool pressFocused(QDialog& dialog, const QKeyEvent& key) {
    const bool plain = key.modifiers() == Qt::NoModifier ||
                       (key.modifiers() == Qt::KeypadModifier && key.key() == Qt::Key_Enter);
    if ((key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter) || !plain)
        return false;
    auto* button = qobject_cast<QPushButton*>(dialog.focusWidget());
    if (!button || button->window() != &dialog || !button->isVisible() || !button->isEnabled())
        return false;
    button->click();
    return true;
}

} // namespace tarnwick::dialogButtons
