#include "analysis/ProjectManager.h"

#include "platform/MemoryRelease.h"
#include "platform/TextKey.h"
#include "stores/AuditLogManager.h"
#include "stores/SequenceUsagePolicyStore.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace tarnwick {

EffectiveProjectUsage ProjectManager::effectiveProjectUsage(const ProjectFile& project) const {
    return tarnwick::effectiveProjectUsage(project, *m_sequencePolicy);
}

AggregatedUsage ProjectManager::aggregateEffectiveUsage() {
    return tarnwick::aggregateEffectiveUsage(m_projects, *m_sequencePolicy, m_lowerPaths);
}

int ProjectManager::effectiveUsedFileCount(const ProjectFile& project) const {
    const auto known = m_policy.effectiveUsedCountByProjectID.constFind(project.id);
    if (known != m_policy.effectiveUsedCountByProjectID.cend())
        return known.value();
    return tarnwick::effectiveUsedFileCount(project, *m_sequencePolicy);
}

ContributionRule ProjectManager::effectiveContributionRule() const {
    const SequenceUsagePolicyStore* policy = m_sequencePolicy;
    return [policy](const ProjectFile& project) -> ProjectContribution {
        return effectiveContribution(project, policy->snapshot(project.url));
    };
}

void ProjectManager::recomputeUsageCounts() {
    const AggregatedUsage aggregate = aggregateEffectiveUsage();
    updatePolicy([&](UsagePolicyState& policy) {
        policy.effectiveUsedCountByProjectID = aggregate.usedCountByProjectID;
    });
    const bool anyUsed = applyAggregatedUsage(m_mediaFiles, aggregate, m_lowerPaths);
    if (anyUsed)
        unstageUsedFiles();
    bumpMediaFiles();
    settle(ListChange::usage);
    updateSummary();
}

ProjectManager::UsageRecountInputs ProjectManager::usageRecountInputs() const {
    UsageRecountInputs inputs{m_projects, {}, m_projectsVersion, m_policy.sequencePolicyRevision};
    inputs.snapshots.reserve(m_projects.size());
    for (const ProjectFile& project : m_projects)
        inputs.snapshots.append(m_sequencePolicy->snapshot(project.url));
    return inputs;
}

ProjectManager::PreparedUsageRecount ProjectManager::prepareUsageRecount(QList<MediaFile>& mediaFiles,
                                                                         const UsageRecountInputs& inputs) {
    return prepareUsageRecount(mediaFiles, inputs, aggregateForRecount(inputs));
}

ProjectManager::RecountAggregate ProjectManager::aggregateForRecount(const UsageRecountInputs& inputs,
                                                                     bool withRecords) {
    RecountAggregate aggregate;
    aggregate.usage = tarnwick::aggregateEffectiveUsage(inputs.projects, inputs.snapshots,
                                                        aggregate.lowerPaths, withRecords);
    return aggregate;
}

ProjectManager::PreparedUsageRecount ProjectManager::prepareUsageRecount(QList<MediaFile>& mediaFiles,
                                                                         const UsageRecountInputs& inputs,
                                                                         RecountAggregate aggregate,
                                                                         const KnownPathKeys* known) {
    PreparedUsageRecount prepared;
    prepared.projectsVersion = inputs.projectsVersion;
    prepared.policyRevision = inputs.policyRevision;
    prepared.lowerPaths = std::move(aggregate.lowerPaths);
    prepared.usedCountByProjectID = aggregate.usage.usedCountByProjectID;
    prepared.anyUsed = applyAggregatedUsage(mediaFiles, aggregate.usage, prepared.lowerPaths, known);
    // A record per path: freed on the release thread, not on the caller's time.
    memory::releaseLater(std::move(aggregate.usage));
    return prepared;
}

void ProjectManager::adoptLowerPathKeys(LowerPathCache& keys) {
    // Stale keys are harmless: every lookup checks the entry's paths first.
    std::swap(m_lowerPaths, keys);
}

bool ProjectManager::finishPreparedUsageRecount(const PreparedUsageRecount& prepared) {
    if (prepared.projectsVersion != m_projectsVersion ||
        prepared.policyRevision != m_policy.sequencePolicyRevision)
        return false;
    updatePolicy([&](UsagePolicyState& policy) {
        policy.effectiveUsedCountByProjectID = prepared.usedCountByProjectID;
    });
    if (prepared.anyUsed)
        unstageUsedFiles();
    bumpMediaFiles();
    settle(ListChange::usage);
    // Review flags set with the list (unstaging changes no path or project) are not made again here.
    if (prepared.needsReviewSet)
        summarize();
    else
        updateSummary();
    return true;
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
            for (const QString& key : m_lowerPaths.distinctKeys(file)) {
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
    QList<AuditLogManager::Request> restored;
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
        restored.append({AuditAction::restored, item.mediaFile, std::nullopt}); // a restore, recorded
    }
    setRecycleBin(std::move(kept));
    if (!restored.isEmpty() && m_services.auditLog)
        m_services.auditLog->log(restored);
}

} // namespace tarnwick
