#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QAbstractButton;
class QDialog;
class QKeyEvent;
class QPushButton;
class QWidget;

namespace tarnwick {

// The keyboard rules every alert and sheet shares. Return presses the button that has the focus
// (its ring shows which); a list keeps it for its row; on text that can be selected it does nothing;
// elsewhere (a field, no focus) the default button answers it. A button that deletes, replaces or moves the
// user's files is never the default, the focus never starts on it, and its mnemonic only brings the focus to
// it.
namespace dialogButtons {

// Marks `button` as one that deletes, replaces or moves the user's files.
void setDestructive(QAbstractButton& button);
bool isDestructive(const QAbstractButton& button);

// Where the focus starts among `buttons`: the default one unless it is destructive, else the first
// one that is not destructive and can take the focus; nullptr when there is none.
QPushButton* firstFocus(const QList<QPushButton*>& buttons);

// Takes Qt's "auto default" off every push button of `dialog`, so that the default stays the one the
// dialog set while the focus moves (a focused button answers Return through answerReturn instead),
// and the default off every destructive one.
void keepDefaultInPlace(QDialog& dialog);

// Return or Enter with the focus inside `owner`: presses the focused button (a push button, a tool
// button, any button but a check box or a radio button); a focused list or selectable text takes it
// and nothing else happens. True when taken; otherwise the default button answers.
bool answerReturn(QWidget& owner, const QKeyEvent& key);

// Return or Enter pressing the button focused inside `owner`, as answerReturn does, and nothing
// else: the main window's buttons answer it so too. True when a button was pressed.
bool pressFocusedButton(QWidget& owner, const QKeyEvent& key);

// `titles` with an ampersand before a letter of each that no other title has, nor `taken`: the
// first letter where it is free, else the first letter of another word, else any letter ("&Cancel",
// "&Move to Trash"). A title without a free letter stays without one; a literal ampersand is
// doubled.
QStringList withMnemonics(const QStringList& titles, const QString& taken = {});

// Gives every button inside `root` that shows a title of its own and has no mnemonic yet one, unique
// within `root`. Its plain title stays its accessible name.
void giveMnemonics(QWidget& root);

// Sets `button`'s title, keeping the mnemonic letter it was given where the new title has it.
void setTitle(QAbstractButton& button, const QString& title);

} // namespace dialogButtons

} // namespace tarnwick
