#include "platform/AtomicReplace.h"

#include "platform/FileMoveSupport.h"

#include <cerrno>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// The file keeps the owner and permissions it had (a group's shared media stays shared). What
// already matches costs no call: some file systems refuse any change of mode at all.
int adoptOwnerAndMode(int fd, const struct stat& old) {
    struct stat current {};
    if (::fstat(fd, &current) != 0)
        return errno;
    if (!S_ISREG(current.st_mode))
        return EINVAL;
    if (!S_ISREG(old.st_mode))
        return 0;
    return keepOwnerAndMode(fd, old, current);
}

int syncAndClose(int fd, const ReplaceFault& fault) {
    int error = fault ? fault(ReplaceStep::sync) : 0;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

} // namespace

bool cannotHoldOwnerOrMode(int error) {
    return error == EPERM || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

int keepOwnerAndMode(int fd, const struct stat& wanted, const struct stat& current,
                     const OwnerAndModeCalls& calls) {
    const auto setOwner = [&] {
        return calls.setOwner ? calls.setOwner(fd, wanted.st_uid, wanted.st_gid)
                              : ::fchown(fd, wanted.st_uid, wanted.st_gid);
    };
    const auto setMode = [&] {
        return calls.setMode ? calls.setMode(fd, wanted.st_mode & 07777)
                             : ::fchmod(fd, wanted.st_mode & 07777);
    };
    const bool chown = current.st_uid != wanted.st_uid || current.st_gid != wanted.st_gid;
    if (chown && setOwner() != 0 && !cannotHoldOwnerOrMode(errno))
        return errno;
    // chown clears set-id bits, so the mode comes after it.
    if ((chown || (current.st_mode & 07777) != (wanted.st_mode & 07777)) && setMode() != 0 &&
        !cannotHoldOwnerOrMode(errno))
        return errno;
    return 0;
}

int replaceAtomically(int fd, const QByteArray& replacement, const QByteArray& target,
                      const ReplaceFault& fault) {
    struct stat old {};
    if (::lstat(target.constData(), &old) != 0) {
        if (errno != ENOENT) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        old = {};
    } else if (S_ISDIR(old.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    if (const int error = adoptOwnerAndMode(fd, old); error != 0) {
        ::close(fd);
        return error;
    }
    // The new bytes reach the disk before the name points at them.
    if (const int error = syncAndClose(fd, fault); error != 0)
        return error;
    // Replacing is the point here: rename(2) swaps the name atomically.
    int error = fault ? fault(ReplaceStep::rename) : 0;
    if (error == 0 && ::rename(replacement.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0)
        return error;
    // The content is durable already; a folder that cannot be synced leaves the rename in the
    // journal's hands, which is no reason to call the replace failed after it happened.
    const QByteArray folder = filemove::parentOf(target);
    filemove::syncFolder(folder);
    if (const QByteArray from = filemove::parentOf(replacement); from != folder)
        filemove::syncFolder(from);
    return 0;
}

} // namespace tarnwick
