#include "ui/common/KeyboardContextMenu.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>

#include <algorithm>

namespace tarnwick {

KeyboardContextMenu* KeyboardContextMenu::install(QAbstractItemView& view, Open open) {
    return new KeyboardContextMenu(view, std::move(open));
}

KeyboardContextMenu::KeyboardContextMenu(QAbstractItemView& view, Open open)
    : QObject(&view), m_view(view), m_open(std::move(open)) {
    view.installEventFilter(this);
}

void KeyboardContextMenu::openAtCurrentRow() {
    // The X11 platform sends the Menu key both as a context menu event and as a key.
    if (QApplication::activePopupWidget())
        return;
    const QModelIndex current = m_view.currentIndex();
    QPoint at(0, 0);
    if (current.isValid()) {
        m_view.scrollTo(current);
        const QRect cell = m_view.visualRect(current);
        at = QPoint(std::max(cell.left(), 0), cell.bottom());
    }
    m_open(at);
}

bool KeyboardContextMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_view)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        openAtCurrentRow();
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool menuKey = key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier;
        const bool shiftF10 = key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier;
        if (menuKey || shiftF10) {
            openAtCurrentRow();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarnwick
