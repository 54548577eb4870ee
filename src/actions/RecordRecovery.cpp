#include "actions/RecordRecovery.h"

#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/LeftoverSweep.h"
#include "platform/PathText.h"
#include "platform/SameFile.h"

#include <QHash>
#include <QSet>

#include <algorithm>
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
// tell (its size and time as its volume's clock keeps it), or it is the same inode, on this device
// or another (a volume mounted again), changed since.
bool mayStillBeThere(const FileRecord& record, const FileOpInfo& now, const VolumeClock& clock) {
    if (!record.identity)
        return true;
    return isSameFileAfterRemount(*record.identity, now, clock) || now.inode == record.identity->inode;
}

// An item in the Trash may be the recorded one: the same inode on its device (renamed there), or
// of its time as the volume's clock keeps it, unless that clock keeps whole seconds (a FUSE FAT
// driver writes a rename's time); a file of its size too.
bool mayBeTrashedItem(const FileRecord& record, const FileOpInfo& item, const VolumeClock& clock) {
    if (!record.identity)
        return true;
    const FileIdentity& then = *record.identity;
    const bool renamed = item.device == then.device && item.inode == then.inode;
    if (item.kind == FileKind::directory)
        return renamed || isSameFileAfterRemount(then, item, clock);
    return item.size == then.size && (renamed || clock.orShownBy(then.modifiedNs).wholeSeconds() ||
                                      isSameFileAfterRemount(then, item, clock));
}

} // namespace

// What the start knows of the disk while it decides one run: each folder's clock, asked once; for
// a Trash run, what the Trash holds for each pending target, looked up together.
class RecordRecovery::DiskView {
public:
    DiskView(FileOperations& files, const JournalRun& run) : m_files(files) {
        if (run.kind != RecordKind::trash)
            return;
        QStringList targets;
        for (const JournalRun::Item& item : run.items) {
            if (item.state == JournalRun::State::pending && !item.record.target.isEmpty())
                targets.append(item.record.target);
        }
        if (targets.isEmpty())
            return;
        const QList<std::optional<QList<TrashedItem>>> found = files.trashedFrom(targets);
        for (qsizetype i = 0; i < targets.size() && i < found.size(); ++i)
            m_trashed.insert(targets.at(i), found.at(i));
    }
    VolumeClock clockOf(const QString& path) {
        const QString folder = path::deletingLastPathComponent(path);
        auto known = m_clocks.find(folder);
        if (known == m_clocks.end())
            known = m_clocks.insert(folder, m_files.clockOf(folder.isEmpty() ? path : folder));
        return *known;
    }
    // None where the Trash could not be looked through (or the run is no Trash run).
    std::optional<QList<TrashedItem>> trashed(const QString& target) const { return m_trashed.value(target); }

private:
    FileOperations& m_files;
    QHash<QString, VolumeClock> m_clocks;
    QHash<QString, std::optional<QList<TrashedItem>>> m_trashed;
};

bool RecordRecovery::trashStepHappened(const FileRecord& record, FileOperations& files, DiskView& disk) {
    const std::optional<QList<TrashedItem>> trashed = disk.trashed(record.target);
    if (record.target.isEmpty() || !trashed)
        return stepHappened(record, files, disk);
    // Our item beside our info naming the target, whatever stands at the target now; but not a
    // second link of the file still there (a rename's fallback a kill stopped, which the sweep
    // takes back).
    const VolumeClock clock = disk.clockOf(record.target);
    const FileOpInfo now = files.status(record.target, false);
    const bool inTrash = std::any_of(trashed->cbegin(), trashed->cend(), [&](const TrashedItem& item) {
        const bool stillThere =
            now.kind != FileKind::missing && now.device == item.item.device && now.inode == item.item.inode;
        return !stillThere && mayBeTrashedItem(record, item.item, clock);
    });
    if (!inTrash)
        return false;
    return !record.member || files.status(*record.member, false).kind == FileKind::missing;
}

bool RecordRecovery::stepHappened(const FileRecord& record, FileOperations& files, DiskView& disk) {
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
    } else if (mayStillBeThere(record, now, disk.clockOf(record.target))) {
        return false; // the file is still at its path: the step never came
    }
    return !record.destination || files.status(*record.destination, false).kind != FileKind::missing;
}

// A move killed after its copy was in place and before the original went leaves the file in both
// places. The move is finished when the original is still the file its intent names: the move
// itself compares it with the copy once more before it removes it. Otherwise the log says why both
// stay. True when it was finished.
bool RecordRecovery::finishInterruptedMove(const FileRecord& record, FileOperations& files, DiskView& disk) {
    const std::optional<QString> destination = plannedDestination(record);
    if (!destination || !record.identity || record.member)
        return false;
    const FileOpInfo source = files.status(record.target, false);
    const FileOpInfo copy = files.status(*destination, false);
    if (source.kind == FileKind::missing || copy.kind == FileKind::missing || copy.kind != source.kind)
        return false;
    const VolumeClock sourceClock = disk.clockOf(record.target);
    if (copy.device == source.device && copy.inode == source.inode) {
        // Linked in place, not yet unlinked (a file system without a no-replace rename).
        if (source.kind != FileKind::regular ||
            !isSameFileAfterRemount(*record.identity, source, sourceClock))
            return false;
        return files.removeFile(record.target, source.identity()).ok();
    }
    // Copies keep the original's size, and its time as their volume's clock keeps it (on one of
    // whole seconds, a FUSE FAT driver writes the rename's time): anything else at that name is
    // another file. The move compares their bytes before the original goes.
    const VolumeClock copyClock = disk.clockOf(*destination);
    if (source.kind == FileKind::regular &&
        (copy.size != record.identity->size ||
         !(copyClock.orShownBy(copy.modifiedNs).wholeSeconds() ||
           sameModifiedTime(record.identity->modifiedNs, copy.modifiedNs, copyClock))))
        return false;
    if (!isSameFileAfterRemount(*record.identity, source, sourceClock)) {
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
    DiskView disk(files, run);
    for (JournalRun::Item& item : run.items) {
        if (item.state != JournalRun::State::pending)
            continue;
        const bool happened =
            run.kind == RecordKind::trash
                ? trashStepHappened(item.record, files, disk)
                : stepHappened(item.record, files, disk) ||
                      (run.kind == RecordKind::move && finishInterruptedMove(item.record, files, disk));
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
