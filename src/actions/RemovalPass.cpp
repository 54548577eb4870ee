#include "actions/RemovalPass.h"

#include "actions/RemovalRules.h"
#include "actions/StepRecords.h"
#include "platform/AppLog.h"
#include "platform/LeftoverSweep.h"
#include "platform/PathText.h"
#include "stores/RecordRun.h"

#include <QHash>
#include <QSet>

#include <cerrno>
#include <cstring>

// The removal run's pass over the disk: each planned file checked, recorded and removed, in bin
// order, on the worker.
namespace tarnwick {

namespace {

AuditAction auditActionOf(RemovalMethod method) {
    return method == RemovalMethod::trash ? AuditAction::movedToTrash : AuditAction::deletedPermanently;
}

FileOpStatus removeTarget(FileOperations& files, const QString& target, bool isContainer,
                          RemovalMethod method, const std::optional<FileIdentity>& expected) {
    if (method == RemovalMethod::trash)
        return files.moveToTrash(target, expected).status;
    return isContainer ? files.removeTree(target, expected) : files.removeFile(target, expected);
}

// The item at a path is still the one seen when the run was confirmed. Something that appeared
// since is not what the user chose either.
bool unchangedSinceSeen(const std::optional<FileIdentity>& seen, const FileOpInfo& now) {
    return seen ? now.kind == FileKind::missing || isSameItem(*seen, now) : now.kind == FileKind::missing;
}

void executeProxy(const PlannedRemoval& p, ExecutedRemoval& done, FileOperations& files,
                  const ProtectedFolderTest& protection, RemovalMethod method, const SeenItems& seen) {
    if (!p.proxy)
        return;
    const std::optional<FileIdentity> then = seen.value(*p.proxy);
    const FileOpInfo info = files.status(*p.proxy, false);
    if (info.kind == FileKind::missing || protection.isInProtectedFolder(*p.proxy))
        return;
    if (p.proxyInUse) {
        done.proxy = ExecutedRemoval::Proxy::inUse;
        return;
    }
    if (info.kind != FileKind::regular) {
        done.proxy = ExecutedRemoval::Proxy::notRegular;
        return;
    }
    FileOpStatus status = FileOpStatus::changed();
    if (unchangedSinceSeen(then, info))
        status = removeTarget(files, *p.proxy, false, method, then);
    done.proxy = status.ok() ? ExecutedRemoval::Proxy::removed : ExecutedRemoval::Proxy::failed;
    done.proxyError = status.isChanged() ? RemovalRules::changedReason() : status.message;
}

// The bytes a removal frees. A name of a file that keeps other names frees nothing; the last name
// frees it all. A name moved to the Trash still holds the file, so within a run the Trash counts
// the names it took itself.
class FreedBytes {
public:
    explicit FreedBytes(RemovalMethod method) : m_method(method) {}

    qint64 bytesOf(const PlannedRemoval& p, const FileOpInfo& info) const {
        if (p.isContainer || info.kind != FileKind::regular)
            return p.item.mediaFile.size;
        quint64 names = info.linkCount;
        if (m_method == RemovalMethod::trash)
            names -= std::min(names, m_trashedNames.value(key(info)));
        return names > 1 ? 0 : p.item.mediaFile.size;
    }
    void removed(const FileOpInfo& info) {
        if (m_method == RemovalMethod::trash && info.kind == FileKind::regular && info.linkCount > 1)
            ++m_trashedNames[key(info)];
    }

private:
    static std::pair<quint64, quint64> key(const FileOpInfo& info) { return {info.device, info.inode}; }
    RemovalMethod m_method;
    QHash<std::pair<quint64, quint64>, quint64> m_trashedNames;
};

// A staged file's own record, with the bytes it frees and its trace line; a container's names the
// staged member it goes for.
FileRecord fileRecordOf(const PlannedRemoval& p, const FileOpInfo& info, qint64 bytes, AuditAction action) {
    FileRecord record;
    record.entry = AuditLogEntry::make(action, p.item.mediaFile, std::nullopt);
    record.target = p.target;
    record.files = 1;
    record.bytes = bytes;
    record.traced = true;
    if (info.kind != FileKind::missing)
        record.identity = info.identity();
    if (p.isContainer)
        record.member = RemovalRules::workingPath(p.item.mediaFile);
    return record;
}

// The records of one removal: the staged file's own, then one per other staged file inside its
// container, each decided by its own place.
void intendRecords(StepRecords& step, const QList<PlannedRemoval>& plan, const PlannedRemoval& p,
                   const QList<qsizetype>& inside, const FileOpInfo& info, qint64 bytes, AuditAction action) {
    FileRecord record = fileRecordOf(p, info, bytes, action);
    step.intend(record);
    for (const qsizetype i : inside) {
        const PlannedRemoval& other = plan.at(i);
        if (&other == &p)
            continue;
        record.entry = AuditLogEntry::make(action, other.item.mediaFile, std::nullopt);
        record.bytes = 0; // its bytes go with the container's
        record.traced = false;
        record.member = RemovalRules::workingPath(other.item.mediaFile);
        step.intend(record);
    }
}

// Paths the confirmation did not see (the bin changed while the run waited) are seen now, before
// the first file is touched.
void recordUnseen(const QList<PlannedRemoval>& plan, const FileOperations& files, SeenItems& seen) {
    QStringList unseen;
    for (const PlannedRemoval& p : plan) {
        if (p.verdict != PlannedRemoval::Verdict::proceed)
            continue;
        if (!seen.contains(p.target))
            unseen.append(p.target);
        if (p.proxy && !seen.contains(*p.proxy))
            unseen.append(*p.proxy);
    }
    if (!unseen.isEmpty())
        seen.insert(recordSeen(files, unseen));
}

// The checks that keep a target from its disk step, in the rules' order; notRun when none does.
ExecutedRemoval::Outcome refusalFor(const PlannedRemoval& p, const FileOpInfo& info,
                                    const std::optional<FileIdentity>& seen, FileOpStatus& error) {
    using Outcome = ExecutedRemoval::Outcome;
    // Nothing is recorded for a file the user did not choose.
    if (!unchangedSinceSeen(seen, info))
        return Outcome::changed;
    // Only a container the rules derived is removed with its contents.
    if (!p.isContainer && info.kind == FileKind::directory)
        return Outcome::isFolder;
    if (p.isContainer && info.kind != FileKind::directory && info.kind != FileKind::missing) {
        error = FileOpStatus::failure(ENOTDIR, QStringLiteral("its .RDC container is not a folder"));
        return Outcome::failed;
    }
    // Nothing there when the run was confirmed, nothing now: it fails as its removal would.
    if (!seen) {
        const QString oddName = path::undecodableNameReason(p.target);
        error = FileOpStatus::failure(
            ENOENT, oddName.isEmpty() ? QString::fromLocal8Bit(std::strerror(ENOENT)) : oddName);
        return Outcome::failed;
    }
    return Outcome::notRun;
}

} // namespace

QStringList watchedPaths(const QList<RecycleBinItem>& bin) {
    QStringList paths;
    paths.reserve(bin.size());
    for (const RecycleBinItem& item : bin) {
        const MediaFile& m = item.mediaFile;
        paths.append(m.redClipFolder().value_or(RemovalRules::workingPath(m)));
        if (m.proxyPath)
            paths.append(*m.proxyPath);
    }
    return paths;
}

SeenItems recordSeen(const FileOperations& files, const QStringList& paths) {
    SeenItems seen;
    seen.reserve(paths.size());
    for (const QString& path : paths) {
        if (seen.contains(path))
            continue;
        const FileOpInfo info = files.status(path, false);
        seen.insert(path, info.kind == FileKind::missing ? std::nullopt : std::optional(info.identity()));
    }
    return seen;
}

namespace {

// Plain files are taken this many at a time: their intents go to the journal in one write before
// the first of them is touched.
constexpr qsizetype kIntentBatch = RecordRun::intentBatch;
// A file's .trashinfo: one block of the common file systems.
constexpr qint64 kTrashInfoBytes = 4096;

// One run's pass over the disk, in bin order.
class RemovalPass {
public:
    RemovalPass(const QList<PlannedRemoval>& plan, FileOperations& files, ProtectedFolderTest protection,
                RemovalMethod method, RecordRun* records, SeenItems seen)
        : m_plan(plan), m_files(files), m_protection(std::move(protection)), m_method(method),
          m_records(records), m_seen(std::move(seen)), m_action(auditActionOf(method)), m_freed(method) {
        recordUnseen(plan, files, m_seen);
        m_results.resize(plan.size());
        // A container's removal carries the records of the other staged files inside it, so that a
        // kill right after it still leaves a record for each.
        for (qsizetype i = 0; records && i < plan.size(); ++i) {
            if (plan.at(i).isContainer && plan.at(i).verdict == PlannedRemoval::Verdict::proceed)
                m_byContainer[plan.at(i).target].append(i);
        }
    }

