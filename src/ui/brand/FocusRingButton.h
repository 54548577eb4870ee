#pragma once

#include <QPushButton>

namespace tarnwick {

// A push button whose keyboard focus shows as the brand's focus ring, which it wears only while it
// has the focus. The style draws focus like a default button's outline (or, on a flat button, as a
// faint tint), so neither is drawn: a default button would otherwise look focused all the time.
// A prominent button is filled with the accent instead, which tells it apart at rest.
class FocusRingButton : public QPushButton {
    Q_OBJECT
public:
    explicit FocusRingButton(const QString& text, QWidget* parent = nullptr);

    void setProminent(bool prominent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarnwick
