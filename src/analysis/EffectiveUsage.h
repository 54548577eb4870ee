#pragma once

#include "analysis/ShardedIndex.h"
#include "analysis/UsageAggregator.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "model/ProjectSequence.h"
#include "model/SequenceUsageAttribution.h"
#include "stores/SequencePolicySnapshot.h"
#include "stores/SequenceUsageDecision.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QVarLengthArray>

#include <utility>
#include <vector>

namespace tarnwick {

class LowerPathCache;
class SequenceUsagePolicyStore;

// A few names without repeats, in first-met order: the timeline and project names of one path are
// almost always one or two, so they live inline instead of in a hash set of their own.
using NameList = QVarLengthArray<QString, 2>;
// Appends `name` unless an equal text is already there.
void insertName(NameList& names, const QString& name);
void insertNames(NameList& names, const NameList& more);

// A timeline's policy verdict and display name, decided once per computation.
struct TimelineVerdict {
    SequenceUsageDecision decision = SequenceUsageDecision::counted;
    QString displayName;
};

// One project's usage inputs under the timeline policy, built once per computation.
struct EffectiveProjectUsage {
    QSet<QString> usedFiles;
    QSet<QString> audioOnlyFiles;
    QHash<QString, ProjectSequence> timelinesByID;
    SequencePolicySnapshot snapshot;
    QHash<QString, TimelineVerdict> verdictsByID;
    // Some path is used or has a count of 1 or more: a project without (a list of unused clips)
    // gives every path no usage without a look-up.
    bool anyUse = false;
};

// The policy's count for one path in one project.
struct EffectivePathUsage {
    qint64 usageCount = 0;
    NameList sequenceNames; // display names of the counted or protected timelines
    bool hasUnattributedUsage = false;
};

// effectivePathUsageInProject: the count plus the audio-only flag.
struct PathUsageInProject {
    qint64 usageCount = 0;
    bool isAudioOnly = false;
    NameList sequenceNames;
    bool hasUnattributedUsage = false;
};

// Usage of one lower-cased path summed over all projects (the recount's view).
struct AggregatedProjectUsage {
    qint64 usageCount = 0;
    bool isAudioOnly = false;
    NameList projectNames;
    NameList sequenceNames;
    bool hasUnattributedUsage = false;
};

// Adds `more`'s count, names and flags to `into`; audio-only stays so only while every use is.
void addUsage(AggregatedProjectUsage& into, const AggregatedProjectUsage& more);

struct AggregatedUsage {
    // The records in first-met order, found by lower-cased path: the table holds indices only, so
    // it moves little as it grows.
    ShardedIndex indexByLowerPath;
    std::vector<AggregatedProjectUsage> records;
    QHash<QUuid, int> usedCountByProjectID;
    // Per project, per media path: the index of its record (made on request), so a caller that
    // knows where an entry's path came from needs no look-up by text.
    QList<std::vector<qsizetype>> recordOfProjectPath;

    // The record of a lower-cased path, or null.
    const AggregatedProjectUsage* find(const QString& lowerPath) const;
    qsizetype size() const { return qsizetype(records.size()); }
};

// What a caller already knows of some entries' paths, at each entry's position: the path's key
// (empty when unknown) and the index of its record in the aggregate.
struct KnownPathKeys {
    QStringList lowerPaths;
    std::vector<qsizetype> records;
};

// The keys and records an aggregate made with `withRecords` already holds for the entries of
// `list`: entry i, when it still has the exact path that origins[i] points at (a project and a
// position in its media list, as the usage map first met it). Other entries stay unknown.
KnownPathKeys knownPathKeys(const QList<PathOrigin>& origins, const QList<MediaFile>& list,
                            const QList<ProjectFile>& projects, const AggregatedUsage& usage,
                            LowerPathCache& lowerPaths);

EffectiveProjectUsage effectiveProjectUsage(const ProjectFile& project,
                                            const SequenceUsagePolicyStore& policy);
// The same from a snapshot taken beforehand: needs no store, so it runs on any thread.
EffectiveProjectUsage effectiveProjectUsage(const ProjectFile& project, SequencePolicySnapshot snapshot);

// Occurrences on ignored timelines leave the count only when the attribution accounts for them;
// unattributed, unexplained or unknown-timeline occurrences always count and set the flag.
EffectivePathUsage effectivePathUsage(qint64 rawCount, const SequenceUsageAttribution* attribution,
                                      const QHash<QString, ProjectSequence>& timelinesByID,
                                      const SequencePolicySnapshot& snapshot);
// The same with the project's verdicts decided beforehand.
EffectivePathUsage effectivePathUsage(qint64 rawCount, const SequenceUsageAttribution* attribution,
                                      const EffectiveProjectUsage& project);

PathUsageInProject effectivePathUsageInProject(const QString& path, const ProjectFile& project,
                                               const EffectiveProjectUsage& usage);
// A project's contribution to the usage sum under the policy snapshot, path by path; any thread.
ProjectContribution effectiveContribution(const ProjectFile& project, SequencePolicySnapshot snapshot);
// Each project's contribution under its snapshot (`snapshots` in `projects` order, a missing one the
// default); any thread.
QList<ProjectContribution> effectiveContributions(const QList<ProjectFile>& projects,
                                                  const QList<SequencePolicySnapshot>& snapshots);

// Every project's paths, keyed lower-cased, plus each project's count of effectively used paths.
AggregatedUsage aggregateEffectiveUsage(const QList<ProjectFile>& projects,
                                        const SequenceUsagePolicyStore& policy, LowerPathCache& lowerPaths);

// The same from each project's snapshot taken beforehand (`snapshots` in `projects` order); runs on
// any thread with a cache of its own. `withRecords` fills recordOfProjectPath.
AggregatedUsage aggregateEffectiveUsage(const QList<ProjectFile>& projects,
                                        const QList<SequencePolicySnapshot>& snapshots,
                                        LowerPathCache& lowerPaths, bool withRecords = false);

// Writes each entry's usage count, project and timeline names, unattributed flag and usage type
// from the aggregate (every lower-cased path of the entry combined). True when an entry is used
// or is After Effects footage. `known`, when given, is aligned with `mediaFiles`.
bool applyAggregatedUsage(QList<MediaFile>& mediaFiles, const AggregatedUsage& usage,
                          LowerPathCache& lowerPaths, const KnownPathKeys* known = nullptr);

// The project's count of media paths with effective usage.
int effectiveUsedFileCount(const ProjectFile& project, const SequenceUsagePolicyStore& policy);

} // namespace tarnwick