    QList<ExecutedRemoval> run() {
        // Before the Trash is told of anything: a run refused for room touches nothing.
        if (m_records)
            checkRoom();
        // The Trash writes the infos of the files to come while earlier ones are moved; whatever it
        // made for a file that stays goes at the end.
        const bool announced = m_method == RemovalMethod::trash && !stopped();
        if (announced)
            m_files.expectTrash(plainTargets());
        const auto unannounce = qScopeGuard([&] {
            if (announced)
                m_files.expectTrash({});
        });
        // A batch's intents are durable before its first step; the next batch's are written and
        // synced while this one's steps go, so the steps never wait for the journal's disk.
        Batch next = checkBatch(0, true);
        while (next.from < m_plan.size()) {
            Batch current = std::move(next);
            if (m_records && current.from > 0)
                m_records->awaitDurable();
            next = checkBatch(current.to, false);
            runBatch(current);
        }
        if (m_records)
            m_records->sync();
        return std::move(m_results);
    }

private:
    using Outcome = ExecutedRemoval::Outcome;

    // Room for the run's records before its first step. A deletion on the store's own disk gives
    // back what it removes as it goes; the Trash there takes a block for each file's info.
    void checkRoom() {
        const FileOpInfo store = m_files.status(m_records->storeFolder(), true);
        qint64 bytes = 0;
        qint64 freed = 0;
        qint64 infos = 0;
        for (const PlannedRemoval& p : m_plan) {
            if (p.verdict != PlannedRemoval::Verdict::proceed)
                continue;
            const MediaFile& m = p.item.mediaFile;
            bytes += RecordJournal::estimatedRecordBytes(m.path, p.target, m.projectNames);
            const std::optional<FileIdentity> seen = m_seen.value(p.target);
            if (!seen || store.kind == FileKind::missing || seen->device != store.device)
                continue;
            if (m_method == RemovalMethod::deletePermanently)
                freed += std::max<qint64>(0, m.size);
            else
                infos += kTrashInfoBytes;
        }
        m_records->checkRoom(bytes, freed, infos);
    }

    bool stopped() const { return m_records ? !m_records->stopReason().isEmpty() : !m_stepsStop.isEmpty(); }
    QString stopReason() const { return m_records ? m_records->stopReason() : m_stepsStop; }

    // The Trash's own disk is full (another program filled it after the room check): every later
    // info would be refused alike, so the run stops here as it does when its records stop, with one
    // line for it, and the helper's infos made ahead for the files that stay go at once.
    void stopForFullTrash(const QString& target, const FileOpStatus& status) {
        const QString reason =
            QStringLiteral("the disk of the Trash is full (") + status.message + QStringLiteral(")");
        if (m_records)
            m_records->stopSteps(reason);
        else
            m_stepsStop = reason;
        AppLog::trashFailed(target, status.message +
                                        QStringLiteral(" — the disk of the Trash is full; the run stops and "
                                                       "keeps the files not yet touched"));
        m_files.expectTrash({});
    }

    // The files each removed in one step of their own, in order.
    QStringList plainTargets() const {
        QStringList paths;
        paths.reserve(m_plan.size());
        for (const PlannedRemoval& p : m_plan) {
            if (!p.isContainer && p.verdict == PlannedRemoval::Verdict::proceed)
                paths.append(p.target);
        }
        return paths;
    }

    // A plain file checked ahead, its intent in the batch's write.
    struct Checked {
        qsizetype index = -1;
        FileOpInfo info;
        int seq = -1;
    };

    // Plain files checked and their intents written ahead of their steps; `kept` once the records
    // stopped before the batch was checked.
    struct Batch {
        qsizetype from = 0;
        qsizetype to = 0;
        QList<Checked> checked;
        bool kept = false;
    };

