#include "analysis/ProjectManager.h"

#include "analysis/FileStatusScan.h"
#include "analysis/ListStretches.h"
#include "analysis/TakeResult.h"
#include "platform/FileOperations.h"
#include "platform/MemoryRelease.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/ThreadNames.h"

#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>

#include <unistd.h>

namespace tarnwick {

namespace {

MediaUsageType usageTypeOf(const PathUsage& u, bool isAEFootage) {
    if (u.usageCount != 0)
        return u.isAudioOnly ? MediaUsageType::audioOnly : MediaUsageType::videoAndAudio;
    return isAEFootage ? MediaUsageType::usedInAfterEffects : MediaUsageType::unused;
}

} // namespace

RelativeCandidates ProjectManager::mergedRelativeCandidates() const {
    return tarnwick::mergedRelativeCandidates(m_projects);
}

bool ProjectManager::isOrphanedRecycleBinItem(const RecycleBinItem& item) const {
    return std::none_of(m_mediaFiles.cbegin(), m_mediaFiles.cend(), [&](const MediaFile& file) {
        return text::canonicalEquals(file.path, item.mediaFile.path);
    });
}

bool ProjectManager::pruneOrphanedRecycleBinItems() {
    // Keyed by the few staged paths rather than by the whole media list.
    QSet<QString> held;
    for (const RecycleBinItem& item : std::as_const(m_recycleBin))
        held.insert(text::nfc(item.mediaFile.path));
    if (!held.isEmpty()) {
        QSet<QString> staged = held;
        held.clear();
        for (const MediaFile& file : std::as_const(m_mediaFiles)) {
            if (QString key = text::nfc(file.path); staged.contains(key))
                held.insert(std::move(key));
        }
    }
    qsizetype removed = 0;
    settle(ListChange::entriesMerged);
    modifyRecycleBin([&](QList<RecycleBinItem>& bin) {
        removed = bin.removeIf(
            [&](const RecycleBinItem& item) { return !held.contains(text::nfc(item.mediaFile.path)); });
    });
    return removed > 0;
}

QCoro::Task<bool> ProjectManager::rebuildMediaFilesFromProjects() {
    auto scope = tryBeginOperation(QStringLiteral("Updating the media list…"));
    if (!scope) {
        refuseWhileBusy(QStringLiteral("Rebuilding the media list"));
        co_return false;
    }
    co_await rebuildWhileHoldingGate();
    co_return true;
}

namespace {

using RebuildPlan = ProjectManager::RebuildPlan;

// Which paths of the map have an entry already, found from the entries rather than by keying every
// path of the map: a CSV of unused clips names a million paths the few thousand entries do not hold.
std::vector<bool> knownPositions(const UsageMap& usage, const QHash<QString, MediaFile>& existing) {
    std::vector<bool> known(std::size_t(usage.size()), false);
    if (usage.size() == 0)
        return known;
    const PathUsage* first = &usage.usageAt(0); // the map's records lie in one array, in its order
    for (const MediaFile& file : existing) {
        if (const PathUsage* found = usage.find(file.path))
            known[std::size_t(found - first)] = true;
    }
    return known;
}

// The paths of the map with no entry, in the map's order.
QStringList pathsNotKnown(const UsageMap& usage, const std::vector<bool>& known) {
    QStringList paths;
    for (qsizetype i = 0; i < usage.size(); ++i) {
        if (!known[std::size_t(i)])
            paths.append(usage.pathAt(i));
    }
    return paths;
}

RebuildPlan planRebuild(const ProjectManager::UsageRecountInputs& inputs, const QList<MediaFile>& media) {
    RebuildPlan plan;
    plan.usage =
        aggregateProjects(inputs.projects, effectiveContributions(inputs.projects, inputs.snapshots));
    plan.existing = entriesByPath(media);
    plan.known = knownPositions(plan.usage, plan.existing);
    plan.fresh = pathsNotKnown(plan.usage, plan.known);
    return plan;
}

QHash<QString, FileStatusResult> resultsByPath(QList<FileStatusResult> results) {
    QHash<QString, FileStatusResult> checked;
    checked.reserve(results.size());
    for (FileStatusResult& result : results) {
        if (!result.path.isEmpty()) // left unchecked
            checked.emplace(UsageMap::key(result.path), std::move(result));
    }
    return checked;
}

void applyCheck(MediaFile& file, const FileStatusResult& result) {
    file.status = result.status;
    file.size = result.size;
    file.storageType = result.storageType;
    if (result.resolvedPath != file.path)
        file.matchedPath = result.resolvedPath;
}

// `count` default records, their pages first written side by side: the kernel clears each page as
// it is first written, and a million records span 110,000 pages.
QList<MediaFile> recordsOnTouchedPages(qsizetype count, const ListStretches& stretches) {
    QList<MediaFile> list;
    list.reserve(count);
    if (stretches.count() > 1) {
        static const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
        volatile char* raw = reinterpret_cast<char*>(list.data()); // the room reserved, no record yet
        stretches.run([&](int, qsizetype from, qsizetype to) {
            const std::size_t end = std::size_t(to) * sizeof(MediaFile);
            for (std::size_t at = (std::size_t(from) * sizeof(MediaFile) + page - 1) / page * page; at < end;
                 at += page)
                raw[at] = 0;
        });
    }
    list.resize(count);
    return list;
}

// One entry per path of the usage map: the known entry, else a new one with its check's result
// (`checkOf(path)`, or null). The records are made here, each drawing its identifier, and filled in
// stretches side by side: a CSV can name a million new paths.
template <class CheckOf>
QList<MediaFile> rebuiltList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                             const std::vector<bool>& known, const CheckOf& checkOf) {
    const ListStretches stretches(usage.size());
    QList<MediaFile> list = recordsOnTouchedPages(usage.size(), stretches);
    MediaFile* files = list.data();
    stretches.run([&](int, qsizetype from, qsizetype to) {
        // A stretch shares a copy of its own of each name list: a million entries naming one project
        // would otherwise count their references on one word from every thread.
        QStringList names;
        QStringList ownNames;
        for (qsizetype i = from; i < to; ++i) {
            const QString& path = usage.pathAt(i);
            const PathUsage& u = usage.usageAt(i);
            MediaFile& file = files[i];
            const auto entry =
                known[std::size_t(i)] ? existing.constFind(UsageMap::key(path)) : existing.cend();
            if (entry != existing.cend()) {
                file = entry.value();
            } else {
                file.path = path; // as newMediaEntry makes it, its identifier already drawn
                file.lastKnownPath = path;
                if (const FileStatusResult* result = checkOf(path))
                    applyCheck(file, *result);
            }
            file.usageCount = u.usageCount;
            if (!u.projectNames.isSharedWith(names)) {
                names = u.projectNames;
                ownNames = QStringList(names.cbegin(), names.cend());
            }
            file.projectNames = ownNames;
            file.sequenceNames = sortedSequenceNames(u.sequenceNames);
            file.usageType = usageTypeOf(u, file.isAEFootage);
        }
    });
    return list;
}

// The entries of the map's paths, the new ones still unchecked: made while their files are checked.
QList<MediaFile> uncheckedList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                               const std::vector<bool>& known) {
    return rebuiltList(usage, existing, known, [](const QString&) { return nullptr; });
}

