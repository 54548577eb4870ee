#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QWidget>

namespace tarnwick {

// The soft shadow under a floating card: a sibling just below it, blurred once per card size and
// then painted as a picture. A live blur effect renders the card and blurs it again at each repaint
// of anything on it (the import's spinner kept the GUI thread busy most of the time).
class CardShadow : public QWidget {
    Q_OBJECT
public:
    static constexpr int blurRadius = 40;
    static constexpr qreal cornerRadius = 16;

    // Follows `card` (moves, resizes, shows, hides); `card` must have a parent.
    CardShadow(QWidget* card, QPointF offset, const QColor& color);

    // A rounded rectangle of `size` in `color`, blurred, with `blurRadius` of room on every side.
    static QImage shadowImage(QSize size, const QColor& color);
    const QImage& image() const { return m_image; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    QPointer<QWidget> m_card;
    QPoint m_offset;
    QColor m_color;
    QImage m_image;
};

} // namespace tarnwick
