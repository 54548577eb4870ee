#include "analysis/FileStatusScan.h"

#include "analysis/FileStatusChecker.h"
#include "analysis/StorageTypeDetector.h"
#include "platform/AppLog.h"
#include "platform/MountTable.h"
#include "platform/WatchdogPool.h"

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <vector>

namespace tarnwick {

// Network mount points where a check stopped answering: later paths there are not touched again
// until a check on that mount answers (a hung one that finally returns).
struct FileStatusScan::DeadMounts {
    QMutex mutex;
    QStringList mountPoints;
    std::atomic<bool> any{false};

    bool covers(const QString& path) {
        if (!any.load())
            return false;
        QMutexLocker lock(&mutex);
        for (const QString& mountPoint : std::as_const(mountPoints)) {
            if (path == mountPoint || path.startsWith(mountPoint + QLatin1Char('/')))
                return true;
        }
        return false;
    }
    void add(const QString& mountPoint) {
        QMutexLocker lock(&mutex);
        if (!mountPoints.contains(mountPoint))
            mountPoints.append(mountPoint);
        any = true;
    }
    void answered(const MountEntry* mount) {
        if (!any.load() || !mount)
            return;
        QMutexLocker lock(&mutex);
        mountPoints.removeAll(mount->mountPoint);
        any = !mountPoints.isEmpty();
    }
};

namespace {

const MountEntry* mountOf(const QString& path, const FileStatusChecking::Options& options) {
    return options.mountTable ? options.mountTable->entryForPath(path) : nullptr;
}

struct ScanContext {
    std::shared_ptr<const FileStatusChecking> checker;
    QStringList paths;
    RelativeCandidates candidates;
    FileStatusChecking::Options options;
    std::shared_ptr<FileStatusScan::DeadMounts> deadMounts;
};

} // namespace

FileStatusScan::FileStatusScan(std::shared_ptr<const FileStatusChecking> checker,
                               std::chrono::milliseconds timeout)
    : m_checker(checker ? std::move(checker) : std::make_shared<const FileStatusChecker>()),
      m_pool(std::make_unique<WatchdogPool>(ThreadName("StatusChecks"), batchSize, timeout)),
      m_deadMounts(std::make_shared<DeadMounts>()) {}

FileStatusScan::~FileStatusScan() = default;

FileStatusResult FileStatusScan::unansweredResult(const QString& path,
                                                  const FileStatusChecking::Options& options) {
    FileStatusResult result;
    result.path = path;
    result.resolvedPath = path;
    result.storageType = StorageTypeDetector::cloudTypeFromName(path).value_or(StorageType::local);
    const MountEntry* mount = mountOf(path, options);
    if (result.storageType == StorageType::local && mount &&
        MountTable::isNetworkFileSystem(mount->fileSystemType))
        result.storageType = StorageType::network;
    result.status = result.storageType == StorageType::network ? MediaFileStatus::networkOffline
                                                               : MediaFileStatus::offline;
    return result;
}

namespace {

// A stretch of the paths checked one after the other by one job: for many paths, one job per path
// would cost more in hand-overs between a hundred threads than the checks themselves. The job may
// be abandoned mid-way and go on later, so only the first `done` results are final.
struct ScanChunk {
    QList<int> indices;
    std::vector<FileStatusResult> results;
    std::atomic<qsizetype> done{0};
    std::atomic<bool> abandoned{false}; // a job that comes back later checks nothing more
};

// The folder of the paths a job just checked. Once one of them was not found and another of the
// same folder follows, the folder itself is looked at once: when it cannot be reached, its other
// paths are decided without a stat each (a list of clips whose folder is gone names it a million times).
class FolderRun {
public:
    bool isUnreachable(const QString& path, const FileStatusChecking& checker) {
        if (!m_missed || m_folder.isEmpty() || folderOf(path) != m_folder)
            return false;
        if (!m_asked) {
            m_asked = true;
            m_unreachable = checker.isUnreachableFolder(m_folder.toString());
        }
        return m_unreachable;
    }
    void checked(const QString& path, const FileStatusResult& result) {
        if (const QStringView folder = folderOf(path); folder != m_folder) {
            m_folder = folder;
            m_missed = m_asked = m_unreachable = false;
        }
        m_missed = m_missed || result.status != MediaFileStatus::online;
    }

private:
    // Of an absolute path with a name below a folder other than the root; else empty.
    static QStringView folderOf(const QString& path) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (!path.startsWith(QLatin1Char('/')) || slash <= 0 || slash == path.size() - 1)
            return {};
        return QStringView(path).left(slash);
    }

    QStringView m_folder; // in one of the job's paths, which outlive it: no copy of a long folder name
    bool m_missed = false;
    bool m_asked = false;
    bool m_unreachable = false;
};

// Paths per job: one for a batch (each check of a slow share in flight at once), more for a long
// list, so that every thread still gets several jobs.
int chunkSize(qsizetype paths) {
    return int(std::clamp<qsizetype>(paths / (qsizetype(FileStatusScan::batchSize) * 4), 1, 256));
}

} // namespace

