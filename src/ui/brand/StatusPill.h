#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

namespace tarnwick {

// A small capsule with an upper-cased monospaced label in its colour; `filled` adds a faint
// tint inside. Always its ideal size.
class StatusPill : public QWidget {
    Q_OBJECT
public:
    StatusPill(const QString& text, const QColor& color, bool filled, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    QColor color() const { return m_color; }
    bool filled() const { return m_filled; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    static QFont pillFont();
    // The pill's ideal size and drawing, shared with painted cells that show pills without widgets.
    static QSizeF pillSize(const QString& text);
    static void paintPill(QPainter& painter, const QRectF& rect, const QString& text, const QColor& color,
                          bool filled);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_color;
    bool m_filled = false;
};

} // namespace tarnwick
