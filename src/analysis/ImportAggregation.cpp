#include "analysis/ImportAggregation.h"

#include "analysis/EffectiveUsage.h"
#include "platform/IdleThreads.h"
#include "platform/ThreadNames.h"

#include <QtConcurrent/QtConcurrentRun>

#include <memory>

namespace tarnwick {

namespace {

// Beside the reads, which take most cores while projects arrive.
constexpr int preparingThreads = 3;

} // namespace

ImportAggregation::ImportAggregation(QList<ProjectFile> loaded, QList<SequencePolicySnapshot> loadedSnapshots,
                                     QList<MediaFile> media)
    : m_loadedCount(loaded.size()), m_media(std::move(media)) {
    m_pool.setMaxThreadCount(1); // one thread: projects are summed in order
    m_pool.setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(m_pool, "ImportSumming");
    m_preparing.setMaxThreadCount(preparingThreads);
    m_preparing.setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(m_preparing, "ImportPreparing");
    m_pool.start([this, loaded = std::move(loaded), snapshots = std::move(loadedSnapshots)] {
        m_usage = aggregateProjects(loaded, effectiveContributions(loaded, snapshots));
        m_candidates = mergedRelativeCandidates(loaded);
        m_index.emplace(m_media);
    });
}

ImportAggregation::~ImportAggregation() {
    m_pool.waitForDone();
    m_preparing.waitForDone();
}

void ImportAggregation::arrived(qsizetype order, std::optional<ProjectFile> project,
                                SequencePolicySnapshot snapshot) {
    QFuture<PreparedPaths> prepared;
    if (project)
        prepared = QtConcurrent::run(&m_preparing, [project = *project, snapshot = std::move(snapshot)] {
            return preparePaths(project, effectiveContribution(project, snapshot));
        });
    m_waiting.insert(order, Pending{std::move(project), std::move(prepared)});
    for (auto it = m_waiting.find(m_next); it != m_waiting.end(); it = m_waiting.find(m_next)) {
        Pending pending = std::move(it.value());
        m_waiting.erase(it);
        ++m_next;
        if (!pending.project)
            continue; // a project that could not be read adds no usage
        // The project's position in the manager's list once the import appends it (failed reads
        // included), which the recount aggregates in.
        const int projectIndex = int(m_loadedCount + m_next - 1);
        m_pool.start([this, pending = std::move(pending), projectIndex] {
            const PreparedPaths paths = QFuture<PreparedPaths>(pending.prepared).takeResult();
            addProjectWithCrossReference(m_usage, *m_index, *pending.project, paths, projectIndex);
            addRelativeCandidates(m_candidates, *pending.project);
        });
    }
}

QFuture<ImportAggregation::Result> ImportAggregation::finish() {
    return QtConcurrent::run(&m_pool, [this] {
        Result result{std::move(m_usage), entriesByPath(m_media), {}, {}, std::move(m_candidates)};
        for (qsizetype i = 0; i < result.usage.size(); ++i) {
            if (!result.existing.contains(UsageMap::key(result.usage.pathAt(i)))) {
                result.newPaths.append(result.usage.pathAt(i));
                result.newIndices.append(i);
            }
        }
        m_index.reset();
        m_media = {};
        return result;
    });
}

} // namespace tarnwick
