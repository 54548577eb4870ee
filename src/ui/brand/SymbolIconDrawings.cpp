#include "ui/brand/SymbolIconDrawings.h"

#include "ui/brand/SymbolIconCanvas.h"

#include <QHash>

#include <algorithm>

namespace tarnwick {

using namespace glyph;

namespace {

using Table = QHash<QString, SymbolDrawing>;

constexpr auto put = putSymbolDrawing;

const QPointF kMiddle(12, 12);

// Where a badge sits on a folder.
const QPointF kBadge(18, 17.5);

void addMarks(Table& t) {
    put(t, "circle", [](SymbolIconCanvas& c) { c.stroke(circle(kMiddle, 9)); });
    put(t, "checkmark.circle", [](SymbolIconCanvas& c) {
        c.stroke(circle(kMiddle, 9));
        c.draw(checkMark(kMiddle));
    });
    put(t, "checkmark.circle.fill", [](SymbolIconCanvas& c) {
        c.fill(circle(kMiddle, 9));
        c.cut(checkMark(kMiddle));
    });
    put(t, "xmark.circle", [](SymbolIconCanvas& c) {
        c.stroke(circle(kMiddle, 9));
        c.draw(crossMark(kMiddle));
    });
    put(t, "xmark.circle.fill", [](SymbolIconCanvas& c) {
        c.fill(circle(kMiddle, 9));
        c.cut(crossMark(kMiddle));
    });
    put(t, "minus.circle.fill", [](SymbolIconCanvas& c) {
        c.fill(circle(kMiddle, 9));
        c.cut(minusMark(kMiddle));
    });
    put(t, "play.circle.fill", [](SymbolIconCanvas& c) {
        c.fill(circle(kMiddle, 9));
        const QPainterPath play = polygon({{10, 8.2}, {16.2, 12}, {10, 15.8}});
        c.eraseFill(play);
        c.erase(play, 0.6);
    });
    put(t, "stop.circle", [](SymbolIconCanvas& c) {
        c.stroke(circle(kMiddle, 9));
        c.fillOnly(roundRect(8.6, 8.6, 6.8, 6.8, 1.2));
    });
    put(t, "plus", [](SymbolIconCanvas& c) { c.draw(plusMark(kMiddle, 1.75)); });
    put(t, "exclamationmark.triangle", [](SymbolIconCanvas& c) {
        c.stroke(polygon({{12, 3.5}, {21, 19.5}, {3, 19.5}}));
        c.draw(exclamationMark({12, 14}, 0.72));
    });
    put(t, "exclamationmark.triangle.fill", [](SymbolIconCanvas& c) {
        c.fill(polygon({{12, 3.5}, {21, 19.5}, {3, 19.5}}));
        c.cut(exclamationMark({12, 14}, 0.72));
    });
    put(t, "star", [](SymbolIconCanvas& c) { c.stroke(star({12, 12.6}, 9, 3.9)); });
    put(t, "star.fill", [](SymbolIconCanvas& c) { c.fill(star({12, 12.6}, 9, 3.9)); });
    put(t, "sparkles", [](SymbolIconCanvas& c) {
        c.fill(sparkle({10, 13.5}, 7.5));
        c.fill(sparkle({18.5, 5.5}, 3.2));
        c.fill(sparkle({19, 17.5}, 2.2));
    });
    put(t, "wand.and.stars", [](SymbolIconCanvas& c) {
        c.stroke(polyline({{4, 20}, {14.5, 9.5}}), 1.3);
        c.fill(sparkle({18, 6}, 3.6));
        c.fill(sparkle({9, 4.5}, 2));
        c.fill(sparkle({19.5, 14.5}, 2));
    });
}

void addShields(Table& t) {
    put(t, "shield", [](SymbolIconCanvas& c) { c.stroke(shield()); });
    put(t, "shield.fill", [](SymbolIconCanvas& c) { c.fill(shield()); });
    put(t, "checkmark.shield.fill", [](SymbolIconCanvas& c) {
        c.fill(shield());
        c.cut(checkMark({12, 11.8}, 0.85));
    });
    put(t, "exclamationmark.shield.fill", [](SymbolIconCanvas& c) {
        c.fill(shield());
        c.cut(exclamationMark({12, 11.6}, 0.85));
    });
    put(t, "lock.shield", [](SymbolIconCanvas& c) {
        c.stroke(shield());
        c.fillOnly(roundRect(8.8, 11, 6.4, 5.2, 1));
        c.stroke(arc({12, 11}, 1.9, 180, -180), 0.8);
    });
    put(t, "lock.fill", [](SymbolIconCanvas& c) {
        QPainterPath shackle = polyline({{8, 11}, {8, 8}});
        shackle.arcTo(QRectF(8, 4, 8, 8), 180, -180);
        shackle.lineTo(16, 11);
        c.stroke(shackle);
        c.fill(roundRect(5, 11, 14, 10, 2));
        c.eraseFill(circle({12, 15.2}, 1.4));
        c.erase(polyline({{12, 15.5}, {12, 17.6}}), 0.9);
    });
    put(t, "lock.open", [](SymbolIconCanvas& c) {
        QPainterPath shackle = polyline({{16, 11}, {16, 7.5}});
        shackle.arcTo(QRectF(8, 3.5, 8, 8), 0, 180);
        shackle.lineTo(8, 8.3);
        c.stroke(shackle);
        c.stroke(roundRect(5, 11, 14, 10, 2));
        c.fillOnly(circle({12, 15.6}, 1.4));
    });
}

void addDocuments(Table& t) {
    put(t, "doc", [](SymbolIconCanvas& c) {
        c.stroke(document());
        c.stroke(documentFold());
    });
    put(t, "doc.text", [](SymbolIconCanvas& c) {
        c.stroke(document());
        c.stroke(documentFold());
        QPainterPath text = polyline({{8.5, 11}, {15.5, 11}});
        text.addPath(polyline({{8.5, 14.5}, {15.5, 14.5}}));
        if (!c.compact())
            text.addPath(polyline({{8.5, 18}, {12.5, 18}}));
        c.stroke(text);
    });
    put(t, "doc.questionmark", [](SymbolIconCanvas& c) {
        c.stroke(document());
        c.stroke(documentFold());
        c.draw(questionMark({12, 14}, 0.7));
    });
    put(t, "arrow.down.doc", [](SymbolIconCanvas& c) {
        c.stroke(document());
        c.stroke(documentFold());
        QPainterPath arrow = polyline({{12, 10.5}, {12, 17.5}});
        addArrowHead(arrow, {12, 17.5}, {0, 1}, 3.2);
        c.stroke(arrow);
    });
    put(t, "arrow.down.doc.fill", [](SymbolIconCanvas& c) {
        c.fill(document());
        c.erase(documentFold(), 0.8);
        QPainterPath arrow = polyline({{12, 10.5}, {12, 17.5}});
        addArrowHead(arrow, {12, 17.5}, {0, 1}, 3.2);
        c.erase(arrow);
    });
    put(t, "doc.on.doc", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(4, 3, 11, 14, 2));
        c.eraseFill(roundRect(7.6, 6, 13.8, 16.5, 3));
        c.stroke(roundRect(9, 7, 11, 14, 2));
    });
    put(t, "doc.on.doc.fill", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(4, 3, 11, 14, 2));
        c.eraseFill(roundRect(7.6, 6, 13.8, 16.5, 3));
        c.fill(roundRect(9, 7, 11, 14, 2));
    });
    put(t, "text.quote", [](SymbolIconCanvas& c) {
        c.stroke(polyline({{4.5, 5.5}, {4.5, 18.5}}), 1.3);
        QPainterPath text = polyline({{9, 7}, {19.5, 7}});
        text.addPath(polyline({{9, 12}, {19.5, 12}}));
        text.addPath(polyline({{9, 17}, {15.5, 17}}));
        c.stroke(text);
    });
    put(t, "envelope", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(2.5, 5, 19, 14, 2.2));
        c.stroke(polyline({{3.5, 6.5}, {12, 13}, {20.5, 6.5}}));
    });
    put(t, "calendar", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(3, 4.5, 18, 16.5, 2.2));
        c.stroke(polyline({{3, 9.5}, {21, 9.5}}));
        QPainterPath rings = polyline({{8, 2.5}, {8, 6.5}});
        rings.addPath(polyline({{16, 2.5}, {16, 6.5}}));
        c.stroke(rings);
        if (c.compact())
            return;
        for (const QPointF day :
             {QPointF(8, 13.5), QPointF(12, 13.5), QPointF(16, 13.5), QPointF(8, 17), QPointF(12, 17)})
            c.fillOnly(circle(day, 1.1));
    });
}

