#include "ui/brand/FocusRingButton.h"

#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace tarnwick {

namespace {
constexpr qreal cornerRadius = 4;
} // namespace

FocusRingButton::FocusRingButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void FocusRingButton::setProminent(bool prominent) {
    QPalette colors = palette();
    if (prominent) {
        colors.setColor(QPalette::Button, Color::brandAccent());
        colors.setColor(QPalette::ButtonText, Color::brandBackground());
    } else {
        colors = QPalette();
    }
    setPalette(colors);
    update();
}

void FocusRingButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    option.features &= ~QStyleOptionButton::DefaultButton;
    painter.drawControl(QStyle::CE_PushButton, option);
    if (hasFocus())
        paintFocusRing(painter, QRectF(rect()), cornerRadius, palette().color(QPalette::Button));
}

} // namespace tarnwick
