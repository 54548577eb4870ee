#include "transcode/TranscodeAndReplace.h"

#include "actions/ProtectedFolderTest.h"
#include "actions/RecordMerge.h"
#include "actions/RemovalRules.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/FileOperations.h"
#include "platform/LeftoverSweep.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"
#include "transcode/TranscodeEngine.h"
#include "transcode/TranscodeExtensions.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <qcoro/qcorofuture.h>

#include <chrono>
#include <future>

namespace tarnwick {

namespace {

QString fileNameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

// Asks the GUI thread about the live entry, without ever blocking it: the engine's thread waits,
// and gives up when the run is cancelled (the window may be closing).
DestructiveStepCheck liveEntryCheck(QPointer<ProjectManager> manager, MediaFile staged,
                                    TranscodeRunChecks checks, const std::atomic_bool* cancelled) {
    return [=](const QString& sourcePath) -> std::optional<TranscodeError> {
        // Resolved here, off the GUI thread: a network path can be slow to answer.
        QString canonical = QFileInfo(sourcePath).canonicalFilePath();
        if (canonical.isEmpty())
            canonical = QDir::cleanPath(sourcePath);
        auto answer = std::make_shared<std::promise<std::optional<TranscodeError>>>();
        auto future = answer->get_future();
        ProjectManager* target = manager.data();
        if (!target)
            return TranscodeError::cancelled();
        QMetaObject::invokeMethod(
            target, [=] { answer->set_value(checks.refuseDestructiveStep(*target, staged, canonical)); },
            Qt::QueuedConnection);
        while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            if (cancelled->load())
                return TranscodeError::cancelled();
        try {
            return future.get();
        } catch (const std::future_error&) { // the manager went away first
            return TranscodeError::cancelled();
        }
    };
}

} // namespace

std::optional<TranscodeSkip> transcodeSkip(const MediaFile& staged,
                                           const std::function<bool(const QString& path)>& isProtected) {
    if (transcodeExtensions::isNeverTranscoded(staged.path))
        return TranscodeSkip::neverTranscoded;
    if (isProtected && isProtected(staged.matchedPath.value_or(staged.path)))
        return TranscodeSkip::protectedFolder;
    return std::nullopt;
}

ReplaceRecorder transcodeRecorder(RecordRun& run, const MediaFile& file) {
    auto seq = std::make_shared<int>(-1);
    ReplaceRecorder recorder;
    recorder.intend = [&run, file, seq](const ReplaceStep& step) {
        FileRecord record;
        record.entry = AuditLogEntry::make(AuditAction::transcoded, file, std::nullopt);
        // Replaced: the source's name holds another file, or it went to the Trash with its
        // transcoded .mov left in the folder.
        record.target = step.sourcePath;
        record.identity = step.sourceIdentity;
        if (step.resultPath != step.sourcePath)
            record.destination = step.resultPath;
        record.bytes = std::max<qint64>(0, step.sourceSize - step.resultSize);
        *seq = run.intend(std::move(record));
    };
    recorder.settled = [&run, seq](bool happened) {
        if (happened)
            run.done(*seq);
        else
            run.failed(*seq);
    };
    recorder.refusal = [&run] { return run.stopReason(); };
    return recorder;
}

TranscodeRunChecks TranscodeRunChecks::defaults() {
    TranscodeRunChecks checks;
    // The same tests as the other clean-up actions.
    checks.isProtected = [](const ProjectManager& pm, const QString& path) {
        return ProtectedFolderTest::forManager(pm, FileOperations::system().get()).isInProtectedFolder(path);
    };
    checks.refuseDestructiveStep = [](const ProjectManager& pm, const MediaFile& staged,
                                      const QString& canonical) -> std::optional<TranscodeError> {
        const RemovalRules rules(pm);
        const qsizetype index = rules.indexOfEntry(staged.path);
        const MediaFile* live = index >= 0 ? &pm.mediaFiles()[index] : nullptr;
        const QString name = RemovalRules::nameOf(staged);
        // The canonical path was resolved off this thread; the text test alone is enough here.
        if (ProtectedFolderTest::forManager(pm, nullptr).isInProtectedFolder(canonical) ||
            (live && live->isProtected))
            return TranscodeError::protectedSource(name);
        // The same in-use guard as the other clean-up actions: a file staged knowingly while a
        // timeline used it is transcoded; one whose use grew since is refused.
        if (rules.liveUseOf(staged))
            return TranscodeError::nowInUse();
        return std::nullopt;
    };
    return checks;
}

void cancelTranscode(ProjectManager& manager, TranscodeEngine& engine) {
    manager.updateTranscodeProgress(
        [](TranscodeRunProgress& transcode) { transcode.transcodeShouldCancel = true; });
    engine.cancel();
}

namespace {

// The bin's items that may be transcoded: neither of a kind never transcoded nor protected.
QList<RecycleBinItem> transcodableItems(const ProjectManager& manager, const QList<RecycleBinItem>& bin,
                                        const TranscodeRunChecks& checks) {
    const auto isProtected = [&](const QString& path) { return checks.isProtected(manager, path); };
    QList<RecycleBinItem> items;
    for (const RecycleBinItem& item : bin)
        if (!transcodeSkip(item.mediaFile, isProtected))
            items.append(item);
    return items;
}

void startProgress(ProjectManager& manager, int total) {
    manager.updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
        transcode.transcodeTotalFiles = total;
        transcode.transcodeFilesCompleted = 0;
        transcode.transcodeProgressFraction = 0;
        transcode.transcodeCurrentFile = QString();
        transcode.transcodeSpaceSaved = 0;
        transcode.transcodeShouldCancel = false;
        transcode.isTranscodeInProgress = true;
    });
}

