#include "ui/common/Sheet.h"

#include "ui/common/DialogButtons.h"
#include "ui/common/KeyboardOwner.h"
#include "ui/common/ModalFrame.h"
#include "ui/common/SheetBody.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwick {

Sheet::Sheet(QWidget* window, QWidget* content) : QDialog(window, Qt::Sheet), m_content(content) {
    modalFrame::setDialogButtons(*this);
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_KeyboardFocusChange); // its focus shows before the first Tab
    (new KeyboardOwner(this))->setOwner(this);
    modalFrame::addFrame(*this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    content->setParent(this);
    layout->addWidget(content);
}

void Sheet::scrollContent() {
    if (m_scroll)
        return;
    // Only then: a video picture is a window of its own, which a scrolled viewport would not show.
    layout()->removeWidget(m_content);
    m_scroll = new SheetBody(m_content, this); // takes it over
    layout()->addWidget(m_scroll);
    m_scroll->show();
}

Sheet* Sheet::present(QWidget* window, QWidget* content) {
    auto* sheet = new Sheet(window, content);
    sheet->open();
    return sheet;
}

void Sheet::placeWithin(const QRect& available, const QMargins& decoration) {
    m_placed = {available, decoration};
    // Never larger than the area less the frame, whatever the content asks; its body scrolls instead
    // (all of it, where it has no body of its own and is larger than the area).
    const QSize room = available.marginsRemoved(decoration).size();
    const QSize least = m_content->minimumSizeHint().expandedTo(m_content->minimumSize());
    if (least.width() > room.width() || least.height() > room.height())
        scrollContent();
    if (m_scroll)
        m_scroll->setRoom(room);
    layout()->activate();
    setMaximumSize(room);
    const QSize wanted = sizeHint().expandedTo(size()).boundedTo(room);
    setGeometry(modalFrame::placedWithin(QRect(geometry().topLeft(), wanted), decoration, available));
}

bool Sheet::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // The content asks for another size (a list filled, a box shown): as large as it asks again, as
    // far as the area it was placed in goes.
    if (event->type() == QEvent::LayoutRequest && m_placed && isVisible())
        placeWithin(m_placed->available, m_placed->decoration);
    return handled;
}

void Sheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    modalFrame::dimWindowBehind(*this);
    modalFrame::keepOnScreen(*this, [this](const QRect& available, const QMargins& decoration) {
        placeWithin(available, decoration);
    });
    // The default stays where the content set it; Return goes to the focused button. The focus
    // starts on a button only where the content put none elsewhere (a field keeps it).
    dialogButtons::keepDefaultInPlace(*this);
    if (!m_mnemonicsGiven) {
        m_mnemonicsGiven = true;
        dialogButtons::giveMnemonics(*this);
    }
    QWidget* focus = focusWidget();
    if (!focus || qobject_cast<QAbstractButton*>(focus) || focus == m_scroll) {
        QList<QPushButton*> buttons;
        bool hasDefault = false;
        for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
            if (auto* button = qobject_cast<QPushButton*>(w); button && isAncestorOf(button)) {
                buttons.append(button);
                hasDefault = hasDefault || button->isDefault();
            }
        }
        const auto* focusedButton = qobject_cast<const QPushButton*>(focus);
        if (hasDefault || (focusedButton && dialogButtons::isDestructive(*focusedButton))) {
            if (QPushButton* first = dialogButtons::firstFocus(buttons))
                first->setFocus(Qt::OtherFocusReason);
        }
    }
    // Without a window manager nothing else makes the new window take the keyboard.
    activateWindow();
}

void Sheet::keyPressEvent(QKeyEvent* event) {
    if (!dialogButtons::answerReturn(*this, *event))
        QDialog::keyPressEvent(event);
}

void Sheet::done(int result) {
    QDialog::done(result);
    if (!m_dismissed) {
        m_dismissed = true;
        Q_EMIT dismissed();
    }
}

} // namespace tarnwick
