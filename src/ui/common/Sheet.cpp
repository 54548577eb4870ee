#include "ui/common/Sheet.h"

#include "ui/common/DialogButtons.h"
#include "ui/common/KeyboardOwner.h"
#include "ui/common/ModalFrame.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

// Asks for the whole of its content, so a sheet is as large as before unless the screen is smaller.
class SheetScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override {
        const QWidget* content = widget();
        if (!content)
            return QScrollArea::sizeHint();
        QSize whole =
            content->sizeHint().expandedTo(content->minimumSize()).boundedTo(content->maximumSize());
        // Scrolling down, the bar takes its width beside the content rather than from it.
        if (m_room.isValid() && whole.height() > m_room.height())
            whole.rwidth() += verticalScrollBar()->sizeHint().width();
        return whole;
    }
    QSize minimumSizeHint() const override {
        const QWidget* content = widget();
        const QSize whole = content ? content->minimumSizeHint().expandedTo(content->minimumSize()) : QSize();
        return m_room.isValid() ? whole.boundedTo(m_room) : whole;
    }
    // At most what the screen leaves for the sheet's content.
    void setRoom(QSize room) {
        m_room = room;
        updateGeometry();
    }

private:
    QSize m_room;
};

} // namespace

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
    m_scroll = new SheetScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setWidgetResizable(true);
    m_scroll->viewport()->setAutoFillBackground(false);
    layout()->removeWidget(m_content);
    const bool filled = m_content->autoFillBackground();
    m_scroll->setWidget(m_content); // takes it over
    m_content->setAutoFillBackground(filled);
    layout()->addWidget(m_scroll);
    m_scroll->show();
}

Sheet* Sheet::present(QWidget* window, QWidget* content) {
    auto* sheet = new Sheet(window, content);
    sheet->open();
    return sheet;
}

void Sheet::placeWithin(const QRect& available, const QMargins& decoration) {
    // Never larger than the area less the frame, whatever the content asks; the content scrolls
    // instead.
    const QSize room = available.marginsRemoved(decoration).size();
    const QSize least = m_content->minimumSizeHint().expandedTo(m_content->minimumSize());
    if (least.width() > room.width() || least.height() > room.height())
        scrollContent();
    if (m_scroll)
        static_cast<SheetScrollArea*>(m_scroll)->setRoom(room);
    layout()->activate();
    setMaximumSize(room);
    const QSize wanted = sizeHint().expandedTo(size()).boundedTo(room);
    setGeometry(modalFrame::placedWithin(QRect(geometry().topLeft(), wanted), decoration, available));
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
