#pragma once

#include "analysis/FileStatusChecking.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace tarnwick {

class WatchdogPool;

// Runs the status check over many paths on a dedicated pool of 100 threads (at most 100 checks in
// flight), each check under a watchdog: a path whose check does not answer within the timeout is
// recorded offline, its worker abandoned, and later paths on the same network mount are not
// touched again. Blocking: call it off the GUI thread.
class FileStatusScan {
public:
    static constexpr int batchSize = 100;
    static constexpr std::chrono::milliseconds defaultTimeout{15000};

    // Null checker: a FileStatusChecker on stat(2).
    explicit FileStatusScan(std::shared_ptr<const FileStatusChecking> checker = {},
                            std::chrono::milliseconds timeout = defaultTimeout);
    ~FileStatusScan();
    FileStatusScan(const FileStatusScan&) = delete;
    FileStatusScan& operator=(const FileStatusScan&) = delete;

    // Checks up to batchSize paths at once; results in the order the checks end.
    QList<FileStatusResult> checkBatch(const QStringList& paths, const RelativeCandidates& relativeCandidates,
                                       const FileStatusChecking::Options& options);

    // Every path, at most batchSize at once; `onBatch` (on the calling thread) with every batchSize
    // results and with the last ones. Once `cancel` is set no further check starts; the results so
    // far are returned.
    using BatchCallback = std::function<void(const QList<FileStatusResult>& batch)>;
    QList<FileStatusResult> checkAll(const QStringList& paths, const RelativeCandidates& relativeCandidates,
                                     const FileStatusChecking::Options& options,
                                     const BatchCallback& onBatch = {},
                                     const std::atomic_bool* cancel = nullptr);

    // Every path, each result at its path's position in `paths`, so a caller that holds the paths in
    // order needs no table by path. A path left unchecked (cancelled) has a result with an empty path.
    QList<FileStatusResult> checkAllInOrder(const QStringList& paths,
                                            const RelativeCandidates& relativeCandidates,
                                            const FileStatusChecking::Options& options,
                                            const std::atomic_bool* cancel = nullptr);

    // What a check that did not answer records: networkOffline on a network mount, else offline.
    static FileStatusResult unansweredResult(const QString& path, const FileStatusChecking::Options& options);

    struct DeadMounts; // shared with the checks in flight

private:
    void run(const QStringList& paths, const RelativeCandidates& relativeCandidates,
             const FileStatusChecking::Options& options,
             const std::function<void(int index, FileStatusResult&&)>& onResult,
             const std::atomic_bool* cancel);

    std::shared_ptr<const FileStatusChecking> m_checker;
    std::unique_ptr<WatchdogPool> m_pool;
    std::shared_ptr<DeadMounts> m_deadMounts;
};

} // namespace tarnwick
