#pragma once

#include "analysis/EffectiveUsage.h"
#include "analysis/LowerPathCache.h"
#include "analysis/UsageAggregator.h"
#include "model/AnalysisSummary.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "model/RecycleBinItem.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <vector>

namespace tarnwick {

// What the manager's follow-ups work out on a worker for the lists an operation is about to set,
// and what they are worked out from (taken on the GUI thread): the manager takes the result
// instead of passing over every entry on the GUI thread, when it still holds for its lists.

// The summary's pass over lists an operation is about to set: an edit of them
// (ListChange::entries) takes it instead of passing over 400,000 entries on the GUI thread. Holds
// only for those very lists; anything else and the edit summarises as usual.
struct PreparedSummary {
    AnalysisSummary summary;
    std::vector<quint8> rowFlags; // the filter's facts per entry
    qint64 largeFileThreshold = 0;
    qint64 projectsVersion = -1;
    qsizetype mediaCount = -1;
    qsizetype binCount = -1;
};

// Any thread. Nothing when a review flag would change (the pass on the GUI thread sets it).
std::optional<PreparedSummary> prepareSummary(const QList<MediaFile>& media, const QList<RecycleBinItem>& bin,
                                              const QList<ProjectFile>& projects, qint64 projectsVersion,
                                              qint64 largeFileThreshold);

// What prepareSummary needs besides the lists.
struct SummaryInputs {
    QList<ProjectFile> projects;
    qint64 projectsVersion = -1;
    qint64 largeFileThreshold = 0;
    std::optional<PreparedSummary> prepare(const QList<MediaFile>& media,
                                           const QList<RecycleBinItem>& bin) const {
        return prepareSummary(media, bin, projects, projectsVersion, largeFileThreshold);
    }
};

// The recount's inputs: prepared on any thread (writing the usage fields of the list), finished
// on the GUI thread once that list is set.
struct UsageRecountInputs {
    QList<ProjectFile> projects;
    QList<SequencePolicySnapshot> snapshots; // per project, same order
    qint64 projectsVersion = 0;
    qint64 policyRevision = 0;
};

struct PreparedUsageRecount {
    qint64 projectsVersion = -1;
    qint64 policyRevision = -1;
    QHash<QUuid, int> usedCountByProjectID;
    bool anyUsed = false;
    bool needsReviewSet = false; // setNeedsReviewFlags() ran on the list too
    LowerPathCache lowerPaths;   // the keys it made, for adoptLowerPathKeys()
};

// The recount's aggregate (projects only), made before the list is final.
struct RecountAggregate {
    AggregatedUsage usage;
    LowerPathCache lowerPaths;
};

// What the rebuild works out from the projects before any file is checked.
struct RebuildPlan {
    UsageMap usage;
    QHash<QString, MediaFile> existing;
    std::vector<bool> known; // by position in `usage`: the path has an entry in `existing`
    QStringList fresh;       // paths with no entry yet, to be checked
};

} // namespace tarnwick
