#include "ui/common/OverlayHost.h"

#include <QEvent>

namespace tarnwick {

OverlayHost::OverlayHost(QWidget* window) : QObject(window), m_window(window) {
    window->installEventFilter(this);
}

void OverlayHost::setOverlay(QWidget* overlay) {
    if (m_overlay && m_overlay != overlay)
        m_overlay->deleteLater();
    m_overlay = overlay;
    if (!overlay || !m_window)
        return;
    overlay->setParent(m_window);
    overlay->setAttribute(Qt::WA_NoMousePropagation);
    fit();
    overlay->show();
    overlay->raise();
}

bool OverlayHost::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded))
        fit();
    return QObject::eventFilter(watched, event);
}

void OverlayHost::fit() {
    if (!m_overlay || !m_window)
        return;
    m_overlay->setGeometry(m_window->rect());
    m_overlay->raise();
}

} // namespace tarnwick
