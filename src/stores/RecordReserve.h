#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnwick {

// A preallocated file in the store folder (".records_reserve") that keeps room for the records on
// a full disk: when a record write finds the disk full, the reserve gives up what that write needs
// and no more, so that another writer on the disk cannot take the rest (the lines of a run leave
// its end part for the run's end); made again when room returns (at start, at a run's end).
// Only a regular file of ours is the reserve: a link, a folder or another's file in its place is
// left alone (logged once), and the records then go without a reserve.
// Its size holds the journal lines of a run of about 16,000 files (some 500 bytes each) with its
// end (statistics, trace names, the closing line): a clean-up on a full disk records every file.
// Thread-safe: the functions work on the file alone.
class RecordReserve {
public:
    static constexpr qint64 defaultSize = qint64(8) << 20;

    static QString path(const QString& folder);
    // The reserve's size now; tests make it smaller.
    static qint64 size();
    static void setSizeForTesting(qint64 bytes); // 0: the default

    // Bytes the reserve in `folder` holds now (0 when there is none).
    static qint64 held(const QString& folder);
    // Makes the reserve when it is missing and the volume keeps at least as much free beside it
    // (it never takes more than half of what is free). True when a reserve is there afterwards.
    static bool ensure(const QString& folder);
    // The part a run's lines leave for the run's end (statistics, trace names, the closing line).
    static constexpr qint64 endPart = 64 * 1024;

    // For `bytes` of records: shrinks the reserve by about that much, never into its end part
    // unless `end` (the lines that close a run, the stores), deleting it once empty; logs the
    // condition once, when the reserve was whole. True when it freed something.
    static bool releaseFor(const QString& folder, qint64 bytes, bool end = false);
};

} // namespace tarnwick
