#include "platform/CalendarDays.h"

namespace tarnwick::calendar {

qint64 wholeDaysBetween(const QDateTime& from, const QDateTime& to, const QTimeZone& zone) {
    const QDateTime start = from.toTimeZone(zone);
    const QDateTime end = to.toTimeZone(zone);
    qint64 days = start.date().daysTo(end.date());
    // addDays keeps the wall clock time, so the step back corrects a partial last day.
    if (days > 0 && start.addDays(days) > end)
        --days;
    else if (days < 0 && start.addDays(days) < end)
        ++days;
    return days;
}

qint64 wholeDaysBetween(const QDateTime& from, const QDateTime& to) {
    return wholeDaysBetween(from, to, QTimeZone::systemTimeZone());
}

} // namespace tarnwick::calendar