// File `i`'s progress, called from the engine's thread: posted to the manager's.
std::function<void(double)> progressReporter(QPointer<ProjectManager> manager, int i) {
    return [manager, i](double f) {
        if (!manager)
            return;
        QMetaObject::invokeMethod(
            manager.data(),
            [manager, i, f] {
                if (!manager || manager->transcodeProgress().transcodeTotalFiles <= 0)
                    return;
                manager->updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
                    transcode.transcodeProgressFraction =
                        std::min(1.0, (i + f) / double(transcode.transcodeTotalFiles));
                });
            },
            Qt::QueuedConnection);
    };
}

// The request for one bin entry: its file (where it was found), checked again before each
// destructive step and recorded in `records`.
TranscodeRequest requestFor(const QPointer<ProjectManager>& manager, const MediaFile& file,
                            const TranscodeRunChecks& checks, TranscodeEngine& engine, RecordRun& records) {
    TranscodeRequest request;
    request.sourcePath = file.matchedPath ? *file.matchedPath : file.path;
    request.protectedFolders = manager->options().protectedFolders;
    request.destructiveStepCheck = liveEntryCheck(manager, file, checks, &engine.cancelFlag());
    request.recorder = transcodeRecorder(records, file);
    return request;
}

// The first entry of `path` now points at its transcoded file.
void markTranscoded(ProjectManager& manager, const QString& path, const RouteResult& r) {
    const QList<MediaFile>& media = manager.mediaFiles();
    for (qsizetype k = 0; k < media.size(); ++k) {
        if (media[k].path != path)
            continue;
        MediaFile updated = media[k];
        updated.status = MediaFileStatus::transcoded;
        updated.transcodedPath = r.outputPath;
        updated.transcodedSize = r.newSize;
        updated.size = r.newSize;
        manager.deferredEdit(ProjectManager::ListChange::entries)
            .setMediaFile(k, updated); // the run's end sums up
        break;
    }
}

// A file replaced by its transcode: counted, its entry updated, its saving shown.
void countTranscoded(ProjectManager& manager, const QString& path, const QString& name, const RouteResult& r,
                     TranscodeRunTotals& totals) {
    totals.spaceSaved += std::max<qint64>(0, r.sourceSize - r.newSize);
    manager.updateTranscodeProgress(
        [&](TranscodeRunProgress& transcode) { transcode.transcodeSpaceSaved = totals.spaceSaved; });
    totals.transcoded += 1;
    markTranscoded(manager, path, r);
    AppLog::info(QStringLiteral("Transcoded ") + name + QStringLiteral(": ") +
                 formatFileByteCount(r.sourceSize) + QStringLiteral(" → ") + formatFileByteCount(r.newSize));
}

void countFailure(const QString& name, const TranscodeError& error, TranscodeRunTotals& totals) {
    const QString line = error.lineFor(name);
    totals.failed += 1;
    totals.errors.append(line);
    AppLog::error(QStringLiteral("Transcode failed for ") + line);
}

void finishProgress(ProjectManager& manager, const TranscodeRunTotals& totals) {
    manager.updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
        transcode.isTranscodeInProgress = false;
        transcode.transcodeCompleteResult =
            TranscodeCompleteResult{totals.transcoded, totals.skipped, totals.failed,
                                    totals.spaceSaved, totals.errors,  transcode.transcodeShouldCancel,
                                    totals.unrecorded};
        transcode.showTranscodeComplete = true;
    });
}

// The transcoded items leave the bin, the run's records close, and the totals are shown.
void finishRun(ProjectManager& manager, RecordRun& records, const QSet<QString>& transcodedPaths,
               TranscodeRunTotals& totals) {
    manager.edit(ProjectManager::ListChange::entries).modifyRecycleBin([&](QList<RecycleBinItem>& items) {
        items.removeIf([&](const RecycleBinItem& it) { return transcodedPaths.contains(it.mediaFile.path); });
    });
    totals.unrecorded =
        RecordMerge::closeRun(records, {manager.auditLog(), manager.statsManager(), nullptr}).text();
    finishProgress(manager, totals);
    AppLog::info(QStringLiteral("Transcode complete: %1 transcoded, %2 skipped, %3 failed, %4 saved")
                     .arg(QString::number(totals.transcoded), QString::number(totals.skipped),
                          QString::number(totals.failed), formatFileByteCount(totals.spaceSaved)));
}

} // namespace

