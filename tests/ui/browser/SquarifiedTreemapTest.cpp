#include "ui/browser/SquarifiedTreemap.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

MapTreemapItem item(const QString& label, qint64 bytes, int index) {
    return {label, bytes, index, 0, {}};
}

double coveredArea(const QList<MapTreemapTile>& tiles) {
    double sum = 0;
    for (const MapTreemapTile& tile : tiles)
        sum += tile.rect.width() * tile.rect.height();
    return sum;
}

TEST(SquarifiedTreemap, DegenerateInputsGiveNoTiles) {
    EXPECT_TRUE(squarifiedLayout({}, QRectF(0, 0, 100, 100)).isEmpty());
    EXPECT_TRUE(squarifiedLayout({item("a", 10, 0)}, QRectF(0, 0, 0, 100)).isEmpty());
    EXPECT_TRUE(squarifiedLayout({item("a", 10, 0)}, QRectF(0, 0, 100, 0)).isEmpty());
    EXPECT_TRUE(squarifiedLayout({item("a", 0, 0), item("b", 0, 1)}, QRectF(0, 0, 100, 100)).isEmpty());
}

TEST(SquarifiedTreemap, OneItemFillsTheRectangle) {
    const auto tiles = squarifiedLayout({item("a", 7, 0)}, QRectF(0, 0, 300, 120));
    ASSERT_EQ(tiles.size(), 1);
    EXPECT_EQ(tiles[0].rect, QRectF(0, 0, 300, 120));
}

TEST(SquarifiedTreemap, TwoEqualItemsInALandscapeRectangleSitSideBySide) {
    const auto tiles = squarifiedLayout({item("a", 5, 0), item("b", 5, 1)}, QRectF(0, 0, 200, 100));
    ASSERT_EQ(tiles.size(), 2);
    EXPECT_EQ(tiles[0].item.label, "a");
    EXPECT_EQ(tiles[0].rect, QRectF(0, 0, 100, 100));
    EXPECT_EQ(tiles[1].item.label, "b");
    EXPECT_EQ(tiles[1].rect, QRectF(100, 0, 100, 100));
}

TEST(SquarifiedTreemap, ZeroByteItemsGetNoTileAndTheRestStillCovers) {
    const QRectF rect(0, 0, 640, 360);
    const auto tiles =
        squarifiedLayout({item("z", 0, 0), item("a", 600, 1), item("b", 300, 2), item("c", 100, 3)}, rect);
    ASSERT_EQ(tiles.size(), 3);
    for (const MapTreemapTile& tile : tiles)
        EXPECT_NE(tile.item.label, "z");
    EXPECT_NEAR(coveredArea(tiles), 640.0 * 360.0, 1e-6);
    EXPECT_NEAR(tiles[0].rect.width() * tiles[0].rect.height(), 640.0 * 360.0 * 0.6, 1e-6);
}

TEST(SquarifiedTreemap, EqualBytesKeepTheirInputOrder) {
    const auto tiles = squarifiedLayout(
        {item("x", 1, 0), item("y", 1, 1), item("z", 1, 2), item("big", 9, 3)}, QRectF(0, 0, 100, 100));
    QStringList order;
    for (const MapTreemapTile& tile : tiles)
        order << tile.item.label;
    EXPECT_EQ(order, QStringList({"big", "x", "y", "z"}));
}

TEST(SquarifiedTreemap, ClassicExampleMatchesTheSquarifiedRows) {
    // The well-known 6,6,4,3,2,2,1 example in a 6 × 4 rectangle.
    QList<MapTreemapItem> items;
    const qint64 sizes[] = {6, 6, 4, 3, 2, 2, 1};
    for (int i = 0; i < 7; ++i)
        items.append(item(QString::number(i), sizes[i], i));
    const auto tiles = squarifiedLayout(items, QRectF(0, 0, 6, 4));
    ASSERT_EQ(tiles.size(), 7);
    EXPECT_EQ(tiles[0].rect, QRectF(0, 0, 3, 2));
    EXPECT_EQ(tiles[1].rect, QRectF(0, 2, 3, 2));
    EXPECT_NEAR(tiles[2].rect.x(), 3, 1e-9);
    EXPECT_NEAR(tiles[2].rect.width(), 12.0 / 7.0, 1e-9);
    EXPECT_NEAR(coveredArea(tiles), 24, 1e-9);
}

TEST(SquarifiedTreemap, WorstAspectRatioEdges) {
    EXPECT_EQ(worstAspectRatio({}, 10), std::numeric_limits<double>::max());
    EXPECT_EQ(worstAspectRatio({{item("a", 1, 0), 4}}, 0), std::numeric_limits<double>::max());
    EXPECT_DOUBLE_EQ(worstAspectRatio({{item("a", 1, 0), 4}}, 2), 1.0);
    EXPECT_TRUE(std::isinf(worstAspectRatio({{item("a", 1, 0), 4}, {item("b", 0, 1), 0}}, 2)));
}

