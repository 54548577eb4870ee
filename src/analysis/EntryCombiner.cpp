#include "analysis/EntryCombiner.h"

#include "analysis/DuplicateDetector.h"
#include "analysis/MediaConsolidator.h"
#include "analysis/ProjectManager.h"
#include "analysis/SimilarNameDetector.h"
#include "analysis/UsageAggregator.h"
#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/ThreadNames.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace tarnwick {

namespace {

// Keeps the elements `keep` accepts, in order; returns how many left.
template <class T, class Keep> int keepOnly(QList<T>& list, Keep keep) {
    QList<T> kept;
    kept.reserve(list.size());
    for (T& element : list) {
        if (keep(element))
            kept.append(std::move(element));
    }
    const int removed = int(list.size() - kept.size());
    list = std::move(kept);
    return removed;
}

} // namespace

EntryCombiner::Outcome EntryCombiner::combine(const QList<MediaFile>& selection, QList<MediaFile>& mediaFiles,
                                              QList<RecycleBinItem>& recycleBin) const {
    Outcome outcome;
    if (selection.size() < 2)
        return outcome;

    QStringList names;
    names.reserve(selection.size());
    for (const MediaFile& file : selection)
        names.append(path::lastPathComponent(file.path));
    AppLog::userAction(QStringLiteral("Manually combining %1 files: ").arg(selection.size()) +
                       names.join(QStringLiteral(", ")));

    const MediaFile& target = selection.first();
    outcome.targetPath = target.path;
    const QString targetKey = UsageMap::key(target.path);
    qsizetype targetIndex = -1;
    for (qsizetype i = 0; i < mediaFiles.size() && targetIndex < 0; ++i) {
        if (UsageMap::key(mediaFiles[i].path) == targetKey)
            targetIndex = i;
    }
    if (targetIndex < 0) {
        AppLog::error(QStringLiteral("Could not find target file for combine: ") + target.path);
        return outcome;
    }

    // Merge every source first, then remove in one pass: removal never touches the target, so the
    // result is the same as removing after each merge, without a pass over the list per source.
    QSet<QString> removed;
    for (qsizetype i = 1; i < selection.size(); ++i) {
        const MediaFile& source = selection[i];
        const QString sourceKey = UsageMap::key(source.path);
        if (sourceKey == targetKey)
            continue;
        m_merge(source, mediaFiles[targetIndex]);
        removed.insert(sourceKey);
    }
    outcome.removedEntries =
        keepOnly(mediaFiles, [&](const MediaFile& f) { return !removed.contains(UsageMap::key(f.path)); });
    outcome.removedBinItems = keepOnly(recycleBin, [&](const RecycleBinItem& item) {
        return !removed.contains(UsageMap::key(item.mediaFile.path));
    });
    outcome.combined = true;
    return outcome;
}

QString EntryCombiner::combinedMessage(qsizetype selectionCount, const QString& targetPath,
                                       const QList<MediaFile>& mediaFiles) {
    QString name = QStringLiteral("unknown");
    const QString key = UsageMap::key(targetPath);
    for (const MediaFile& file : mediaFiles) {
        if (UsageMap::key(file.path) == key) {
            name = path::lastPathComponent(file.path);
            break;
        }
    }
    return QStringLiteral("Combined %1 entries into: ").arg(selectionCount) + name;
}

int EntryCombiner::applyDuplicateMarks(QList<MediaFile>& current, const QList<MediaFile>& detected) {
    QHash<QUuid, const MediaFile*> byID;
    byID.reserve(detected.size());
    for (const MediaFile& file : detected)
        byID.insert(file.id, &file);
    int found = 0;
    for (MediaFile& file : current) {
        const MediaFile* marked = byID.value(file.id);
        if (!marked || marked->path != file.path)
            continue;
        file.duplicateOfPath = marked->duplicateOfPath;
        file.fileHash = marked->fileHash;
        // A file whose read hung is reported gone; anything else keeps the status it has now.
        if (marked->status != file.status &&
            (marked->status == MediaFileStatus::offline || marked->status == MediaFileStatus::networkOffline))
            file.status = marked->status;
        ++found;
    }
    return found;
}

namespace {
// The selected entries as the list holds them now, in the selection's order.
QList<MediaFile> stillListed(const ProjectManager& manager, const QList<MediaFile>& selection) {
    QHash<QUuid, const MediaFile*> byID;
    for (const MediaFile& file : manager.mediaFiles())
        byID.insert(file.id, &file);
    QList<MediaFile> listed;
    for (const MediaFile& file : selection) {
        if (const MediaFile* now = byID.value(file.id))
            listed.append(*now);
    }
    return listed;
}
} // namespace

QCoro::Task<bool> EntryCombiner::combineEntries(ProjectManager& manager, QList<MediaFile> selection,
                                                std::function<void()> done) {
    const auto finished = [&done](bool combined) {
        if (done)
            done();
        return combined;
    };
    if (selection.size() < 2)
        co_return finished(false);
    std::optional<OperationGate::Scope> scope = manager.tryBeginOperation(QStringLiteral("Combining files…"));
    if (!scope) {
        manager.runWhenIdle(QStringLiteral("Combine %1 files").arg(selection.size()),
                            [pm = QPointer<ProjectManager>(&manager), selection, done = std::move(done)] {
                                if (pm)
                                    (void)combineEntries(*pm, stillListed(*pm, selection), done);
                            });
        co_return false;
    }
    QList<MediaFile> media = manager.mediaFiles();
    QList<RecycleBinItem> bin = manager.recycleBin();
    const Outcome outcome = EntryCombiner(&MediaConsolidator::mergeEntry).combine(selection, media, bin);
    if (!outcome.combined)
        co_return finished(false);
    manager.edit(ProjectManager::ListChange::entriesMerged)
        .setMediaFiles(std::move(media))
        .setRecycleBin(std::move(bin));

    QPointer<ProjectManager> pm(&manager);
    QThreadPool pool;
    nameThreads(pool, "CombineDupes");
    QFuture<std::optional<QList<MediaFile>>> detecting = QtConcurrent::run(
        &pool, [list = manager.mediaFiles()] { return DuplicateDetector::detectContentDuplicates(list); });
    const std::optional<QList<MediaFile>> detected = co_await detecting;
    if (!pm)
        co_return false;
    {
        ProjectManager::Edit marks(manager, ProjectManager::ListChange::entries);
        if (detected)
            marks.modifyMediaFiles([&](QList<MediaFile>& list) { applyDuplicateMarks(list, *detected); });
        marks.setMediaFiles(SimilarNameDetector::detectSimilarFilenames(manager.mediaFiles()));
    }
    AppLog::info(combinedMessage(selection.size(), outcome.targetPath, manager.mediaFiles()));
    co_return finished(true);
}

} // namespace tarnwick
