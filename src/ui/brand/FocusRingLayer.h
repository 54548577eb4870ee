#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

namespace tarnwick {

// Makes `control` (a list, a scroll area: a focus stop whose frame the style leaves bare) wear the
// focus ring round its edge while it has the keyboard focus. The ring is drawn by a layer laid over
// the control that takes no clicks and no focus; `fill` is what the ring's inner band must read on.
class FocusRingLayer : public QWidget {
    Q_OBJECT
public:
    static FocusRingLayer* wear(QWidget& control, const QColor& fill = {}, qreal cornerRadius = 6);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    FocusRingLayer(QWidget& control, const QColor& fill, qreal cornerRadius);

    QPointer<QWidget> m_control;
    QColor m_fill;
    qreal m_radius;
};

} // namespace tarnwick
