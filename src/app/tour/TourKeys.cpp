#include "app/tour/TourKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace tarnwick::tourKeys {

void press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    if (!target)
        return;
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &down);
    QApplication::sendEvent(target, &up);
}

} // namespace tarnwick::tourKeys
