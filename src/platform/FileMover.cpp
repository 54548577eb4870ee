#include "platform/FileMover.h"

#include "platform/PathText.h"

#include "platform/AtomicReplace.h"
#include "platform/CrossDeviceMove.h"
#include "platform/FileMoveSupport.h"
#include "platform/LeftoverMark.h"
#include "platform/NoReplaceRename.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwick {

using namespace filemove;

namespace {

constexpr qint64 kBufferBytes = 1024 * 1024;

// Read and write for file systems the kernel cannot copy between; loops on short writes.
qint64 readWriteChunk(int from, int to, qint64 count) {
    thread_local std::vector<char> buffer(kBufferBytes);
    ssize_t got;
    do {
        got = ::read(from, buffer.data(), size_t(std::min(count, kBufferBytes)));
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return got;
    ssize_t written = 0;
    while (written < got) {
        const ssize_t step = ::write(to, buffer.data() + written, size_t(got - written));
        if (step < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (step == 0) {
            errno = EIO;
            return -1;
        }
        written += step;
    }
    return got;
}

qint64 systemCopyChunk(int from, int to, qint64 count) {
    const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, size_t(count), 0);
    if (copied > 0)
        return copied;
    if (copied < 0 && errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL &&
        errno != EBADF)
        return -1;
    // No in-kernel copy between these file systems (or one that answers 0 for it): read and write.
    return readWriteChunk(from, to, count);
}

int systemRemove(const QByteArray& path) {
    return ::unlink(path.constData());
}

FileOpStatus invalidPath(const QString& path) {
    if (path.isEmpty())
        return FileOpStatus::failure(EINVAL, QStringLiteral("The path is empty"));
    return FileOpStatus::failure(EINVAL, QStringLiteral("The path contains a NUL character"));
}

} // namespace

FileMoveSteps FileMoveSteps::system() {
    FileMoveSteps steps;
    steps.copyChunk = systemCopyChunk;
    steps.renameNoReplace = NoReplaceCalls::systemRename;
    steps.removeSourceFile = systemRemove;
    return steps;
}

NoReplaceCalls FileMoveSteps::renameCalls() const {
    NoReplaceCalls calls;
    calls.rename = renameNoReplace;
    calls.removeOldName = removeSourceFile;
    calls.link = link;
    calls.reached = reachedFallback;
    return calls;
}

FileMover::FileMover(FileMoveSteps steps) : m_steps(std::move(steps)) {
    const FileMoveSteps defaults = FileMoveSteps::system();
    if (!m_steps.copyChunk)
        m_steps.copyChunk = defaults.copyChunk;
    if (!m_steps.renameNoReplace)
        m_steps.renameNoReplace = defaults.renameNoReplace;
    if (!m_steps.removeSourceFile)
        m_steps.removeSourceFile = defaults.removeSourceFile;
}

FileOpStatus FileMover::moveNoReplace(const QString& source, const QString& destination,
                                      const FileOpProgress& progress, const std::atomic_bool* cancel) {
    if (source.isEmpty() || path::containsNul(source))
        return invalidPath(source);
    if (destination.isEmpty() || path::containsNul(destination))
        return invalidPath(destination);
    if (cancel && cancel->load())
        return errnoStatus(ECANCELED);
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);
    // The rename first: on one device that is the whole move, one system call per file (no
    // progress to report for it).
    const int error = renameNoReplace(from, to, m_steps.renameCalls());
    if (error == 0)
        return FileOpStatus::success();
    struct stat info {};
    if (::lstat(from.constData(), &info) != 0) {
        const int error = errno;
        // A move across devices stopped after it removed the source: it is finished, not failed.
        if (error == ENOENT && CrossDeviceMove::finishedEarlier(from, to))
            return FileOpStatus::success();
        return errnoStatus(error);
    }
    // Copying a FIFO or a device would read it: only files, folders and links leave their device.
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode))
        return FileOpStatus::failure(EPERM, QStringLiteral("Only files and folders can be moved"));
    if (error == EXDEV)
        return CrossDeviceMove(m_steps, progress, cancel).run(from, to, info);
    return errnoStatus(error);
}

QStringList FileMover::temporariesIn(const QString& folder) {
    const QByteArray native = QFile::encodeName(folder);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.constData()), ::closedir);
    if (!dir)
        return {};
    QStringList temporaries;
    QStringList sidecars;
    while (const dirent* entry = ::readdir(dir.get())) {
        // Hidden names only: every temporary (and every sidecar) begins with a dot.
        if (entry->d_name[0] != '.' || !std::strstr(entry->d_name, temporaryMarker))
            continue;
        const QByteArray path = native + '/' + entry->d_name;
        (leftover::sidecarTarget(path).isEmpty() ? temporaries : sidecars).append(QFile::decodeName(path));
    }
    return temporaries + sidecars;
}

FileOpStatus FileMover::replaceAtomically(const QString& replacement, const QString& target) {
    if (replacement.isEmpty() || path::containsNul(replacement))
        return invalidPath(replacement);
    if (target.isEmpty() || path::containsNul(target))
        return invalidPath(target);
    const QByteArray from = QFile::encodeName(replacement);
    const int fd = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errnoStatus(errno);
    const int error = tarnwick::replaceAtomically(fd, from, QFile::encodeName(target));
    if (error == EINVAL)
        return FileOpStatus::failure(EINVAL, QStringLiteral("The replacement is not a regular file"));
    if (error != 0)
        return errnoStatus(error);
    return FileOpStatus::success();
}

} // namespace tarnwick
