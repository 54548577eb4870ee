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
    // Decides every pending item of `run` (a move's finished when it can be) and sweeps the
    // destination folders of those items; the outcomes' journal lines, for the merge to write.
    struct Decided {
        QByteArray lines;
        qint64 count = 0;
    };
    static Decided decide(JournalRun& run, FileOperations& files);

private:
    class DiskView;
    // Whether an intent's disk step took place, as the disk shows now: its target is gone (or holds
    // another file than the one recorded, times compared as its volume's clock keeps them) while
    // its folder is there, and its destination, if it has one, exists. A record of a file inside a
    // folder target goes by that file alone.
    static bool stepHappened(const FileRecord& record, FileOperations& files, DiskView& disk);
    // A Trash step, by the Trash: it took place when an item that may be the recorded one stands
    // in the Trash beside an info naming the target, whatever stands at the target now; else not.
    // By the target as above where the Trash could not be looked through.
    static bool trashStepHappened(const FileRecord& record, FileOperations& files, DiskView& disk);
    static bool finishInterruptedMove(const FileRecord& record, FileOperations& files, DiskView& disk);
    static void sweepDestinations(const QList<const FileRecord*>& records, FileOperations& files);
};

} // namespace tarnwick
