#include "ui/brand/BrandStyle.h"

#include "ui/brand/FocusRing.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>

#include <algorithm>

namespace tarnwick {

namespace {

constexpr qreal cornerRadius = 4;
// What a push button grows by on each side so its label stays clear of the ring.
constexpr int ringRoom = 3;
// Where a check box's or radio button's box and label sit inside its edge, clear of the ring.
constexpr QSize toggleRoom(6, 4);

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
    // A check box or radio button: round the whole control, whose box and label sit inset for it.
    if (qobject_cast<const QAbstractButton*>(widget)) {
        paintFocusRing(*painter, QRectF(widget->rect()), cornerRadius);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void BrandStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                    QPainter* painter, const QWidget* widget) const {
    const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_Slider || !slider || !(slider->state & State_HasFocus)) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    QStyleOptionSlider rest = *slider;
    rest.state &= ~State_HasFocus;
    QProxyStyle::drawComplexControl(control, &rest, painter, widget);
    const QRect handle = subControlRect(control, slider, SC_SliderHandle, widget);
    paintFocusRing(*painter, QRectF(handle), std::min(handle.width(), handle.height()) / 2.0,
                   slider->palette.color(QPalette::Button));
}

QRect BrandStyle::subElementRect(SubElement element, const QStyleOption* option,
                                 const QWidget* widget) const {
    switch (element) {
    case SE_CheckBoxIndicator:
    case SE_CheckBoxContents:
    case SE_CheckBoxFocusRect:
    case SE_RadioButtonIndicator:
    case SE_RadioButtonContents:
    case SE_RadioButtonFocusRect:
        if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
            QStyleOptionButton inset = *button;
            inset.rect.adjust(toggleRoom.width(), toggleRoom.height(), -toggleRoom.width(),
                              -toggleRoom.height());
            return QProxyStyle::subElementRect(element, &inset, widget);
        }
        break;
    default:
        break;
    }
    return QProxyStyle::subElementRect(element, option, widget);
}

QSize BrandStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
    QSize whole = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_PushButton)
        whole += QSize(2 * ringRoom, 2 * ringRoom);
    else if (type == CT_CheckBox || type == CT_RadioButton)
        whole += 2 * toggleRoom;
    return whole;
}

} // namespace tarnwick
