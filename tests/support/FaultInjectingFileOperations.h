#pragma once

#include "platform/LinuxFileOperations.h"

#include <QDirIterator>
#include <QHash>
#include <QList>
#include <QString>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace tarnwick::testing {

// Real file operations with faults injected per operation and path: a failing call touches
// nothing (except a partly failing tree removal, which removes all but one file first). Records
// every call. Thread-safe: the clean-up runs call it from a worker.
class FaultInjectingFileOperations : public FileOperations {
public:
    enum class Op {
        status,
        isRegularFile,
        canonicalPath,
        makeFolder,
        removeFile,
        removeTree,
        moveToTrash,
        moveNoReplace,
        replaceAtomically,
        removeLeftover
    };

    explicit FaultInjectingFileOperations(
        std::shared_ptr<FileOperations> inner = std::make_shared<LinuxFileOperations>())
        : m_inner(std::move(inner)) {}

    // `op` on exactly `path` fails with errno `code` and `message` (strerror's text when empty).
    void fail(Op op, const QString& path, int code, QString message = {}) {
        const std::lock_guard lock(m_mutex);
        if (message.isEmpty())
            message = QString::fromLocal8Bit(std::strerror(code));
        m_faults.insert(key(op, path), FileOpStatus::failure(code, message));
    }
    // removeTree on `path` removes every file below it except `survivor`, then fails.
    void failTreePartly(const QString& path, const QString& survivor, int code, QString message) {
        fail(Op::removeTree, path, code, std::move(message));
        const std::lock_guard lock(m_mutex);
        m_survivors.insert(path, survivor);
    }
    void clearFaults() {
        const std::lock_guard lock(m_mutex);
        m_faults.clear();
        m_survivors.clear();
    }
    // status() answers as the volume mounted again would: another device number, and on FAT and
    // exFAT inode numbers made up again and times kept to the volume's step (2 s), moved by
    // `shiftNs` (a FAT volume mounted under another time zone); clockOf() answers FAT's clock.
    enum class Remount { none, otherDevice, fatLike };
    void setRemount(Remount remount, qint64 shiftNs = 0) {
        const std::lock_guard lock(m_mutex);
        m_remount = remount;
        m_shiftNs = shiftNs;
    }
    // Called before each operation (any thread).
    void setBeforeEach(std::function<void(Op, const QString&)> hook) {
        const std::lock_guard lock(m_mutex);
        m_beforeEach = std::move(hook);
    }

    QList<std::pair<Op, QString>> calls() const {
        const std::lock_guard lock(m_mutex);
        return m_calls;
    }
    int count(Op op) const {
        const std::lock_guard lock(m_mutex);
        return int(std::count_if(m_calls.cbegin(), m_calls.cend(),
                                 [op](const auto& call) { return call.first == op; }));
    }
    // Destructive calls only (remove, trash, move, replace), in order.
    QStringList destructivePaths() const {
        const std::lock_guard lock(m_mutex);
        QStringList paths;
        for (const auto& [op, path] : m_calls) {
            if (op == Op::removeFile || op == Op::removeTree || op == Op::moveToTrash ||
                op == Op::moveNoReplace || op == Op::replaceAtomically || op == Op::removeLeftover)
                paths.append(path);
        }
        return paths;
    }

