#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <initializer_list>

class QPainter;

namespace tarnwick {

// A mark drawn inside another shape (check, cross, exclamation…): its strokes and its round dots.
struct SymbolMark {
    QPainterPath lines;
    QPainterPath dots;
};

// Paints symbol drawings on a 24×24 grid in one opaque ink; the icon tints the result afterwards,
// so erasing (knocking a mark out of a filled shape) leaves real transparency.
class SymbolIconCanvas {
public:
    // `compact` when painted so small that fine detail only blurs.
    SymbolIconCanvas(QPainter& painter, qreal line, bool compact = false);

    qreal line() const { return m_line; }
    bool compact() const { return m_compact; }

    void stroke(const QPainterPath& path, qreal weight = 1.0);
    // The inside and the outline, so a filled shape keeps its outlined twin's size.
    void fill(const QPainterPath& path);
    void fillOnly(const QPainterPath& path);
    void erase(const QPainterPath& path, qreal weight = 1.0);
    void eraseFill(const QPainterPath& path);

    void draw(const SymbolMark& mark);
    void cut(const SymbolMark& mark);
    // The bar across a crossed-out symbol, with a clear gap on both sides.
    void slash();

private:
    QPainter& m_painter;
    qreal m_line;
    bool m_compact;
};

namespace glyph {

QPainterPath circle(QPointF centre, qreal radius);
QPainterPath roundRect(qreal x, qreal y, qreal w, qreal h, qreal radius);
QPainterPath polyline(std::initializer_list<QPointF> points);
QPainterPath polygon(std::initializer_list<QPointF> points);
QPainterPath arc(QPointF centre, qreal radius, qreal startDegrees, qreal sweepDegrees);
// Two barbs ending at `tip`, pointing along `direction`.
void addArrowHead(QPainterPath& path, QPointF tip, QPointF direction, qreal length = 3.5);
// A four-pointed sparkle with concave sides.
QPainterPath sparkle(QPointF centre, qreal radius);
QPainterPath star(QPointF centre, qreal outer, qreal inner);

QPainterPath folder();
QPainterPath document();
QPainterPath documentFold();
QPainterPath shield();
QPainterPath cloud();
QPainterPath gear(QPointF centre, qreal scale);
QPainterPath eyeOutline();

// Marks fitted to a box of about 11 units at scale 1.
SymbolMark checkMark(QPointF centre, qreal scale = 1.0);
SymbolMark crossMark(QPointF centre, qreal scale = 1.0);
SymbolMark minusMark(QPointF centre, qreal scale = 1.0);
SymbolMark plusMark(QPointF centre, qreal scale = 1.0);
SymbolMark exclamationMark(QPointF centre, qreal scale = 1.0);
SymbolMark questionMark(QPointF centre, qreal scale = 1.0);

} // namespace glyph

} // namespace tarnwick
