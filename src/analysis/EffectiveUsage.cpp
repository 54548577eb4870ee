#include "analysis/EffectiveUsage.h"

#include "analysis/ImageSequenceFrames.h"
#include "analysis/ListStretches.h"
#include "analysis/LowerPathCache.h"
#include "platform/TextKey.h"
#include "stores/SequenceUsagePolicyStore.h"

#include <algorithm>
#include <memory>
#include <optional>

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

QStringList sortedPlain(const NameList& names) {
    QStringList list(names.cbegin(), names.cend());
    std::sort(list.begin(), list.end(),
              [](const QString& a, const QString& b) { return text::compareScalars(a, b) < 0; });
    return list;
}

// The aggregate records of every distinct key of one entry, combined. Most entries have one key
// with a record: that record is used as it is, without copying its sets.
const AggregatedProjectUsage& combinedUsage(const QStringList& keys, const AggregatedUsage& usage,
                                            AggregatedProjectUsage& scratch) {
    static const AggregatedProjectUsage none;
    const AggregatedProjectUsage* single = nullptr;
    bool several = false;
    for (const QString& key : keys) {
        const AggregatedProjectUsage* found = usage.find(key);
        if (!found)
            continue;
        several = single != nullptr;
        if (!single)
            single = found;
        if (several)
            break;
    }
    if (!several)
        return single ? *single : none;
    scratch = {};
    for (const QString& key : keys) {
        const AggregatedProjectUsage* found = usage.find(key);
        if (!found)
            continue;
        addUsage(scratch, *found);
    }
    return scratch;
}

// Whether `list` holds exactly `names`, sorted.
bool holdsSorted(const QStringList& list, const NameList& names) {
    if (list.size() != names.size())
        return false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (std::find(names.cbegin(), names.cend(), list[i]) == names.cend() ||
            (i > 0 && text::compareScalars(list[i - 1], list[i]) >= 0))
            return false;
    }
    return true;
}

// Replaces `list` by the sorted names unless it already holds exactly them in order, so a
// recount that changes nothing allocates nothing. Equal to the list of the entry before, it
// shares that one: a million clips of one import all name the same project.
void assignSorted(QStringList& list, const NameList& names, QStringList& previous) {
    if (!holdsSorted(list, names))
        list = sortedPlain(names);
    if (list.isSharedWith(previous))
        return; // its count is not touched: ranges on other threads share lists too
    if (list == previous)
        list = previous;
    else
        previous = list;
}

} // namespace

void insertName(NameList& names, const QString& name) {
    if (std::find(names.cbegin(), names.cend(), name) == names.cend())
        names.append(name);
}

void addUsage(AggregatedProjectUsage& into, const AggregatedProjectUsage& more) {
    if (more.usageCount != 0)
        into.isAudioOnly = into.usageCount == 0 ? more.isAudioOnly : (into.isAudioOnly && more.isAudioOnly);
    into.usageCount += more.usageCount;
    insertNames(into.projectNames, more.projectNames);
    insertNames(into.sequenceNames, more.sequenceNames);
    into.hasUnattributedUsage = into.hasUnattributedUsage || more.hasUnattributedUsage;
}

void insertNames(NameList& names, const NameList& more) {
    for (const QString& name : more)
        insertName(names, name);
}

EffectiveProjectUsage effectiveProjectUsage(const ProjectFile& project,
                                            const SequenceUsagePolicyStore& policy) {
    return effectiveProjectUsage(project, policy.snapshot(project.url));
}

