#include "ui/brand/SymbolIconCanvas.h"
#include "ui/brand/SymbolIconDrawings.h"

namespace tarnwick {

using namespace glyph;

namespace {

using Table = QHash<QString, SymbolDrawing>;

constexpr auto put = putSymbolDrawing;

// A strip of film: frame, the two rails and the perforations between them.
QPainterPath filmRails(qreal top, qreal bottom, std::initializer_list<qreal> holes) {
    QPainterPath path = polyline({{7, top}, {7, bottom}});
    path.addPath(polyline({{17, top}, {17, bottom}}));
    for (const qreal y : holes) {
        path.addPath(polyline({{3, y}, {7, y}}));
        path.addPath(polyline({{17, y}, {21, y}}));
    }
    return path;
}

QPainterPath stackEdges(bool compact) {
    if (compact)
        return polyline({{5.5, 4.5}, {18.5, 4.5}});
    QPainterPath path = polyline({{5.5, 5.5}, {18.5, 5.5}});
    path.addPath(polyline({{8, 2.5}, {16, 2.5}}));
    return path;
}

QPainterPath photoScene() {
    QPainterPath path = polyline({{3.5, 17.5}, {9, 12.3}, {12.6, 15.8}});
    path.addPath(polyline({{11, 14.3}, {14.8, 10.8}, {20.5, 16.2}}));
    return path;
}

void drawPhoto(SymbolIconCanvas& c) {
    c.stroke(roundRect(3, 5, 18, 14, 2));
    c.stroke(photoScene());
    if (!c.compact())
        c.fillOnly(circle({8.3, 9.4}, 1.6));
}

void drawEye(SymbolIconCanvas& c) {
    c.stroke(eyeOutline());
    if (c.compact())
        c.fillOnly(circle({12, 12}, 2.6));
    else
        c.stroke(circle({12, 12}, 3));
}

void drawCloud(SymbolIconCanvas& c) {
    c.stroke(cloud());
}

void addFilm(Table& t) {
    put(t, "film", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(3, 4, 18, 16, 2));
        c.stroke(c.compact() ? filmRails(4, 20, {12}) : filmRails(4, 20, {8.5, 12, 15.5}));
    });
    put(t, "film.fill", [](SymbolIconCanvas& c) {
        c.fill(roundRect(3, 4, 18, 16, 2));
        c.erase(c.compact() ? filmRails(4, 20, {12}) : filmRails(4, 20, {8.5, 12, 15.5}), 0.8);
    });
    put(t, "film.stack", [](SymbolIconCanvas& c) {
        c.stroke(stackEdges(c.compact()));
        c.stroke(roundRect(3, 8.5, 18, 12.5, 2));
        c.stroke(c.compact() ? filmRails(8.5, 21, {}) : filmRails(8.5, 21, {12.7, 16.8}));
    });
    put(t, "rectangle.stack", [](SymbolIconCanvas& c) {
        c.stroke(stackEdges(c.compact()));
        c.stroke(roundRect(3, 8.5, 18, 12.5, 2));
    });
    put(t, "video.fill", [](SymbolIconCanvas& c) {
        c.fill(roundRect(2.5, 6.5, 12.5, 11, 2.2));
        c.fill(polygon({{17, 10.5}, {21.5, 7.8}, {21.5, 16.2}, {17, 13.5}}));
    });
    put(t, "play.fill", [](SymbolIconCanvas& c) { c.fill(polygon({{6.5, 4}, {19.5, 12}, {6.5, 20}})); });
    put(t, "pause.fill", [](SymbolIconCanvas& c) {
        c.fill(roundRect(5.5, 4.5, 4.5, 15, 1));
        c.fill(roundRect(14, 4.5, 4.5, 15, 1));
    });
    put(t, "arrow.up.left.and.arrow.down.right", [](SymbolIconCanvas& c) {
        QPainterPath arrows = polyline({{4.5, 4.5}, {10, 10}});
        addArrowHead(arrows, {4.5, 4.5}, {-1, -1});
        arrows.addPath(polyline({{19.5, 19.5}, {14, 14}}));
        addArrowHead(arrows, {19.5, 19.5}, {1, 1});
        c.stroke(arrows);
    });
    put(t, "speaker.slash.fill", [](SymbolIconCanvas& c) {
        c.fill(polygon({{3, 9}, {6.5, 9}, {10.5, 5}, {10.5, 19}, {6.5, 15}, {3, 15}}));
        c.stroke(polyline({{14, 9}, {20, 15}}));
        c.stroke(polyline({{20, 9}, {14, 15}}));
    });
    put(t, "speaker.wave.2.fill", [](SymbolIconCanvas& c) {
        c.fill(polygon({{3, 9}, {6.5, 9}, {10.5, 5}, {10.5, 19}, {6.5, 15}, {3, 15}}));
        QPainterPath waves = arc({10.5, 12}, 4.5, -42, 84);
        waves.addPath(arc({10.5, 12}, 8.5, -45, 90));
        c.stroke(waves);
    });
    put(t, "waveform", [](SymbolIconCanvas& c) {
        const qreal heights[] = {3, 7, 9.5, 5.5, 2.5};
        QPainterPath bars;
        for (int i = 0; i < 5; ++i)
            bars.addPath(polyline({{4 + 4.0 * i, 12 - heights[i]}, {4 + 4.0 * i, 12 + heights[i]}}));
        c.stroke(bars);
    });
    put(t, "photo", drawPhoto);
    put(t, "photo.slash", [](SymbolIconCanvas& c) {
        drawPhoto(c);
        c.slash();
    });
    put(t, "photo.badge.exclamationmark", [](SymbolIconCanvas& c) {
        drawPhoto(c);
        c.eraseFill(circle({18, 17.5}, 6.2));
        c.fill(circle({18, 17.5}, 4.5));
        c.cut(exclamationMark({18, 17.5}, 0.5));
    });
}

