#include "platform/LinuxFileOperations.h"

#include "platform/AppLog.h"
#include "platform/Immortal.h"
#include "platform/LeftoverMark.h"
#include "platform/PathText.h"

#include "platform/LinuxTrash.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

std::shared_ptr<FileOperations> FileOperations::system() {
    // Outlives static destruction: a worker abandoned by a watchdog may still hold it at exit.
    static Immortal<std::shared_ptr<FileOperations>> instance(std::make_shared<LinuxFileOperations>());
    return instance.get();
}

namespace {

FileOpInfo infoFrom(const struct stat& st) {
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

// Removes everything inside the open folder `dirFd` (which it closes), never following links.
// Goes on after a failure so as much as possible is gone; the first error wins.
int removeContents(int dirFd, const QByteArray& where, int& failures, QString& firstError) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        const int error = errno;
        ::close(dirFd);
        return error;
    }
    int firstCode = 0;
    const auto fail = [&](int code, const QByteArray& path) {
        ++failures;
        if (firstCode == 0) {
            firstCode = code;
            firstError =
                QFile::decodeName(path) + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(code));
        }
    };
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        const QByteArray path = where + '/' + name;
        struct stat st {};
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            fail(errno, path);
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                fail(errno, path);
                continue;
            }
            const int inner = removeContents(child, path, failures, firstError);
            if (inner != 0 && firstCode == 0)
                firstCode = inner;
            if (unlinkat(dirfd(dir), name, AT_REMOVEDIR) != 0 && inner == 0)
                fail(errno, path);
        } else if (unlinkat(dirfd(dir), name, 0) != 0) {
            fail(errno, path);
        }
    }
    closedir(dir);
    return firstCode;
}

} // namespace

bool LinuxFileOperations::hasNul(const QString& path) {
    return path::containsNul(path);
}

FileOpStatus LinuxFileOperations::nulRefused() {
    return FileOpStatus::failure(EINVAL, QStringLiteral("The path contains a NUL character"));
}

FileOpStatus LinuxFileOperations::fromErrno(int code) {
    return FileOpStatus::failure(code, QString::fromLocal8Bit(strerror(code)));
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

FileOpStatus LinuxFileOperations::makeFolder(const QString& path, bool withParents, quint32 mode) {
    if (hasNul(path))
        return nulRefused();
    if (path.isEmpty())
        return fromErrno(ENOENT);
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    if (::mkdir(native.constData(), mode_t(mode)) == 0)
        return {};
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
        return {};
    error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return {};
    return fromErrno(error);
}

FileOpStatus LinuxFileOperations::removeFile(const QString& path) {
    if (hasNul(path))
        return nulRefused();
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return fromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return fromErrno(EISDIR);
    if (::unlink(native.constData()) != 0)
        return fromErrno(errno);
    return {};
}

FileOpStatus LinuxFileOperations::removeTree(const QString& path) {
    if (hasNul(path))
        return nulRefused();
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return fromErrno(errno);
    // A link to a folder is removed as the link, never what it points to.
    if (!S_ISDIR(st.st_mode))
        return ::unlink(native.constData()) == 0 ? FileOpStatus{} : fromErrno(errno);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno);
    int failures = 0;
    QString firstError;
    const int code = removeContents(fd, native, failures, firstError);
    if (code != 0) {
        return FileOpStatus::failure(code, QStringLiteral("%1 item(s) could not be removed (first: %2)")
                                               .arg(QString::number(failures), firstError));
    }
    if (::rmdir(native.constData()) != 0)
        return fromErrno(errno);
    return {};
}

FileOpStatus LinuxFileOperations::removeLeftover(const QString& path) {
    if (hasNul(path))
        return nulRefused();
    QByteArray native = QFile::encodeName(path);
    switch (leftover::judge(native)) {
    case leftover::Verdict::notOurs:
        return FileOpStatus::failure(EPERM, QStringLiteral("Not a leftover of this program"));
    case leftover::Verdict::inUse:
        return FileOpStatus::failure(EBUSY, QStringLiteral("The program that wrote it is still running"));
    case leftover::Verdict::abandoned:
        break;
    }
    // A sidecar that still marks its file stands for that file; an orphan goes alone.
    const QByteArray target = leftover::sidecarTarget(native);
    if (!target.isEmpty() && leftover::markOf(target))
        native = target;
    const std::optional<leftover::Mark> mark = leftover::markOf(native);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return fromErrno(errno);
    const QString where = QFile::decodeName(native);
    const FileOpStatus removed = S_ISDIR(st.st_mode) ? removeTree(where) : removeFile(where);
    if (!removed)
        return removed;
    if (mark)
        ::unlink(leftover::sidecarPath(native).constData()); // attribute marks have none: harmless
    AppLog::info(QStringLiteral("Removed leftover ") + where + QStringLiteral(" (written by process ") +
                 QString::number(mark ? mark->writer.pid : 0) + QStringLiteral(", no longer running)"));
    return {};
}

TrashOutcome LinuxFileOperations::moveToTrash(const QString& path) {
    if (hasNul(path))
        return {nulRefused(), {}, {}};
    return m_trash.moveToTrash(path);
}

} // namespace tarnwick
