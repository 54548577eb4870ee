#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace tarnwick {

class MountTable;

// Network mount points where a stat or read stopped answering (a hard-mounted share that went
// away), so that later paths there are not touched again in the same run. Thread-safe.
class HungMounts {
public:
    // Null table: this process's mount table, read at the first hang.
    explicit HungMounts(std::shared_ptr<const MountTable> mountTable = {});

    bool covers(const QString& path) const;
    // Writes off the network mount holding `path`; false when the path is not on one (a local disk
    // is never written off: the hang may have been elsewhere).
    bool addMountOf(const QString& path);

private:
    mutable QMutex m_mutex;
    std::shared_ptr<const MountTable> m_mountTable;
    QStringList m_mountPoints;
    std::atomic<bool> m_any{false};
};

} // namespace tarnwick
