#include "ui/brand/SymbolIconCanvas.h"

#include <QPainter>
#include <QTransform>

#include <cmath>

namespace tarnwick {

SymbolIconCanvas::SymbolIconCanvas(QPainter& painter, qreal line, bool compact)
    : m_painter(painter), m_line(line), m_compact(compact) {}

void SymbolIconCanvas::stroke(const QPainterPath& path, qreal weight) {
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.strokePath(path, QPen(Qt::black, m_line * weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void SymbolIconCanvas::fill(const QPainterPath& path) {
    fillOnly(path);
    stroke(path);
}

void SymbolIconCanvas::fillOnly(const QPainterPath& path) {
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.fillPath(path, Qt::black);
}

void SymbolIconCanvas::erase(const QPainterPath& path, qreal weight) {
    m_painter.setCompositionMode(QPainter::CompositionMode_Clear);
    m_painter.strokePath(path, QPen(Qt::black, m_line * weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void SymbolIconCanvas::eraseFill(const QPainterPath& path) {
    m_painter.setCompositionMode(QPainter::CompositionMode_Clear);
    m_painter.fillPath(path, Qt::black);
}

void SymbolIconCanvas::draw(const SymbolMark& mark) {
    stroke(mark.lines);
    fillOnly(mark.dots);
}

void SymbolIconCanvas::cut(const SymbolMark& mark) {
    erase(mark.lines);
    eraseFill(mark.dots);
}

void SymbolIconCanvas::slash() {
    const QPainterPath bar = glyph::polyline({{4, 3.5}, {20, 20.5}});
    // Too small for a gap to read: the bar alone.
    if (!m_compact)
        erase(bar, 3.2);
    stroke(bar);
}

namespace glyph {

namespace {

QPointF rotated(QPointF v, qreal degrees) {
    const qreal a = qDegreesToRadians(degrees);
    return {v.x() * std::cos(a) - v.y() * std::sin(a), v.x() * std::sin(a) + v.y() * std::cos(a)};
}

QPointF unit(QPointF v) {
    const qreal length = std::hypot(v.x(), v.y());
    return length > 0 ? v / length : v;
}

// Builds a mark from points given around (0, 0) at scale 1.
QPointF at(QPointF centre, qreal scale, qreal x, qreal y) {
    return centre + QPointF(x, y) * scale;
}

} // namespace

QPainterPath circle(QPointF centre, qreal radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath roundRect(qreal x, qreal y, qreal w, qreal h, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), radius, radius);
    return path;
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& point : points) {
        first ? path.moveTo(point) : path.lineTo(point);
        first = false;
    }
    return path;
}

QPainterPath polygon(std::initializer_list<QPointF> points) {
    QPainterPath path = polyline(points);
    path.closeSubpath();
    return path;
}

QPainterPath arc(QPointF centre, qreal radius, qreal startDegrees, qreal sweepDegrees) {
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath path;
    path.arcMoveTo(box, startDegrees);
    path.arcTo(box, startDegrees, sweepDegrees);
    return path;
}

void addArrowHead(QPainterPath& path, QPointF tip, QPointF direction, qreal length) {
    const QPointF back = -unit(direction) * length;
    path.moveTo(tip + rotated(back, 42));
    path.lineTo(tip);
    path.lineTo(tip + rotated(back, -42));
}

QPainterPath sparkle(QPointF c, qreal r) {
    const qreal k = r * 0.16;
    QPainterPath path;
    path.moveTo(c.x(), c.y() - r);
    path.quadTo(c.x() + k, c.y() - k, c.x() + r, c.y());
    path.quadTo(c.x() + k, c.y() + k, c.x(), c.y() + r);
    path.quadTo(c.x() - k, c.y() + k, c.x() - r, c.y());
    path.quadTo(c.x() - k, c.y() - k, c.x(), c.y() - r);
    path.closeSubpath();
    return path;
}

QPainterPath star(QPointF centre, qreal outer, qreal inner) {
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 == 0 ? outer : inner;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point = centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
        i == 0 ? path.moveTo(point) : path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QPainterPath folder() {
    QPainterPath path;
    path.moveTo(3, 17.5);
    path.lineTo(3, 6.8);
    path.quadTo(3, 5, 4.8, 5);
    path.lineTo(9.2, 5);
    path.lineTo(11.2, 7.2);
    path.lineTo(19.2, 7.2);
    path.quadTo(21, 7.2, 21, 9);
    path.lineTo(21, 17.5);
    path.quadTo(21, 19.5, 19, 19.5);
    path.lineTo(5, 19.5);
    path.quadTo(3, 19.5, 3, 17.5);
    path.closeSubpath();
    return path;
}

QPainterPath document() {
    QPainterPath path;
    path.moveTo(5, 4.8);
    path.quadTo(5, 3, 6.8, 3);
    path.lineTo(14, 3);
    path.lineTo(19, 8);
    path.lineTo(19, 19.2);
    path.quadTo(19, 21, 17.2, 21);
    path.lineTo(6.8, 21);
    path.quadTo(5, 21, 5, 19.2);
    path.closeSubpath();
    return path;
}

QPainterPath documentFold() {
    QPainterPath path;
    path.moveTo(14, 3);
    path.lineTo(14, 6.5);
    path.quadTo(14, 8, 15.5, 8);
    path.lineTo(19, 8);
    return path;
}

QPainterPath shield() {
    QPainterPath path;
    path.moveTo(12, 2.8);
    path.lineTo(19.5, 5.6);
    path.lineTo(19.5, 11);
    path.cubicTo(19.5, 15.8, 16.3, 19.3, 12, 21.2);
    path.cubicTo(7.7, 19.3, 4.5, 15.8, 4.5, 11);
    path.lineTo(4.5, 5.6);
    path.closeSubpath();
    return path;
}

QPainterPath cloud() {
    QPainterPath path = circle({8, 14.5}, 4.5);
    path = path.united(circle({13, 10.5}, 5.5));
    path = path.united(circle({17, 14.5}, 4.5));
    QPainterPath base;
    base.addRect(QRectF(8, 13, 9, 6));
    return path.united(base).simplified();
}

QPainterPath gear(QPointF centre, qreal scale) {
    QPainterPath path = circle(centre, 6.6 * scale);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-1.7, -9.6, 3.4, 5), 0.8, 0.8);
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.scale(scale, scale);
        turn.rotate(i * 45.0);
        path = path.united(turn.map(tooth));
    }
    return path.simplified();
}

QPainterPath eyeOutline() {
    QPainterPath path;
    path.moveTo(2.5, 12);
    path.cubicTo(5.5, 7, 9, 5.5, 12, 5.5);
    path.cubicTo(15, 5.5, 18.5, 7, 21.5, 12);
    path.cubicTo(18.5, 17, 15, 18.5, 12, 18.5);
    path.cubicTo(9, 18.5, 5.5, 17, 2.5, 12);
    path.closeSubpath();
    return path;
}

SymbolMark checkMark(QPointF c, qreal s) {
    return {polyline({at(c, s, -4, 0.2), at(c, s, -1.2, 3), at(c, s, 4.2, -3)}), {}};
}

SymbolMark crossMark(QPointF c, qreal s) {
    QPainterPath lines = polyline({at(c, s, -3.3, -3.3), at(c, s, 3.3, 3.3)});
    lines.moveTo(at(c, s, 3.3, -3.3));
    lines.lineTo(at(c, s, -3.3, 3.3));
    return {lines, {}};
}

SymbolMark minusMark(QPointF c, qreal s) {
    return {polyline({at(c, s, -4.2, 0), at(c, s, 4.2, 0)}), {}};
}

SymbolMark plusMark(QPointF c, qreal s) {
    QPainterPath lines = minusMark(c, s).lines;
    lines.moveTo(at(c, s, 0, -4.2));
    lines.lineTo(at(c, s, 0, 4.2));
    return {lines, {}};
}

SymbolMark exclamationMark(QPointF c, qreal s) {
    return {polyline({at(c, s, 0, -5), at(c, s, 0, 1)}), circle(at(c, s, 0, 4.4), 1.2 * s)};
}

SymbolMark questionMark(QPointF c, qreal s) {
    QPainterPath lines;
    const QRectF bow(at(c, s, -3, -6.2), QSizeF(6, 6) * s);
    lines.arcMoveTo(bow, 165);
    lines.arcTo(bow, 165, -225);
    lines.quadTo(at(c, s, 0, 0), at(c, s, 0, 1.4));
    return {lines, circle(at(c, s, 0, 4.6), 1.2 * s)};
}

} // namespace glyph

} // namespace tarnwick
