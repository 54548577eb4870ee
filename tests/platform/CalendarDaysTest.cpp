#include "platform/CalendarDays.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

QDateTime at(const QTimeZone& zone, int y, int mo, int d, int h, int mi = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), zone);
}

TEST(CalendarDays, CountsWholeLocalDaysAcrossDaylightSavingChanges) {
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    const struct {
        QDateTime from;
        QDateTime to;
        qint64 days;
    } cases[] = {
        // 23 hours from Saturday noon to Sunday noon when clocks go forward: one day.
        {at(berlin, 2026, 3, 28, 12), at(berlin, 2026, 3, 29, 12), 1},
        {at(berlin, 2026, 3, 28, 12), at(berlin, 2026, 3, 29, 11, 59), 0},
        // 25 hours when clocks go back: still one day, and 24 hours is not yet one.
        {at(berlin, 2026, 10, 24, 12), at(berlin, 2026, 10, 25, 12), 1},
        {at(berlin, 2026, 10, 24, 12), at(berlin, 2026, 10, 24, 12).addSecs(24 * 3600), 0},
        {at(berlin, 2026, 1, 1, 23, 30), at(berlin, 2026, 1, 2, 0, 30), 0},
        {at(berlin, 2026, 1, 1, 8), at(berlin, 2026, 12, 31, 8), 364},
        {at(berlin, 2026, 1, 3, 8), at(berlin, 2026, 1, 1, 9), -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(calendar::wholeDaysBetween(c.from, c.to, berlin), c.days)
            << c.from.toString(Qt::ISODate).toStdString() << " -> "
            << c.to.toString(Qt::ISODate).toStdString();
}

TEST(CalendarDays, UsesTheGivenZoneNotTheDatesOwn) {
    const QTimeZone tokyo("Asia/Tokyo");
    const QDateTime from(QDate(2026, 6, 1), QTime(14, 0), Qt::UTC); // 23:00 in Tokyo
    EXPECT_EQ(calendar::wholeDaysBetween(from, from.addSecs(3600 * 20), tokyo), 0);
    EXPECT_EQ(calendar::wholeDaysBetween(from, from.addSecs(3600 * 24), tokyo), 1);
}

} // namespace
} // namespace tarnwick
