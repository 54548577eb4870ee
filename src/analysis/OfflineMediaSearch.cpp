#include "analysis/OfflineMediaSearch.h"

#include "analysis/MediaConsolidator.h"
#include "analysis/ProjectManager.h"
#include "analysis/TakeResult.h"
#include "model/FreshId.h"
#include "model/PathComponents.h"
#include "platform/AppLog.h"
#include "platform/DirectoryWalker.h"
#include "platform/FileStatProbe.h"
#include "platform/MemoryRelease.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/ThreadPools.h"

#include <QCoreApplication>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <algorithm>

namespace tarnwick {

namespace {

QString lowerKey(const QString& path) {
    return text::lowered(text::nfc(path));
}

// Positions of the media list: by exact (NFC) path, and by lower-cased path (the later entry wins).
struct PositionIndex {
    QHash<QString, qsizetype> exact;
    QHash<QString, qsizetype> lower;

    static PositionIndex of(const QList<MediaFile>& media) {
        PositionIndex index;
        index.exact.reserve(media.size());
        index.lower.reserve(media.size());
        for (qsizetype i = 0; i < media.size(); ++i) {
            index.exact.insert(text::nfc(media[i].path), i);
            index.lower.insert(lowerKey(media[i].path), i);
        }
        return index;
    }

