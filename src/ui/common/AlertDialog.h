#pragma once

#include "ui/common/ModalFrame.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QPushButton;

namespace tarnwick {

// One button of an alert. `cancel` answers Escape; `destructive` (deletes or replaces files, drawn
// in red) and `movesFiles` are never the default. The first button of the normal role is the
// default, else the cancel button, and the focus starts on it: a question whose only answer acts on
// files takes Cancel on Return. Return presses the focused button (see DialogButtons.h).
struct AlertButton {
    enum class Role { normal, cancel, destructive, movesFiles };
    QString title;
    Role role = Role::normal;
    std::function<void()> action;
};

// A window-modal alert whose buttons stay in the order given, left to right, whatever the
// platform's button-box convention. Opened with open(): no nested event loop. Each button runs
// its action once and closes the alert; Escape runs the cancel button (or a lone button). It has
// the keyboard while it shows and dims the window behind it.
class AlertDialog : public QDialog {
    Q_OBJECT
public:
    AlertDialog(QWidget* parent, const QString& title, const QString& message, QList<AlertButton> buttons);

    // Creates, opens and returns an alert that deletes itself when closed.
    static AlertDialog* present(QWidget* parent, const QString& title, const QString& message,
                                QList<AlertButton> buttons);

    QList<QPushButton*> buttons() const { return m_buttonWidgets; }
    QString title() const { return m_title; }
    QString message() const { return m_message; }

    void reject() override;
    // Sizes and moves the alert so that it and the window manager's `decoration` round it lie inside
    // `available` (screen coordinates); its message scrolls where it must.
    void placeWithin(const QRect& available, const QMargins& decoration = {});

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void choose(int index);

    QString m_title;
    QString m_message;
    QList<AlertButton> m_buttons;
    QList<QPushButton*> m_buttonWidgets;
    bool m_answered = false;
    std::optional<modalFrame::Placement> m_placed; // the area it was last placed in
};

} // namespace tarnwick
