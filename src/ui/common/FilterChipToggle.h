#pragma once

#include <QAbstractButton>

namespace tarnwick {

// A toggle drawn as a chip: violet fill and dark semibold text when on, dark surface and warm
// grey text when off. Clicking flips it.
class FilterChipToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit FilterChipToggle(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

} // namespace tarnwick
