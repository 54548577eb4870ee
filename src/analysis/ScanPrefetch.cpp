#include "analysis/ScanPrefetch.h"

#include "analysis/FileStatusScan.h"
#include "platform/IdleThreads.h"
#include "platform/ThreadNames.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

namespace {

// Results of several projects taken in at once: most projects arrive together at the end.
constexpr int collectingThreads = 3;

} // namespace

ScanPrefetch::ScanPrefetch(std::shared_ptr<FileStatusScan> scan, FileStatusChecking::Options options,
                           QList<MediaFile> media, QList<ProjectFile> loadedProjects)
    : m_scan(std::move(scan)), m_options(std::move(options)), m_media(std::move(media)),
      m_loadedProjects(std::move(loadedProjects)) {
    m_pool.setMaxThreadCount(1); // the scan object runs one batch at a time
    m_pool.setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(m_pool, "ImportPrefetch");
    m_collecting.setMaxThreadCount(collectingThreads);
    m_collecting.setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(m_collecting, "ImportCollect");
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
    auto checks = std::make_shared<ProjectChecks>();
    checks->projectId = project.id;
    checks->checkAt.assign(std::size_t(project.mediaFiles.size()), -1);
    const qsizetype slot = m_results.projects.size();
    QStringList paths;
    RelativeCandidates candidates;
    for (qsizetype position = 0; position < project.mediaFiles.size(); ++position) {
        const QString& path = project.mediaFiles[position];
        const QString key = UsageMap::key(path);
        if (m_listed.contains(key) || m_known->find(path))
            continue;
        // One look-up: a key met for the first time is queued here.
        const qsizetype queued = m_results.byKey.size();
        Where& where = m_results.byKey[key];
        if (m_results.byKey.size() == queued)
            continue;
        where = {slot, paths.size()};
        checks->checkAt[std::size_t(position)] = paths.size();
        paths.append(path);
        const QString candidateKey = relativeCandidateKey(path);
        RelativeCandidateList known = m_loadedCandidates.value(candidateKey);
        const QString own = project.relativeCandidates.value(path);
        if (!own.isEmpty() && !known.contains(own))
            known.append(own);
        if (!known.isEmpty())
            candidates.insert(candidateKey, std::move(known));
    }
    m_results.projects.append(checks);
    QList<FileStatusResult> results = m_scan->checkAllInOrder(paths, candidates, m_options);
    // Each project's results go to its own record: several are taken in at once.
    m_collecting.start([checks, results = std::move(results), candidates = std::move(candidates)] {
        checks->entries.reserve(results.size());
        checks->candidates.reserve(results.size());
        for (const FileStatusResult& result : results) {
            checks->entries.append(result.path.isEmpty() ? MediaFile{} : scannedMediaEntry(result));
            checks->candidates.append(candidates.value(relativeCandidateKey(result.path)));
            if (result.facts)
                checks->facts.append({result.resolvedPath, *result.facts});
        }
    });
}

} // namespace tarnwick
