#pragma once

#include <QAbstractButton>
#include <QColor>

namespace tarnwick {

// One page dot of the welcome guide: an 8-point circle in the middle of a square that also holds
// the ring it wears while it has the keyboard focus. Squares side by side leave the dots their
// 8 points apart.
class WelcomeDot : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int diameter = 8;
    static constexpr int side = 2 * diameter; // the dot, and half the gap on each side

    explicit WelcomeDot(QWidget* parent = nullptr);

    void setFill(const QColor& fill);
    QColor fill() const { return m_fill; }

    QSize sizeHint() const override { return {side, side}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
};

} // namespace tarnwick
