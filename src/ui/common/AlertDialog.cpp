#include "ui/common/AlertDialog.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRingButton.h"
#include "ui/common/DialogButtons.h"
#include "ui/common/KeyboardOwner.h"
#include "ui/common/Labels.h"
#include "ui/common/ModalFrame.h"
#include "ui/common/SheetBody.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

namespace {

constexpr LabelOptions selectableParagraph =
    LabelOption::plainText | LabelOption::wordWrap | LabelOption::selectable;

constexpr int widest = 520;

// The first plain answer; else the cancel one. An answer that acts on files never takes Return: the
// question is there to make the user stop, and a reflexive Return must not carry the deed out.
qsizetype defaultAnswer(const QList<AlertButton>& buttons) {
    using Role = AlertButton::Role;
    for (const Role role : {Role::normal, Role::cancel}) {
        const auto found = std::find_if(buttons.cbegin(), buttons.cend(),
                                        [role](const AlertButton& b) { return b.role == role; });
        if (found != buttons.cend())
            return found - buttons.cbegin();
    }
    return -1;
}

} // namespace

AlertDialog::AlertDialog(QWidget* parent, const QString& title, const QString& message,
                         QList<AlertButton> buttons)
    : QDialog(parent), m_title(title), m_message(message), m_buttons(std::move(buttons)) {
    setWindowTitle(title);
    modalFrame::setDialogButtons(*this);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setAttribute(Qt::WA_KeyboardFocusChange); // its focus shows before the first Tab
    (new KeyboardOwner(this))->setOwner(this);
    modalFrame::addFrame(*this);
    setMinimumWidth(360);
    setMaximumWidth(widest);
    setAutoFillBackground(true);
    QPalette surface = palette();
    surface.setColor(QPalette::Window, Color::brandSurfaceRaised());
    setPalette(surface);

    // A long message scrolls where the screen is short; the buttons stay below it.
    auto* texts = new QWidget(this);
    auto* textColumn = new QVBoxLayout(texts);
    textColumn->setContentsMargins(20, 18, 20, 0);
    textColumn->setSpacing(10);
    textColumn->addWidget(brandLabel(title, Font::brand(15, Font::Weight::bold), Color::brandTextPrimary(),
                                     texts, selectableParagraph));
    if (!message.isEmpty())
        textColumn->addWidget(
            brandLabel(message, Font::brand(12), Color::brandTextSecondary(), texts, selectableParagraph));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 16);
    layout->setSpacing(10);
    layout->addWidget(new SheetBody(texts, this), 1);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(20, 0, 20, 0);
    row->setSpacing(8);
    row->addStretch(1);
    const qsizetype defaultIndex = defaultAnswer(m_buttons);
    for (int i = 0; i < m_buttons.size(); ++i) {
        const auto& answer = m_buttons[i];
        // The style draws a default button's outline like its focus; the ring tells them apart.
        auto* button = new FocusRingButton(answer.title, this);
        button->setAutoDefault(false);
        button->setDefault(i == defaultIndex);
        const bool destructive = answer.role == AlertButton::Role::destructive;
        button->setProminent(i == defaultIndex);
        if (destructive || answer.role == AlertButton::Role::movesFiles)
            dialogButtons::setDestructive(*button);
        if (destructive) {
            QPalette p = button->palette();
            p.setColor(QPalette::ButtonText, Color::brandRed());
            button->setPalette(p);
        }
        connect(button, &QPushButton::clicked, this, [this, i] { choose(i); });
        row->addWidget(button);
        m_buttonWidgets.append(button);
    }
    layout->addLayout(row);
    dialogButtons::giveMnemonics(*this);
    // The focus starts where Return goes, so the ring shows what Return will press.
    if (QPushButton* first = dialogButtons::firstFocus(m_buttonWidgets))
        first->setFocus();
}

AlertDialog* AlertDialog::present(QWidget* parent, const QString& title, const QString& message,
                                  QList<AlertButton> buttons) {
    auto* alert = new AlertDialog(parent, title, message, std::move(buttons));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
    return alert;
}

void AlertDialog::choose(int index) {
    if (m_answered)
        return;
    m_answered = true;
    const auto action = m_buttons[index].action;
    const bool isCancel = m_buttons[index].role == AlertButton::Role::cancel;
    if (isCancel)
        QDialog::reject();
    else
        accept();
    if (action)
        action();
}

void AlertDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    modalFrame::dimWindowBehind(*this);
    modalFrame::keepOnScreen(*this, [this](const QRect& available, const QMargins& decoration) {
        placeWithin(available, decoration);
    });
    // Without a window manager nothing else makes the new window take the keyboard.
    activateWindow();
}

void AlertDialog::placeWithin(const QRect& available, const QMargins& decoration) {
    m_placed = {available, decoration};
    const QSize room = available.marginsRemoved(decoration).size();
    setMaximumSize(std::min(widest, room.width()), room.height());
    layout()->activate();
    // As tall as its text is at the width it has: a first guess of Qt's wraps it narrower.
    const QSize hint = sizeHint();
    const QSize wanted = QSize(std::max(hint.width(), width()), hint.height()).boundedTo(maximumSize());
    // Round the same centre: Qt centred that guess over the window.
    QRect placed(QPoint(), wanted);
    placed.moveCenter(geometry().center());
    setGeometry(modalFrame::placedWithin(placed, decoration, available));
}

bool AlertDialog::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // Its message wraps to the width it was given: as tall as that asks, as far as the area goes.
    if (event->type() == QEvent::LayoutRequest && m_placed && isVisible())
        placeWithin(m_placed->available, m_placed->decoration);
    return handled;
}

void AlertDialog::keyPressEvent(QKeyEvent* event) {
    if (!dialogButtons::answerReturn(*this, *event))
        QDialog::keyPressEvent(event);
}

void AlertDialog::reject() {
    // Escape or the window's close button: the cancel button answers, if there is one.
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i].role == AlertButton::Role::cancel) {
            choose(i);
            return;
        }
    }
    // A lone button is the acknowledgement; an alert with several answers and no cancel one
    // waits for an answer.
    if (m_buttons.size() == 1)
        choose(0);
    else if (m_buttons.isEmpty())
        QDialog::reject();
}

} // namespace tarnwick
