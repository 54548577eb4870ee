#pragma once

#include <QByteArray>

#include <functional>
#include <sys/types.h>

struct stat;

namespace tarnwick {

// The steps of a replace a test can make fail.
enum class ReplaceStep { sync, rename };
// Returns an errno value for the step, or 0 to run it.
using ReplaceFault = std::function<int(ReplaceStep)>;

// Puts the file `replacement`, open as `fd` (closed here, whatever happens), in the place of
// `target` in one step, so that `target` always names either the old or the new file: the
// replacement takes the old file's owner (where allowed) and permissions, its bytes reach the disk
// (sync and close checked: a full disk or a lost write shows at either), it is renamed over
// `target` (same file system only: EXDEV otherwise), and the folders are synced. 0, or an errno
// value: EISDIR for a folder at `target`, EINVAL for a replacement that is not a regular file.
// On failure `target` is untouched and `replacement` stays for the caller to remove.
int replaceAtomically(int fd, const QByteArray& replacement, const QByteArray& target,
                      const ReplaceFault& fault = {});

// Gives the file open as `fd` (as it is now: `current`) the owner, where allowed, and the
// permissions of `wanted`; what already matches costs no call. Where the file system holds no owner
// or mode (FAT and exFAT drives) keeping them is given up: the file is whole all the same. 0, or an
// errno value.
// fchown and fchmod, or what a test puts in their place: 0, or -1 with errno set.
struct OwnerAndModeCalls {
    std::function<int(int fd, uid_t owner, gid_t group)> setOwner;
    std::function<int(int fd, mode_t mode)> setMode;
};
int keepOwnerAndMode(int fd, const struct stat& wanted, const struct stat& current,
                     const OwnerAndModeCalls& calls = {});
// An answer to chown or chmod that says the file system cannot hold them, or this process may not
// give the owner away: the kernel's FAT and exFAT drivers answer EPERM (unless mounted "quiet"),
// FUSE drivers ENOSYS or EOPNOTSUPP.
bool cannotHoldOwnerOrMode(int error);

} // namespace tarnwick