void addThings(Table& t) {
    put(t, "eye.fill", [](SymbolIconCanvas& c) {
        c.fill(eyeOutline());
        c.eraseFill(circle({12, 12}, 3.9));
        c.fillOnly(circle({12, 12}, 2.2));
    });
    put(t, "eye.slash", [](SymbolIconCanvas& c) {
        drawEye(c);
        c.slash();
    });
    put(t, "magnifyingglass", [](SymbolIconCanvas& c) {
        c.stroke(circle({10.3, 10.3}, 6.3));
        c.stroke(polyline({{15, 15}, {20.5, 20.5}}), 1.25);
    });
    put(t, "hourglass", [](SymbolIconCanvas& c) {
        QPainterPath glass = polyline({{6, 3}, {18, 3}});
        glass.addPath(polyline({{6, 21}, {18, 21}}));
        for (const qreal side : {1.0, -1.0}) {
            const auto x = [side](qreal dx) { return 12 + side * dx; };
            QPainterPath half = polyline({{x(4.5), 3}, {x(4.5), 5.5}});
            half.cubicTo(x(4.5), 9, x(1), 10, x(1), 12);
            half.cubicTo(x(1), 14, x(4.5), 15, x(4.5), 18.5);
            half.lineTo(x(4.5), 21);
            glass.addPath(half);
        }
        c.stroke(glass);
        c.fill(polygon({{9.6, 19.6}, {12, 17.3}, {14.4, 19.6}}));
    });
    put(t, "terminal", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(2.5, 4, 19, 16, 2.5));
        c.stroke(polyline({{7, 9}, {10, 12}, {7, 15}}));
        c.stroke(polyline({{12.5, 15}, {17, 15}}));
    });
    put(t, "link", [](SymbolIconCanvas& c) {
        QTransform turn;
        turn.translate(12, 12);
        turn.rotate(-45);
        turn.translate(-12, -12);
        QPainterPath chain = roundRect(2.5, 9, 11, 6, 3);
        chain.addPath(roundRect(10.5, 9, 11, 6, 3));
        c.stroke(turn.map(chain));
    });
    put(t, "cloud", drawCloud);
    put(t, "icloud", [](SymbolIconCanvas& c) { c.fill(cloud()); });
    put(t, "internaldrive", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(3, 5.5, 18, 13, 1.8));
        c.stroke(polyline({{3, 13.5}, {21, 13.5}}));
        if (!c.compact())
            c.fillOnly(circle({17.5, 16}, 1));
    });
    put(t, "externaldrive", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(3, 5.5, 18, 13, 1.8));
        c.fillOnly(circle({16.5, 12}, 1.3));
        if (!c.compact())
            c.stroke(polyline({{7, 12}, {11, 12}}));
    });
    put(t, "server.rack", [](SymbolIconCanvas& c) {
        c.stroke(roundRect(3, 3.5, 18, 7.5, 1.8));
        c.stroke(roundRect(3, 13, 18, 7.5, 1.8));
        c.fillOnly(circle({7, 7.25}, 1.1));
        c.fillOnly(circle({7, 16.75}, 1.1));
        if (c.compact())
            return;
        QPainterPath vents = polyline({{11, 7.25}, {17, 7.25}});
        vents.addPath(polyline({{11, 16.75}, {17, 16.75}}));
        c.stroke(vents);
    });
    put(t, "app.connected.to.app.below.fill", [](SymbolIconCanvas& c) {
        if (c.compact()) {
            c.fill(roundRect(3, 3, 9, 9, 2));
            c.fill(roundRect(12, 12, 9, 9, 2));
            return;
        }
        c.fill(roundRect(3, 3, 8, 8, 2));
        c.fill(roundRect(13, 13, 8, 8, 2));
        QPainterPath wire = polyline({{7, 11}, {7, 15}});
        wire.quadTo(7, 17, 9, 17);
        wire.lineTo(13, 17);
        c.stroke(wire);
    });
}

} // namespace

void addMediaDrawings(QHash<QString, SymbolDrawing>& table) {
    addFilm(table);
    addThings(table);
}

} // namespace tarnwick
