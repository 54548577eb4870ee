#include "stores/AllTimeStats.h"

#include "platform/CalendarDays.h"
#include "platform/JsonForm.h"

#include <algorithm>

namespace tarnwick {

qint64 AllTimeStats::daysSinceFirstUse() const {
    return daysSinceFirstUse(QDateTime::currentDateTime());
}

qint64 AllTimeStats::daysSinceFirstUse(const QDateTime& now) const {
    if (!firstUsedDate)
        return 0;
    return std::max<qint64>(1, calendar::wholeDaysBetween(*firstUsedDate, now));
}

QJsonObject AllTimeStats::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("filesDeleted"), filesDeleted);
    object.insert(QStringLiteral("filesMoved"), filesMoved);
    object.insert(QStringLiteral("spaceSavedBytes"), spaceSavedBytes);
    object.insert(QStringLiteral("projectsImported"), projectsImported);
    object.insert(QStringLiteral("totalMediaFilesAnalyzed"), totalMediaFilesAnalyzed);
    object.insert(QStringLiteral("totalUsedFiles"), totalUsedFiles);
    if (firstUsedDate)
        object.insert(QStringLiteral("firstUsedDate"), json::fromDate(*firstUsedDate));
    return object;
}

std::optional<AllTimeStats> AllTimeStats::fromJson(const QJsonObject& object) {
    json::Fields fields(object);
    AllTimeStats stats;
    stats.filesDeleted = fields.int64(QStringLiteral("filesDeleted"));
    stats.filesMoved = fields.int64(QStringLiteral("filesMoved"));
    stats.spaceSavedBytes = fields.int64(QStringLiteral("spaceSavedBytes"));
    stats.projectsImported = fields.int64(QStringLiteral("projectsImported"));
    stats.totalMediaFilesAnalyzed = fields.int64(QStringLiteral("totalMediaFilesAnalyzed"));
    stats.totalUsedFiles = fields.int64(QStringLiteral("totalUsedFiles"));
    stats.firstUsedDate = fields.optionalDate(QStringLiteral("firstUsedDate"));
    if (!fields.ok())
        return std::nullopt;
    return stats;
}

} // namespace tarnwick