    // Linux paths are case-sensitive: the exact path first, the lower-cased one only after it.
    qsizetype find(const QList<MediaFile>& media, const QString& path) const {
        const QString nfc = text::nfc(path);
        qsizetype at = exact.value(nfc, -1);
        if (at >= 0 && at < media.size() && text::nfc(media[at].path) == nfc)
            return at;
        const QString lowered = lowerKey(path);
        at = lower.value(lowered, -1);
        if (at >= 0 && at < media.size() && lowerKey(media[at].path) == lowered)
            return at;
        return -1;
    }
};

QUuid freshMatchId() {
    return freshId();
}

// The name key of a walked entry: ASCII names (the common case) are lowered straight from the
// listing's bytes into the caller's buffer, without decoding or allocating.
void nameKeyOfEntry(const DirectoryWalker::Entry& entry, bool ignoreExtension, QString& key) {
    const QByteArrayView bytes = entry.nameBytes;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
    if (ignoreExtension || !ascii) {
        OfflineMediaSearch::nameKeyInto(entry.name(), ignoreExtension, key);
        return;
    }
    key.resize(bytes.size());
    QChar* out = key.data();
    for (const char c : bytes)
        *out++ = QChar(char16_t(c >= 'A' && c <= 'Z' ? c + 32 : c));
}

QCoro::Task<bool> yieldTurn(const QPointer<ProjectManager>& pm) {
    auto turn = QCoro::sleepFor(std::chrono::milliseconds(0));
    co_await std::move(turn);
    co_return bool(pm);
}

} // namespace

QString OfflineMediaSearch::nameKey(const QString& path, bool ignoreExtension) {
    return nameKeyOfName(path::lastPathComponent(path), ignoreExtension);
}

QString OfflineMediaSearch::nameKeyOfName(const QString& fileName, bool ignoreExtension) {
    QString key;
    nameKeyInto(fileName, ignoreExtension, key);
    return key;
}

void OfflineMediaSearch::nameKeyInto(const QString& fileName, bool ignoreExtension, QString& key) {
    if (ignoreExtension) {
        key = lowerKey(path::deletingPathExtension(fileName));
        return;
    }
    // Runs for every walked entry: ASCII names (the common case) are their own canonical form, and
    // are lowered into the caller's buffer without allocating.
    if (!QtPrivate::isAscii(fileName)) {
        key = lowerKey(fileName);
        return;
    }
    key.resize(fileName.size());
    QChar* out = key.data();
    for (const QChar c : fileName) {
        const char16_t u = c.unicode();
        *out++ = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
    }
}

MatchScore OfflineMediaSearch::score(const MediaFile& offline, const QString& candidatePath,
                                     std::optional<qint64> candidateSize, bool ignoreExtension) {
    MatchScore s;
    s.extensionMatched =
        lowerKey(path::pathExtension(offline.path)) == lowerKey(path::pathExtension(candidatePath));
    const QStringList original = pathComponentsHelper(text::nfc(offline.path));
    const QStringList candidate = pathComponentsHelper(text::nfc(candidatePath));
    s.totalOriginalComponents = int(original.size());
    for (qsizetype a = original.size() - 1, b = candidate.size() - 1; a >= 0 && b >= 0; --a, --b) {
        if (original[a] != candidate[b])
            break;
        ++s.matchingComponents;
    }
    const double components = s.totalOriginalComponents == 0
                                  ? 0.0
                                  : (double(s.matchingComponents) / double(s.totalOriginalComponents)) * 0.6;
    double sizePart = 0.15;
    if (candidateSize && offline.size > 0) {
        s.sizeMatched = *candidateSize == offline.size;
        sizePart = s.sizeMatched ? 0.3 : 0.0;
    }
    const double extensionPart = ignoreExtension ? 0.5 * 0.1 : (s.extensionMatched ? 1.0 * 0.1 : 0.0);
    s.score = extensionPart + (components + sizePart);
    return s;
}

OfflineMediaSearch::ScanResult OfflineMediaSearch::scan(const QList<MediaFile>& mediaFiles,
                                                        const QString& folder, bool ignoreExtension,
                                                        const std::function<void(qint64)>& progress,
                                                        const std::atomic_bool* cancel,
                                                        const FileStatProbe* probe) {
    ScanResult result;
    QHash<QString, QList<const MediaFile*>> offlineByName;
    qsizetype offlineCount = 0;
    for (const MediaFile& file : mediaFiles) {
        if (!file.isOffline())
            continue;
        offlineByName[nameKey(file.path, ignoreExtension)].append(&file);
        ++offlineCount;
    }
    if (offlineCount == 0)
        return result;
    AppLog::userAction(QStringLiteral("Smart scanning ") + folder +
                       QStringLiteral(" for matches to %1 offline files (ignoreExtension: %2)")
                           .arg(QString::number(offlineCount),
                                ignoreExtension ? QStringLiteral("true") : QStringLiteral("false")));
    const std::shared_ptr<const FileStatProbe> system = probe ? nullptr : FileStatProbe::system();
    const FileStatProbe& stat = probe ? *probe : *system;

    DirectoryWalker::Options options; // deep, hidden entries and package contents skipped
    options.cancel = cancel;
    QString key;
    // The walk keeps only the same-named candidates; their stat and scoring run afterwards on the
    // pool, in walk order.
    struct Candidate {
        QString path;
        bool listedRegular = false;
        const QList<const MediaFile*>* offline = nullptr;
    };
    QList<Candidate> candidates;
    const DirectoryWalker::Result walked =
        DirectoryWalker::walk(folder, options, [&](const DirectoryWalker::Entry& entry) {
            ++result.itemsScanned;
            if (progress && result.itemsScanned % progressInterval == 0)
                progress(result.itemsScanned);
            nameKeyOfEntry(entry, ignoreExtension, key);
            const auto named = offlineByName.constFind(key);
            if (named == offlineByName.cend())
                return DirectoryWalker::Action::proceed;
            // Only regular files: a folder "Interview" must never relink "Interview.mov".
            if (entry.type != DirectoryWalker::EntryType::regularFile &&
                entry.type != DirectoryWalker::EntryType::symbolicLink)
                return DirectoryWalker::Action::proceed;
            candidates.append(
                {entry.path(), entry.type == DirectoryWalker::EntryType::regularFile, &named.value()});
            return DirectoryWalker::Action::proceed;
        });
    const auto scoreCandidate = [&](const Candidate& candidate) {
        QList<ScoredMatch> matches;
        if (cancel && cancel->load(std::memory_order_relaxed))
            return matches;
        const std::optional<FileFacts> facts = stat.stat(candidate.path);
        if (facts ? !facts->isRegularFile : !candidate.listedRegular)
            return matches; // a link to a folder, or a dangling one
        const std::optional<qint64> size = facts ? std::optional<qint64>(facts->size) : std::nullopt;
        for (const MediaFile* offline : *candidate.offline) {
            // Built whole: a default record would draw a second identifier for the copied entry.
            matches.append(ScoredMatch{freshMatchId(), *offline, candidate.path,
                                       score(*offline, candidate.path, size, ignoreExtension)});
        }
        return matches;
    };
    QList<QList<ScoredMatch>> scored;
    if (candidates.size() < 64) {
        for (const Candidate& candidate : std::as_const(candidates))
            scored.append(scoreCandidate(candidate));
    } else {
        scored = QtConcurrent::blockingMapped<QList<QList<ScoredMatch>>>(&offlineScoringPool(), candidates,
                                                                         scoreCandidate);
    }
    for (QList<ScoredMatch>& matches : scored) {
        for (ScoredMatch& match : matches)
            result.matches.append(std::move(match));
    }
    if (!walked.rootReadable) {
        AppLog::error(QStringLiteral("Failed to enumerate directory: ") + folder);
        result.folderReadable = false;
        return result;
    }
    result.cancelled = walked.cancelled || (cancel && cancel->load());
    std::stable_sort(
        result.matches.begin(), result.matches.end(),
        [](const ScoredMatch& a, const ScoredMatch& b) { return a.matchScore.score > b.matchScore.score; });
    AppLog::info(QStringLiteral("Smart scan complete: found %1 potential matches in %2 files")
                     .arg(result.matches.size())
                     .arg(result.itemsScanned));
    return result;
}

QCoro::Task<QList<ScoredMatch>>
OfflineMediaSearch::smartScanForOfflineFiles(ProjectManager& manager, QString folder, bool ignoreExtension,
                                             std::function<void(const QString&)> progress,
                                             std::shared_ptr<const std::atomic_bool> cancel,
                                             std::shared_ptr<const FileStatProbe> probe) {
    QPointer<ProjectManager> pm(&manager);
    std::function<void(qint64)> report;
    if (progress) {
        report = [pm, progress](qint64 scanned) {
            const QString message = QStringLiteral("Scanned %1 files...").arg(scanned);
            QMetaObject::invokeMethod(
                pm.data(), [progress, message] { progress(message); }, Qt::QueuedConnection);
        };
    }
    QFuture<ScanResult> scanning = QtConcurrent::run(
        &offlineSearchPool(), [media = manager.mediaFiles(), folder, ignoreExtension, report, cancel, probe] {
            return scan(media, folder, ignoreExtension, report, cancel.get(), probe.get());
        });
    ScanResult result = co_await scanning;
    if (!pm || result.cancelled)
        co_return QList<ScoredMatch>{};
    co_return std::move(result.matches);
}

QHash<QString, qint64> OfflineMediaSearch::fileSizes(const QStringList& paths) {
    QHash<QString, qint64> sizes;
    const std::shared_ptr<const FileStatProbe> probe = FileStatProbe::system();
    for (const QString& path : paths) {
        if (sizes.contains(path))
            continue;
        if (const auto facts = probe->stat(path))
            sizes.insert(path, facts->size);
    }
    return sizes;
}

OfflineMediaSearch::AppliedMatches
OfflineMediaSearch::applyToList(QList<MediaFile>& media, const QList<ScoredMatch>& matches,
                                const QHash<QString, qint64>& sizes,
                                const std::function<void(qsizetype)>& batchDone) {
    AppliedMatches counts;
    const PositionIndex index = PositionIndex::of(media);
    const qsizetype total = matches.size();
    for (qsizetype first = 0; first < total; first += applyBatchSize) {
        const qsizetype end = std::min<qsizetype>(first + applyBatchSize, total);
        for (qsizetype m = first; m < end; ++m) {
            const ScoredMatch& match = matches[m];
            const QString& offlinePath = match.offlineFile.path;
            const QString fileName = path::lastPathComponent(offlinePath);
            const qsizetype at = index.find(media, offlinePath);
            if (at < 0) {
                ++counts.notFound;
                AppLog::warning(QStringLiteral("Could not find file to update: ") + offlinePath);
                continue;
            }
            MediaFile& entry = media[at];
            const bool offline =
                entry.status == MediaFileStatus::offline || entry.status == MediaFileStatus::networkOffline;
            if (!offline || entry.matchedPath) {
                if (!entry.matchedPath)
                    entry.matchedPath = match.foundPath;
                ++counts.alreadyOnline;
                AppLog::info(QStringLiteral("Already online: ") + fileName + QStringLiteral(" (status: ") +
                             text(entry.status) + QLatin1Char(')'));
                continue;
            }
            const MediaFileStatus former = entry.status;
            entry.status = MediaFileStatus::online;
            entry.matchedPath = match.foundPath;
            if (const auto size = sizes.constFind(match.foundPath); size != sizes.cend())
                entry.size = size.value();
            ++counts.applied;
            AppLog::info(QStringLiteral("Matched: ") + fileName + QStringLiteral(" [") + text(former) +
                         QStringLiteral(" -> Online] (") + match.matchScore.percentText() +
                         QStringLiteral(") -> ") + match.foundPath);
        }
        if (batchDone)
            batchDone(end);
    }
    return counts;
}

namespace {

// Frees a replaced media list on the release thread: dropping 100,000 entries would hold the GUI thread.
void discardOffThread(QList<MediaFile>&& list) {
    memory::releaseLater(std::move(list));
}

// Puts `list` in the manager's place (one change of kind `change`) and frees the list it replaces
// off the GUI thread.
void replaceMediaList(ProjectManager& manager, QList<MediaFile>&& list, ProjectManager::ListChange change) {
    manager.edit(change).modifyMediaFiles([&](QList<MediaFile>& current) { current.swap(list); });
    discardOffThread(std::move(list));
}

} // namespace

QCoro::Task<void> OfflineMediaSearch::applyMatches(ProjectManager& manager, QList<ScoredMatch> matches,
                                                   ApplyMatchesServices services) {
    if (!services.fileSizes)
        services.fileSizes = &OfflineMediaSearch::fileSizes;
    QPointer<ProjectManager> pm(&manager);
    // Held to the end: nothing else changes the list while the matches are applied to it.
    auto turn = manager.beginOperation(QStringLiteral("Applying matches…"));
    OperationGate::Scope scope = co_await std::move(turn);
    if (!pm || !scope.isActive())
        co_return;
    const qsizetype total = matches.size();
    manager.updateProgress([&](AnalysisProgress& progress) {
        progress.isApplyingMatches = true;
        progress.currentTask = QStringLiteral("Applying %1 matches...").arg(total);
    });
    AppLog::userAction(QStringLiteral("Applying %1 matches").arg(total));

    QStringList foundPaths;
    foundPaths.reserve(total);
    for (const ScoredMatch& match : std::as_const(matches))
        foundPaths.append(match.foundPath);
    // Batch progress reaches the window from the worker, one text per batch of 50.
    const auto batchDone = [pm, total](qsizetype done) {
        QMetaObject::invokeMethod(
            pm.data(),
            [pm, done, total] {
                if (pm)
                    pm->updateProgress([&](AnalysisProgress& progress) {
                        progress.currentTask =
                            QStringLiteral("Applying matches (%1/%2)...").arg(done).arg(total);
                    });
            },
            Qt::QueuedConnection);
    };
    struct Applied {
        QList<MediaFile> list;
        AppliedMatches counts;
    };
    // The sizes, the position index and the changes of a 100,000-entry list are made on a worker,
    // on a copy of the list; the window then takes the changed list in one step.
    AppliedMatches counts;
    for (int attempt = 0;; ++attempt) {
        const qint64 version = manager.mediaFilesVersion();
        QFuture<Applied> applying =
            QtConcurrent::run(&offlineSearchPool(), [media = manager.mediaFiles(), matches, foundPaths,
                                                     batchDone, readSizes = services.fileSizes]() mutable {
                const QHash<QString, qint64> sizes = readSizes(foundPaths);
                Applied applied;
                applied.counts = applyToList(media, matches, sizes, batchDone);
                applied.list = std::move(media);
                return applied;
            });
        Applied applied = co_await takeResult(applying);
        if (!pm)
            co_return;
        // Only a caller that bypassed the gate changes the list meanwhile: apply again to what is there.
        if (manager.mediaFilesVersion() != version && attempt == 0) {
            discardOffThread(std::move(applied.list));
            continue;
        }
        counts = applied.counts;
        replaceMediaList(manager, std::move(applied.list), ProjectManager::ListChange::entries);
        break;
    }
    // The batch texts the worker queued are delivered now, and shown (the manager's coalesced
    // notification, which they queue in turn), before the final texts replace them: a worker that
    // finished before it was awaited would otherwise have them arrive after.
    QCoreApplication::sendPostedEvents(pm.data(), QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(pm.data(), QEvent::MetaCall);
    auto settling = yieldTurn(pm);
    const bool settled = co_await std::move(settling);
    if (!settled)
        co_return;
    AppLog::info(QStringLiteral("Applied %1/%2 matches (not found: %3, already online: %4)")
                     .arg(counts.applied)
                     .arg(total)
                     .arg(counts.notFound)
                     .arg(counts.alreadyOnline));
    if (counts.applied == 0) {
        manager.updateProgress([](AnalysisProgress& progress) {
            progress.currentTask = QString();
            progress.isApplyingMatches = false;
        });
        co_return;
    }

    manager.updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Consolidating cross-project files...");
    });
    auto yielding = yieldTurn(pm);
    const bool alive = co_await std::move(yielding);
    if (!alive)
        co_return;
    // Stats every entry: on a worker, over the list as the matches left it.
    const qsizetype before = manager.mediaFiles().size();
    const qint64 consolidatedVersion = manager.mediaFilesVersion();
    QFuture<QList<MediaFile>> consolidating =
        QtConcurrent::run(&offlineSearchPool(), [media = manager.mediaFiles()] {
            return MediaConsolidator().consolidateCrossProjectDuplicates(media);
        });
    QList<MediaFile> consolidated = co_await takeResult(consolidating);
    if (!pm)
        co_return;
    if (manager.mediaFilesVersion() == consolidatedVersion && consolidated.size() < before) {
        const qsizetype removed = before - consolidated.size();
        replaceMediaList(manager, std::move(consolidated), ProjectManager::ListChange::entriesMerged);
        AppLog::info(QStringLiteral("Post-match consolidation merged %1 entry(ies)").arg(removed));
    } else {
        discardOffThread(std::move(consolidated));
    }
    manager.updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QString();
        progress.isApplyingMatches = false;
    });
}

} // namespace tarnwick
