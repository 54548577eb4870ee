#pragma once

#include "platform/FileMoveSupport.h"
#include "platform/FileMover.h"

#include <optional>

namespace tarnwick {

namespace leftover {
class RunningWriters;
} // namespace leftover

// One move between two file systems: a verified, fsynced copy beside the destination, renamed
// into place without replacing, and only then the source removed. See FileMover.
class CrossDeviceMove {
public:
    CrossDeviceMove(const FileMoveSteps& steps, const FileOpProgress& progress,
                    const std::atomic_bool* cancel);

    FileOpStatus run(const QByteArray& source, const QByteArray& destination, const struct stat& sourceInfo);

    // The source is gone and the destination is still named as our copy of it: a move stopped
    // after the source was removed. Clears that and answers true (the move is done).
    static bool finishedEarlier(const QByteArray& source, const QByteArray& destination);

    // The note a copy keeps of its source where the file system holds no user attributes
    // (".<name>.tarnwick-from" beside it), left by a move a kill stopped: it goes once its writer is
    // gone and the copy it names never took its name, or the move finished (the source gone). One
    // for a move stopped between the copy and the original's removal stays for the finish. True
    // when it went.
    static bool isSourceNoteName(QByteArrayView name);
    static bool settleSourceNote(const QByteArray& note, leftover::RunningWriters& writers);

private:
    FileOpStatus moveFile(const QByteArray& source, const QByteArray& destination, const struct stat& info);
    // A move of this source stopped after its copy was renamed into place (the copy still names
    // the source): removes what is left of the source once it matches the copy.
    // Nothing when the destination is anything else.
    std::optional<FileOpStatus> resumeInterrupted(const QByteArray& source, const struct stat& sourceInfo,
                                                  const QByteArray& destination, const struct stat& existing);
    FileOpStatus moveLink(const QByteArray& source, const QByteArray& destination);
    FileOpStatus moveFolder(const QByteArray& source, const QByteArray& destination);

    // Copies one regular file's bytes and attributes into an open, empty descriptor and fsyncs it.
    FileOpStatus copyFileInto(const QByteArray& source, const struct stat& expected, int out);
    FileOpStatus copyContents(int in, int out, qint64 size);
    FileOpStatus copyTreeInto(const QList<filemove::TreeEntry>& entries, const QByteArray& source,
                              const QByteArray& copy);
    FileOpStatus verifyTree(const QList<filemove::TreeEntry>& entries, const QByteArray& copy);
    FileOpStatus place(const QByteArray& temporary, const QByteArray& destination);
    FileOpStatus removeSourceTree(const QList<filemove::TreeEntry>& entries, const QByteArray& source);
    FileOpStatus sourceRemovalFailed(int code) const;
    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    const FileMoveSteps& m_steps;
    const FileOpProgress& m_progress;
    const std::atomic_bool* m_cancel;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

} // namespace tarnwick