EffectiveProjectUsage effectiveProjectUsage(const ProjectFile& project, SequencePolicySnapshot snapshot) {
    EffectiveProjectUsage usage;
    usage.usedFiles = QSet<QString>(project.usedFiles.cbegin(), project.usedFiles.cend());
    usage.audioOnlyFiles = QSet<QString>(project.audioOnlyFiles.cbegin(), project.audioOnlyFiles.cend());
    usage.snapshot = std::move(snapshot);
    usage.anyUse = !project.usedFiles.isEmpty() ||
                   std::any_of(project.usageCountByPath.cbegin(), project.usageCountByPath.cend(),
                               [](int count) { return count >= 1; });
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
    if (!usage.anyUse)
        return {};
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

ProjectContribution effectiveContribution(const ProjectFile& project, SequencePolicySnapshot snapshot) {
    auto usage =
        std::make_shared<const EffectiveProjectUsage>(effectiveProjectUsage(project, std::move(snapshot)));
    return [usage, project](const QString& path) {
        const PathUsageInProject u = effectivePathUsageInProject(path, project, *usage);
        // An empty set allocates nothing; one made from an empty range would, for every path.
        QSet<QString> timelines;
        for (const QString& name : u.sequenceNames)
            timelines.insert(name);
        return PathContribution{int(u.usageCount), u.isAudioOnly, std::move(timelines)};
    };
}

QList<ProjectContribution> effectiveContributions(const QList<ProjectFile>& projects,
                                                  const QList<SequencePolicySnapshot>& snapshots) {
    QList<ProjectContribution> contributions;
    contributions.reserve(projects.size());
    for (qsizetype p = 0; p < projects.size(); ++p)
        contributions.append(effectiveContribution(projects[p], snapshots.value(p)));
    return contributions;
}

AggregatedUsage aggregateEffectiveUsage(const QList<ProjectFile>& projects,
                                        const SequenceUsagePolicyStore& policy, LowerPathCache& lowerPaths) {
    QList<SequencePolicySnapshot> snapshots;
    snapshots.reserve(projects.size());
    for (const ProjectFile& project : projects)
        snapshots.append(policy.snapshot(project.url));
    return aggregateEffectiveUsage(projects, snapshots, lowerPaths);
}

namespace {

// Every project's lower-cased paths (the cache's lists, shared) and all of them one after another.
struct LoweredPaths {
    QList<QStringList> perProject;
    std::vector<const QString*> all;
};

LoweredPaths loweredPaths(const QList<ProjectFile>& projects, LowerPathCache& lowerPaths) {
    LoweredPaths lowered;
    for (const ProjectFile& project : projects)
        lowered.perProject.append(lowerPaths.projectPaths(project));
    for (const QStringList& paths : std::as_const(lowered.perProject)) {
        for (const QString& path : paths)
            lowered.all.push_back(&path);
    }
    return lowered;
}

} // namespace

AggregatedUsage aggregateEffectiveUsage(const QList<ProjectFile>& projects,
                                        const QList<SequencePolicySnapshot>& snapshots,
                                        LowerPathCache& lowerPaths, bool withRecords) {
    AggregatedUsage result;
    LoweredPaths lowered = loweredPaths(projects, lowerPaths);
    const qsizetype total = qsizetype(lowered.all.size());
    const auto keyAt = [&](qsizetype i) -> const QString& { return *lowered.all[std::size_t(i)]; };
    // Each path's record: the index filled side by side, the records numbered in first-met order.
    const ListStretches stretches(total);
    const std::vector<qsizetype> found = result.indexByLowerPath.indexAll(total, keyAt, stretches);
    std::vector<qsizetype> recordAt(static_cast<std::size_t>(total), -1);
    qsizetype records = 0;
    for (qsizetype i = 0; i < total; ++i) {
        if (found[std::size_t(i)] == -1 - i)
            recordAt[std::size_t(i)] = records++;
    }
    result.indexByLowerPath.settle(recordAt, stretches);
    result.records.resize(std::size_t(records));
    if (withRecords)
        result.recordOfProjectPath.resize(projects.size());
    qsizetype n = 0;
    for (qsizetype p = 0; p < projects.size(); ++p) {
        const ProjectFile& project = projects[p];
        const EffectiveProjectUsage usage = effectiveProjectUsage(project, snapshots.value(p));
        std::vector<qsizetype>* indices = withRecords ? &result.recordOfProjectPath[p] : nullptr;
        if (indices)
            indices->reserve(std::size_t(project.mediaFiles.size()));
        int used = 0;
        for (qsizetype i = 0; i < project.mediaFiles.size(); ++i, ++n) {
            const PathUsageInProject u = effectivePathUsageInProject(project.mediaFiles[i], project, usage);
            const qsizetype f = found[std::size_t(n)];
            const qsizetype index = f >= 0 ? f : recordAt[std::size_t(-1 - f)];
            if (indices)
                indices->push_back(index);
            AggregatedProjectUsage& record = result.records[std::size_t(index)];
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
    ImageSequenceFrames::addFrameUsage(result, projects, lowered.perProject);
    return result;
}

const AggregatedProjectUsage* AggregatedUsage::find(const QString& lowerPath) const {
    const qsizetype* found = indexByLowerPath.find(lowerPath);
    return found ? &records[std::size_t(*found)] : nullptr;
}

namespace {

// What one range of the list leaves for the key cache: the keys it had to make, by entry id.
struct AppliedRange {
    bool anyUsed = false;
    LowerPathCache::MadeKeys made;
};

// Writes the usage of entries [begin, end); reads the cache only, the keys it makes are handed back.
AppliedRange applyRange(MediaFile* entries, qsizetype begin, qsizetype end, const AggregatedUsage& usage,
                        const LowerPathCache& lowerPaths, const KnownPathKeys* known) {
    AppliedRange applied;
    AggregatedProjectUsage scratch;
    QStringList lastProjects;
    QStringList lastSequences;
    for (qsizetype i = begin; i < end; ++i) {
        MediaFile& file = entries[i];
        const bool isKnown = known && i < known->lowerPaths.size() && !known->lowerPaths[i].isEmpty();
        const LowerPathCache::PathKeys* current = lowerPaths.currentKeys(file);
        if (!current) {
            applied.made.emplace_back(
                file.id, LowerPathCache::makeKeys(file, isKnown ? &known->lowerPaths[i] : nullptr));
            current = &applied.made.back().second;
        }
        const QStringList& keys = current->distinctKeys;
        // An entry with its path's key alone reads the record known for that path.
        const qsizetype record = isKnown && keys.size() == 1 ? known->records[std::size_t(i)] : -1;
        const AggregatedProjectUsage& u =
            record >= 0 ? usage.records[std::size_t(record)] : combinedUsage(keys, usage, scratch);
        file.usageCount = int(u.usageCount);
        assignSorted(file.projectNames, u.projectNames, lastProjects);
        assignSorted(file.sequenceNames, u.sequenceNames, lastSequences);
        file.hasUnattributedSequenceUsage = u.hasUnattributedUsage;
        if (u.usageCount == 0)
            file.usageType = file.isAEFootage ? MediaUsageType::usedInAfterEffects : MediaUsageType::unused;
        else
            file.usageType = u.isAudioOnly ? MediaUsageType::audioOnly : MediaUsageType::videoAndAudio;
        applied.anyUsed = applied.anyUsed || file.usageCount >= 1 || file.isAEFootage;
    }
    return applied;
}

} // namespace

bool applyAggregatedUsage(QList<MediaFile>& mediaFiles, const AggregatedUsage& usage,
                          LowerPathCache& lowerPaths, const KnownPathKeys* known) {
    // A million entries are written in ranges on several threads, each range its own entries (the
    // list detached once here); the cache is only read meanwhile and takes the new keys afterwards.
    MediaFile* entries = mediaFiles.data();
    const ListStretches stretches(mediaFiles.size());
    std::vector<AppliedRange> ranges(std::size_t(stretches.count()));
    stretches.run([&](int k, qsizetype begin, qsizetype end) {
        ranges[std::size_t(k)] = applyRange(entries, begin, end, usage, std::as_const(lowerPaths), known);
    });
    bool anyUsed = false;
    QList<LowerPathCache::MadeKeys> made;
    for (AppliedRange& range : ranges) {
        anyUsed = anyUsed || range.anyUsed;
        made.append(std::move(range.made));
    }
    lowerPaths.reserve(mediaFiles.size());
    lowerPaths.storeAll(made);
    return anyUsed;
}

KnownPathKeys knownPathKeys(const QList<PathOrigin>& origins, const QList<MediaFile>& list,
                            const QList<ProjectFile>& projects, const AggregatedUsage& usage,
                            LowerPathCache& lowerPaths) {
    const auto& records = usage.recordOfProjectPath;
    KnownPathKeys known{QStringList(list.size()), std::vector<qsizetype>(std::size_t(list.size()), -1)};
    // Each project's keys, made (and cached) when the aggregate was: asked once per project, and
    // held as shared copies (the cache may move its values as it grows).
    std::vector<std::optional<QStringList>> keysOf(std::size_t(projects.size()));
    for (qsizetype i = 0; i < list.size() && i < origins.size(); ++i) {
        const PathOrigin origin = origins[i];
        if (origin.project < 0 || origin.project >= projects.size() || origin.project >= records.size())
            continue;
        const ProjectFile& project = projects[origin.project];
        std::optional<QStringList>& cached = keysOf[std::size_t(origin.project)];
        if (!cached)
            cached = lowerPaths.projectPaths(project);
        const QStringList& projectKeys = *cached;
        const auto& projectRecords = records[origin.project];
        if (origin.index < 0 || origin.index >= projectKeys.size() ||
            origin.index >= qsizetype(projectRecords.size()) ||
            list[i].path != project.mediaFiles[origin.index])
            continue;
        known.lowerPaths[i] = projectKeys[origin.index];
        known.records[std::size_t(i)] = projectRecords[std::size_t(origin.index)];
    }
    return known;
}

int effectiveUsedFileCount(const ProjectFile& project, const SequenceUsagePolicyStore& policy) {
    const EffectiveProjectUsage usage = effectiveProjectUsage(project, policy);
    return int(
        std::count_if(project.mediaFiles.cbegin(), project.mediaFiles.cend(), [&](const QString& path) {
            return effectivePathUsageInProject(path, project, usage).usageCount >= 1;
        }));
}

} // namespace tarnwick
