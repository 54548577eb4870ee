#pragma once

#include "platform/VolumeClock.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

// Outcome of one file operation: ok when code is 0, otherwise the errno value (or one of ours)
// and a short human text suitable after "name: ".
struct FileOpStatus {
    int code = 0;
    QString message;

    bool ok() const { return code == 0; }
    explicit operator bool() const { return ok(); }
    static FileOpStatus success() { return {}; }
    static FileOpStatus failure(int code, QString message = {}) { return {code, std::move(message)}; }

    // Ours, never an errno value: the item at the path is not the one the caller expected, and
    // was left alone.
    static constexpr int changedCode = -1;
    static FileOpStatus changed() {
        return failure(changedCode, QStringLiteral("a different item is at its path now — kept"));
    }
    bool isChanged() const { return code == changedCode; }
};

enum class FileKind { missing, regular, directory, symlink, other };

// What tells one file apart from another that later took its name: a destructive step compares
// the identity it recorded with the live one right before it acts, and keeps a file that changed.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0; // nanoseconds since the epoch

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileOpInfo {
    FileKind kind = FileKind::missing;
    qint64 size = 0;
    QDateTime modified;
    quint64 device = 0;
    quint64 inode = 0;
    quint32 mode = 0;
    qint64 modifiedNs = 0;
    quint64 linkCount = 0; // names of the same inode; removing one of several frees no space

    FileIdentity identity() const { return {device, inode, size, modifiedNs}; }
};

// Whether the item now at a path is still the one `then` describes: a folder by device and inode
// alone (its size and time change with what is put in or taken out), anything else whole.
inline bool isSameItem(const FileIdentity& then, const FileOpInfo& now) {
    if (now.kind == FileKind::missing)
        return false;
    if (now.kind == FileKind::directory)
        return now.device == then.device && now.inode == then.inode;
    return now.identity() == then;
}

// Where a trashed item ended up, for logging and tests.
struct TrashOutcome {
    FileOpStatus status;
    QString trashedPath; // .../Trash/files/<name>
    QString infoPath;    // .../Trash/info/<name>.trashinfo
};

// An item in the Trash beside an info that names the place it came from.
struct TrashedItem {
    QString itemPath; // .../Trash/files/<name>
    QString infoPath; // .../Trash/info/<name>.trashinfo
    FileOpInfo item;
};

// Progress of a long copy (cross-device moves): bytes done so far of the total.
using FileOpProgress = std::function<void(qint64 done, qint64 total)>;

// The one way the application changes the disk. Every destructive step (trash, delete, move,
// replace) goes through here so tests can inject faults. A path containing a NUL character is
// refused by every operation (it would name a different file to the kernel).
class FileOperations {
public:
    virtual ~FileOperations() = default;

    // The Linux implementation, shared by the whole process.
    static std::shared_ptr<FileOperations> system();

    // lstat when followLinks is false, stat otherwise.
    virtual FileOpInfo status(const QString& path, bool followLinks = false) const = 0;
    // A regular file after following links.
    virtual bool isRegularFile(const QString& path) const = 0;
    // Symbolic links resolved; empty when the path does not exist.
    virtual QString canonicalPath(const QString& path) const = 0;

    virtual FileOpStatus makeFolder(const QString& path, bool withParents = true, quint32 mode = 0755) = 0;
    // The three removals take the item the caller chose as `expected` (nothing: no check). They
    // compare it with the item at the path right before they act (isSameItem) and keep one that
    // differs, failing with FileOpStatus::changed().
    //
    // Removes a file or a symbolic link; refuses a folder (EISDIR).
    virtual FileOpStatus removeFile(const QString& path,
                                    const std::optional<FileIdentity>& expected = std::nullopt) = 0;
    // Removes a folder and everything below it without following symbolic links.
    virtual FileOpStatus removeTree(const QString& path,
                                    const std::optional<FileIdentity>& expected = std::nullopt) = 0;
    // freedesktop.org Trash of the item's own mount; never copies across devices.
    virtual TrashOutcome moveToTrash(const QString& path,
                                     const std::optional<FileIdentity>& expected = std::nullopt) = 0;
    // The paths about to be moved to the Trash, in that order: a hint that lets the Trash prepare
    // their records ahead. Moving others, fewer or in another order stays correct. An empty list
    // ends the hint, and whatever was prepared for paths never moved goes.
    virtual void expectTrash(const QStringList& paths) { Q_UNUSED(paths); }
    // Sweeps the trash folders this program may have used of the .trashinfo files a killed run
    // left (ours, their writer gone), off the calling thread: the desktop's Empty Trash keeps them,
    // and they hold their names. Once per process; returns at once.
    virtual void sweepTrashLeftovers() {}
    // For each of `paths`, the items in the Trash an item there would go to (the home trash, or its
    // volume's own) that stand beside an info naming that path as their place; none for a path
    // whose Trash could not be looked through (its info folder cannot be read). Their infos are read
    // once for all the paths.
    virtual QList<std::optional<QList<TrashedItem>>> trashedFrom(const QStringList& paths) const {
        return QList<std::optional<QList<TrashedItem>>>(paths.size());
    }
    // How the volume holding `path` keeps its files' times (not known, where the platform cannot
    // tell).
    virtual VolumeClock clockOf(const QString& path) const {
        Q_UNUSED(path);
        return {};
    }
    // Never replaces an existing destination (EEXIST). Across devices: verified, fsynced copy to a
    // temporary name, renamed into place, then the source removed. A failure leaves the source intact.
    virtual FileOpStatus moveNoReplace(const QString& source, const QString& destination,
                                       const FileOpProgress& progress = {},
                                       const std::atomic_bool* cancel = nullptr) = 0;
    // fsync replacement, rename it over target, fsync the folder: never a moment without either.
    virtual FileOpStatus replaceAtomically(const QString& replacement, const QString& target) = 0;
    // Removes a file (or a folder with its contents) only when it carries this program's leftover
    // mark and the process that wrote it is gone; anything else is refused with EPERM and kept.
    virtual FileOpStatus removeLeftover(const QString& path) = 0;
};

} // namespace tarnwick
