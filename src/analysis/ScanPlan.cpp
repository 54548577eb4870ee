#include "analysis/ScanPlan.h"

#include "analysis/FileStatusScan.h"
#include "analysis/UsageAggregator.h"

#include <QUuid>

namespace tarnwick {

namespace {

// Takes the prefetch's entry for each new path (position n of `newPaths`, usage position
// newIndices[n]) found through where the path was first met, else by its key; a path checked
// with other candidates than the final ones, or not at all, is left to check.
class PrefetchTaking {
public:
    PrefetchTaking(const ImportAggregation::Result& aggregation, ScanPrefetch::Checked& prefetched,
                   const QList<ProjectFile>& projects, const RelativeCandidates& candidates)
        : m_aggregation(aggregation), m_prefetched(prefetched), m_candidates(candidates) {
        QHash<QUuid, qsizetype> slotOf;
        for (qsizetype slot = 0; slot < prefetched.projects.size(); ++slot) {
            slotOf.insert(prefetched.projects[slot]->projectId, slot);
            m_entries.push_back(prefetched.projects[slot]->entries.data());
        }
        for (const ProjectFile& project : projects)
            m_slotByProject.push_back(slotOf.value(project.id, -1));
    }

    // Positions in [begin, end) of the new paths: their entries moved into `scanned`; returns
    // those left to check. Ranges may run at once: each check is taken by one path only.
    QList<qsizetype> take(qsizetype begin, qsizetype end,
                          std::vector<std::optional<MediaFile>>& scanned) const {
        QList<qsizetype> left;
        for (qsizetype n = begin; n < end; ++n) {
            const QString& path = m_aggregation.newPaths[n];
            const qsizetype u = m_aggregation.newIndices[n];
            const ScanPrefetch::Where where = find(path, m_aggregation.usage.originAt(u));
            MediaFile* entry =
                where.project >= 0 ? &m_entries[std::size_t(where.project)][where.check] : nullptr;
            if (!entry || entry->path.isEmpty() ||
                m_prefetched.projects[where.project]->candidates[where.check] !=
                    m_candidates.value(relativeCandidateKey(path))) {
                left.append(n);
                continue;
            }
            scanned[std::size_t(u)] = std::move(*entry);
        }
        return left;
    }

private:
    ScanPrefetch::Where find(const QString& path, PathOrigin origin) const {
        if (origin.project >= 0 && std::size_t(origin.project) < m_slotByProject.size()) {
            const qsizetype slot = m_slotByProject[std::size_t(origin.project)];
            if (slot >= 0) {
                const std::vector<qsizetype>& checkAt = m_prefetched.projects[slot]->checkAt;
                if (origin.index >= 0 && std::size_t(origin.index) < checkAt.size() &&
                    checkAt[std::size_t(origin.index)] >= 0)
                    return {slot, checkAt[std::size_t(origin.index)]};
            }
        }
        return m_prefetched.byKey.value(UsageMap::key(path));
    }

    const ImportAggregation::Result& m_aggregation;
    const ScanPrefetch::Checked& m_prefetched;
    const RelativeCandidates& m_candidates;
    std::vector<MediaFile*> m_entries;
    std::vector<qsizetype> m_slotByProject;
};

} // namespace

ScanPlan ScanPlan::fromPrefetch(const ImportAggregation::Result& aggregation,
                                ScanPrefetch::Checked& prefetched, const QList<ProjectFile>& projects,
                                const RelativeCandidates& candidates) {
    ScanPlan plan;
    plan.scanned.resize(std::size_t(aggregation.usage.size()));
    const PrefetchTaking taking(aggregation, prefetched, projects, candidates);
    const QList<QList<qsizetype>> left =
        mapRanges<QList<qsizetype>>(aggregation.newPaths.size(), [&](qsizetype begin, qsizetype end) {
            return taking.take(begin, end, plan.scanned);
        });
    for (const QList<qsizetype>& positions : left) {
        for (const qsizetype n : positions)
            plan.unchecked[n / FileStatusScan::batchSize].append(n);
    }
    return plan;
}

MediaConsolidator::KnownFacts
ScanPlan::knownFacts(const MediaConsolidator::KnownFacts& own,
                     const QList<std::shared_ptr<ScanPrefetch::ProjectChecks>>& prefetched) {
    MediaConsolidator::KnownFacts all;
    for (const auto& checks : prefetched) {
        for (const auto& [path, facts] : std::as_const(checks->facts))
            all.insert(path, facts);
    }
    for (auto it = own.cbegin(); it != own.cend(); ++it)
        all.insert(it.key(), it.value());
    return all;
}

void ScanPlan::add(const ImportAggregation::Result& aggregation, qsizetype position,
                   const FileStatusResult& result) {
    scanned[std::size_t(aggregation.newIndices[position])] = scannedMediaEntry(result);
    if (result.facts)
        facts.insert(result.resolvedPath, *result.facts);
}

} // namespace tarnwick
