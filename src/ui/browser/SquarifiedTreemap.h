#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <optional>

namespace tarnwick {

// One weighted entry of the storage map before layout.
struct MapTreemapItem {
    QString label;
    qint64 bytes = 0;
    std::optional<int> payloadIndex; // index in the caller's list; absent for a merged item
    int groupCount = 0;              // items merged into this one
    QList<int> mergedPayloads;       // the payload indices of the items merged into this one

    friend bool operator==(const MapTreemapItem&, const MapTreemapItem&) = default;
};

struct MapTreemapTile {
    MapTreemapItem item;
    QRectF rect;
};

// An item with the area it will cover, while a row is being built.
struct MapTreemapArea {
    MapTreemapItem item;
    double area = 0;
};

// Merges the items whose share of the total is below `threshold` into one "+N more" item, placed
// last; a single small item is kept as it is, and so are the `keepLargest` largest items. With
// `capAtLargest` the merged item never outweighs the largest item: the smallest merge first and
// the rest keep their tiles, so items of similar size never vanish into one block.
QList<MapTreemapItem> groupSmallItems(const QList<MapTreemapItem>& items, double threshold,
                                      int keepLargest = 0, bool capAtLargest = false);

// Squarified layout: tiles whose areas are proportional to the bytes and exactly cover `rect`.
// Items of 0 bytes get no tile.
QList<MapTreemapTile> squarifiedLayout(const QList<MapTreemapItem>& items, const QRectF& rect);

// The worst aspect ratio of a row laid along a side of the given length.
double worstAspectRatio(const QList<MapTreemapArea>& row, double side);

// Lays a finished row along the short side of `free`, appends its tiles and shrinks `free`.
void layoutRow(const QList<MapTreemapArea>& row, QRectF& free, QList<MapTreemapTile>& tiles);

} // namespace tarnwick
