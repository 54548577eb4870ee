#include "ui/common/DialogButtons.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QEvent>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace tarnwick::dialogButtons {

namespace {
constexpr char destructiveProperty[] = "tarnwickDestructive";
constexpr char mnemonicProperty[] = "tarnwickMnemonic";

bool canTakeFocus(const QPushButton& button) {
    return button.isEnabled() && button.isVisibleTo(button.window()) && (button.focusPolicy() & Qt::TabFocus);
}

// Alt and the letter of a button that acts on files bring the focus to it: Return or Space then
// presses it, as for a button reached with Tab.
class FocusOnlyMnemonic : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Shortcut)
            return false;
        auto* button = static_cast<QWidget*>(watched);
        button->window()->setAttribute(Qt::WA_KeyboardFocusChange);
        button->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
};

// A letter on every keyboard; never a digit, which a count in the title would change.
bool isMnemonicLetter(QChar c) {
    return c.unicode() < 128 && c.isLetter();
}

// Where the mnemonic of `title` goes: its first letter, else a word's first letter, else any letter
// not in `used`; -1 when none is free.
qsizetype mnemonicIndex(const QString& title, const QString& used) {
    const auto free = [&](qsizetype i) {
        return isMnemonicLetter(title.at(i)) && !used.contains(title.at(i).toLower());
    };
    for (qsizetype i = 0; i < title.size(); ++i) {
        const bool wordStart = i == 0 || title.at(i - 1).isSpace();
        if (wordStart && free(i))
            return i;
    }
    for (qsizetype i = 0; i < title.size(); ++i) {
        if (free(i))
            return i;
    }
    return -1;
}

QString marked(const QString& title, qsizetype at) {
    QString text;
    for (qsizetype i = 0; i < title.size(); ++i) {
        if (i == at)
            text += QLatin1Char('&');
        text += title.at(i) == QLatin1Char('&') ? QStringLiteral("&&") : QString(title.at(i));
    }
    return text;
}

// The title a button shows, without its mnemonic mark.
QString plainTitle(const QAbstractButton& button) {
    if (!button.accessibleName().isEmpty())
        return button.accessibleName();
    QString text;
    const QString shown = button.text();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown.at(i) == QLatin1Char('&') && i + 1 < shown.size())
            ++i;
        text += shown.at(i);
    }
    return text;
}

// The letter Alt takes for `text` ("&Move" → "m"), if it has one.
QString mnemonicOf(const QString& text) {
    const QKeySequence key = QKeySequence::mnemonic(text);
    return key.isEmpty() ? QString() : key.toString().right(1).toLower();
}
} // namespace

void setDestructive(QAbstractButton& button) {
    if (button.property(destructiveProperty).toBool())
        return;
    button.setProperty(destructiveProperty, true);
    button.installEventFilter(new FocusOnlyMnemonic(&button));
    if (auto* push = qobject_cast<QPushButton*>(&button))
        push->setDefault(false);
}

bool isDestructive(const QAbstractButton& button) {
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
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        if (isDestructive(*button))
            button->setDefault(false);
    }
}

namespace {

bool isPlainReturn(const QKeyEvent& key) {
    const bool plain = key.modifiers() == Qt::NoModifier ||
                       (key.modifiers() == Qt::KeypadModifier && key.key() == Qt::Key_Enter);
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && plain;
}

QAbstractButton* focusedButton(const QWidget& owner) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !(focus == &owner || owner.isAncestorOf(focus)) || !focus->isVisible())
        return nullptr;
    auto* button = qobject_cast<QAbstractButton*>(focus);
    if (!button || qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button) ||
        !button->isEnabled())
        return nullptr;
    return button;
}

} // namespace

bool pressFocusedButton(QWidget& owner, const QKeyEvent& key) {
    if (!isPlainReturn(key))
        return false;
    QAbstractButton* button = focusedButton(owner);
    if (!button)
        return false;
    button->click();
    return true;
}

bool answerReturn(QWidget& owner, const QKeyEvent& key) {
    if (!isPlainReturn(key))
        return false;
    if (pressFocusedButton(owner, key))
        return true;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !(focus == &owner || owner.isAncestorOf(focus)) || !focus->isVisible())
        return false;
    // A check box, a radio button or a disabled button takes no Return, nor passes it on.
    if (qobject_cast<QAbstractButton*>(focus))
        return false;
    // A list's Return is its own (its current row's): the sheet's default does not take it.
    if (qobject_cast<QAbstractItemView*>(focus))
        return true;
    // Selected text is there to be copied: Return on it presses nothing.
    const auto* label = qobject_cast<QLabel*>(focus);
    return label &&
           (label->textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard));
}

QStringList withMnemonics(const QStringList& titles, const QString& taken) {
    QString used = taken.toLower();
    QStringList result;
    for (const QString& title : titles) {
        const qsizetype at = mnemonicIndex(title, used);
        if (at >= 0)
            used += title.at(at).toLower();
        result.append(marked(title, at));
    }
    return result;
}

void giveMnemonics(QWidget& root) {
    const QList<QAbstractButton*> buttons = root.findChildren<QAbstractButton*>();
    QString used;
    for (const QAbstractButton* button : buttons) {
        used += mnemonicOf(button->text());
        if (!button->shortcut().isEmpty())
            used += button->shortcut().toString().right(1).toLower();
    }
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (label->buddy())
            used += mnemonicOf(label->text());
    }
    // A title shown twice (one page's button and another's) keeps one letter.
    QHash<QString, QChar> given;
    for (QAbstractButton* button : buttons) {
        const QString title = plainTitle(*button);
        if (title.isEmpty() || !mnemonicOf(button->text()).isEmpty() || !button->shortcut().isEmpty())
            continue;
        qsizetype at = -1;
        if (const auto known = given.constFind(title); known != given.cend())
            at = title.indexOf(*known);
        else
            at = mnemonicIndex(title, used);
        if (at < 0)
            continue;
        used += title.at(at).toLower();
        given.insert(title, title.at(at));
        button->setAccessibleName(title);
        button->setProperty(mnemonicProperty, QString(title.at(at)));
        button->setText(marked(title, at));
    }
}

void setTitle(QAbstractButton& button, const QString& title) {
    const QString letter = button.property(mnemonicProperty).toString();
    qsizetype at = -1;
    if (!letter.isEmpty()) {
        for (qsizetype i = 0; i < title.size() && at < 0; ++i) {
            if (title.at(i).toLower() == letter.at(0).toLower() && (i == 0 || title.at(i - 1).isSpace()))
                at = i;
        }
        if (at < 0)
            at = title.indexOf(letter, 0, Qt::CaseInsensitive);
    }
    button.setAccessibleName(title);
    button.setText(marked(title, at));
}

} // namespace tarnwick::dialogButtons
