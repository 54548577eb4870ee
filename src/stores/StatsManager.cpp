#include "stores/StatsManager.h"

#include "platform/JsonForm.h"
#include "platform/StoreFolder.h"

#include <QDir>

namespace tarnwick {

StatsManager& StatsManager::shared() {
    static StatsManager instance(storeFolder());
    return instance;
}

StatsManager::StatsManager(const QString& folder)
    : m_file(QDir(folder).filePath(QStringLiteral("all_time_stats.json"))) {
    QDir().mkpath(folder);
    const auto object = m_file.readObject();
    if (!object)
        return;
    if (const auto stats = AllTimeStats::fromJson(*object))
        m_stats = *stats;
    else
        m_file.markDamaged();
}

void StatsManager::recordAnalysis(qint64 mediaFileCount, qint64 usedFileCount) {
    recordAnalyses({{mediaFileCount, usedFileCount}});
}

void StatsManager::recordAnalyses(const QList<std::pair<qint64, qint64>>& counts) {
    if (counts.isEmpty())
        return;
    for (const auto& [mediaFileCount, usedFileCount] : counts) {
        m_stats.projectsImported += 1;
        m_stats.totalMediaFilesAnalyzed += mediaFileCount;
        m_stats.totalUsedFiles += usedFileCount;
    }
    if (!m_stats.firstUsedDate)
        m_stats.firstUsedDate = QDateTime::currentDateTimeUtc();
    save();
}

void StatsManager::recordDeletion(qint64 count, qint64 bytes) {
    m_stats.filesDeleted += count;
    m_stats.spaceSavedBytes += bytes;
    save();
}

void StatsManager::recordMove(qint64 count, qint64 bytes) {
    m_stats.filesMoved += count;
    m_stats.spaceSavedBytes += bytes;
    save();
}

void StatsManager::recordTranscode(qint64 bytes) {
    m_stats.spaceSavedBytes += bytes;
    save();
}

bool StatsManager::setStats(const AllTimeStats& stats) {
    m_stats = stats;
    return save();
}

bool StatsManager::save() {
    return m_file.write(json::encode(m_stats.toJson()));
}

} // namespace tarnwick
