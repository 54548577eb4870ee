#include "ui/brand/BrandButton.h"

#include "ui/brand/FocusRing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {
constexpr qreal cornerRadius = 6;
constexpr int iconSpacing = 6;
} // namespace

BrandButton::BrandButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
}

QSize BrandButton::sizeHint() const {
    const Look l = look();
    const QFontMetrics metrics(l.font);
    int width = metrics.size(Qt::TextShowMnemonic, text()).width() + 2 * l.horizontalPadding;
    int height = metrics.height();
    if (!icon().isNull()) {
        width += iconSize().width() + iconSpacing;
        height = std::max(height, iconSize().height());
    }
    return {width, height + 2 * l.verticalPadding};
}

QSize BrandButton::minimumSizeHint() const {
    return sizeHint();
}

void BrandButton::paintEvent(QPaintEvent*) {
    const Look l = look();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(contentOpacity());
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(outer, cornerRadius, cornerRadius);
    painter.fillPath(shape, l.fill);
    if (l.border.isValid()) {
        painter.setPen(QPen(l.border, 1));
        painter.drawPath(shape);
    }
    if (hasFocus())
        paintFocusRing(painter, QRectF(rect()), cornerRadius, l.fill);

    const QFontMetrics metrics(l.font);
    // A mnemonic's ampersand underlines its letter rather than showing.
    const int textWidth = metrics.size(Qt::TextShowMnemonic, text()).width();
    const bool hasIcon = !icon().isNull();
    const int contentWidth = textWidth + (hasIcon ? iconSize().width() + iconSpacing : 0);
    int x = (width() - contentWidth) / 2;
    if (hasIcon) {
        const QRect iconRect(x, (height() - iconSize().height()) / 2, iconSize().width(),
                             iconSize().height());
        icon().paint(&painter, iconRect);
        x += iconSize().width() + iconSpacing;
    }
    painter.setFont(l.font);
    painter.setPen(l.labelColor);
    painter.drawText(QRect(x, 0, textWidth + 1, height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
}

} // namespace tarnwick
