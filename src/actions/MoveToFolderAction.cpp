#include "actions/MoveToFolderAction.h"

#include "actions/DeleteSafetyCheck.h"
#include "actions/FolderMovePipeline.h"
#include "actions/FolderMoveStep.h"
#include "actions/RecordMerge.h"
#include "actions/RemovalRules.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/MemoryRelease.h"
#include "platform/ThreadPools.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorosignal.h>

#include <algorithm>
#include <memory>

namespace tarnwick {

namespace {

enum class Variant { bin, list };

// How many planned jobs the worker may hold: enough that it never waits on the GUI thread, few
// enough that planning one batch is a moment's work.
constexpr qsizetype kPlanAhead = 4096;
constexpr qsizetype kFirstPiece = 128;
constexpr qsizetype kPiece = 512;
// The progress fields change at most this often while files go by (the screen's rate).
constexpr qint64 kPublishMs = 100;
// Moved files reach the media list at most this often, in one change: every change of the list
// makes the views and the sort keys start over on the whole list.
constexpr qint64 kMarkMovedMs = 1000;

class FolderMoveRun {
public:
    // The bin variant keeps the bin's own list (shared, not copied); the list variant its files.
    FolderMoveRun(ProjectManager& manager, Variant variant, QList<MediaFile> input, QList<RecycleBinItem> bin,
                  QString folder, CleanupServices services)
        : m_manager(manager), m_variant(variant), m_input(std::move(input)), m_bin(std::move(bin)),
          m_folder(std::move(folder)), m_services(std::move(services)), m_rules(manager) {}

    void start();
    // The paths whose identity the run records as it starts, per input file: source and proxy.
    QList<FolderMovePipeline::Watched> watchedPaths() const;
    FolderMoveJob plan(qsizetype index);
    void apply(const FolderMoveJob& job, const FolderMoveOutcome& done);
    void publishProgress(const FolderMovePipeline::Progress& progress, bool force);
    void applyMarks(bool force);
    void finish();
    bool isList() const { return m_variant == Variant::list; }
    qsizetype inputCount() const { return isList() ? m_input.size() : m_bin.size(); }
    const MediaFile& inputAt(qsizetype index) const {
        return isList() ? m_input.at(index) : m_bin.at(index).mediaFile;
    }
    // Where the run's records end up; they outlive the window.
    RecordStores stores() const {
        return {m_services.auditLog, m_services.statsManager, m_services.traceWriter};
    }
    FileRecord recordOf(const MediaFile& file, const FolderMoveJob& job, bool withContainer) const;
    QList<FileRecord> recordsOf(const MediaFile& file, const FolderMoveJob& job);

    ProjectManager& m_manager;
    Variant m_variant;
    QList<MediaFile> m_input;
    QList<RecycleBinItem> m_bin;
    QString m_folder;
    CleanupServices m_services;
    RemovalRules m_rules;
    QElapsedTimer m_clock;
    QElapsedTimer m_sincePublished;
    ActionResult m_result;
    qsizetype m_applied = 0;
    bool m_cancelled = false;
    std::shared_ptr<RecordRun> m_recordRun; // each moved file's record, written by the worker as it moves
    std::optional<QHash<QString, QList<qsizetype>>> m_inputByContainer; // made at the first container

private:
    // An entry to be marked moved: its position when the file went, its path to check that
    // position against, where it went.
    struct MovedMark {
        qsizetype index;
        QString path;
        std::optional<QString> movedTo;
    };

    void fail(const QString& error) {
        ++m_result.failed;
        m_result.errors.append(error);
    }
    void markMoved(const QString& path, const std::optional<QString>& movedTo);
    void applyMoved(const MediaFile& file, const FolderMoveJob& job, const FolderMoveOutcome& done);

