#pragma once

#include <QProxyStyle>

namespace tarnwick {

// The application's style: Fusion, with the brand's focus ring round push buttons, check boxes and
// radio buttons in place of Fusion's dark outline (which hardly shows on a dark window, and which a
// style sheet's button draws hugging its label), and room enough in each to keep its label clear of
// that ring; and round a slider's handle, where Fusion shows no focus at all.
class BrandStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit BrandStyle(QStyle* base = nullptr);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget = nullptr) const override;
};

} // namespace tarnwick