// The entries are made while their files are checked; the checks' results go in afterwards. The job
// holds its own (shared) copies of the plan's tables.
QFuture<QList<MediaFile>> startUncheckedList(const RebuildPlan& plan, QThreadPool& pool) {
    return QtConcurrent::run(&pool, [usage = plan.usage, existing = plan.existing, known = plan.known] {
        return uncheckedList(usage, existing, known);
    });
}

// The results of the new paths onto their entries, each result at its path's position in `fresh`
// (checkAllInOrder): no table by path. A position whose result is for another path (none there)
// counts as unchecked.
void applyResultsInOrder(QList<MediaFile>& list, const RebuildPlan& plan,
                         const QList<FileStatusResult>& results) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < list.size() && i < qsizetype(plan.known.size()); ++i) {
        if (plan.known[std::size_t(i)])
            continue;
        const qsizetype fresh = n++;
        if (fresh >= results.size() || results[fresh].path.isEmpty() ||
            results[fresh].path != plan.fresh[fresh])
            continue;
        applyCheck(list[i], results[fresh]);
    }
}

} // namespace

QCoro::Task<void> ProjectManager::rebuildWhileHoldingGate() {
    QPointer<ProjectManager> self(this);
    const qint64 projectsVersion = m_projectsVersion;
    const qint64 mediaVersion = m_mediaFilesVersion;
    const UsageRecountInputs inputs = usageRecountInputs();
    // Every pass over the paths runs on workers of the rebuild's own, ended with it: a list of
    // unused clips can name a million paths. The recount's aggregate and the list's order are made
    // while files are checked.
    QThreadPool pool;
    nameThreads(pool, "RebuildPasses");
    pool.setMaxThreadCount(3);
    QFuture<RecountAggregate> aggregating =
        QtConcurrent::run(&pool, [inputs] { return aggregateForRecount(inputs, true); });
    QFuture<RebuildPlan> planning =
        QtConcurrent::run(&pool, [inputs, media = m_mediaFiles] { return planRebuild(inputs, media); });
    RebuildPlan plan = co_await takeResult(planning);
    if (!self)
        co_return;
    QFuture<QList<MediaFile>> listing = startUncheckedList(plan, pool);
    // The list keeps the map's order until it is recounted; an entry's path sorts as its map path does.
    QFuture<std::vector<qsizetype>> ordering =
        QtConcurrent::run(&pool, [paths = plan.usage.paths()] { return fileNameOrder(paths); });
    QList<FileStatusResult> results;
    if (!plan.fresh.isEmpty()) {
        const auto scan = fileStatusScan();
        // Off the GUI thread: a network share can take minutes for 100,000 paths.
        // The future is made in its own statement: GCC 12 destroys lambda temporaries inside a
        // co_await expression twice.
        QFuture<QList<FileStatusResult>> checks = QtConcurrent::run(
            &m_workerPool,
            [scan, fresh = plan.fresh, candidates = mergedRelativeCandidates(), options = fileStatusOptions(),
             stop = m_stopChecks] { return scan->checkAllInOrder(fresh, candidates, options, stop.get()); });
        results = co_await checks;
    }
    QList<MediaFile> list = co_await takeResult(listing);
    if (!self)
        co_return;
    RecountAggregate aggregate = co_await takeResult(aggregating);
    if (!self)
        co_return;
    if (projectsVersion != m_projectsVersion || mediaVersion != m_mediaFilesVersion) {
        // Only a caller that bypassed the gate gets here: rebuild from what is there now.
        memory::releaseLater(std::move(aggregate));
        memory::releaseLater(std::move(list));
        rebuildAgain(resultsByPath(std::move(results)));
        co_return;
    }
    const bool resolveLocations = !m_options.protectedFolders.isEmpty();
    QFuture<PreparedRebuild> building = QtConcurrent::run(
        &pool, [plan = std::move(plan), list = std::move(list), results = std::move(results), inputs,
                aggregate = std::move(aggregate), resolveLocations, ordering]() mutable {
            return prepareRebuild(std::move(plan), std::move(list), std::move(results), inputs,
                                  std::move(aggregate), resolveLocations, ordering);
        });
    PreparedRebuild rebuilt = co_await takeResult(building);
    if (!self)
        co_return;
    if (projectsVersion != m_projectsVersion || mediaVersion != m_mediaFilesVersion) {
        memory::releaseLater(std::move(rebuilt));
        rebuildAgain({});
        co_return;
    }
    finishPreparedRebuild(std::move(rebuilt));
}

