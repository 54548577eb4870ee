#include "analysis/ProjectManager.h"

#include "platform/TextKey.h"
#include "stores/SequenceUsagePolicyStore.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace tarnwick {

namespace {

QStringList sortedPlain(const NameList& names) {
    QStringList list(names.cbegin(), names.cend());
    std::sort(list.begin(), list.end(),
              [](const QString& a, const QString& b) { return text::compareScalars(a, b) < 0; });
    return list;
}

// The aggregate records of every distinct key of one entry, combined. Most entries have one key
// with a record: that record is used as it is, without copying its sets.
const AggregatedProjectUsage& combinedUsage(const QStringList& keys,
                                            const QHash<QString, AggregatedProjectUsage>& byPath,
                                            AggregatedProjectUsage& scratch) {
    static const AggregatedProjectUsage none;
    const AggregatedProjectUsage* single = nullptr;
    bool several = false;
    for (const QString& key : keys) {
        const auto found = byPath.constFind(key);
        if (found == byPath.cend())
            continue;
        several = single != nullptr;
        if (!single)
            single = &found.value();
        if (several)
            break;
    }
    if (!several)
        return single ? *single : none;
    scratch = {};
    for (const QString& key : keys) {
        const auto found = byPath.constFind(key);
        if (found == byPath.cend())
            continue;
        const AggregatedProjectUsage& r = found.value();
        if (r.usageCount != 0)
            scratch.isAudioOnly =
                scratch.usageCount == 0 ? r.isAudioOnly : (scratch.isAudioOnly && r.isAudioOnly);
        scratch.usageCount += r.usageCount;
        insertNames(scratch.projectNames, r.projectNames);
        insertNames(scratch.sequenceNames, r.sequenceNames);
        scratch.hasUnattributedUsage = scratch.hasUnattributedUsage || r.hasUnattributedUsage;
    }
    return scratch;
}

// Replaces `list` by the sorted names unless it already holds exactly them in order, so a
// recount that changes nothing allocates nothing.
void assignSorted(QStringList& list, const NameList& names) {
    if (list.size() == names.size()) {
        bool same = true;
        for (qsizetype i = 0; same && i < list.size(); ++i)
            same = std::find(names.cbegin(), names.cend(), list[i]) != names.cend() &&
                   (i == 0 || text::compareScalars(list[i - 1], list[i]) < 0);
        if (same)
            return;
    }
    list = sortedPlain(names);
}

} // namespace

EffectiveProjectUsage ProjectManager::effectiveProjectUsage(const ProjectFile& project) const {
    return tarnwick::effectiveProjectUsage(project, *m_sequencePolicy);
}

AggregatedUsage ProjectManager::aggregateEffectiveUsage() {
    return tarnwick::aggregateEffectiveUsage(m_projects, *m_sequencePolicy, m_lowerPaths);
}

int ProjectManager::effectiveUsedFileCount(const ProjectFile& project) const {
    const auto known = m_effectiveUsedCountByProjectID.constFind(project.id);
    if (known != m_effectiveUsedCountByProjectID.cend())
        return known.value();
    return tarnwick::effectiveUsedFileCount(project, *m_sequencePolicy);
}

ContributionRule ProjectManager::effectiveContributionRule() const {
    const SequenceUsagePolicyStore* policy = m_sequencePolicy;
    return [policy](const ProjectFile& project) -> ProjectContribution {
        auto usage =
            std::make_shared<const EffectiveProjectUsage>(tarnwick::effectiveProjectUsage(project, *policy));
        return [usage, project](const QString& path) {
            const PathUsageInProject u = effectivePathUsageInProject(path, project, *usage);
            return PathContribution{int(u.usageCount), u.isAudioOnly,
                                    QSet<QString>(u.sequenceNames.cbegin(), u.sequenceNames.cend())};
        };
    };
}

