#pragma once

#include "analysis/FileStatusChecking.h"
#include "analysis/ImportAggregation.h"
#include "analysis/MediaConsolidator.h"
#include "analysis/ScanPrefetch.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

// What the import's file scan works from: per position in the usage map, the entry a check made
// (by the prefetch, then by the scan itself); what the scan's own checks' stats found; the
// positions among the new paths still to check, by batch of FileStatusScan::batchSize.
class ScanPlan {
public:
    std::vector<std::optional<MediaFile>> scanned;
    MediaConsolidator::KnownFacts facts;
    QHash<qsizetype, QList<qsizetype>> unchecked;
    // Made at once when the prefetch left nothing to check.
    std::optional<QList<MediaFile>> list;

    // Takes (moves out) the prefetch's entry of each new path, found through where the usage map
    // first met the path (`projects`: the list its origins index), else by the path's key. A path
    // checked with other candidates than its final ones in `candidates`, or not checked, is left
    // to check. Runs in ranges on several threads.
    static ScanPlan fromPrefetch(const ImportAggregation::Result& aggregation,
                                 ScanPrefetch::Checked& prefetched, const QList<ProjectFile>& projects,
                                 const RelativeCandidates& candidates);

    // One table of what the checks stat'ed, by the path each stat'ed: `own` (the scan's) over the
    // prefetch's.
    static MediaConsolidator::KnownFacts
    knownFacts(const MediaConsolidator::KnownFacts& own,
               const QList<std::shared_ptr<ScanPrefetch::ProjectChecks>>& prefetched);

    // The result of a check made by the scan for the new path at `position`.
    void add(const ImportAggregation::Result& aggregation, qsizetype position,
             const FileStatusResult& result);
};

} // namespace tarnwick