ProjectManager::PreparedRebuild
ProjectManager::prepareRebuild(RebuildPlan plan, QList<MediaFile> list, QList<FileStatusResult> results,
                               const UsageRecountInputs& inputs, RecountAggregate aggregate,
                               bool resolveLocations, QFuture<std::vector<qsizetype>> ordering) {
    PreparedRebuild rebuilt;
    rebuilt.list = std::move(list);
    applyResultsInOrder(rebuilt.list, plan, results);
    const KnownPathKeys known = knownPathKeys(plan.usage.origins(), rebuilt.list, inputs.projects,
                                              aggregate.usage, aggregate.lowerPaths);
    memory::releaseLater(std::move(plan));
    memory::releaseLater(std::move(results));
    rebuilt.recount = prepareUsageRecount(rebuilt.list, inputs, std::move(aggregate), &known);
    applyOrder(rebuilt.list, ordering.result());
    // The protected flags compare locations with their links resolved: resolved here, so the GUI
    // thread stats nothing for them.
    if (resolveLocations)
        CanonicalLocations::resolveInto(rebuilt.recount.lowerPaths, rebuilt.list, *FileOperations::system());
    return rebuilt;
}

void ProjectManager::rebuildAgain(QHash<QString, FileStatusResult> checked) {
    const UsageMap usage = aggregateProjects(m_projects, effectiveContributionRule());
    const QHash<QString, MediaFile> existing = entriesByPath(m_mediaFiles);
    QStringList unchecked;
    for (const QString& path : pathsNotKnown(usage, knownPositions(usage, existing))) {
        if (!checked.contains(UsageMap::key(path)))
            unchecked.append(path);
    }
    if (!unchecked.isEmpty()) {
        for (const FileStatusResult& result :
             fileStatusScan()->checkAll(unchecked, mergedRelativeCandidates(), fileStatusOptions()))
            checked.insert(UsageMap::key(result.path), result);
    }
    finishRebuild(buildRebuiltList(usage, existing, checked));
}

