#include "ui/brand/BrandStyle.h"

#include "ui/brand/FocusRing.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace tarnwick {

namespace {

constexpr qreal cornerRadius = 4;
// What a push button grows by on each side so its label stays clear of the ring.
constexpr int ringRoom = 3;

} // namespace

BrandStyle::BrandStyle(QStyle* base)
    : QProxyStyle(base ? base : QStyleFactory::create(QStringLiteral("Fusion"))) {}

void BrandStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element != CE_PushButton || !button || !(button->state & State_HasFocus)) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionButton rest = *button;
    rest.state &= ~State_HasFocus;
    QProxyStyle::drawControl(element, &rest, painter, widget);
    paintFocusRing(*painter, QRectF(button->rect), cornerRadius, button->palette.color(QPalette::Button));
}

void BrandStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
    if (element != PE_FrameFocusRect) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // A style sheet's push button asks for its focus round its label only: the ring goes round the
    // whole button instead.
    if (qobject_cast<const QPushButton*>(widget)) {
        paintFocusRing(*painter, QRectF(widget->rect()), cornerRadius,
                       widget->palette().color(QPalette::Button));
        return;
    }
    if (qobject_cast<const QAbstractButton*>(widget)) {
        const QRect round = option->rect.adjusted(-ringRoom - 2, -ringRoom, ringRoom + 2, ringRoom);
        paintFocusRing(*painter, QRectF(round.intersected(widget->rect())), cornerRadius);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QSize BrandStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
    QSize whole = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_PushButton)
        whole += QSize(2 * ringRoom, 2 * ringRoom);
    return whole;
}

} // namespace tarnwick