    // The batch from `from`: its plain files checked and their intents written, synced before this
    // returns or, without `syncNow`, by the time awaitDurable() returns.
    Batch checkBatch(qsizetype from, bool syncNow) {
        Batch batch{from, std::min(m_plan.size(), from + kIntentBatch), {}, stopped()};
        if (batch.kept || from >= batch.to)
            return batch;
        QList<RecordRun::Planned> intents;
        for (qsizetype i = batch.from; i < batch.to; ++i) {
            if (std::optional<Checked> c = checkPlain(i)) {
                if (m_records)
                    intents.append(plannedRecord(m_plan.at(i), c->info));
                batch.checked.append(std::move(*c));
            }
        }
        if (m_records && !intents.isEmpty()) {
            const QList<int> seqs = m_records->intendAll(std::move(intents), syncNow);
            for (qsizetype k = 0; k < batch.checked.size(); ++k)
                batch.checked[k].seq = seqs.at(k);
        }
        return batch;
    }

    // The batch's steps in plan order. Its intents written before the records stopped are settled
    // as failed by the steps, which keep their files.
    void runBatch(const Batch& batch) {
        if (batch.kept)
            return keepRest(batch.from, batch.to);
        qsizetype next = 0;
        for (qsizetype i = batch.from; i < batch.to; ++i) {
            if (next < batch.checked.size() && batch.checked.at(next).index == i)
                removeChecked(batch.checked.at(next++));
            else if (m_results.at(i).outcome == Outcome::notRun)
                stopped() ? keepOne(i) : executeOne(i);
        }
    }

    // The checks that keep a target from its disk step; true when it may go ahead.
    bool passesChecks(const PlannedRemoval& p, ExecutedRemoval& done, FileOpInfo& info) {
        if (p.verdict != PlannedRemoval::Verdict::proceed)
            return false;
        if (p.isContainer && m_handledContainers.contains(p.target)) {
            done.outcome = Outcome::withContainer;
            return false;
        }
        if (m_protection.isInProtectedFolder(p.target)) {
            done.outcome = Outcome::protectedTarget;
            return false;
        }
        info = m_files.status(p.target, false);
        done.outcome = refusalFor(p, info, m_seen.value(p.target), done.error);
        if (done.outcome != Outcome::notRun)
            return false;
        // Our leftovers in the folder go too, once per run (a kill's copy, an abandoned transcode).
        m_leftovers.sweep(m_files, path::deletingLastPathComponent(p.target));
        return true;
    }

    // A plain file of one name, checked ahead of the batch's disk steps. Containers and names that
    // share their file keep steps of their own: what they record depends on the steps before them.
    std::optional<Checked> checkPlain(qsizetype i) {
        const PlannedRemoval& p = m_plan.at(i);
        if (p.isContainer || p.verdict != PlannedRemoval::Verdict::proceed)
            return std::nullopt;
        Checked c{i, {}, -1};
        ExecutedRemoval& done = m_results[i];
        if (!passesChecks(p, done, c.info))
            return std::nullopt;
        if (c.info.linkCount > 1) {
            done.outcome = Outcome::notRun; // checked again in its own step
            return std::nullopt;
        }
        return c;
    }

    RecordRun::Planned plannedRecord(const PlannedRemoval& p, const FileOpInfo& info) const {
        FileRecord record = fileRecordOf(p, info, m_freed.bytesOf(p, info), m_action);
        RecordJournal::PreparedLine line = RecordJournal::prepareLine(m_records->id(), record, true);
        return {std::move(record), std::move(line)};
    }

    // A plain file whose intent went out with its batch's write.
    void removeChecked(const Checked& c) {
        recordedStep(c.index, c.info, [&](bool succeeded, const std::optional<QDateTime>& at) {
            if (!m_records)
                return;
            if (succeeded)
                m_records->done(c.seq, at);
            else
                m_records->failed(c.seq);
        });
    }

