#pragma once

#include "stores/AllTimeStats.h"
#include "stores/StoreFile.h"

#include <QList>

#include <functional>

#include <utility>

namespace tarnwick {

// The all-time totals ("all_time_stats.json"). Main thread only; every change re-reads the file
// under a lock, so that two processes both count.
class StatsManager {
public:
    static StatsManager& shared();

    // Loads "all_time_stats.json" from `folder` (created when missing).
    explicit StatsManager(const QString& folder);
    StatsManager(const StatsManager&) = delete;
    StatsManager& operator=(const StatsManager&) = delete;

    const AllTimeStats& stats() const { return m_stats; }

    // One project read successfully.
    void recordAnalysis(qint64 mediaFileCount, qint64 usedFileCount);
    // Several projects of one import, (media files, used files) each: the same totals, one write.
    void recordAnalyses(const QList<std::pair<qint64, qint64>>& counts);
    void recordDeletion(qint64 count, qint64 bytes);
    void recordMove(qint64 count, qint64 bytes);
    // Read, change, write as one step among processes (a lock file beside the store): `change`
    // gets the totals as the file holds them now. False when the file was not written.
    bool update(const std::function<AllTimeStats(const AllTimeStats&)>& change);

    const QString& fileName() const { return m_file.path(); }
    bool fileWasDamaged() const { return m_file.wasDamaged(); }

private:
    bool save();
    void reload();

    StoreFile m_file;
    AllTimeStats m_stats;
};

} // namespace tarnwick
