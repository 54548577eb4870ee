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
    const auto filesDeleted = json::optInt64(object, QStringLiteral("filesDeleted"));
    const auto filesMoved = json::optInt64(object, QStringLiteral("filesMoved"));
    const auto spaceSavedBytes = json::optInt64(object, QStringLiteral("spaceSavedBytes"));
    const auto projectsImported = json::optInt64(object, QStringLiteral("projectsImported"));
    const auto totalMediaFilesAnalyzed = json::optInt64(object, QStringLiteral("totalMediaFilesAnalyzed"));
    const auto totalUsedFiles = json::optInt64(object, QStringLiteral("totalUsedFiles"));
    if (!filesDeleted || !filesMoved || !spaceSavedBytes || !projectsImported || !totalMediaFilesAnalyzed ||
        !totalUsedFiles)
        return std::nullopt;
    const QJsonValue date = object.value(QStringLiteral("firstUsedDate"));
    if (!date.isUndefined() && !date.isNull() && !date.isDouble())
        return std::nullopt;

    AllTimeStats stats;
    stats.filesDeleted = *filesDeleted;
    stats.filesMoved = *filesMoved;
    stats.spaceSavedBytes = *spaceSavedBytes;
    stats.projectsImported = *projectsImported;
    stats.totalMediaFilesAnalyzed = *totalMediaFilesAnalyzed;
    stats.totalUsedFiles = *totalUsedFiles;
    stats.firstUsedDate = json::optDate(object, QStringLiteral("firstUsedDate"));
    return stats;
}

} // namespace tarnwick
