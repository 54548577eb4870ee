#include "actions/RecordRecovery.h"

#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/LeftoverSweep.h"
#include "platform/PathText.h"
#include "platform/SameFile.h"

#include <QSet>

#include <cerrno>

namespace tarnwick {

namespace {

// A folder that is not there either (an unmounted volume) says nothing.
bool folderOfIsThere(const QString& path, FileOperations& files) {
    const QString folder = path::deletingLastPathComponent(path);
    return folder.isEmpty() || files.status(folder, true).kind == FileKind::directory;
}

// The place a move was planned to: its own, or its entry's.
std::optional<QString> plannedDestination(const FileRecord& record) {
    if (record.destination)
        return record.destination;
    return record.entry ? record.entry->destinationPath : std::nullopt;
}

void logStandsTwice(const FileRecord& record, const QString& copy, const QString& why) {
    AppLog::warning(QStringLiteral("Records: an interrupted move left ") + record.target +
                    QStringLiteral(" in two places, also at ") + copy + QStringLiteral(" (") + why +
                    QStringLiteral(") — both kept"));
}

// The item now at the target may still be the recorded file: it is, as far as a remount lets anyone
// tell (its size and time), or it is the same inode, on this device or another (a volume mounted
// again), changed since.
bool mayStillBeThere(const FileRecord& record, const FileOpInfo& now) {
    if (!record.identity)
        return true;
    return isSameFileAfterRemount(*record.identity, now) || now.inode == record.identity->inode;
}

} // namespace

bool RecordRecovery::stepHappened(const FileRecord& record, FileOperations& files) {
    if (record.target.isEmpty())
        return true;
    const FileOpInfo now = files.status(record.target, false);
    if (record.member) {
        // A file inside a folder removed item by item: the folder may be half gone.
        if (files.status(*record.member, false).kind != FileKind::missing)
            return false;
        if (now.kind == FileKind::missing && !folderOfIsThere(record.target, files))
            return false;
    } else if (now.kind == FileKind::missing) {
        if (!folderOfIsThere(record.target, files))
            return false;
    } else if (mayStillBeThere(record, now)) {
        return false; // the file is still at its path: the step never came
    }
    return !record.destination || files.status(*record.destination, false).kind != FileKind::missing;
}

// A move killed after its copy was in place and before the original went leaves the file in both
// places. The move is finished when the original is still the file its intent names: the move
// itself compares it with the copy once more before it removes it. Otherwise the log says why both
// stay. True when it was finished.
bool RecordRecovery::finishInterruptedMove(const FileRecord& record, FileOperations& files) {
    const std::optional<QString> destination = plannedDestination(record);
    if (!destination || !record.identity || record.member)
        return false;
    const FileOpInfo source = files.status(record.target, false);
    const FileOpInfo copy = files.status(*destination, false);
    if (source.kind == FileKind::missing || copy.kind == FileKind::missing || copy.kind != source.kind)
        return false;
    if (copy.device == source.device && copy.inode == source.inode) {
        // Linked in place, not yet unlinked (a file system without a no-replace rename).
        if (source.kind != FileKind::regular || !isSameFileAfterRemount(*record.identity, source))
            return false;
        return files.removeFile(record.target, source.identity()).ok();
    }
    // Copies keep the original's size, and its time to their file system's step: anything else at
    // that name is another file.
    if (source.kind == FileKind::regular && (copy.size != record.identity->size ||
                                             !sameModifiedTime(copy.modifiedNs, record.identity->modifiedNs)))
        return false;
    if (!isSameFileAfterRemount(*record.identity, source)) {
        logStandsTwice(record, *destination, QStringLiteral("the original changed after it was copied"));
        return false;
    }
    const FileOpStatus finished = files.moveNoReplace(record.target, *destination);
    if (finished.ok()) {
        AppLog::info(QStringLiteral("Records: finished an interrupted move of ") + record.target +
                     QStringLiteral(" to ") + *destination);
        return true;
    }
    logStandsTwice(record, *destination,
                   finished.code == EEXIST ? QStringLiteral("the copy is not known as this move's")
                                           : finished.message);
    return false;
}

// A move killed inside its copy leaves the marked partial copy beside its destination; its writer
// is gone now, so the sweep takes it (and nothing that is not provably ours).
void RecordRecovery::sweepDestinations(const QList<const FileRecord*>& records, FileOperations& files) {
    QSet<QString> swept;
    for (const FileRecord* record : records) {
        const std::optional<QString> destination = plannedDestination(*record);
        if (!destination)
            continue;
        const QString folder = path::deletingLastPathComponent(*destination);
        if (!folder.isEmpty() && !swept.contains(folder)) {
            swept.insert(folder);
            LeftoverSweep::sweepFolder(files, folder);
        }
    }
}

RecordRecovery::Decided RecordRecovery::decide(JournalRun& run, FileOperations& files) {
    Decided decided;
    QList<const FileRecord*> moves; // their destinations are swept
    for (JournalRun::Item& item : run.items) {
        if (item.state != JournalRun::State::pending)
            continue;
        const bool happened = stepHappened(item.record, files) ||
                              (run.kind == RecordKind::move && finishInterruptedMove(item.record, files));
        item.state = happened ? JournalRun::State::done : JournalRun::State::failed;
        decided.lines += happened ? RecordJournal::doneLine(run.id, item.seq, std::nullopt)
                                  : RecordJournal::failedLine(run.id, item.seq);
        ++decided.count;
        if (run.kind == RecordKind::move)
            moves.append(&item.record);
    }
    sweepDestinations(moves, files);
    return decided;
}

} // namespace tarnwick
