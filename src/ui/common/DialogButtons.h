#pragma once

#include <QList>

class QDialog;
class QKeyEvent;
class QPushButton;

namespace tarnwick {

// The keyboard rules every alert and sheet shares. Return presses the button that has the focus
// (its ring shows which); the default button answers Return only while no other push button has
// the focus. The focus never starts on a button that carries out what cannot be taken back.
namespace dialogButtons {

// Marks `button` as one that deletes, replaces or otherwise cannot be taken back.
void setDestructive(QPushButton& button);
bool isDestructive(const QPushButton& button);

// Where the focus starts among `buttons`: the default one unless it is destructive, else the first
// one that is not destructive and can take the focus; nullptr when there is none.
QPushButton* firstFocus(const QList<QPushButton*>& buttons);

// Takes Qt's "auto default" off every push button of `dialog`, so that the default stays the one the
// dialog set while the focus moves (a focused button answers Return through pressFocused instead).
void keepDefaultInPlace(QDialog& dialog);

// Return or Enter that reached `dialog`: presses its focused push button, if one has the focus. True
// when taken; otherwise the dialog's default answers.
bool pressFocused(QDialog& dialog, const QKeyEvent& key);

} // namespace dialogButtons

} // namespace tarnwick
