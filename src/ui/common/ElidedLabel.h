#pragma once

#include <QLabel>

namespace tarnwick {

// A one-line plain-text label that paints its whole text when there is room and an elided one
// otherwise, never a clipped one. text() stays the whole text; its size hint asks for all of it,
// and it may be made as narrow as its layout needs.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    // The text as painted at the current width.
    QString shownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textArea() const;

    Qt::TextElideMode m_mode;
};

} // namespace tarnwick