    FileOpInfo status(const QString& path, bool followLinks = false) const override {
        record(Op::status, path);
        return remounted(path, m_inner->status(path, followLinks));
    }
    QList<std::optional<QList<TrashedItem>>> trashedFrom(const QStringList& paths) const override {
        QList<std::optional<QList<TrashedItem>>> found = m_inner->trashedFrom(paths);
        for (std::optional<QList<TrashedItem>>& items : found) {
            if (!items)
                continue;
            for (TrashedItem& item : *items)
                item.item = remounted(item.itemPath, item.item);
        }
        return found;
    }
    VolumeClock clockOf(const QString& path) const override {
        const std::lock_guard lock(m_mutex);
        if (m_remount == Remount::fatLike)
            return VolumeClock::ofFileSystem(QStringLiteral("vfat"));
        return m_inner->clockOf(path);
    }
    bool isRegularFile(const QString& path) const override {
        record(Op::isRegularFile, path);
        return m_inner->isRegularFile(path);
    }
    QString canonicalPath(const QString& path) const override {
        record(Op::canonicalPath, path);
        return m_inner->canonicalPath(path);
    }
    FileOpStatus makeFolder(const QString& path, bool withParents = true, quint32 mode = 0755) override {
        if (auto fault = faultFor(Op::makeFolder, path))
            return *fault;
        return m_inner->makeFolder(path, withParents, mode);
    }
    FileOpStatus removeFile(const QString& path,
                            const std::optional<FileIdentity>& expected = std::nullopt) override {
        if (auto fault = faultFor(Op::removeFile, path))
            return *fault;
        return m_inner->removeFile(path, expected);
    }
    FileOpStatus removeTree(const QString& path,
                            const std::optional<FileIdentity>& expected = std::nullopt) override {
        if (auto fault = faultFor(Op::removeTree, path)) {
            QString survivor;
            {
                const std::lock_guard lock(m_mutex);
                survivor = m_survivors.value(path);
            }
            if (!survivor.isEmpty()) {
                QDirIterator files(path, QDir::Files | QDir::Hidden | QDir::System,
                                   QDirIterator::Subdirectories);
                QStringList doomed;
                while (files.hasNext()) {
                    const QString file = files.next();
                    if (file != survivor)
                        doomed.append(file);
                }
                for (const QString& file : doomed)
                    m_inner->removeFile(file);
            }
            return *fault;
        }
        return m_inner->removeTree(path, expected);
    }
    TrashOutcome moveToTrash(const QString& path,
                             const std::optional<FileIdentity>& expected = std::nullopt) override {
        if (auto fault = faultFor(Op::moveToTrash, path))
            return {*fault, {}, {}};
        return m_inner->moveToTrash(path, expected);
    }
    void expectTrash(const QStringList& paths) override { m_inner->expectTrash(paths); }
    void sweepTrashLeftovers() override { m_inner->sweepTrashLeftovers(); }
    FileOpStatus moveNoReplace(const QString& source, const QString& destination,
                               const FileOpProgress& progress = {},
                               const std::atomic_bool* cancel = nullptr) override {
        if (auto fault = faultFor(Op::moveNoReplace, source))
            return *fault;
        return m_inner->moveNoReplace(source, destination, progress, cancel);
    }
    FileOpStatus replaceAtomically(const QString& replacement, const QString& target) override {
        if (auto fault = faultFor(Op::replaceAtomically, target))
            return *fault;
        return m_inner->replaceAtomically(replacement, target);
    }
    FileOpStatus removeLeftover(const QString& path) override {
        if (auto fault = faultFor(Op::removeLeftover, path))
            return *fault;
        return m_inner->removeLeftover(path);
    }

private:
    FileOpInfo remounted(const QString& path, FileOpInfo info) const {
        Remount remount;
        qint64 shift = 0;
        {
            const std::lock_guard lock(m_mutex);
            remount = m_remount;
            shift = m_shiftNs;
        }
        if (info.kind == FileKind::missing || remount == Remount::none)
            return info;
        info.device += 7;
        if (remount == Remount::fatLike) {
            info.inode = 2 + qHash(path) % 100000;
            constexpr qint64 step = 2'000'000'000;
            info.modifiedNs -= ((info.modifiedNs % step) + step) % step;
            info.modifiedNs += shift;
            info.modified = QDateTime::fromMSecsSinceEpoch(info.modifiedNs / 1000000, Qt::UTC);
        }
        return info;
    }
    static QString key(Op op, const QString& path) {
        return QString::number(int(op)) + QLatin1Char('\n') + path;
    }
    void record(Op op, const QString& path) const {
        std::function<void(Op, const QString&)> hook;
        {
            const std::lock_guard lock(m_mutex);
            m_calls.append({op, path});
            hook = m_beforeEach;
        }
        if (hook)
            hook(op, path);
    }
    std::optional<FileOpStatus> faultFor(Op op, const QString& path) {
        record(op, path);
        const std::lock_guard lock(m_mutex);
        const auto it = m_faults.constFind(key(op, path));
        if (it == m_faults.cend())
            return std::nullopt;
        return *it;
    }

    std::shared_ptr<FileOperations> m_inner;
    mutable std::mutex m_mutex;
    QHash<QString, FileOpStatus> m_faults;
    QHash<QString, QString> m_survivors;
    mutable QList<std::pair<Op, QString>> m_calls;
    std::function<void(Op, const QString&)> m_beforeEach;
    Remount m_remount = Remount::none;
    qint64 m_shiftNs = 0;
};

} // namespace tarnwick::testing
