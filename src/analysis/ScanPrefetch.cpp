#include "analysis/ScanPrefetch.h"

#include "analysis/FileStatusScan.h"
#include "platform/IdleThreads.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

ScanPrefetch::ScanPrefetch(std::shared_ptr<FileStatusScan> scan, FileStatusChecking::Options options,
                           QList<MediaFile> media, QList<ProjectFile> loadedProjects)
    : m_scan(std::move(scan)), m_options(std::move(options)), m_media(std::move(media)),
      m_loadedProjects(std::move(loadedProjects)) {
    m_pool.setMaxThreadCount(1); // the scan object runs one batch at a time
    m_pool.setExpiryTimeout(idleThreadExpiryMs);
    m_pool.setObjectName(QStringLiteral("ImportPrefetch"));
    m_collecting.setMaxThreadCount(1); // results are taken in the order projects were checked
    m_collecting.setExpiryTimeout(idleThreadExpiryMs);
    m_collecting.setObjectName(QStringLiteral("ImportPrefetchResults"));
}

ScanPrefetch::~ScanPrefetch() {
    m_pool.waitForDone();
    m_collecting.waitForDone();
}

QFuture<void> ScanPrefetch::finished() {
    // Queued after every check, each of which queued its results before it ended.
    return QtConcurrent::run(&m_pool, [this] { m_collecting.waitForDone(); });
}

void ScanPrefetch::add(const ProjectFile& project) {
    m_pool.start([this, project] { check(project); });
}

void ScanPrefetch::forget() {
    m_pool.start([this] {
        m_collecting.waitForDone();
        m_known.reset();
        m_listed = {};
        m_queued = {};
        m_media = {};
        m_loadedProjects = {};
        m_loadedCandidates = {};
        m_results = {};
    });
}

void ScanPrefetch::check(const ProjectFile& project) {
    if (!m_known) {
        m_known.emplace(m_media);
        for (const MediaFile& file : std::as_const(m_media))
            m_listed.insert(UsageMap::key(file.path));
        m_loadedCandidates = mergedRelativeCandidates(m_loadedProjects);
    }
    QStringList paths;
    QHash<QString, QString> candidates;
    for (const QString& path : project.mediaFiles) {
        const QString key = UsageMap::key(path);
        if (m_listed.contains(key) || m_queued.contains(key) || m_known->find(path))
            continue;
        m_queued.insert(key);
        paths.append(path);
        const QString candidate = m_loadedCandidates.value(path, project.relativeCandidates.value(path));
        if (!candidate.isEmpty())
            candidates.insert(path, candidate);
    }
    QList<FileStatusResult> results = m_scan->checkAll(paths, candidates, m_options);
    m_collecting.start([this, results = std::move(results), candidates = std::move(candidates)] {
        m_results.entries.reserve(m_results.entries.size() + results.size());
        for (const FileStatusResult& result : results) {
            const QString key = UsageMap::key(result.path);
            m_results.entries.emplace(key, scannedMediaEntry(result)); // moved in, not copied
            if (const QString candidate = candidates.value(result.path); !candidate.isEmpty())
                m_results.candidates.insert(key, candidate);
            if (result.facts)
                m_results.facts.insert(result.resolvedPath, *result.facts);
        }
    });
}

} // namespace tarnwick
