#include "stores/StatsManager.h"

#include "platform/JsonForm.h"
#include "platform/StoreFolder.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

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
    update([&](AllTimeStats stats) {
        for (const auto& [mediaFileCount, usedFileCount] : counts) {
            stats.projectsImported += 1;
            stats.totalMediaFilesAnalyzed += mediaFileCount;
            stats.totalUsedFiles += usedFileCount;
        }
        if (!stats.firstUsedDate)
            stats.firstUsedDate = QDateTime::currentDateTimeUtc();
        return stats;
    });
}

void StatsManager::recordDeletion(qint64 count, qint64 bytes) {
    update([&](AllTimeStats stats) {
        stats.filesDeleted += count;
        stats.spaceSavedBytes += bytes;
        return stats;
    });
}

void StatsManager::recordMove(qint64 count, qint64 bytes) {
    update([&](AllTimeStats stats) {
        stats.filesMoved += count;
        stats.spaceSavedBytes += bytes;
        return stats;
    });
}

bool StatsManager::update(const std::function<AllTimeStats(const AllTimeStats&)>& change) {
    QLockFile lock(m_file.path() + QStringLiteral(".lock"));
    // Taken over from a process that is gone; a live holder is waited for a while, then the
    // count goes in regardless (better than dropping it).
    lock.setStaleLockTime(0);
    lock.tryLock(10000);
    reload();
    m_stats = change(m_stats);
    return save();
}

void StatsManager::reload() {
    if (!QFile::exists(m_file.path()))
        return;
    StoreFile file(m_file.path());
    if (const auto object = file.readObject()) {
        if (const auto stats = AllTimeStats::fromJson(*object))
            m_stats = *stats;
    }
}

bool StatsManager::save() {
    return m_file.write(json::encode(m_stats.toJson()));
}

} // namespace tarnwick