TEST(SquarifiedTreemap, LayoutRowFillsAColumnOrAStrip) {
    QList<MapTreemapTile> tiles;
    QRectF free(0, 0, 10, 4);
    layoutRow({{item("a", 1, 0), 8}, {item("b", 1, 1), 8}}, free, tiles);
    ASSERT_EQ(tiles.size(), 2);
    EXPECT_EQ(tiles[0].rect, QRectF(0, 0, 4, 2));
    EXPECT_EQ(tiles[1].rect, QRectF(0, 2, 4, 2));
    EXPECT_EQ(free, QRectF(4, 0, 6, 4));

    QRectF portrait(0, 0, 4, 10);
    layoutRow({{item("c", 1, 2), 8}}, portrait, tiles);
    EXPECT_EQ(tiles.last().rect, QRectF(0, 0, 4, 2));
    EXPECT_EQ(portrait, QRectF(0, 2, 4, 8));

    QRectF unchanged(0, 0, 4, 4);
    layoutRow({{item("d", 0, 3), 0}}, unchanged, tiles);
    EXPECT_EQ(tiles.size(), 3);
    EXPECT_EQ(unchanged, QRectF(0, 0, 4, 4));
}

TEST(SquarifiedTreemapGrouping, KeepsSingleSmallItemsAndMergesSeveral) {
    const QList<MapTreemapItem> one{item("a", 5, 0)};
    EXPECT_EQ(groupSmallItems(one, 0.02), one);
    const QList<MapTreemapItem> zero{item("a", 0, 0), item("b", 0, 1)};
    EXPECT_EQ(groupSmallItems(zero, 0.02), zero);

    // One small item: the sorted list, nothing merged.
    auto grouped = groupSmallItems({item("s", 1, 0), item("big", 1000, 1)}, 0.02);
    ASSERT_EQ(grouped.size(), 2);
    EXPECT_EQ(grouped[0].label, "big");
    EXPECT_EQ(grouped[1].label, "s");

    // Three small ones merge into "+3 more", placed last even when larger than a kept item.
    grouped =
        groupSmallItems({item("a", 100, 0), item("s1", 1, 1), item("s2", 1, 2), item("s3", 1, 3)}, 0.02);
    ASSERT_EQ(grouped.size(), 2);
    EXPECT_EQ(grouped[1].label, "+3 more");
    EXPECT_EQ(grouped[1].bytes, 3);
    EXPECT_EQ(grouped[1].groupCount, 3);
    EXPECT_FALSE(grouped[1].payloadIndex.has_value());
    EXPECT_EQ(grouped[1].mergedPayloads, (QList<int>{1, 2, 3}));
}

TEST(SquarifiedTreemapGrouping, TheLargestItemsAreKeptWhateverTheirShare) {
    QList<MapTreemapItem> items;
    for (int i = 0; i < 30; ++i)
        items.append(item(QString::number(i), 100 - i, i));
    // Every share is below 5 %: the twelve largest stay, the other eighteen merge.
    const auto grouped = groupSmallItems(items, 0.05, 12);
    ASSERT_EQ(grouped.size(), 13);
    EXPECT_EQ(grouped[11].label, "11");
    EXPECT_EQ(grouped[12].label, "+18 more");
    EXPECT_EQ(grouped[12].mergedPayloads.size(), 18);
    EXPECT_EQ(grouped[12].mergedPayloads.first(), 12);
    // Keeping all but one small item merges nothing.
    EXPECT_EQ(groupSmallItems(items, 0.05, 29).size(), 30);
}

TEST(SquarifiedTreemapGrouping, ACappedMergeNeverOutweighsTheLargestItem) {
    QList<MapTreemapItem> items;
    for (int i = 0; i < 4; ++i)
        items.append(item(QStringLiteral("big%1").arg(i), 100, i));
    for (int i = 4; i < 34; ++i)
        items.append(item(QStringLiteral("small%1").arg(i), 10, i));
    // All thirty small ones are below 2 %, but only ten of them fit in one item of 100 bytes.
    const auto capped = groupSmallItems(items, 0.02, 0, true);
    ASSERT_EQ(capped.size(), 4 + 20 + 1);
    EXPECT_EQ(capped.last().label, "+10 more");
    EXPECT_EQ(capped.last().bytes, 100);
    EXPECT_EQ(capped.last().mergedPayloads, (QList<int>{24, 25, 26, 27, 28, 29, 30, 31, 32, 33}));
    EXPECT_EQ(groupSmallItems(items, 0.02).size(), 5); // uncapped: one block of 300
    // Items of one size: nothing fits under the largest twice over, so nothing merges.
    QList<MapTreemapItem> equal;
    for (int i = 0; i < 100; ++i)
        equal.append(item(QString::number(i), 50, i));
    EXPECT_EQ(groupSmallItems(equal, 0.5, 0, true).size(), 100);
}

TEST(SquarifiedTreemapGrouping, AShareEqualToTheThresholdIsKept) {
    // 2 of 100 bytes is exactly 2 %.
    const auto grouped =
        groupSmallItems({item("a", 96, 0), item("edge", 2, 1), item("s1", 1, 2), item("s2", 1, 3)}, 0.02);
    ASSERT_EQ(grouped.size(), 3);
    EXPECT_EQ(grouped[1].label, "edge");
    EXPECT_EQ(grouped[2].label, "+2 more");
}

TEST(SquarifiedTreemap, ManySimilarItemsAreLaidOutInLinearRows) {
    QList<MapTreemapItem> items;
    for (int i = 0; i < 20000; ++i)
        items.append(item(QString(), 1000 + i % 7, i));
    const auto tiles = squarifiedLayout(items, QRectF(0, 0, 1200, 800));
    EXPECT_EQ(tiles.size(), 20000);
    EXPECT_NEAR(coveredArea(tiles), 1200.0 * 800.0, 1e-3);
}

} // namespace
} // namespace tarnwick
