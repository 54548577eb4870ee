#include "platform/LeftoverRemoval.h"

#include "platform/AppLog.h"
#include "platform/CrossDeviceMove.h"
#include "platform/FileMover.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxFileOperations.h"
#include "platform/NoReplaceRename.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

FileOpStatus fromErrno(int code) {
    return FileOpStatus::failure(code, QString::fromLocal8Bit(strerror(code)));
}

// Removes everything inside the open folder `dirFd` (which it closes), never following links.
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

FileOpStatus removeTreeNoFollow(QByteArray native, const std::optional<FileIdentity>& expected) {
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return fromErrno(errno);
    // A link to a folder is removed as the link, never what it points to.
    if (!S_ISDIR(st.st_mode)) {
        if (!LinuxFileOperations::isExpected(expected, st))
            return FileOpStatus::changed();
        return ::unlink(native.constData()) == 0 ? FileOpStatus{} : fromErrno(errno);
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno);
    // Checked on the descriptor: the contents removed below are those of this very folder.
    if (expected && (::fstat(fd, &st) != 0 || !LinuxFileOperations::isExpected(expected, st))) {
        ::close(fd);
        return FileOpStatus::changed();
    }
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

namespace {

FileOpStatus refused(leftover::Verdict verdict) {
    if (verdict == leftover::Verdict::inUse)
        return FileOpStatus::failure(EBUSY, QStringLiteral("The program that wrote it is still running"));
    return FileOpStatus::failure(EPERM, QStringLiteral("Not a leftover of this program"));
}

// A name only this program makes: a mark's sidecar or a temporary copy.
bool isOurName(const QByteArray& native) {
    const QByteArray name = native.mid(native.lastIndexOf('/') + 1);
    return name.startsWith('.') &&
           (!leftover::sidecarTarget(native).isEmpty() || name.contains(FileMover::temporaryMarker));
}

// The note of a rename or a move that a kill stopped: settled, not removed like a leftover.
std::optional<FileOpStatus> settledNote(const QByteArray& native, leftover::RunningWriters& writers,
                                        const ClaimVouch& vouch) {
    const QByteArray name = native.mid(native.lastIndexOf('/') + 1);
    bool settled = false;
    if (isClaimNoteName(name))
        settled = resolveClaimNote(native, writers, vouch);
    else if (CrossDeviceMove::isSourceNoteName(name))
        settled = CrossDeviceMove::settleSourceNote(native, writers);
    else
        return std::nullopt;
    if (!settled)
        return refused(leftover::Verdict::inUse);
    AppLog::info(QStringLiteral("Settled the note of an interrupted rename or move ") +
                 QFile::decodeName(native));
    return FileOpStatus{};
}

} // namespace

FileOpStatus leftover::removeAbandoned(QByteArray native, RunningWriters* writers, const ClaimVouch& vouch) {
    RunningWriters own;
    RunningWriters& asked = writers ? *writers : own;
    if (std::optional<FileOpStatus> note = settledNote(native, asked, vouch))
        return *note;
    if (const std::optional<Writer> writer = unfinishedWriteOf(native.mid(native.lastIndexOf('/') + 1))) {
        if (asked.isRunning(*writer))
            return refused(Verdict::inUse);
        if (::unlink(native.constData()) != 0)
            return fromErrno(errno);
        AppLog::info(QStringLiteral("Removed leftover ") + QFile::decodeName(native) +
                     QStringLiteral(" (written by process ") + QString::number(writer->pid) +
                     QStringLiteral(", no longer running)"));
        return {};
    }
    if (isOurName(native) && isInterruptedEmpty(native)) {
        if (::unlink(native.constData()) != 0)
            return fromErrno(errno);
        AppLog::info(QStringLiteral("Removed leftover ") + QFile::decodeName(native) +
                     QStringLiteral(" (empty, its writer stopped before writing it)"));
        return {};
    }
    if (const Verdict verdict = judge(native, &asked); verdict != Verdict::abandoned)
        return refused(verdict);
    // A sidecar that still marks its file stands for that file; an orphan goes alone.
    const QByteArray target = sidecarTarget(native);
    if (!target.isEmpty() && markOf(target))
        native = target;
    const std::optional<Mark> mark = markOf(native);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return fromErrno(errno);
    const FileOpStatus removed = S_ISDIR(st.st_mode)                 ? removeTreeNoFollow(native)
                                 : ::unlink(native.constData()) == 0 ? FileOpStatus{}
                                                                     : fromErrno(errno);
    if (!removed)
        return removed;
    if (mark)
        ::unlink(sidecarPath(native).constData()); // attribute marks have none: harmless
    AppLog::info(QStringLiteral("Removed leftover ") + QFile::decodeName(native) +
                 QStringLiteral(" (written by process ") + QString::number(mark ? mark->writer.pid : 0) +
                 QStringLiteral(", no longer running)"));
    return {};
}

} // namespace tarnwick
