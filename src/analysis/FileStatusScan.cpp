#include "analysis/FileStatusScan.h"

#include "analysis/FileStatusChecker.h"
#include "analysis/StorageTypeDetector.h"
#include "platform/AppLog.h"
#include "platform/MountTable.h"
#include "platform/WatchdogPool.h"

#include <QMutex>
#include <QMutexLocker>

#include <atomic>

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
    QHash<QString, QString> candidates;
    FileStatusChecking::Options options;
    std::shared_ptr<FileStatusScan::DeadMounts> deadMounts;
};

} // namespace

FileStatusScan::FileStatusScan(std::shared_ptr<const FileStatusChecking> checker,
                               std::chrono::milliseconds timeout)
    : m_checker(checker ? std::move(checker) : std::make_shared<const FileStatusChecker>()),
      m_pool(std::make_unique<WatchdogPool>(batchSize, timeout)),
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

void FileStatusScan::run(const QStringList& paths, const QHash<QString, QString>& relativeCandidates,
                         const FileStatusChecking::Options& options,
                         const std::function<void(FileStatusResult&&)>& onResult,
                         const std::atomic_bool* cancel) {
    // Jobs own their inputs: an abandoned check may outlive this call.
    auto context = std::make_shared<const ScanContext>(
        ScanContext{m_checker, paths, relativeCandidates, options, m_deadMounts});
    m_pool->map<FileStatusResult>(
        int(paths.size()),
        [context](int index, WatchdogPool::Watch&) {
            const QString& path = context->paths[index];
            if (context->deadMounts->covers(path))
                return unansweredResult(path, context->options);
            FileStatusResult result =
                context->checker->makeFileStatusResult(path, context->candidates, context->options);
            if (context->deadMounts->any.load())
                context->deadMounts->answered(mountOf(path, context->options));
            return result;
        },
        [&](int index, WatchdogPool::Outcome outcome, const FileStatusResult* result) {
            if (outcome == WatchdogPool::Outcome::cancelled)
                return;
            if (outcome == WatchdogPool::Outcome::finished && result) {
                onResult(FileStatusResult(*result));
                return;
            }
            const QString& path = paths[index];
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
            onResult(std::move(unanswered));
        },
        cancel);
}

QList<FileStatusResult> FileStatusScan::checkBatch(const QStringList& paths,
                                                   const QHash<QString, QString>& relativeCandidates,
                                                   const FileStatusChecking::Options& options) {
    QList<FileStatusResult> results;
    results.reserve(paths.size());
    run(
        paths, relativeCandidates, options, [&](FileStatusResult&& r) { results.append(std::move(r)); },
        nullptr);
    return results;
}

QList<FileStatusResult> FileStatusScan::checkAll(const QStringList& paths,
                                                 const QHash<QString, QString>& relativeCandidates,
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
        [&](FileStatusResult&& r) {
            all.append(r);
            batch.append(std::move(r));
            if (batch.size() == batchSize)
                flush();
        },
        cancel);
    flush();
    return all;
}

} // namespace tarnwick
