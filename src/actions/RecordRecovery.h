#pragma once

#include "stores/RecordJournal.h"

#include <QByteArray>

namespace tarnwick {

class FileOperations;

// What the start does on the disk for a run a killed process left open, before its records are
// merged: each intent without its outcome is decided by what the disk shows, a move across
// devices killed between its copy and the original's removal is finished, and the marked
// temporaries such a move left in the folders it was moving into are swept. Any thread.
class RecordRecovery {
public:
    // Whether an intent's disk step took place, as the disk shows now: its target is gone (or holds
    // another file than the one recorded) while its folder is there, and its destination, if it
    // has one, exists. A record of a file inside a folder target goes by that file alone.
    static bool stepHappened(const FileRecord& record, FileOperations& files);

    // Decides every pending item of `run` (a move's finished when it can be) and sweeps the
    // destination folders of those items; the outcomes' journal lines, for the merge to write.
    struct Decided {
        QByteArray lines;
        qint64 count = 0;
    };
    static Decided decide(JournalRun& run, FileOperations& files);

private:
    static bool finishInterruptedMove(const FileRecord& record, FileOperations& files);
    static void sweepDestinations(const QList<const FileRecord*>& records, FileOperations& files);
};

} // namespace tarnwick
