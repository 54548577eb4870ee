#include "ui/brand/FocusRingLayer.h"

#include "ui/brand/FocusRing.h"

#include <QEvent>
#include <QPainter>

namespace tarnwick {

FocusRingLayer* FocusRingLayer::wear(QWidget& control, const QColor& fill, qreal cornerRadius) {
    return new FocusRingLayer(control, fill, cornerRadius);
}

FocusRingLayer::FocusRingLayer(QWidget& control, const QColor& fill, qreal cornerRadius)
    : QWidget(&control), m_control(&control), m_fill(fill), m_radius(cornerRadius) {
    setObjectName(QStringLiteral("focusRingLayer"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(control.rect());
    control.installEventFilter(this);
    show();
    raise();
}

bool FocusRingLayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_control) {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(m_control->rect());
            break;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::ChildAdded: // a scroll area's new viewport or bar would lie over the ring
            raise();
            update();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRingLayer::paintEvent(QPaintEvent*) {
    if (!m_control || !m_control->hasFocus())
        return;
    QPainter painter(this);
    paintFocusRing(painter, QRectF(rect()), m_radius, m_fill);
}

} // namespace tarnwick
