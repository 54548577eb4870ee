#pragma once

#include "platform/AtomicReplace.h"
#include "platform/FileOperations.h"
#include "platform/NoReplaceRename.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <QtGlobal>
#include <atomic>
#include <functional>

namespace tarnwick {

// The system calls a move is made of. Tests replace one of them to inject a fault (a full disk
// after N bytes, a rename that answers EXDEV or EINVAL, a source that cannot be removed) or a race
// (a file appearing at the destination just before the final rename).
struct FileMoveSteps {
    // Copies up to count bytes from one descriptor to another at their current offsets. Returns
    // the bytes copied, 0 at the end of the source, or -1 with errno set.
    std::function<qint64(int from, int to, qint64 count)> copyChunk;
    // renameat2 with RENAME_NOREPLACE: 0, or -1 with errno set.
    std::function<int(const QByteArray& from, const QByteArray& to)> renameNoReplace;
    // Removes one file of the source once its copy is in place: 0, or -1 with errno set.
    std::function<int(const QByteArray& path)> removeSourceFile;
    // Called with the final path just before a complete copy is renamed into place.
    std::function<void(const QString& destination)> beforeFinalRename;
    // The no-replace rename's fallback where a file system lacks RENAME_NOREPLACE: link(2), and
    // told at each of its steps (NoReplaceRename.h).
    std::function<int(const QByteArray& from, const QByteArray& to)> link;
    std::function<void(NoReplaceCalls::Step)> reachedFallback;
    // A copy's owner and mode (where the file system holds them), and futimens(2) of its times.
    OwnerAndModeCalls ownerAndMode;
    std::function<int(int fd, const struct timespec times[2])> setTimes;

    static FileMoveSteps system();
    // The rename calls these steps make.
    NoReplaceCalls renameCalls() const;
};

// The no-replace move and the atomic replace of the Linux file operations.
//
// moveNoReplace(source, destination, progress, cancel):
// - never replaces anything at destination (EEXIST); the destination's folder must exist;
// - on one device renameNoReplace (NoReplaceRename.h): one system call where the file system has
//   RENAME_NOREPLACE;
// - across devices a copy to a hidden, uniquely named temporary beside the destination (times kept,
//   and mode and owner where the destination holds them; sizes checked, fsynced), renamed into
//   place without replacing, the
//   folder fsynced, and only then the source removed. A folder is copied file by file the same
//   way and verified by file count and every file's size;
// - progress(done, total) is called from the calling thread after every chunk of a copy (a rename
//   reports none); cancel is read between chunks, and a cancelled or failed copy is removed again
//   (ECANCELED for a cancel);
// - any failure before the copy is in place leaves the source untouched and nothing at the
//   destination. When the source cannot be removed after a complete copy, both stay and the
//   move reports the failure: the only complete copy is never deleted.
//
// replaceAtomically(replacement, target): the one atomic replace (AtomicReplace.h) of a file
// written elsewhere, so target always names either the old or the new file. A folder target is
// refused.
class FileMover {
public:
    explicit FileMover(FileMoveSteps steps = FileMoveSteps::system());

    FileOpStatus moveNoReplace(const QString& source, const QString& destination,
                               const FileOpProgress& progress = {}, const std::atomic_bool* cancel = nullptr);
    FileOpStatus replaceAtomically(const QString& replacement, const QString& target);

    // The marker every temporary copy carries in its name; nothing else is ever named so.
    static constexpr const char* temporaryMarker = ".tarnwick-move-";

    // The items of `folder` named like our temporary copies (their marks' sidecars after them):
    // what a sweep hands to FileOperations::removeLeftover, which keeps anything not provably ours
    // and abandoned. Names only; an unreadable folder has none.
    static QStringList temporariesIn(const QString& folder);

private:
    FileMoveSteps m_steps;
};

} // namespace tarnwick
