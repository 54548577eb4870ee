#include "analysis/EffectiveUsage.h"

#include "analysis/LowerPathCache.h"
#include "stores/SequenceUsagePolicyStore.h"

#include <algorithm>

namespace tarnwick {

namespace {

// `verdictFor(id)` gives the timeline's verdict, or null when the project does not list it.
template <class VerdictFor>
EffectivePathUsage computeEffectiveUsage(qint64 rawCount, const SequenceUsageAttribution* attribution,
                                         bool hasTimelines, VerdictFor verdictFor) {
    const qint64 raw = std::max<qint64>(rawCount, 0);
    if (!attribution)
        return {raw, {}, rawCount > 0};
    const qint64 unattributed = attribution->unattributedOccurrences;
    EffectivePathUsage result;
    qint64 counted = std::max<qint64>(unattributed, 0);
    qint64 unlisted = 0;
    for (auto it = attribution->occurrencesBySequenceID.cbegin();
         it != attribution->occurrencesBySequenceID.cend(); ++it) {
        if (it.value() < 1)
            continue;
        const TimelineVerdict* verdict = hasTimelines ? verdictFor(it.key()) : nullptr;
        if (!verdict) {
            unlisted += it.value();
            continue;
        }
        if (verdict->decision == SequenceUsageDecision::ignored)
            continue;
        counted += it.value();
        insertName(result.sequenceNames, verdict->displayName);
    }
    const qint64 total = attribution->totalOccurrences() + unattributed;
    const qint64 missing = raw - total;
    const bool overAttributed = rawCount > 0 && raw < total;
    result.usageCount = counted + unlisted + std::max<qint64>(missing, 0);
    if (overAttributed)
        result.usageCount = std::max<qint64>(result.usageCount, 1);
    result.hasUnattributedUsage = unattributed > 0 || unlisted >= 1 || missing > 0 || overAttributed;
    return result;
}

} // namespace

void insertName(NameList& names, const QString& name) {
    if (std::find(names.cbegin(), names.cend(), name) == names.cend())
        names.append(name);
}

void insertNames(NameList& names, const NameList& more) {
    for (const QString& name : more)
        insertName(names, name);
}

EffectiveProjectUsage effectiveProjectUsage(const ProjectFile& project,
                                            const SequenceUsagePolicyStore& policy) {
    EffectiveProjectUsage usage;
    usage.usedFiles = QSet<QString>(project.usedFiles.cbegin(), project.usedFiles.cend());
    usage.audioOnlyFiles = QSet<QString>(project.audioOnlyFiles.cbegin(), project.audioOnlyFiles.cend());
    usage.snapshot = policy.snapshot(project.url);
    for (const ProjectSequence& timeline : project.sequences) {
        // The first record wins when a project repeats an identifier.
        if (usage.timelinesByID.contains(timeline.id))
            continue;
        usage.timelinesByID.insert(timeline.id, timeline);
        usage.verdictsByID.insert(
            timeline.id, {SequenceUsagePolicyStore::decision(timeline.id, timeline.name, usage.snapshot),
                          timeline.displayName()});
    }
    return usage;
}

EffectivePathUsage effectivePathUsage(qint64 rawCount, const SequenceUsageAttribution* attribution,
                                      const QHash<QString, ProjectSequence>& timelinesByID,
                                      const SequencePolicySnapshot& snapshot) {
    TimelineVerdict scratch;
    return computeEffectiveUsage(
        rawCount, attribution, !timelinesByID.isEmpty(), [&](const QString& id) -> const TimelineVerdict* {
            const auto found = timelinesByID.constFind(id);
            if (found == timelinesByID.cend())
                return nullptr;
            scratch = {SequenceUsagePolicyStore::decision(found->id, found->name, snapshot),
                       found->displayName()};
            return &scratch;
        });
}

EffectivePathUsage effectivePathUsage(qint64 rawCount, const SequenceUsageAttribution* attribution,
                                      const EffectiveProjectUsage& project) {
    return computeEffectiveUsage(rawCount, attribution, !project.timelinesByID.isEmpty(),
                                 [&](const QString& id) -> const TimelineVerdict* {
                                     const auto found = project.verdictsByID.constFind(id);
                                     return found == project.verdictsByID.cend() ? nullptr : &found.value();
                                 });
}

PathUsageInProject effectivePathUsageInProject(const QString& path, const ProjectFile& project,
                                               const EffectiveProjectUsage& usage) {
    const bool inUse = usage.usedFiles.contains(path);
    const auto raw = project.usageCountByPath.constFind(path);
    const bool hasRaw = raw != project.usageCountByPath.cend();
    if (!((hasRaw && raw.value() >= 1) || inUse))
        return {};
    const qint64 n = hasRaw && raw.value() >= 1 ? raw.value() : 1;
    const auto attribution = project.sequenceUsageByPath.constFind(path);
    const EffectivePathUsage effective = effectivePathUsage(
        n, attribution == project.sequenceUsageByPath.cend() ? nullptr : &attribution.value(), usage);
    if (effective.usageCount < 1)
        return {};
    return {effective.usageCount, usage.audioOnlyFiles.contains(path), effective.sequenceNames,
            effective.hasUnattributedUsage};
}

AggregatedUsage aggregateEffectiveUsage(const QList<ProjectFile>& projects,
                                        const SequenceUsagePolicyStore& policy, LowerPathCache& lowerPaths) {
    AggregatedUsage result;
    qsizetype pathCount = 0;
    for (const ProjectFile& project : projects)
        pathCount += project.mediaFiles.size();
    result.byLowerPath.reserve(pathCount);
    for (const ProjectFile& project : projects) {
        const EffectiveProjectUsage usage = effectiveProjectUsage(project, policy);
        const QStringList& lowered = lowerPaths.projectPaths(project);
        int used = 0;
        for (qsizetype i = 0; i < project.mediaFiles.size(); ++i) {
            const PathUsageInProject u = effectivePathUsageInProject(project.mediaFiles[i], project, usage);
            AggregatedProjectUsage& record = result.byLowerPath[lowered[i]];
            if (u.usageCount > 0) {
                ++used;
                record.isAudioOnly =
                    record.usageCount == 0 ? u.isAudioOnly : (record.isAudioOnly && u.isAudioOnly);
                record.usageCount += u.usageCount;
                insertNames(record.sequenceNames, u.sequenceNames);
            }
            insertName(record.projectNames, project.name);
            record.hasUnattributedUsage = record.hasUnattributedUsage || u.hasUnattributedUsage;
        }
        result.usedCountByProjectID.insert(project.id, used);
    }
    return result;
}

int effectiveUsedFileCount(const ProjectFile& project, const SequenceUsagePolicyStore& policy) {
    const EffectiveProjectUsage usage = effectiveProjectUsage(project, policy);
    return int(
        std::count_if(project.mediaFiles.cbegin(), project.mediaFiles.cend(), [&](const QString& path) {
            return effectivePathUsageInProject(path, project, usage).usageCount >= 1;
        }));
}

} // namespace tarnwick