QList<MediaFile> ProjectManager::buildRebuiltList(const UsageMap& usage,
                                                  const QHash<QString, MediaFile>& existing,
                                                  const QHash<QString, FileStatusResult>& checked) {
    return rebuiltList(usage, existing, knownPositions(usage, existing),
                       [&](const QString& path) -> const FileStatusResult* {
                           const auto result = checked.constFind(UsageMap::key(path));
                           return result == checked.cend() ? nullptr : &result.value();
                       });
}

void ProjectManager::finishPreparedRebuild(PreparedRebuild rebuilt) {
    Edit edit(*this, ListChange::none); // empty on purpose: its follow-ups are the ones below
    setMediaFiles(std::move(rebuilt.list));
    adoptLowerPathKeys(rebuilt.recount.lowerPaths);
    memory::releaseLater(std::move(rebuilt.recount.lowerPaths)); // the keys it replaced
    refreshProtectedFlags();
    if (!finishPreparedUsageRecount(rebuilt.recount))
        recomputeUsageCounts();
    // The recount summed the list up already: only a bin that lost items needs it again.
    if (pruneOrphanedRecycleBinItems())
        summarize();
    m_lowerPaths.prune(m_mediaFiles, m_projects);
}

void ProjectManager::finishRebuild(QList<MediaFile> rebuilt) {
    sortByFileName(rebuilt);            // the order the import ends with
    Edit edit(*this, ListChange::none); // empty on purpose: its follow-ups are the ones below
    setMediaFiles(std::move(rebuilt));
    refreshProtectedFlags();
    recomputeUsageCounts();
    pruneOrphanedRecycleBinItems();
    updateSummary();
    m_lowerPaths.prune(m_mediaFiles, m_projects);
}

} // namespace tarnwick
