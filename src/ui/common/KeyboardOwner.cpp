#include "ui/common/KeyboardOwner.h"

#include "ui/common/DialogButtons.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

#include <algorithm>

namespace tarnwick {

KeyboardOwner::KeyboardOwner(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

KeyboardOwner::~KeyboardOwner() {
    qApp->removeEventFilter(this);
}

void KeyboardOwner::setOwner(QWidget* owner, Keys keys) {
    if (m_owner == owner)
        return;
    m_owner = owner;
    m_keys = std::move(keys);
    if (owner && owner->isVisible())
        takeFocus();
}

QWidget* KeyboardOwner::coveredWindow() const {
    if (!m_owner || !m_owner->isVisible())
        return nullptr;
    if (!m_owner->isWindow())
        return m_owner->window();
    return m_owner->parentWidget() ? m_owner->parentWidget()->window() : nullptr;
}

bool KeyboardOwner::inCoveredWindow(const QObject* watched) const {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    const QWidget* covered = coveredWindow();
    return covered && widget && widget->window() == covered;
}

bool KeyboardOwner::isInsideOwner(const QObject* watched) const {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    return widget && m_owner && (widget == m_owner || m_owner->isAncestorOf(widget));
}

QList<QWidget*> KeyboardOwner::controls() const {
    QList<QWidget*> found;
    for (QWidget* w = m_owner->nextInFocusChain(); w && w != m_owner; w = w->nextInFocusChain()) {
        if (isInsideOwner(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(m_owner) &&
            w->isEnabled())
            found.append(w);
    }
    return found;
}

void KeyboardOwner::takeFocus(Qt::FocusReason reason) {
    const QList<QWidget*> candidates = controls();
    QWidget* target = nullptr;
    if (!candidates.isEmpty() && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
        // Tabbing out of one end comes back in at the other.
        target = reason == Qt::TabFocusReason ? candidates.first() : candidates.last();
    } else if (candidates.contains(m_owner->focusWidget())) {
        target = m_owner->focusWidget();
    } else {
        QList<QPushButton*> buttons;
        for (QWidget* candidate : candidates) {
            if (auto* button = qobject_cast<QPushButton*>(candidate))
                buttons.append(button);
        }
        if (std::any_of(buttons.cbegin(), buttons.cend(),
                        [](const QPushButton* b) { return b->isDefault(); }))
            target = dialogButtons::firstFocus(buttons);
        if (!target && !candidates.isEmpty())
            target = candidates.first();
    }
    if (!target) {
        m_owner->setFocusPolicy(Qt::StrongFocus);
        target = m_owner;
    }
    // The owner is worked from the keyboard, so its focus shows from the start.
    m_owner->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    if (m_owner->isWindow())
        m_owner->activateWindow();
    target->setFocus(reason);
}

bool KeyboardOwner::handleKey(QKeyEvent& key) {
    if (m_owner->isWindow())
        return false;
    if (m_keys && m_keys(key))
        return true;
    // The focused button first (a page dot too), as in a dialog; the default only while no other
    // has the focus.
    if (dialogButtons::answerReturn(*m_owner, key))
        return true;
    if ((key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && key.modifiers() == Qt::NoModifier) {
        const auto buttons = m_owner->findChildren<QPushButton*>();
        for (QPushButton* button : buttons) {
            if (button->isDefault() && !dialogButtons::isDestructive(*button) &&
                button->isVisibleTo(m_owner) && button->isEnabled()) {
                button->click();
                return true;
            }
        }
    }
    return false;
}

bool KeyboardOwner::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        const bool behind = inCoveredWindow(watched) && !isInsideOwner(watched);
        const bool layer = m_owner && !m_owner->isWindow() && isInsideOwner(watched);
        // Quitting stays possible; every other shortcut waits until the owner is gone.
        if (!(behind || layer) || static_cast<QKeyEvent*>(event)->matches(QKeySequence::Quit))
            break;
        event->accept();
        return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (inCoveredWindow(watched) && !isInsideOwner(watched)) {
            // Landed behind the owner (focus was left there): the owner gets it.
            QWidget* target = m_owner->focusWidget();
            if (!isInsideOwner(target) || !target->isVisible())
                target = m_owner;
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                           ushort(key->count()));
            QApplication::sendEvent(target, &copy);
            return true;
        }
        if (isInsideOwner(watched) && !m_owner->isWindow()) {
            if (event->type() == QEvent::KeyPress && handleKey(*key))
                return true;
            // Keys the layer's controls leave alone stop at the layer.
            return watched == m_owner.data();
        }
        break;
    }
    case QEvent::WindowActivate:
        // A click on the blocked window behind a dialog makes the window manager activate it, and
        // the keyboard would stay there, where it reaches nothing: the dialog takes it back.
        if (m_owner && m_owner->isWindow() && watched == coveredWindow()) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_owner && m_owner->isVisible() && QApplication::activeWindow() != m_owner) {
                        m_owner->raise();
                        m_owner->activateWindow();
                    }
                },
                Qt::QueuedConnection);
        }
        break;
    case QEvent::FocusIn:
        // A dialog is a window of its own, which the window system keeps active.
        if (inCoveredWindow(watched) && !isInsideOwner(watched) && !m_owner->isWindow()) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            QMetaObject::invokeMethod(
                this,
                [this, reason] {
                    if (m_owner && m_owner->isVisible() && !isInsideOwner(QApplication::focusWidget()))
                        takeFocus(reason);
                },
                Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarnwick
