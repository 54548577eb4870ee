#include "platform/NoReplaceRename.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes `path` only while it is still the file we put there.
void unlinkIfStill(const QByteArray& path, const struct stat& ours) {
    struct stat now {};
    if (::lstat(path.constData(), &now) == 0 && sameFile(now, ours))
        ::unlink(path.constData());
}

// Claims `to` with an empty item of our own, which a plain rename then replaces: the claim
// refuses an existing name, and rename refuses to put a folder over a filled one.
int claimThenRename(const QByteArray& from, const QByteArray& to, bool folder) {
    struct stat claim {};
    if (folder) {
        if (::mkdir(to.constData(), 0700) != 0)
            return errno;
    } else {
        const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        const bool known = ::fstat(fd, &claim) == 0;
        ::close(fd);
        if (!known) {
            const int error = errno;
            ::unlink(to.constData());
            return error;
        }
    }
    if (::rename(from.constData(), to.constData()) == 0)
        return 0;
    const int error = errno;
    if (folder)
        ::rmdir(to.constData()); // only ever removes an empty folder
    else
        unlinkIfStill(to, claim);
    return error == ENOTEMPTY ? EEXIST : error;
}

// The file system has no hard links here, or refuses one to a file of another owner.
bool linkRefused(int error) {
    return error == EPERM || error == ENOTSUP || error == ENOSYS;
}

} // namespace

int NoReplaceCalls::systemRename(const QByteArray& from, const QByteArray& to) {
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
}

int renameNoReplace(const QByteArray& from, const QByteArray& to, const NoReplaceCalls& calls) {
    const int renamed = calls.rename ? calls.rename(from, to) : NoReplaceCalls::systemRename(from, to);
    if (renamed == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP)
        return error;
    // No RENAME_NOREPLACE on this file system.
    struct stat source {};
    if (::lstat(from.constData(), &source) != 0)
        return errno;
    if (S_ISDIR(source.st_mode))
        return claimThenRename(from, to, true);
    if (::link(from.constData(), to.constData()) != 0) {
        const int linkError = errno;
        return linkRefused(linkError) ? claimThenRename(from, to, false) : linkError;
    }
    const int removed = calls.removeOldName ? calls.removeOldName(from) : ::unlink(from.constData());
    if (removed == 0)
        return 0;
    const int removeError = errno;
    // Our second name goes again, so the file is where it was; its data lives on through `from`.
    unlinkIfStill(to, source);
    return removeError;
}

} // namespace tarnwick
