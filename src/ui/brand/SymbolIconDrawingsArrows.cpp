#include "ui/brand/SymbolIconCanvas.h"
#include "ui/brand/SymbolIconDrawings.h"

#include <cmath>

namespace tarnwick {

using namespace glyph;

namespace {

using Table = QHash<QString, SymbolDrawing>;

constexpr auto put = putSymbolDrawing;

// The direction of travel at `degrees` along a circle walked clockwise on screen.
QPointF clockwiseTangent(qreal degrees) {
    const qreal a = qDegreesToRadians(degrees);
    return {std::sin(a), std::cos(a)};
}

QPointF onCircle(QPointF centre, qreal radius, qreal degrees) {
    const qreal a = qDegreesToRadians(degrees);
    return centre + QPointF(std::cos(a), -std::sin(a)) * radius;
}

// An arc walked clockwise from `start` through `sweep` degrees, with its head at the end.
QPainterPath arcArrow(QPointF centre, qreal radius, qreal start, qreal sweep) {
    QPainterPath path = arc(centre, radius, start, -sweep);
    addArrowHead(path, onCircle(centre, radius, start - sweep), clockwiseTangent(start - sweep), 3.4);
    return path;
}

QPainterPath straightArrow(QPointF from, QPointF to, qreal head = 3.5) {
    QPainterPath path = polyline({from, to});
    addArrowHead(path, to, to - from, head);
    return path;
}

QPainterPath openBox() {
    QPainterPath path = polyline({{8.5, 9.5}, {6.8, 9.5}});
    path.quadTo(5, 9.5, 5, 11.3);
    path.lineTo(5, 19.2);
    path.quadTo(5, 21, 6.8, 21);
    path.lineTo(17.2, 21);
    path.quadTo(19, 21, 19, 19.2);
    path.lineTo(19, 11.3);
    path.quadTo(19, 9.5, 17.2, 9.5);
    path.lineTo(15.5, 9.5);
    return path;
}

void addArrows(Table& t) {
    // Chevrons are drawn bold: they are often the only mark of a small control.
    put(t, "chevron.left", [](SymbolIconCanvas& c) {
        c.stroke(polyline({{15, 4.5}, {7.5, 12}, {15, 19.5}}), 1.35);
    });
    put(t, "chevron.right", [](SymbolIconCanvas& c) {
        c.stroke(polyline({{9, 4.5}, {16.5, 12}, {9, 19.5}}), 1.35);
    });
    put(t, "arrow.right", [](SymbolIconCanvas& c) { c.stroke(straightArrow({4, 12}, {20, 12}, 6.5)); });
    put(t, "arrow.clockwise", [](SymbolIconCanvas& c) { c.stroke(arcArrow({12, 12.8}, 7.6, 45, 315)); });
    put(t, "arrow.triangle.2.circlepath", [](SymbolIconCanvas& c) {
        QPainterPath both = arcArrow(QPointF(12, 12), 7.8, 165, 135);
        both.addPath(arcArrow(QPointF(12, 12), 7.8, -15, 135));
        c.stroke(both);
    });
    put(t, "arrow.3.trianglepath", [](SymbolIconCanvas& c) {
        const QPointF corners[] = {{12, 3.5}, {21, 19}, {3, 19}};
        QPainterPath sides;
        for (int i = 0; i < 3; ++i) {
            const QPointF a = corners[i];
            const QPointF b = corners[(i + 1) % 3];
            sides.addPath(straightArrow(a + (b - a) * 0.2, a + (b - a) * 0.8, 3.2));
        }
        c.stroke(sides);
    });
    put(t, "arrow.triangle.merge", [](SymbolIconCanvas& c) {
        QPainterPath path = polyline({{6, 20.5}, {6, 16}});
        path.cubicTo(6, 12.5, 12, 12, 12, 8.5);
        path.moveTo(18, 20.5);
        path.lineTo(18, 16);
        path.cubicTo(18, 12.5, 12, 12, 12, 8.5);
        path.addPath(straightArrow({12, 8.5}, {12, 3.5}));
        c.stroke(path);
    });
    put(t, "arrow.trianglehead.swap", [](SymbolIconCanvas& c) {
        QPainterPath path = straightArrow({4, 8}, {20, 8});
        path.addPath(straightArrow({20, 16}, {4, 16}));
        c.stroke(path);
    });
    put(t, "arrow.turn.down.right", [](SymbolIconCanvas& c) {
        QPainterPath path = polyline({{5.5, 3.5}, {5.5, 10.5}});
        path.quadTo(5.5, 15, 10, 15);
        path.lineTo(19.5, 15);
        addArrowHead(path, {19.5, 15}, {1, 0}, 4.2);
        c.stroke(path);
    });
    put(t, "arrow.uturn.backward", [](SymbolIconCanvas& c) {
        QPainterPath path = polyline({{8.5, 5}, {4, 9.5}, {8.5, 14}});
        path.moveTo(4, 9.5);
        path.lineTo(14, 9.5);
        path.cubicTo(17.3, 9.5, 20, 12, 20, 15);
        path.cubicTo(20, 18, 17.3, 20.5, 14, 20.5);
        path.lineTo(10, 20.5);
        c.stroke(path);
    });
    put(t, "square.and.arrow.up", [](SymbolIconCanvas& c) {
        c.stroke(openBox());
        c.stroke(straightArrow({12, 15}, {12, 3}));
    });
    put(t, "square.and.arrow.down", [](SymbolIconCanvas& c) {
        c.stroke(openBox());
        c.stroke(straightArrow({12, 3}, {12, 15}));
    });
}

QPainterPath barOutlines() {
    QPainterPath bars = roundRect(3.5, 12, 4.5, 8.5, 1);
    bars.addPath(roundRect(9.75, 4, 4.5, 16.5, 1));
    bars.addPath(roundRect(16, 8.5, 4.5, 12, 1));
    return bars;
}

QPainterPath listRows(qreal textLeft, qreal textRight, std::initializer_list<qreal> rows) {
    QPainterPath path;
    for (const qreal y : rows)
        path.addPath(polyline({{textLeft, y}, {textRight, y}}));
    return path;
}

void addCharts(Table& t) {
    put(t, "chart.bar", [](SymbolIconCanvas& c) { c.stroke(barOutlines()); });
    put(t, "chart.bar.fill", [](SymbolIconCanvas& c) { c.fill(barOutlines()); });
    put(t, "chart.bar.xaxis", [](SymbolIconCanvas& c) {
        c.stroke(polyline({{3, 20.5}, {21, 20.5}}));
        QPainterPath bars = polyline({{7, 17}, {7, 11}});
        bars.addPath(polyline({{12, 17}, {12, 4.5}}));
        bars.addPath(polyline({{17, 17}, {17, 8.5}}));
        c.stroke(bars, 1.8);
    });
    put(t, "chart.pie", [](SymbolIconCanvas& c) {
        c.stroke(circle({12, 12}, 9));
        QPainterPath slice;
        slice.moveTo(12, 12);
        slice.lineTo(12, 3);
        slice.arcTo(QRectF(3, 3, 18, 18), 90, -120);
        slice.closeSubpath();
        c.fill(slice);
    });
    put(t, "list.bullet.rectangle", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(2.5, 4, 19, 16, 2.5));
        if (c.compact()) {
            c.stroke(listRows(7, 17, {9, 15}));
            return;
        }
        c.stroke(listRows(10, 17.5, {8.5, 12, 15.5}));
        for (const qreal y : {8.5, 12.0, 15.5})
            c.fillOnly(circle({6.8, y}, 1.05));
    });
    put(t, "list.bullet.rectangle.portrait", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(4.5, 2.5, 15, 19, 2.5));
        if (c.compact()) {
            c.stroke(listRows(8.5, 15.5, {9.5, 14.5}));
            return;
        }
        c.stroke(listRows(11.2, 16, {8, 12, 16}));
        for (const qreal y : {8.0, 12.0, 16.0})
            c.fillOnly(circle({8.3, y}, 1.05));
    });
    put(t, "line.3.horizontal.decrease", [](SymbolIconCanvas& c) {
        QPainterPath lines = polyline({{4, 7}, {20, 7}});
        lines.addPath(polyline({{7, 12}, {17, 12}}));
        lines.addPath(polyline({{10, 17}, {14, 17}}));
        c.stroke(lines);
    });
    put(t, "wind", [](SymbolIconCanvas& c) {
        // Three gusts, the outer two curling back over their ends.
        QPainterPath gusts = polyline({{3, 8.5}, {14.5, 8.5}});
        gusts.cubicTo(17, 8.5, 18, 6.4, 17, 5);
        gusts.cubicTo(16, 3.7, 13.8, 4, 13.4, 5.6);
        gusts.moveTo(3, 12.5);
        gusts.lineTo(18, 12.5);
        gusts.cubicTo(20.6, 12.5, 21.6, 10, 20.4, 8.8);
        gusts.moveTo(3, 16.5);
        gusts.lineTo(12.5, 16.5);
        gusts.cubicTo(15, 16.5, 16, 18.6, 15, 20);
        gusts.cubicTo(14, 21.3, 11.8, 21, 11.4, 19.4);
        c.stroke(gusts);
    });
    put(t, "square.grid.2x2", [](SymbolIconCanvas& c) {
        for (const qreal x : {3.5, 13.5})
            for (const qreal y : {3.5, 13.5})
                c.stroke(roundRect(x, y, 7, 7, 1.8));
    });
}

} // namespace

void addArrowDrawings(QHash<QString, SymbolDrawing>& table) {
    addArrows(table);
    addCharts(table);
}

} // namespace tarnwick