    // The disk step of a target whose intent is recorded, in the order a kill may cut: kept when the
    // records have stopped, else removed when it is still the item seen (the platform compares it
    // once more right before it acts), then `settle(succeeded, at)` decides the intent.
    template <typename Settle> void recordedStep(qsizetype i, const FileOpInfo& info, Settle settle) {
        const PlannedRemoval& p = m_plan.at(i);
        ExecutedRemoval& done = m_results[i];
        if (stopped()) {
            settle(false, std::nullopt);
            keptUnrecorded(done);
            return;
        }
        const std::optional<FileIdentity> then = m_seen.value(p.target);
        if (m_method == RemovalMethod::deletePermanently)
            done.recordTime = QDateTime::currentDateTimeUtc(); // local time only when a trace is written
        const FileOpStatus status = removeTarget(m_files, p.target, p.isContainer, m_method, then);
        if (m_method == RemovalMethod::trash && (status.code == ENOSPC || status.code == EDQUOT)) {
            stopForFullTrash(p.target, status);
            settle(false, std::nullopt);
            keptUnrecorded(done);
            return;
        }
        if (m_method == RemovalMethod::trash)
            done.recordTime = QDateTime::currentDateTimeUtc();
        // A container half removed: what it took is recorded, though the file stays failed.
        settle(status.ok(), m_method == RemovalMethod::trash ? std::optional(done.recordTime) : std::nullopt);
        finish(p, done, status, info);
    }

    void keptUnrecorded(ExecutedRemoval& done) const {
        // Its record could be kept nowhere (no file is removed unrecorded), or the Trash takes no more.
        done.outcome = Outcome::keptForRecords;
        const bool byRecords = m_records && !m_records->stoppedBySteps();
        done.error = FileOpStatus::failure(EIO, (byRecords ? QStringLiteral("kept, its removal could not be "
                                                                            "recorded: ")
                                                           : QStringLiteral("kept, the run stopped: ")) +
                                                    stopReason());
        if (m_records)
            m_records->keptForStop();
    }

    // Once the records stop being kept, every file still to come stays where it is.
    void keepRest(qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            keepOne(i);
    }
    void keepOne(qsizetype i) {
        const PlannedRemoval& p = m_plan.at(i);
        ExecutedRemoval& done = m_results[i];
        if (p.verdict != PlannedRemoval::Verdict::proceed)
            return;
        if (p.isContainer && m_handledContainers.contains(p.target)) {
            done.outcome = Outcome::withContainer;
            return;
        }
        keptUnrecorded(done);
    }

    // A container, or a name that shares its file: checked, recorded and removed in one step.
    void executeOne(qsizetype i) {
        const PlannedRemoval& p = m_plan.at(i);
        ExecutedRemoval& done = m_results[i];
        FileOpInfo info;
        if (!passesChecks(p, done, info))
            return;
        // The record first: a kill from here on leaves the intent, which the next start decides.
        StepRecords step(m_records, m_files);
        if (m_records)
            intendRecords(step, m_plan, p, m_byContainer.value(p.isContainer ? p.target : QString()), info,
                          m_freed.bytesOf(p, info), m_action);
        recordedStep(i, info,
                     [&](bool succeeded, const std::optional<QDateTime>& at) { step.settle(succeeded, at); });
    }

    void finish(const PlannedRemoval& p, ExecutedRemoval& done, const FileOpStatus& status,
                const FileOpInfo& info) {
        if (!status.ok()) {
            done.outcome = status.isChanged() ? Outcome::changed : Outcome::failed;
            done.error = status;
            return;
        }
        m_freed.removed(info);
        done.outcome = Outcome::removed;
        if (p.isContainer)
            m_handledContainers.insert(p.target);
        executeProxy(p, done, m_files, m_protection, m_method, m_seen);
    }

    const QList<PlannedRemoval>& m_plan;
    FileOperations& m_files;
    const ProtectedFolderTest m_protection;
    const RemovalMethod m_method;
    RecordRun* const m_records;
    SeenItems m_seen;
    const AuditAction m_action;
    FreedBytes m_freed;
    LeftoverSweep m_leftovers;
    QString m_stepsStop; // why the run stopped, without records to keep it
    QSet<QString> m_handledContainers;
    QHash<QString, QList<qsizetype>> m_byContainer;
    QList<ExecutedRemoval> m_results;
};

} // namespace

QList<ExecutedRemoval> executeRemovals(const QList<PlannedRemoval>& plan, FileOperations& files,
                                       ProtectedFolderTest protection, RemovalMethod method,
                                       RecordRun* records, SeenItems seen) {
    return RemovalPass(plan, files, std::move(protection), method, records, std::move(seen)).run();
}

} // namespace tarnwick
