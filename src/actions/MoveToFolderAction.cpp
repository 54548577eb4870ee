#include "actions/MoveToFolderAction.h"

#include "actions/FolderMoveStep.h"
#include "actions/RemovalRules.h"
#include "actions/TraceFileWriter.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace tarnwick {

namespace {

enum class Variant { bin, list };

// One move at a time touches the disk; the gate already serialises runs.
QThreadPool& movePool() {
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

// Progress of the file in flight, from the worker: at most five updates a second reach the GUI.
// They are posted to `relay`, a GUI-thread object of the run that outlives the worker's job (the
// manager may go away meanwhile; the manager is only touched on the GUI thread).
class InFlightProgress {
public:
    InFlightProgress(QObject& relay, ProjectManager& manager, std::shared_ptr<std::atomic<quint64>> token)
        : m_relay(&relay), m_manager(&manager), m_token(std::move(token)), m_ticket(m_token->load()) {}

    FileOpProgress callback(qint64 base, qint64 share, const QElapsedTimer& clock) const {
        auto last = std::make_shared<std::atomic<qint64>>(-1000);
        return [relay = m_relay, manager = m_manager, token = m_token, ticket = m_ticket, base, share, clock,
                last](qint64 done, qint64 total) {
            const qint64 now = clock.elapsed();
            if (now - last->load() < 200)
                return;
            last->store(now);
            const qint64 scaled = total > 0 ? qint64(double(share) * double(done) / double(total)) : 0;
            QMetaObject::invokeMethod(
                relay,
                [manager, token, ticket, bytes = base + scaled, seconds = double(now) / 1000.0] {
                    if (!manager || token->load() != ticket)
                        return;
                    manager->setMoveBytesCompleted(bytes);
                    if (manager->moveTotalBytes() >= 1)
                        manager->setMoveProgressFraction(double(bytes) / double(manager->moveTotalBytes()));
                    if (seconds > 0)
                        manager->setMoveMBps(double(bytes) / 1048576.0 / seconds);
                },
                Qt::QueuedConnection);
        };
    }

private:
    QObject* m_relay;
    QPointer<ProjectManager> m_manager;
    std::shared_ptr<std::atomic<quint64>> m_token;
    quint64 m_ticket;
};

class FolderMoveRun {
public:
    FolderMoveRun(ProjectManager& manager, Variant variant, QList<MediaFile> input, QString folder,
                  CleanupServices services)
        : m_manager(manager), m_variant(variant), m_input(std::move(input)), m_folder(std::move(folder)),
          m_services(std::move(services)), m_rules(manager) {}

    void start();
    FolderMoveJob plan(const MediaFile& file);
    void apply(const MediaFile& file, const FolderMoveJob& job, const FolderMoveOutcome& done);
    void finish();
    bool refusedBeforeMoving(const MediaFile& file, const FolderMoveJob& job);
    void publishProgress(qint64 files, qint64 bytes);
    void advanceBinProgress(const MediaFile& file);
    bool isList() const { return m_variant == Variant::list; }

    ProjectManager& m_manager;
    Variant m_variant;
    QList<MediaFile> m_input;
    QString m_folder;
    CleanupServices m_services;
    RemovalRules m_rules;
    QElapsedTimer m_clock;
    MoveResult m_result;
    qint64 m_filesHandled = 0;
    qint64 m_bytesHandled = 0;
    QList<AuditLogManager::Request> m_audit;
    QList<TraceFileWriter::DeletedFileInfo> m_records;
    std::shared_ptr<std::atomic<quint64>> m_fileToken = std::make_shared<std::atomic<quint64>>(0);
    QObject m_relay;

private:
    void fail(const QString& error) {
        ++m_result.failed;
        m_result.errors.append(error);
    }
    void markMoved(const QString& path, const std::optional<QString>& movedTo);
    void applyMoved(const MediaFile& file, const FolderMoveJob& job, const FolderMoveOutcome& done);
};

void FolderMoveRun::start() {
    const qsizetype count = m_input.size();
    if (isList()) {
        AppLog::userAction(QStringLiteral("Moving %1 file(s) to %2").arg(QString::number(count), m_folder));
    } else {
        AppLog::userAction(QStringLiteral("Moving %1 recycle bin file(s) to %2 with directory preservation")
                               .arg(QString::number(count), m_folder));
    }
    qint64 totalBytes = 0;
    for (const MediaFile& file : std::as_const(m_input))
        totalBytes += file.size;
    m_manager.setMoveTotalBytes(totalBytes);
    m_manager.setMoveBytesCompleted(0);
    m_manager.setMoveTotalFiles(count);
    m_manager.setMoveFilesCompleted(0);
    m_manager.setMoveProgressFraction(0.0);
    m_manager.setMoveCurrentFile(QString());
    m_manager.setMoveMBps(0.0);
    m_manager.setCancelMoveRequested(false);
    m_manager.setIsMoveInProgress(true);
    m_clock.start();
}

void FolderMoveRun::publishProgress(qint64 files, qint64 bytes) {
    m_manager.setMoveFilesCompleted(files);
    m_manager.setMoveBytesCompleted(bytes);
    if (m_manager.moveTotalBytes() >= 1)
        m_manager.setMoveProgressFraction(double(bytes) / double(m_manager.moveTotalBytes()));
    else if (m_manager.moveTotalFiles() >= 1)
        m_manager.setMoveProgressFraction(double(files) / double(m_manager.moveTotalFiles()));
    const double seconds = double(m_clock.nsecsElapsed()) / 1e9;
    if (seconds > 0)
        m_manager.setMoveMBps(double(bytes) / 1048576.0 / seconds);
}

void FolderMoveRun::advanceBinProgress(const MediaFile& file) {
    publishProgress(m_manager.moveFilesCompleted() + 1, m_bytesHandled + file.size);
    m_bytesHandled += file.size;
}

// The list variant's progress and offline rule, then whether the file became used since staging.
bool FolderMoveRun::refusedBeforeMoving(const MediaFile& file, const FolderMoveJob& job) {
    if (isList()) {
        publishProgress(m_filesHandled, m_bytesHandled);
        ++m_filesHandled;
        m_bytesHandled += file.size;
        if (!file.isOnDisk()) {
            AppLog::warning(QStringLiteral("Skipping offline file: ") + job.name);
            fail(job.name + QStringLiteral(": File is offline"));
            return true;
        }
    }
    // A later import or a found After Effects project may have put the file in use.
    if (m_rules.liveUseOf(file)) {
        fail(RemovalRules::nowInUseText(job.name));
        AppLog::warning(QStringLiteral("In use: skipped moving ") + job.source);
        if (!isList())
            advanceBinProgress(file);
        return true;
    }
    return false;
}

FolderMoveJob FolderMoveRun::plan(const MediaFile& file) {
    FolderMoveJob job;
    job.name = RemovalRules::nameOf(file);
    job.stagedPath = file.path;
    job.folder = m_folder;
    job.containerFolderFailureIsFatal = !isList();
    if (const std::optional<QString> container = file.redClipFolder()) {
        job.source = *container;
        if (m_rules.handledContainers().contains(*container))
            job.container = FolderMoveJob::Container::handled;
        else if (m_rules.mediaFileInsideContainer(*container))
            job.container = FolderMoveJob::Container::refused;
        else
            job.container = FolderMoveJob::Container::proceed;
        if (isList())
            job.numbering = ArchiveDestination::Numbering::listContainer;
    } else {
        job.source = RemovalRules::workingPath(file);
        job.numbering =
            isList() ? ArchiveDestination::Numbering::listFile : ArchiveDestination::Numbering::binFile;
        if (file.proxyPath && *file.proxyPath != job.source) {
            job.proxy = file.proxyPath;
            // Editors cut with proxies: one a timeline uses stays where the project expects it.
            job.proxyInUse = m_rules.entryUsingProxy(*file.proxyPath).has_value();
        }
    }
    job.destination = ArchiveDestination::destinationFor(job.source, m_folder);
    return job;
}

void FolderMoveRun::markMoved(const QString& path, const std::optional<QString>& movedTo) {
    const qsizetype index = m_rules.indexOfEntry(path);
    if (index < 0)
        return;
    MediaFile entry = m_manager.mediaFiles().at(index);
    entry.status = MediaFileStatus::moved;
    if (movedTo)
        entry.movedToPath = movedTo;
    m_manager.setMediaFile(index, entry);
}

void FolderMoveRun::applyMoved(const MediaFile& file, const FolderMoveJob& job,
                               const FolderMoveOutcome& done) {
    ++m_result.succeeded;
    const QDateTime now = QDateTime::currentDateTime();
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
    m_audit.append({AuditAction::movedToFolder, file, done.destination});
    // The trace goes where the moved item was: its working path, or its container.
    m_records.append(
        {job.name, job.source, file.size, file.projectNames, now, QStringLiteral("Moved to Folder")});
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

void FolderMoveRun::apply(const MediaFile& file, const FolderMoveJob& job, const FolderMoveOutcome& done) {
    using Kind = FolderMoveOutcome::Kind;
    const QString& name = job.name;
    switch (done.kind) {
    case Kind::moved:
        applyMoved(file, job, done);
        break;
    case Kind::withContainer:
        ++m_result.succeeded;
        markMoved(file.path, std::nullopt);
        if (!isList())
            m_audit.append({AuditAction::movedToFolder, file, std::nullopt});
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
    case Kind::cancelled:
        break;
    }
}

void FolderMoveRun::finish() {
    if (m_services.auditLog && !m_audit.isEmpty())
        m_services.auditLog->log(m_audit);
    if (!isList() && m_manager.writeTraceFiles() && m_result.succeeded >= 1 && !m_records.isEmpty() &&
        m_services.traceWriter)
        m_services.traceWriter->writeTraceFiles(m_records);
    if (isList()) {
        m_manager.setMoveFilesCompleted(m_manager.moveTotalFiles());
        m_manager.setMoveProgressFraction(1.0);
    }
    // First entry per path, as everywhere else the bin meets the media list.
    QHash<QString, MediaFileStatus> statusByPath;
    for (const MediaFile& entry : m_manager.mediaFiles()) {
        if (!statusByPath.contains(entry.path))
            statusByPath.insert(entry.path, entry.status);
    }
    const auto isMoved = [&](const QString& path) {
        return statusByPath.value(path, MediaFileStatus::error) == MediaFileStatus::moved;
    };
    m_manager.modifyRecycleBin([&](QList<RecycleBinItem>& items) {
        items.removeIf([&](const RecycleBinItem& item) { return isMoved(item.mediaFile.path); });
    });
    if (m_result.succeeded >= 1 && m_services.statsManager) {
        qint64 bytes = 0;
        for (const MediaFile& file : std::as_const(m_input)) {
            if (isMoved(file.path))
                bytes += file.size;
        }
        m_services.statsManager->recordMove(m_result.succeeded, bytes);
    }
    m_manager.updateSummary();
    m_manager.setIsMoveInProgress(false);
    const QString counts = QString::number(m_result.succeeded) + QStringLiteral(" succeeded, ") +
                           QString::number(m_result.failed) + QStringLiteral(" failed");
    AppLog::info(
        (isList() ? QStringLiteral("Move complete: ") : QStringLiteral("Recycle bin move complete: ")) +
        counts);
}

QCoro::Task<MoveResult> runMove(ProjectManager& manager, Variant variant,
                                std::optional<QList<MediaFile>> files, QString folder,
                                CleanupServices services) {
    QPointer<ProjectManager> self(&manager);
    std::optional<OperationGate::Scope> scope =
        manager.tryBeginOperation(QStringLiteral("Moving files to a folder…"));
    if (!scope) {
        AppLog::warning(QStringLiteral("Moving to a folder refused: ") + manager.busyReason());
        co_return MoveResult{
            0, 0, {QStringLiteral("Another operation is running: ") + manager.busyReason()}, true};
    }
    QList<MediaFile> input;
    if (files) {
        input = std::move(*files);
    } else {
        for (const RecycleBinItem& item : manager.recycleBin())
            input.append(item.mediaFile);
    }
    auto run = std::make_unique<FolderMoveRun>(manager, variant, std::move(input), std::move(folder),
                                               services.resolved(manager));
    run->start();
    // A Cancel pressed while a file is in flight also stops its copy, which is then rolled back.
    // One pressed before the file started lets it run, and the run stops at the next file.
    auto inFlight = std::make_shared<std::shared_ptr<std::atomic_bool>>();
    const QMetaObject::Connection watch =
        QObject::connect(&manager, &ProjectManager::moveProgressChanged, &manager, [&manager, inFlight] {
            if (manager.cancelMoveRequested() && *inFlight)
                (*inFlight)->store(true);
        });
    const ProtectedFolderTest protection =
        ProtectedFolderTest::forManager(manager, run->m_services.files.get());
    for (const MediaFile& file : std::as_const(run->m_input)) {
        if (manager.cancelMoveRequested()) {
            AppLog::info(
                QStringLiteral("Move cancelled by user after %1 file(s)").arg(run->m_result.succeeded));
            break;
        }
        // Let the overlay repaint and a Cancel press arrive before the file starts.
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
        if (!self)
            co_return MoveResult{};
        const FolderMoveJob job = run->plan(file);
        manager.setMoveCurrentFile(job.name);
        if (run->refusedBeforeMoving(file, job))
            continue;
        ++*run->m_fileToken;
        const qint64 base = run->isList() ? run->m_bytesHandled - file.size : run->m_bytesHandled;
        const FileOpProgress progress =
            InFlightProgress(run->m_relay, manager, run->m_fileToken).callback(base, file.size, run->m_clock);
        const std::shared_ptr<FileOperations> ops = run->m_services.files;
        const auto cancel = std::make_shared<std::atomic_bool>(false);
        *inFlight = manager.cancelMoveRequested() ? nullptr : cancel;
        QFuture<FolderMoveOutcome> work =
            QtConcurrent::run(&movePool(), [job, ops, protection, progress, cancel] {
                return executeFolderMove(job, *ops, protection, progress, cancel.get());
            });
        const FolderMoveOutcome done = co_await work;
        if (!self)
            co_return MoveResult{};
        inFlight->reset();
        ++*run->m_fileToken;
        run->apply(file, job, done);
        if (done.kind == FolderMoveOutcome::Kind::cancelled) {
            AppLog::info(
                QStringLiteral("Move cancelled by user after %1 file(s)").arg(run->m_result.succeeded));
            break;
        }
        if (!run->isList())
            run->advanceBinProgress(file);
    }
    QObject::disconnect(watch);
    run->finish();
    co_return run->m_result;
}

} // namespace

QCoro::Task<MoveResult> MoveToFolderAction::moveRecycleBinToFolder(ProjectManager& manager, QString folder,
                                                                   CleanupServices services) {
    return runMove(manager, Variant::bin, std::nullopt, std::move(folder), std::move(services));
}

QCoro::Task<MoveResult> MoveToFolderAction::moveFilesToFolder(ProjectManager& manager, QList<MediaFile> files,
                                                              QString folder, CleanupServices services) {
    return runMove(manager, Variant::list, std::move(files), std::move(folder), std::move(services));
}

} // namespace tarnwick
