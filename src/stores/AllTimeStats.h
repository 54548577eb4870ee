#pragma once

#include <QDateTime>
#include <QJsonObject>

#include <optional>

namespace tarnwick {

// Running totals over the life of the installation.
struct AllTimeStats {
    qint64 filesDeleted = 0;
    qint64 filesMoved = 0;
    qint64 spaceSavedBytes = 0;
    qint64 projectsImported = 0;
    qint64 totalMediaFilesAnalyzed = 0;
    qint64 totalUsedFiles = 0;
    std::optional<QDateTime> firstUsedDate;

    // 0 before the first analysis, else whole calendar days since then, at least 1.
    qint64 daysSinceFirstUse() const;
    qint64 daysSinceFirstUse(const QDateTime& now) const;

    QJsonObject toJson() const;
    // Absent when a counter key is missing or not a whole number.
    static std::optional<AllTimeStats> fromJson(const QJsonObject& object);

    friend bool operator==(const AllTimeStats& a, const AllTimeStats& b) = default;
};

} // namespace tarnwick