QCoro::Task<TranscodeRunTotals> transcodeAndReplace(ProjectManager& managerRef, TranscodeEngine& engine,
                                                    TranscodeRunChecks checks) {
    QPointer<ProjectManager> manager(&managerRef);
    auto scope = co_await managerRef.beginOperation(QStringLiteral("Transcoding…"));

    const QList<RecycleBinItem> bin = manager->recycleBin();
    const QList<RecycleBinItem> items = transcodableItems(*manager, bin, checks);
    const int total = int(items.size());
    TranscodeRunTotals totals;
    totals.skipped = int(bin.size()) - total;
    AppLog::userAction(QStringLiteral("Transcoding %1 file(s) to HEVC (%2 skipped as non-transcodable)")
                           .arg(total)
                           .arg(totals.skipped));
    startProgress(*manager, total);
    engine.resetCancel();
    // Each file's record goes to the journal right before the step that replaces it.
    RecordRun records(manager->auditLog() ? &manager->auditLog()->journal() : nullptr, RecordKind::transcode,
                      false);

    // Room for the records before the first file is replaced.
    qint64 recordBytes = 0;
    for (const RecycleBinItem& item : items) {
        const MediaFile& m = item.mediaFile;
        const QString source = m.matchedPath ? *m.matchedPath : m.path;
        recordBytes += RecordJournal::estimatedRecordBytes(m.path, source, m.projectNames);
    }
    records.checkRoom(recordBytes);

    QSet<QString> transcodedPaths;
    const auto leftovers = std::make_shared<LeftoverSweep>();
    for (int i = 0; i < total && manager; ++i) {
        const RecycleBinItem& item = items[i];
        // Once its records stop being kept the run replaces nothing more: the rest stays as it is.
        if (!records.stopReason().isEmpty()) {
            for (int k = i; k < total; ++k)
                records.keptForStop();
            break;
        }
        if (manager->transcodeProgress().transcodeShouldCancel) {
            AppLog::info(
                QStringLiteral("Transcode cancelled by user after %1 file(s)").arg(totals.transcoded));
            break;
        }
        const QString name = fileNameOf(item.mediaFile.path);
        manager->updateTranscodeProgress(
            [&](TranscodeRunProgress& transcode) { transcode.transcodeCurrentFile = name; });

        TranscodeRequest request = requestFor(manager, item.mediaFile, checks, engine, records);
        request.leftovers = leftovers;
        request.onProgress = progressReporter(manager, i);
        const TranscodeOutcome outcome = co_await engine.transcode(std::move(request));
        if (!manager)
            co_return totals;

        if (outcome.result) {
            transcodedPaths.insert(item.mediaFile.path);
            countTranscoded(*manager, item.mediaFile.path, name, *outcome.result, totals);
        } else if (outcome.error->kind() == TranscodeError::Kind::cancelled) {
            AppLog::info(QStringLiteral("Transcode cancelled during ") + name);
            break;
        } else {
            countFailure(name, *outcome.error, totals);
        }
        manager->updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
            transcode.transcodeFilesCompleted = i + 1;
            transcode.transcodeProgressFraction = double(i + 1) / double(transcode.transcodeTotalFiles);
        });
    }
    if (!manager)
        co_return totals;

    finishRun(*manager, records, transcodedPaths, totals);
    co_return totals;
}

TranscodeAndReplace::TranscodeAndReplace(ProjectManager& manager, TranscodeEngine& engine,
                                         QString description)
    : CleanupRun(manager, CleanupRunKind::transcode, std::move(description),
                 ProjectManager::Change::transcodeProgress),
      m_engine(engine) {}

QCoro::Task<CleanupResult> TranscodeAndReplace::work() {
    QPointer<ProjectManager> pm(manager());
    const TranscodeRunTotals totals = co_await transcodeAndReplace(*pm, m_engine);
    // The run stored its outcome on the manager, the cancellation with it.
    if (pm && pm->transcodeProgress().transcodeCompleteResult)
        co_return CleanupResult::of(*pm->transcodeProgress().transcodeCompleteResult);
    co_return CleanupResult::of(TranscodeCompleteResult{totals.transcoded, totals.skipped, totals.failed,
                                                        totals.spaceSaved, totals.errors, false});
}

void TranscodeAndReplace::stop() {
    cancelTranscode(*manager(), m_engine);
}

CleanupRun::Progress TranscodeAndReplace::liveProgress() const {
    const TranscodeRunProgress& transcode = manager()->transcodeProgress();
    return {transcode.transcodeFilesCompleted, transcode.transcodeTotalFiles};
}

} // namespace tarnwick