    QList<MovedMark> m_marks; // in the order the files went
    QElapsedTimer m_sinceMarked;
};

void FolderMoveRun::start() {
    m_recordRun =
        std::make_shared<RecordRun>(m_services.auditLog ? &m_services.auditLog->journal() : nullptr,
                                    RecordKind::move, !isList() && m_manager.options().writeTraceFiles);
    const qsizetype count = inputCount();
    if (isList()) {
        AppLog::userAction(QStringLiteral("Moving %1 file(s) to %2").arg(QString::number(count), m_folder));
    } else {
        AppLog::userAction(QStringLiteral("Moving %1 recycle bin file(s) to %2 with directory preservation")
                               .arg(QString::number(count), m_folder));
    }
    qint64 totalBytes = 0;
    for (qsizetype i = 0; i < count; ++i)
        totalBytes += inputAt(i).size;
    MoveProgress started;
    started.moveTotalBytes = totalBytes;
    started.moveTotalFiles = count;
    started.isMoveInProgress = true;
    m_manager.setMoveProgress(started);
    m_clock.start();
    m_sinceMarked.start();
}

void FolderMoveRun::publishProgress(const FolderMovePipeline::Progress& progress, bool force) {
    if (!force && m_sincePublished.isValid() && m_sincePublished.elapsed() < kPublishMs)
        return;
    m_sincePublished.start();
    const qsizetype current = progress.inFlight >= 0 ? progress.inFlight : m_applied - 1;
    m_manager.updateMoveProgress([&](MoveProgress& move) {
        if (current >= 0 && current < inputCount())
            move.moveCurrentFile = RemovalRules::nameOf(inputAt(current));
        move.moveFilesCompleted = progress.files;
        move.moveBytesCompleted = progress.bytes;
        if (move.moveTotalBytes >= 1)
            move.moveProgressFraction = double(progress.bytes) / double(move.moveTotalBytes);
        else if (move.moveTotalFiles >= 1)
            move.moveProgressFraction = double(progress.files) / double(move.moveTotalFiles);
        const double seconds = double(m_clock.nsecsElapsed()) / 1e9;
        if (seconds > 0)
            move.moveMBps = double(progress.bytes) / 1048576.0 / seconds;
    });
}

QList<FolderMovePipeline::Watched> FolderMoveRun::watchedPaths() const {
    QList<FolderMovePipeline::Watched> paths;
    paths.reserve(inputCount());
    for (qsizetype i = 0; i < inputCount(); ++i) {
        const MediaFile& file = inputAt(i);
        paths.append({file.redClipFolder().value_or(RemovalRules::workingPath(file)), file.proxyPath});
    }
    return paths;
}

FolderMoveJob FolderMoveRun::plan(qsizetype index) {
    const MediaFile& file = inputAt(index);
    FolderMoveJob job;
    job.index = index;
    job.name = RemovalRules::nameOf(file);
    job.stagedPath = file.path;
    job.size = file.size;
    const std::optional<QString> container = file.redClipFolder();
    job.source = container.value_or(RemovalRules::workingPath(file));
    if (isList() && !file.isOnDisk()) {
        job.decided = FolderMoveOutcome::Kind::offline;
        return job;
    }
    // A later import or a found After Effects project may have put the file in use.
    if (m_rules.liveUseOf(file)) {
        job.decided = FolderMoveOutcome::Kind::nowInUse;
        return job;
    }
    job.containerFolderFailureIsFatal = !isList();
    if (container) {
        if (m_rules.handledContainers().contains(*container))
            job.container = FolderMoveJob::Container::handled;
        else if (m_rules.mediaFileInsideContainer(*container))
            job.container = FolderMoveJob::Container::refused;
        else
            job.container = FolderMoveJob::Container::proceed;
        if (isList())
            job.numbering = ArchiveDestination::Numbering::listContainer;
    } else {
        job.numbering =
            isList() ? ArchiveDestination::Numbering::listFile : ArchiveDestination::Numbering::binFile;
        if (file.proxyPath && *file.proxyPath != job.source) {
            job.proxy = file.proxyPath;
            // Editors cut with proxies: one a timeline uses stays where the project expects it.
            job.proxyInUse = m_rules.entryUsingProxy(*file.proxyPath).has_value();
        }
    }
    job.destination = ArchiveDestination::destinationFor(job.source, m_folder);
    job.records = recordsOf(file, job);
    // Made here rather than on the worker, which the renames keep busy.
    if (m_recordRun->journal() && job.records.size() == 1 && !job.records.first().member &&
        job.container == FolderMoveJob::Container::none)
        job.intentLine = RecordJournal::prepareLine(m_recordRun->id(), job.records.first(), true);
    return job;
}

void FolderMoveRun::markMoved(const QString& path, const std::optional<QString>& movedTo) {
    const qsizetype index = m_rules.indexOfEntry(path);
    if (index >= 0)
        m_marks.append({index, path, movedTo});
}

void FolderMoveRun::applyMarks(bool force) {
    if (m_marks.isEmpty() || (!force && m_sinceMarked.elapsed() < kMarkMovedMs))
        return;
    m_sinceMarked.start();
    // Summed up once, when the run ends: a pass over the whole list at every mark would hold up the
    // window.
    m_manager.deferredEdit(ProjectManager::ListChange::entries).modifyMediaFiles([&](QList<MediaFile>& list) {
        for (const MovedMark& mark : std::as_const(m_marks)) {
            // The list may have changed since: the first entry with the path, as when it was marked.
            const bool same = mark.index < list.size() && list.at(mark.index).path == mark.path;
            const qsizetype index = same ? mark.index : m_rules.indexOfEntry(mark.path);
            if (index < 0)
                continue;
            MediaFile& entry = list[index];
            entry.status = MediaFileStatus::moved;
            if (mark.movedTo)
                entry.movedToPath = mark.movedTo;
        }
    });
    m_marks.clear();
}

// What a move of `file` records: its entry (the destination as planned; the move settles it), its
// count and bytes (a file without an entry in the media list adds no bytes), its trace line.
FileRecord FolderMoveRun::recordOf(const MediaFile& file, const FolderMoveJob& job,
                                   bool withContainer) const {
    FileRecord record;
    if (!(withContainer && isList()))
        record.entry = AuditLogEntry::make(AuditAction::movedToFolder, file,
                                           withContainer ? std::nullopt : job.destination);
    record.target = job.source; // decides the record after a kill: the container too
    // A container's source is removed file by file: each staged file inside goes by its own place.
    if (job.container == FolderMoveJob::Container::proceed)
        record.member = RemovalRules::workingPath(file);
    record.files = 1;
    record.bytes = m_rules.indexOfEntry(file.path) >= 0 ? file.size : 0;
    record.traced = !withContainer && !isList();
    return record;
}

// A container's move carries the records of every staged file inside it: a kill right after the
// move then still leaves a record for each of them.
QList<FileRecord> FolderMoveRun::recordsOf(const MediaFile& file, const FolderMoveJob& job) {
    if (job.container == FolderMoveJob::Container::handled ||
        job.container == FolderMoveJob::Container::refused)
        return {};
    QList<FileRecord> records{recordOf(file, job, false)};
    if (job.container != FolderMoveJob::Container::proceed)
        return records;
    if (!m_inputByContainer) {
        m_inputByContainer.emplace();
        for (qsizetype i = 0; i < inputCount(); ++i) {
            if (const std::optional<QString> container = inputAt(i).redClipFolder())
                (*m_inputByContainer)[*container].append(i);
        }
    }
    for (const qsizetype i : m_inputByContainer->value(job.source)) {
        if (i != job.index)
            records.append(recordOf(inputAt(i), job, true));
    }
    return records;
}

void FolderMoveRun::applyMoved(const MediaFile& file, const FolderMoveJob& job,
                               const FolderMoveOutcome& done) {
    ++m_result.succeeded;
    if (job.container == FolderMoveJob::Container::proceed) {
        m_rules.handledContainers().insert(job.source);
        AppLog::info(QStringLiteral("R3D: Moved .RDC container ") + job.source + QStringLiteral(" to ") +
                     done.destination);
        // Every entry inside the container went with it, staged or not.
        const QString prefix = RemovalRules::containerPrefix(job.source);
        const QList<qsizetype> inside = m_rules.entriesInsideContainer(job.source);
        for (const qsizetype index : inside) {
            const MediaFile& entry = m_manager.mediaFiles().at(index);
            const QString working = RemovalRules::workingPath(entry);
            if (entry.path != file.path && working.startsWith(prefix))
                markMoved(entry.path, done.destination + QLatin1Char('/') + working.mid(prefix.size()));
        }
    } else {
        AppLog::fileMoved(job.source, done.destination);
    }
    markMoved(file.path, done.destination);
    const QString proxy = job.proxy.value_or(QString());
    switch (done.proxy) {
    case FolderMoveOutcome::Proxy::none:
        break;
    case FolderMoveOutcome::Proxy::moved:
        AppLog::info(QStringLiteral("Proxy: moved ") + proxy + QStringLiteral(" to ") +
                     done.proxyDestination);
        break;
    case FolderMoveOutcome::Proxy::failed:
        AppLog::warning(QStringLiteral("Proxy: could not move ") + proxy + QStringLiteral(": ") +
                        done.proxyError);
        break;
    case FolderMoveOutcome::Proxy::notRegular:
        AppLog::warning(QStringLiteral("Proxy: could not move ") + proxy +
                        QStringLiteral(": not a regular file — skipped"));
        break;
    case FolderMoveOutcome::Proxy::inUse:
        AppLog::warning(QStringLiteral("Proxy: could not move ") + proxy +
                        QStringLiteral(": a timeline uses it — skipped"));
        break;
    }
}

void FolderMoveRun::apply(const FolderMoveJob& job, const FolderMoveOutcome& done) {
    using Kind = FolderMoveOutcome::Kind;
    const MediaFile& file = inputAt(job.index);
    const QString& name = job.name;
    ++m_applied;
    switch (done.kind) {
    case Kind::moved:
        applyMoved(file, job, done);
        break;
    case Kind::offline:
        AppLog::warning(QStringLiteral("Skipping offline file: ") + name);
        fail(name + QStringLiteral(": File is offline"));
        break;
    case Kind::nowInUse:
        fail(RemovalRules::nowInUseText(name));
        AppLog::warning(QStringLiteral("In use: skipped moving ") + job.source);
        break;
    case Kind::changed:
        fail(name + QStringLiteral(": ") + FolderMoveSession::changedText());
        AppLog::moveFailed(job.source, FolderMoveSession::changedText());
        break;
    case Kind::ownFolder:
        fail(name + QStringLiteral(": ") + FolderMoveSession::ownFolderText());
        AppLog::moveFailed(job.source, FolderMoveSession::ownFolderText());
        break;
    case Kind::withContainer:
        ++m_result.succeeded;
        markMoved(file.path, std::nullopt);
        break;
    case Kind::containerRefused:
        if (const std::optional<MediaFile> used = m_rules.mediaFileInsideContainer(job.source))
            fail(RemovalRules::containerRefusedText(name, *used));
        else
            fail(name + QStringLiteral(": skipped — its .RDC container holds a used file"));
        break;
    case Kind::protectedTarget:
        fail(RemovalRules::protectedText(name));
        AppLog::warning(QStringLiteral("Protected: skipped moving ") + job.source);
        break;
    case Kind::isFolder:
        fail(RemovalRules::isFolderText(name));
        AppLog::moveFailed(job.source, QStringLiteral("is a folder — skipped"));
        break;
    case Kind::outsideFolder:
        fail(name + QStringLiteral(": ") + ArchiveDestination::outsideFolderText());
        AppLog::moveFailed(job.source, ArchiveDestination::outsideFolderText());
        break;
    case Kind::folderFailed:
        if (job.container == FolderMoveJob::Container::proceed)
            fail(name + QStringLiteral(": ") + done.error.message);
        else
            fail(name + QStringLiteral(": Failed to create directory: ") + done.error.message);
        AppLog::moveFailed(job.source, done.error.message);
        break;
    case Kind::moveFailed:
        fail(name + QStringLiteral(": ") + done.error.message);
        AppLog::moveFailed(job.source, done.error.message);
        break;
    case Kind::keptForRecords:
        // One line for them all: the run's (RecordRun::stop).
        fail(name + QStringLiteral(": ") + done.error.message);
        break;
    case Kind::cancelled:
        --m_applied; // not handled: it stays where it was
        m_cancelled = true;
        break;
    }
}

void FolderMoveRun::finish() {
    applyMarks(true);
    // The run's share of the bin goes first: the bin is changed below without a copy.
    m_bin = {};
    RecordMerge::closeRun(*m_recordRun, stores()).applyTo(m_result);
    if (isList()) {
        m_manager.updateMoveProgress([](MoveProgress& move) {
            move.moveFilesCompleted = move.moveTotalFiles;
            move.moveProgressFraction = 1.0;
        });
    }
    // First entry per path, as everywhere else the bin meets the media list (the table the marks
    // made).
    const QList<MediaFile>& media = m_manager.mediaFiles();
    const auto isMoved = [&](const QString& path) {
        const qsizetype index = m_rules.indexedEntry(path);
        return index >= 0 && media.at(index).status == MediaFileStatus::moved;
    };
    m_manager.edit(ProjectManager::ListChange::entries).modifyRecycleBin([&](QList<RecycleBinItem>& items) {
        items.removeIf([&](const RecycleBinItem& item) { return isMoved(item.mediaFile.path); });
    });
    m_manager.updateMoveProgress([](MoveProgress& move) { move.isMoveInProgress = false; });
    const QString counts = QString::number(m_result.succeeded) + QStringLiteral(" succeeded, ") +
                           QString::number(m_result.failed) + QStringLiteral(" failed");
    AppLog::info(
        (isList() ? QStringLiteral("Move complete: ") : QStringLiteral("Recycle bin move complete: ")) +
        counts);
}

// The chosen folder is the root itself (through a link or a mount, too): every file's destination
// would be its own path, and the numbering would only rename it in place.
bool isRootFolder(FileOperations& files, const QString& folder) {
    const FileOpInfo chosen = files.status(folder, true);
    const FileOpInfo root = files.status(QStringLiteral("/"), true);
    return chosen.kind == FileKind::directory && chosen.device == root.device && chosen.inode == root.inode;
}

QString rootFolderText(const QString& folder) {
    return QStringLiteral("The archive folder ") + folder +
           QStringLiteral(" is the root folder: each file would stay in its own folder. Nothing was moved.");
}

// Plans the next jobs while the worker is short of them, so it never waits for the GUI thread.
void planAhead(FolderMoveRun& run, FolderMovePipeline& pipeline, qsizetype& next) {
    const qsizetype count = run.inputCount();
    const qsizetype room = kPlanAhead - pipeline.queued();
    if (next < count && (room >= kPlanAhead / 2 || next == 0)) {
        // Handed over in pieces, the first a small one: the worker starts on each while the GUI
        // thread plans the next.
        for (qsizetype left = room; left > 0 && next < count;) {
            const qsizetype piece = std::min(left, next == 0 ? kFirstPiece : kPiece);
            QList<FolderMoveJob> jobs;
            jobs.reserve(piece);
            for (qsizetype i = 0; i < piece && next < count; ++i)
                jobs.append(run.plan(next++));
            left -= jobs.size();
            pipeline.push(std::move(jobs));
        }
        if (next >= count)
            pipeline.closeInput();
    } else if (count == 0) {
        pipeline.closeInput();
    }
}

QCoro::Task<ActionResult> runMove(ProjectManager& manager, Variant variant,
                                  std::optional<QList<MediaFile>> files, QString folder,
                                  CleanupServices services) {
    QPointer<ProjectManager> self(&manager);
    std::optional<OperationGate::Scope> scope =
        manager.tryBeginOperation(QStringLiteral("Moving files to a folder…"));
    if (!scope) {
        AppLog::warning(QStringLiteral("Moving to a folder refused: ") + manager.busyReason());
        co_return ActionResult{
            0, 0, {QStringLiteral("Another operation is running: ") + manager.busyReason()}, {}, true, {}};
    }
    QList<MediaFile> input = files ? std::move(*files) : QList<MediaFile>();
    QList<RecycleBinItem> bin = files ? QList<RecycleBinItem>() : manager.recycleBin();
    auto run = std::make_unique<FolderMoveRun>(manager, variant, std::move(input), std::move(bin),
                                               std::move(folder), services.resolved(manager));
    const std::shared_ptr<FileOperations> ops = run->m_services.files;
    // Before anything moves; a stat of a slow volume stays off the GUI thread.
    QFuture<bool> rootCheck = QtConcurrent::run(
        &folderMovePool(), [ops, chosen = run->m_folder] { return isRootFolder(*ops, chosen); });
    const bool isRoot = co_await rootCheck;
    if (!self)
        co_return ActionResult{};
    if (isRoot) {
        AppLog::warning(QStringLiteral("Moving to a folder refused: ") + rootFolderText(run->m_folder));
        co_return ActionResult{0, run->inputCount(), {rootFolderText(run->m_folder)}, {}, true, {}};
    }
    run->start();
    FolderMovePipeline pipeline(ops, ProtectedFolderTest::forManager(manager, ops.get()), run->m_folder,
                                run->watchedPaths(), run->m_recordRun);
    // Cancel reaches the worker at once: it stops before its next file and rolls back a copy in flight.
    QObject::connect(&manager, &ProjectManager::moveProgressChanged, &pipeline, [&manager, &pipeline] {
        if (manager.moveProgress().cancelMoveRequested)
            pipeline.cancel();
    });
    // The window closed: the file in flight completes, nothing further is started.
    QObject::connect(&manager, &QObject::destroyed, &pipeline, [&pipeline] { pipeline.stop(); });
    pipeline.start(folderMovePool());
    qsizetype next = 0;
    for (;;) {
        if (!manager.moveProgress().cancelMoveRequested)
            planAhead(*run, pipeline, next);
        FolderMovePipeline::Batch batch = pipeline.take();
        for (const auto& [job, outcome] : std::as_const(batch.finished))
            run->apply(job, outcome);
        // Each job's records and lines are freed on the release thread: the GUI thread's turn
        // after the last file is part of the move's time.
        memory::releaseLater(std::move(batch.finished));
        run->applyMarks(batch.done);
        run->publishProgress(pipeline.progress(), batch.done);
        if (batch.done)
            break;
        co_await qCoro(&pipeline, &FolderMovePipeline::woke);
        if (!self) {
            // The window closed and the worker was told to stop: it still writes the file in
            // flight's records, so the run waits for it and closes them in stores that outlive the
            // window, rather than leave a worker writing to a journal its caller may end.
            while (!pipeline.take().done)
                co_await qCoro(&pipeline, &FolderMovePipeline::woke);
            RecordMerge::closeRun(*run->m_recordRun, run->stores());
            co_return ActionResult{};
        }
    }
    if (run->m_cancelled ||
        (manager.moveProgress().cancelMoveRequested && run->m_applied < run->inputCount()))
        AppLog::info(QStringLiteral("Move cancelled by user after %1 file(s)").arg(run->m_result.succeeded));
    run->finish();
    ActionResult result = std::move(run->m_result);
    // The run lets go of the journal here; its input, tables and records go on the release
    // thread: the result is due now.
    run->m_recordRun.reset();
    memory::releaseLater(std::move(run));
    co_return result;
}

} // namespace

QCoro::Task<ActionResult> MoveToFolderAction::moveRecycleBinToFolder(ProjectManager& manager, QString folder,
                                                                     CleanupServices services) {
    return runMove(manager, Variant::bin, std::nullopt, std::move(folder), std::move(services));
}

QCoro::Task<ActionResult> MoveToFolderAction::moveFilesToFolder(ProjectManager& manager,
                                                                QList<MediaFile> files, QString folder,
                                                                CleanupServices services) {
    return runMove(manager, Variant::list, std::move(files), std::move(folder), std::move(services));
}

MoveToFolderAction::MoveToFolderAction(ProjectManager& manager, CleanupRunKind kind, QString folder,
                                       QString description, CleanupServices services)
    : CleanupRun(manager, kind, std::move(description), ProjectManager::Change::moveProgress),
      m_folder(std::move(folder)), m_services(std::move(services)) {}

QCoro::Task<CleanupResult> MoveToFolderAction::work() {
    ProjectManager& pm = *manager();
    if (kind() == CleanupRunKind::binMove)
        co_return CleanupResult::of(kind(), co_await moveRecycleBinToFolder(pm, m_folder, m_services));
    co_return CleanupResult::of(
        kind(), co_await moveFilesToFolder(pm, DeleteSafetyCheck::safeUnusedFiles(pm.mediaFiles()), m_folder,
                                           m_services));
}

void MoveToFolderAction::stop() {
    manager()->updateMoveProgress([](MoveProgress& move) { move.cancelMoveRequested = true; });
}

CleanupRun::Progress MoveToFolderAction::liveProgress() const {
    const MoveProgress& move = manager()->moveProgress();
    return {move.moveFilesCompleted, move.moveTotalFiles};
}

} // namespace tarnwick
