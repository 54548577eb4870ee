#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>

namespace tarnwick {

// A full-width push button with a rounded fill, drawn at 40 % opacity when disabled. The brand
// primary and secondary buttons differ only in their look (see the subclasses).
class BrandButton : public QAbstractButton {
    Q_OBJECT
public:
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The opacity of the whole button: 1.0 when enabled, 0.4 when disabled.
    qreal contentOpacity() const { return isEnabled() ? 1.0 : 0.4; }

protected:
    struct Look {
        QFont font;
        QColor labelColor;
        QColor fill;   // already at its pressed or resting opacity
        QColor border; // invalid: no border
        int horizontalPadding = 0;
        int verticalPadding = 0;
    };
    explicit BrandButton(const QString& text, QWidget* parent);
    virtual Look look() const = 0;

    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace tarnwick