void ProjectManager::recomputeUsageCounts() {
    const AggregatedUsage aggregate = aggregateEffectiveUsage();
    setEffectiveUsedCountByProjectID(aggregate.usedCountByProjectID);

    bool anyUsed = false;
    AggregatedProjectUsage scratch;
    for (qsizetype i = 0; i < m_mediaFiles.size(); ++i) {
        const MediaPathKeys& keys = m_lowerPaths.keys(std::as_const(m_mediaFiles)[i]);
        const AggregatedProjectUsage& u = combinedUsage(keys.distinctKeys, aggregate.byLowerPath, scratch);
        MediaFile& file = m_mediaFiles[i];
        file.usageCount = int(u.usageCount);
        assignSorted(file.projectNames, u.projectNames);
        assignSorted(file.sequenceNames, u.sequenceNames);
        file.hasUnattributedSequenceUsage = u.hasUnattributedUsage;
        if (u.usageCount == 0)
            file.usageType = file.isAEFootage ? MediaUsageType::usedInAfterEffects : MediaUsageType::unused;
        else
            file.usageType = u.isAudioOnly ? MediaUsageType::audioOnly : MediaUsageType::videoAndAudio;
        anyUsed = anyUsed || file.usageCount >= 1 || file.isAEFootage;
    }
    if (anyUsed)
        unstageUsedFiles();
    bumpMediaFiles();
    updateSummary();
}

void ProjectManager::unstageUsedFiles() {
    // A staged file is used when its path or matched path is any path, alternative path or matched
    // path of a used entry: consolidation moves paths into alternativePaths, so comparing exact
    // paths alone would leave a used clip in the bin.
    QHash<QString, qsizetype> usedEntryByKey;
    for (const RecycleBinItem& item : std::as_const(m_recycleBin)) {
        usedEntryByKey.insert(LowerPathCache::lowerKey(item.mediaFile.path), -1);
        if (item.mediaFile.matchedPath)
            usedEntryByKey.insert(LowerPathCache::lowerKey(*item.mediaFile.matchedPath), -1);
    }
    if (!usedEntryByKey.isEmpty()) {
        for (qsizetype i = 0; i < m_mediaFiles.size(); ++i) {
            const MediaFile& file = std::as_const(m_mediaFiles)[i];
            if (file.usageCount < 1 && !file.isAEFootage)
                continue;
            for (const QString& key : m_lowerPaths.keys(file).distinctKeys) {
                auto found = usedEntryByKey.find(key);
                if (found != usedEntryByKey.end() && found.value() < 0)
                    found.value() = i; // the first used entry holding the key
            }
        }
    }
    auto usedEntryOf = [&](const QString& path) -> qsizetype {
        return usedEntryByKey.value(LowerPathCache::lowerKey(path), -1);
    };
    // The staged file's own entry (exact path) comes back online; a file merged into another entry
    // has none, and then the used entry that holds its path does.
    std::optional<QHash<QString, qsizetype>> entryByPath; // made only when a path differs
    auto ownEntry = [&](const QString& path, qsizetype usedEntry) {
        if (text::canonicalEquals(std::as_const(m_mediaFiles)[usedEntry].path, path))
            return usedEntry;
        if (!entryByPath) {
            entryByPath.emplace();
            for (qsizetype i = m_mediaFiles.size() - 1; i >= 0; --i) // backwards: the first one stays
                entryByPath->insert(text::nfc(std::as_const(m_mediaFiles)[i].path), i);
        }
        return entryByPath->value(text::nfc(path), usedEntry);
    };
    QList<RecycleBinItem> kept;
    kept.reserve(m_recycleBin.size());
    for (const RecycleBinItem& item : std::as_const(m_recycleBin)) {
        qsizetype entry = usedEntryOf(item.mediaFile.path);
        if (entry < 0 && item.mediaFile.matchedPath)
            entry = usedEntryOf(*item.mediaFile.matchedPath);
        if (entry < 0) {
            kept.append(item);
            continue;
        }
        entry = ownEntry(item.mediaFile.path, entry);
        if (std::as_const(m_mediaFiles)[entry].status == MediaFileStatus::inRecycleBin)
            m_mediaFiles[entry].status = MediaFileStatus::online;
    }
    setRecycleBin(std::move(kept));
}

} // namespace tarnwick
