#pragma once

#include <QDateTime>
#include <QTimeZone>

namespace tarnwick::calendar {

// Whole calendar days from `from` to `to` on the local dates of `zone`: a day is from one wall
// clock time to the same time on the next date, so a 23- or 25-hour day across a daylight-saving
// change still counts as one. Negative when `to` is earlier.
qint64 wholeDaysBetween(const QDateTime& from, const QDateTime& to, const QTimeZone& zone);
// In the system's time zone.
qint64 wholeDaysBetween(const QDateTime& from, const QDateTime& to);

} // namespace tarnwick::calendar