void FileStatusScan::run(const QStringList& paths, const RelativeCandidates& relativeCandidates,
                         const FileStatusChecking::Options& options,
                         const std::function<void(int index, FileStatusResult&&)>& onResult,
                         const std::atomic_bool* cancel) {
    // Jobs own their inputs: an abandoned check may outlive this call.
    auto context = std::make_shared<const ScanContext>(
        ScanContext{m_checker, paths, relativeCandidates, options, m_deadMounts});
    const int size = chunkSize(paths.size());
    QList<int> pending(paths.size());
    std::iota(pending.begin(), pending.end(), 0);
    // Each round drops at least the check that hung; the rest of its chunk goes to the next round.
    while (!pending.isEmpty() && !(cancel && cancel->load())) {
        std::vector<std::shared_ptr<ScanChunk>> chunks;
        for (int index : std::as_const(pending)) {
            if (chunks.empty() || chunks.back()->indices.size() == size)
                chunks.push_back(std::make_shared<ScanChunk>());
            chunks.back()->indices.append(index);
        }
        for (const auto& chunk : chunks)
            chunk->results.resize(std::size_t(chunk->indices.size()));
        pending.clear();
        m_pool->map<int>(
            int(chunks.size()),
            [context, chunks](int c, WatchdogPool::Watch& watch) {
                ScanChunk& chunk = *chunks[std::size_t(c)];
                FolderRun folder;
                for (qsizetype k = 0; k < chunk.indices.size() && !chunk.abandoned.load(); ++k) {
                    const QString& path = context->paths[chunk.indices[k]];
                    FileStatusResult& result = chunk.results[std::size_t(k)];
                    watch.touch();
                    if (context->deadMounts->covers(path)) {
                        result = unansweredResult(path, context->options);
                    } else if (folder.isUnreachable(path, *context->checker)) {
                        result = context->checker->makeResultInUnreachableFolder(path, context->candidates,
                                                                                 context->options);
                    } else {
                        result = context->checker->makeFileStatusResult(path, context->candidates,
                                                                        context->options);
                        folder.checked(path, result);
                        if (context->deadMounts->any.load())
                            context->deadMounts->answered(mountOf(path, context->options));
                    }
                    chunk.done.store(k + 1, std::memory_order_release);
                }
                return 0;
            },
            [&](int c, WatchdogPool::Outcome outcome, const int*) {
                ScanChunk& chunk = *chunks[std::size_t(c)];
                if (outcome == WatchdogPool::Outcome::abandoned)
                    chunk.abandoned = true;
                const qsizetype done = chunk.done.load(std::memory_order_acquire);
                // The job writes no result before `done` again: an abandoned one may still be writing
                // the one at `done`, so only a chunk that ended frees its results here.
                for (qsizetype k = 0; k < done; ++k)
                    onResult(chunk.indices[k], std::move(chunk.results[std::size_t(k)]));
                if (outcome != WatchdogPool::Outcome::abandoned)
                    std::vector<FileStatusResult>().swap(chunk.results);
                if (outcome != WatchdogPool::Outcome::abandoned || done >= chunk.indices.size())
                    return;
                const QString& path = paths[chunk.indices[done]];
                FileStatusResult unanswered = unansweredResult(path, options);
                // Only a network mount is written off: a check on a local disk may have hung on its
                // relative-path candidate elsewhere.
                if (const MountEntry* mount = mountOf(path, options);
                    mount && mount->mountPoint != QLatin1String("/") &&
                    MountTable::isNetworkFileSystem(mount->fileSystemType))
                    m_deadMounts->add(mount->mountPoint);
                if (unanswered.status == MediaFileStatus::networkOffline)
                    AppLog::networkDriveOffline(path);
                else
                    AppLog::warning(QStringLiteral("No answer from ") + path +
                                    QStringLiteral("; recorded offline"));
                onResult(chunk.indices[done], std::move(unanswered));
                pending += chunk.indices.mid(done + 1);
            },
            cancel);
    }
}

QList<FileStatusResult> FileStatusScan::checkBatch(const QStringList& paths,
                                                   const RelativeCandidates& relativeCandidates,
                                                   const FileStatusChecking::Options& options) {
    QList<FileStatusResult> results;
    results.reserve(paths.size());
    run(
        paths, relativeCandidates, options, [&](int, FileStatusResult&& r) { results.append(std::move(r)); },
        nullptr);
    return results;
}

QList<FileStatusResult> FileStatusScan::checkAll(const QStringList& paths,
                                                 const RelativeCandidates& relativeCandidates,
                                                 const FileStatusChecking::Options& options,
                                                 const BatchCallback& onBatch,
                                                 const std::atomic_bool* cancel) {
    // A sliding window of batchSize checks in flight rather than batch after batch: the same bound,
    // without every batch waiting for its slowest check.
    QList<FileStatusResult> all;
    all.reserve(paths.size());
    QList<FileStatusResult> batch;
    const auto flush = [&] {
        if (onBatch && !batch.isEmpty())
            onBatch(batch);
        batch.clear();
    };
    run(
        paths, relativeCandidates, options,
        [&](int, FileStatusResult&& r) {
            all.append(r);
            batch.append(std::move(r));
            if (batch.size() == batchSize)
                flush();
        },
        cancel);
    flush();
    return all;
}

QList<FileStatusResult> FileStatusScan::checkAllInOrder(const QStringList& paths,
                                                        const RelativeCandidates& relativeCandidates,
                                                        const FileStatusChecking::Options& options,
                                                        const std::atomic_bool* cancel) {
    QList<FileStatusResult> all(paths.size());
    run(
        paths, relativeCandidates, options,
        [&](int index, FileStatusResult&& r) { all[index] = std::move(r); }, cancel);
    return all;
}

} // namespace tarnwick