void drawTrash(SymbolIconCanvas& c) {
    c.stroke(polyline({{3.5, 6.5}, {20.5, 6.5}}));
    QPainterPath handle = polyline({{9, 6.5}, {9, 4.8}});
    handle.quadTo(9, 3.5, 10.3, 3.5);
    handle.lineTo(13.7, 3.5);
    handle.quadTo(15, 3.5, 15, 4.8);
    handle.lineTo(15, 6.5);
    c.stroke(handle);
    QPainterPath body = polyline({{5.8, 6.5}, {6.9, 19.3}});
    body.quadTo(7.05, 21, 8.8, 21);
    body.lineTo(15.2, 21);
    body.quadTo(16.95, 21, 17.1, 19.3);
    body.lineTo(18.2, 6.5);
    body.addPath(polyline({{10, 10.5}, {10, 17}}));
    body.addPath(polyline({{14, 10.5}, {14, 17}}));
    c.stroke(body);
}

void addFolders(Table& t) {
    put(t, "folder", [](SymbolIconCanvas& c) {
        c.stroke(folder());
        c.stroke(polyline({{3, 10}, {21, 10}}));
    });
    put(t, "folder.fill", [](SymbolIconCanvas& c) { c.fill(folder()); });
    put(t, "questionmark.folder", [](SymbolIconCanvas& c) {
        c.stroke(folder());
        c.draw(questionMark({12, 13.3}, 0.6));
    });
    put(t, "folder.badge.plus", [](SymbolIconCanvas& c) {
        c.stroke(folder());
        c.eraseFill(circle(kBadge, 5.6));
        c.draw(plusMark(kBadge, 0.85));
    });
    put(t, "folder.badge.questionmark", [](SymbolIconCanvas& c) {
        c.stroke(folder());
        c.eraseFill(circle(kBadge, 5.6));
        c.draw(questionMark(kBadge, 0.55));
    });
    put(t, "folder.badge.gearshape", [](SymbolIconCanvas& c) {
        c.stroke(folder());
        const QPointF badge(17.2, 16.8);
        c.eraseFill(circle(badge, 6));
        c.stroke(gear(badge, 0.5));
    });
    put(t, "gearshape", [](SymbolIconCanvas& c) {
        if (c.compact()) {
            c.fill(gear(kMiddle, 1));
            c.eraseFill(circle(kMiddle, 3.2));
            return;
        }
        c.stroke(gear(kMiddle, 1));
        c.stroke(circle(kMiddle, 2.8));
    });
    put(t, "trash", drawTrash);
    put(t, "trash.slash", [](SymbolIconCanvas& c) {
        drawTrash(c);
        c.slash();
    });
}

const Table& drawings() {
    static const Table table = [] {
        Table t;
        addMarks(t);
        addShields(t);
        addDocuments(t);
        addFolders(t);
        addMediaDrawings(t);
        addArrowDrawings(t);
        return t;
    }();
    return table;
}

} // namespace

void putSymbolDrawing(QHash<QString, SymbolDrawing>& table, const char* name, SymbolDrawing drawing) {
    const QString key = QString::fromLatin1(name);
    Q_ASSERT_X(!table.contains(key), "symbol drawings", name);
    table.insert(key, drawing);
}

SymbolDrawing findSymbolDrawing(const QString& symbolName) {
    return drawings().value(symbolName);
}

QStringList drawnSymbolNames() {
    QStringList names = drawings().keys();
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace tarnwick
