#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnwick {

// Room kept for the records on a full disk: a file in the store folder (".records_reserve") whose
// blocks are allocated ahead of its end, its size 0. When the journal finds the disk full, the
// reserve is renamed into the journal's next file and the lines fill its blocks: the room moves
// with the file and is never free space that another writer on the disk could take. The stores
// of a run's end (statistics) take what they need from the room left ahead of the journal's end.
// Where the file system cannot allocate ahead of a file's end, the reserve is a file of its size
// that gives exactly the blocks a write needs. Made again when room returns (at start, at a run's
// end). Only a regular file of ours is the reserve: a link, a folder or another's file in its
// place is left alone (logged once), and the records then go without a reserve.
// Its size holds the journal lines of a run of about 14,000 files (paths of about 90 characters)
// with its end (statistics, trace names, the closing line): a clean-up on a full disk records them.
// Thread-safe: the functions work on the files alone.
class RecordReserve {
public:
    static constexpr qint64 defaultSize = qint64(8) << 20;

    static QString path(const QString& folder);
    // The reserve's size now; tests make it smaller.
    static qint64 size();
    static void setSizeForTesting(qint64 bytes); // 0: the default

    // Bytes kept for the records in `folder` now: the reserve's and the room ahead of the journal's
    // end (0 when there is neither).
    static qint64 held(const QString& folder);
    // Makes the reserve when less than its size is held and the volume keeps at least as much free
    // beside it (it never takes more than half of what is free). True when it is held afterwards.
    static bool ensure(const QString& folder);
    // The part a run's lines leave for the run's end (statistics, trace names, the closing line).
    static constexpr qint64 endPart = 64 * 1024;

    // The reserve renamed to `to` (a name that must not exist), for a journal file whose lines fill
    // its room: its descriptor, open for appending, or -1 when there is no such reserve (none, not
    // ours, or one without room ahead of its end). Logs the condition once.
    static int handOver(const QString& folder, const QString& to);
    // Bytes allocated ahead of the end of the file open as `fd`.
    static qint64 roomAhead(int fd);

    // For a write of `bytes` on a full disk: frees the blocks it needs of the reserve, never its end
    // part unless `end` (the lines that close a run, the stores), or with `end` of the room ahead of
    // the journal's end; deleting the reserve once empty, logging the condition once, when the
    // reserve was whole. True when it freed something.
    static bool releaseFor(const QString& folder, qint64 bytes, bool end = false);
};

} // namespace tarnwick
