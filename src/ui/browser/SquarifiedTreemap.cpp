#include "ui/browser/SquarifiedTreemap.h"

#include <algorithm>
#include <limits>

namespace tarnwick {
namespace {

QList<MapTreemapItem> sortedLargestFirst(QList<MapTreemapItem> items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const MapTreemapItem& a, const MapTreemapItem& b) { return a.bytes > b.bytes; });
    return items;
}

double totalBytes(const QList<MapTreemapItem>& items) {
    double total = 0;
    for (const MapTreemapItem& item : items)
        total += static_cast<double>(item.bytes);
    return total;
}

double areaSum(const QList<MapTreemapArea>& row) {
    double sum = 0;
    for (const MapTreemapArea& pair : row)
        sum += pair.area;
    return sum;
}

} // namespace

QList<MapTreemapItem> groupSmallItems(const QList<MapTreemapItem>& items, double threshold, int keepLargest,
                                      bool capAtLargest) {
    if (items.size() < 2)
        return items;
    const double total = totalBytes(items);
    if (!(total > 0))
        return items;
    const QList<MapTreemapItem> sorted = sortedLargestFirst(items);
    // Largest first, so the small items are a tail of the list.
    qsizetype firstSmall = sorted.size();
    while (firstSmall > std::max<qsizetype>(keepLargest, 0) &&
           static_cast<double>(sorted[firstSmall - 1].bytes) / total < threshold)
        --firstSmall;
    if (capAtLargest) {
        qint64 merged = 0;
        qsizetype from = sorted.size();
        while (from > firstSmall && merged + sorted[from - 1].bytes <= sorted.first().bytes)
            merged += sorted[--from].bytes;
        firstSmall = from;
    }
    if (sorted.size() - firstSmall < 2)
        return sorted;
    const QList<MapTreemapItem> small = sorted.mid(firstSmall);
    QList<MapTreemapItem> kept = sorted.mid(0, firstSmall);
    MapTreemapItem merged;
    merged.label = QStringLiteral("+%1 more").arg(small.size());
    for (const MapTreemapItem& item : small) {
        merged.bytes += item.bytes;
        if (item.payloadIndex)
            merged.mergedPayloads.append(*item.payloadIndex);
        merged.mergedPayloads.append(item.mergedPayloads);
    }
    merged.groupCount = int(small.size());
    kept.append(merged);
    return kept;
}

namespace {

// The worst ratio from a row's running sum and extreme areas, so a growing row costs O(1) a step.
double worstRatio(double s, double maxArea, double minArea, double side) {
    constexpr double largest = std::numeric_limits<double>::max();
    if (!(side > 0) || !(s > 0))
        return largest;
    const double side2 = side * side;
    const double s2 = s * s;
    // A zero area divides to infinity, so it never joins a row of positive areas.
    return std::max(side2 * maxArea / s2, s2 / (side2 * minArea));
}

} // namespace

double worstAspectRatio(const QList<MapTreemapArea>& row, double side) {
    if (row.isEmpty())
        return std::numeric_limits<double>::max();
    double maxArea = row.first().area;
    double minArea = row.first().area;
    for (const MapTreemapArea& pair : row) {
        maxArea = std::max(maxArea, pair.area);
        minArea = std::min(minArea, pair.area);
    }
    return worstRatio(areaSum(row), maxArea, minArea, side);
}

void layoutRow(const QList<MapTreemapArea>& row, QRectF& free, QList<MapTreemapTile>& tiles) {
    const double s = areaSum(row);
    if (row.isEmpty() || !(s > 0))
        return;
    if (free.height() <= free.width()) {
        const double columnWidth = s / free.height();
        double y = free.top();
        for (const MapTreemapArea& pair : row) {
            const double height = pair.area / columnWidth;
            tiles.append({pair.item, QRectF(free.left(), y, columnWidth, height)});
            y += height;
        }
        free = QRectF(free.left() + columnWidth, free.top(), free.width() - columnWidth, free.height());
    } else {
        const double stripHeight = s / free.width();
        double x = free.left();
        for (const MapTreemapArea& pair : row) {
            const double width = pair.area / stripHeight;
            tiles.append({pair.item, QRectF(x, free.top(), width, stripHeight)});
            x += width;
        }
        free = QRectF(free.left(), free.top() + stripHeight, free.width(), free.height() - stripHeight);
    }
}

QList<MapTreemapTile> squarifiedLayout(const QList<MapTreemapItem>& items, const QRectF& rect) {
    if (items.isEmpty() || !(rect.width() > 0) || !(rect.height() > 0))
        return {};
    const QList<MapTreemapItem> sorted = sortedLargestFirst(items);
    const double total = totalBytes(sorted);
    if (!(total > 0))
        return {};
    const double fullArea = rect.width() * rect.height();
    QList<MapTreemapArea> pending;
    pending.reserve(sorted.size());
    for (const MapTreemapItem& item : sorted)
        pending.append({item, fullArea * (static_cast<double>(item.bytes) / total)});

    QRectF free = rect;
    QList<MapTreemapArea> row;
    double rowSum = 0, rowMax = 0, rowMin = 0;
    QList<MapTreemapTile> tiles;
    qsizetype next = 0;
    while (next < pending.size()) {
        const double side = std::min(free.width(), free.height());
        const double area = pending[next].area;
        const double candidateSum = rowSum + area;
        const double candidateMax = row.isEmpty() ? area : std::max(rowMax, area);
        const double candidateMin = row.isEmpty() ? area : std::min(rowMin, area);
        // A NaN comparison also completes the row.
        if (!row.isEmpty() && !(worstRatio(candidateSum, candidateMax, candidateMin, side) <=
                                worstRatio(rowSum, rowMax, rowMin, side))) {
            layoutRow(row, free, tiles);
            row.clear();
            rowSum = 0;
            continue;
        }
        row.append(pending[next]);
        rowSum = candidateSum;
        rowMax = candidateMax;
        rowMin = candidateMin;
        ++next;
        if (next == pending.size())
            layoutRow(row, free, tiles);
    }
    return tiles;
}

} // namespace tarnwick
