#include "platform/LinuxFileOperations.h"

#include "platform/FileMoveSupport.h"
#include "platform/Immortal.h"
#include "platform/LeftoverRemoval.h"
#include "platform/MountTable.h"
#include "platform/PathText.h"
#include "platform/ThreadPools.h"

#include "platform/LinuxTrash.h"

#include <QFile>

#include <QThreadPool>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

std::shared_ptr<FileOperations> FileOperations::system() {
    // Outlives static destruction: a worker abandoned by a watchdog may still hold it at exit.
    static Immortal<std::shared_ptr<FileOperations>> instance(std::make_shared<LinuxFileOperations>());
    return instance.get();
}

FileOpInfo LinuxFileOperations::infoFrom(const struct stat& st) {
    FileOpInfo info;
    if (S_ISREG(st.st_mode))
        info.kind = FileKind::regular;
    else if (S_ISDIR(st.st_mode))
        info.kind = FileKind::directory;
    else if (S_ISLNK(st.st_mode))
        info.kind = FileKind::symlink;
    else
        info.kind = FileKind::other;
    info.size = qint64(st.st_size);
    // In UTC: the same moment, without a time zone lookup (a stat of /etc/localtime) per call.
    info.modified = QDateTime::fromMSecsSinceEpoch(
        qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000, Qt::UTC);
    info.device = quint64(st.st_dev);
    info.inode = quint64(st.st_ino);
    info.mode = quint32(st.st_mode);
    info.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.linkCount = quint64(st.st_nlink);
    return info;
}

bool LinuxFileOperations::isExpected(const std::optional<FileIdentity>& expected, const struct stat& st) {
    return !expected || isSameItem(*expected, infoFrom(st));
}

bool LinuxFileOperations::hasNul(const QString& path) {
    return path::containsNul(path);
}

FileOpStatus LinuxFileOperations::nulRefused() {
    return FileOpStatus::failure(EINVAL, QStringLiteral("The path contains a NUL character"));
}

FileOpStatus LinuxFileOperations::fromErrno(int code) {
    return FileOpStatus::failure(code, QString::fromLocal8Bit(strerror(code)));
}

FileOpStatus LinuxFileOperations::explained(const QString& path, FileOpStatus status) {
    if (status.code == ENOENT) {
        if (QString reason = path::undecodableNameReason(path); !reason.isEmpty())
            status.message = std::move(reason);
    }
    return status;
}

FileOpInfo LinuxFileOperations::status(const QString& path, bool followLinks) const {
    if (path.isEmpty() || hasNul(path))
        return {};
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    const int rc = followLinks ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st);
    return rc == 0 ? infoFrom(st) : FileOpInfo{};
}

bool LinuxFileOperations::isRegularFile(const QString& path) const {
    return status(path, true).kind == FileKind::regular;
}

QString LinuxFileOperations::canonicalPath(const QString& path) const {
    if (path.isEmpty() || hasNul(path))
        return {};
    char resolved[PATH_MAX];
    if (!::realpath(QFile::encodeName(path).constData(), resolved))
        return {};
    return QFile::decodeName(resolved);
}

namespace {

// A folder just made is synced into its parent: files moved into it afterwards (a copy synced
// there, its original then removed) must not vanish with it in a power cut.
FileOpStatus madeFolder(const QByteArray& native) {
    if (const int error = filemove::syncFolder(filemove::parentOf(native)); error != 0)
        return LinuxFileOperations::fromErrno(error);
    return {};
}

} // namespace

FileOpStatus LinuxFileOperations::makeFolder(const QString& path, bool withParents, quint32 mode) {
    if (hasNul(path))
        return nulRefused();
    if (path.isEmpty())
        return fromErrno(ENOENT);
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    if (::mkdir(native.constData(), mode_t(mode)) == 0)
        return madeFolder(native);
    int error = errno;
    if (error == EEXIST) {
        struct stat st {};
        if (::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            return {};
        return fromErrno(EEXIST);
    }
    if (error != ENOENT || !withParents)
        return fromErrno(error);
    const qsizetype slash = native.lastIndexOf('/');
    if (slash <= 0)
        return fromErrno(error);
    const FileOpStatus parent = makeFolder(QFile::decodeName(native.left(slash)), true, mode);
    if (!parent)
        return parent;
    if (::mkdir(native.constData(), mode_t(mode)) == 0)
        return madeFolder(native);
    error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return {};
    return fromErrno(error);
}

FileOpStatus LinuxFileOperations::removeFile(const QString& path,
                                             const std::optional<FileIdentity>& expected) {
    if (hasNul(path))
        return nulRefused();
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return explained(path, fromErrno(errno));
    if (S_ISDIR(st.st_mode))
        return fromErrno(EISDIR);
    // unlink takes no identity: this lstat right before it is as close as the kernel allows.
    if (!isExpected(expected, st))
        return FileOpStatus::changed();
    if (::unlink(native.constData()) != 0)
        return fromErrno(errno);
    return {};
}

FileOpStatus LinuxFileOperations::removeTree(const QString& path,
                                             const std::optional<FileIdentity>& expected) {
    if (hasNul(path))
        return nulRefused();
    return explained(path, removeTreeNoFollow(QFile::encodeName(path), expected));
}

FileOpStatus LinuxFileOperations::removeLeftover(const QString& path) {
    if (hasNul(path))
        return nulRefused();
    return leftover::removeAbandoned(QFile::encodeName(path));
}

TrashOutcome LinuxFileOperations::moveToTrash(const QString& path,
                                              const std::optional<FileIdentity>& expected) {
    if (hasNul(path))
        return {nulRefused(), {}, {}};
    TrashOutcome outcome = m_trash.moveToTrash(path, expected);
    outcome.status = explained(path, std::move(outcome.status));
    return outcome;
}

void LinuxFileOperations::expectTrash(const QStringList& paths) {
    m_trash.expect(paths);
}

void LinuxFileOperations::sweepTrashLeftovers() {
    static std::once_flag once;
    std::call_once(once, [] {
        trashSweepPool().start([] { LinuxTrash::sweepKnownTrashes(MountTable::readCurrent()); });
    });
}

QList<std::optional<QList<TrashedItem>>> LinuxFileOperations::trashedFrom(const QStringList& paths) const {
    return LinuxTrash::trashedFrom(paths);
}

VolumeClock LinuxFileOperations::clockOf(const QString& path) const {
    if (path.isEmpty() || hasNul(path))
        return {};
    return VolumeClock::ofPath(QFile::encodeName(path));
}

} // namespace tarnwick
