#include "ui/common/PathElision.h"
#include "ui/common/ElidedLabel.h"

#include <QFontMetricsF>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

const QChar ellipsis(0x2026);

TEST(PathElision, KeepsTheStartAndTheLastComponentWhileTheMiddleGivesWay) {
    QFont font;
    font.setPixelSize(10);
    const QFontMetricsF metrics(font);
    const QString folder = QStringLiteral("/media/editor/Shoot 2024 Harbour Promo/Media/Day 2/Card A");
    EXPECT_EQ(elidedPath(folder, metrics, 10'000), folder);

    const qreal width = metrics.horizontalAdvance(QStringLiteral("/media/editor/Shoot/Card A"));
    const QString shown = elidedPath(folder, metrics, width);
    EXPECT_LE(metrics.horizontalAdvance(shown), width);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/media/")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("/Card A")));
    EXPECT_TRUE(shown.contains(ellipsis));

    // Too narrow even for the last component: it is cut in its own middle, never dropped.
    const QString tight = elidedPath(QStringLiteral("/media/Interview Camera A Wide Shots"), metrics,
                                     metrics.horizontalAdvance(QStringLiteral("Interview Wide")));
    EXPECT_TRUE(tight.startsWith(ellipsis));
    EXPECT_TRUE(tight.endsWith(QStringLiteral("Shots")));
    EXPECT_EQ(elidedPath(QStringLiteral("NoSlashAtAllInThisName"), metrics, 30).contains(ellipsis), true);
}

TEST(ElidedLabel, ShowsTheWholeTextWithRoomAndAnElidedOneWithout) {
    ElidedLabel label(Qt::ElideMiddle);
    const QString text = QStringLiteral("Found 12 projects in Shoot 2024 Harbour Promo Client Deliverables");
    label.setText(text);
    label.resize(label.sizeHint());
    EXPECT_EQ(label.shownText(), text);
    label.resize(150, label.height());
    EXPECT_TRUE(label.shownText().startsWith(QStringLiteral("Found")));
    EXPECT_TRUE(label.shownText().endsWith(QStringLiteral("ables")));
    EXPECT_TRUE(label.shownText().contains(QChar(0x2026)));
    EXPECT_LE(label.fontMetrics().horizontalAdvance(label.shownText()), 150);
    EXPECT_EQ(label.text(), text);
    EXPECT_EQ(label.minimumSizeHint().width(), 0);
}

} // namespace
} // namespace tarnwick
