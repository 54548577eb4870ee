#include "analysis/DistinctPaths.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

TEST(DistinctPaths, KeepsEachTextOnceWhereItFirstOccursAcrossALongList) {
    // Long enough to fill the tables side by side; two spellings of one name stay two texts.
    QStringList paths;
    for (int i = 0; i < 40000; ++i)
        paths.append(QStringLiteral("/m/%1.mov").arg((i * 7) % 25000));
    paths.insert(3, QStringLiteral("/m/Cafe\u0301.mov"));
    paths.append(QStringLiteral("/m/Caf\u00e9.mov"));
    QStringList expected;
    QSet<QString> seen;
    for (const QString& path : std::as_const(paths)) {
        if (!seen.contains(path)) {
            seen.insert(path);
            expected.append(path);
        }
    }
    QStringList inOrder;
    const DistinctPaths distinct(paths, &inOrder);
    EXPECT_EQ(inOrder, expected);
    EXPECT_EQ(distinct.size(), expected.size());
    for (const QString& path : std::as_const(expected))
        ASSERT_TRUE(distinct.contains(path)) << path.toStdString();
    EXPECT_FALSE(distinct.contains(QStringLiteral("/m/25000.mov")));
    EXPECT_FALSE(DistinctPaths().contains(paths.first()));
}

} // namespace
