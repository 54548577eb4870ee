#include "analysis/ProjectImporter.h"

#include "analysis/AfterEffectsLinking.h"
#include "analysis/DuplicateDetector.h"
#include "analysis/FileStatusScan.h"
#include "analysis/ImportAggregation.h"
#include "analysis/ImportProgress.h"
#include "analysis/MediaConsolidator.h"
#include "analysis/PostAnalysisPrompts.h"
#include "analysis/ProjectManager.h"
#include "analysis/ScanPlan.h"
#include "analysis/ScanPrefetch.h"
#include "analysis/SimilarNameDetector.h"
#include "analysis/TakeResult.h"
#include "analysis/UsageAggregator.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/IdleThreads.h"
#include "platform/MemoryRelease.h"
#include "platform/NumberText.h"
#include "platform/PathText.h"
#include "platform/ProVideoFormats.h"
#include "platform/ThreadNames.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"

#include <QElapsedTimer>

#include <QPointer>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <algorithm>

namespace tarnwick {

namespace {

QString seconds(const QElapsedTimer& timer) {
    return number::seconds1(double(timer.nsecsElapsed()) / 1e9);
}

// Large intermediate values are freed on the release thread: dropping 100,000 entries is too slow
// for the GUI thread, and nothing waits for it.
template <class T> void discard(T&& value) {
    memory::releaseLater(std::forward<T>(value));
}

// The fields the recount writes, from the entry's copy it was prepared on.
void copyUsageFields(MediaFile& file, const MediaFile& counted) {
    file.usageCount = counted.usageCount;
    file.usageType = counted.usageType;
    file.projectNames = counted.projectNames;
    file.sequenceNames = counted.sequenceNames;
    file.hasUnattributedSequenceUsage = counted.hasUnattributedSequenceUsage;
}

// What the paths alone give, made while the files are hashed: the order by file name and the
// groups of similar names.
struct NameOrder {
    std::vector<qsizetype> order;
    SimilarNameDetector::Groups similar;
};

// The list in the order by name, each entry with its similar names and its recounted usage (from
// `usage`, at the same positions as `list`). In ranges of the order, in parallel: each position is
// written by one range only. Returns the list and how many entries have similar names.
std::pair<QList<MediaFile>, qsizetype> inNameOrder(QList<MediaFile>& list, const NameOrder& named,
                                                   const QList<MediaFile>& usage) {
    const SimilarNameDetector::Groups& similar = named.similar;
    MediaFile* const files = list.data();
    const MediaFile* const counted = usage.constData();
    const qsizetype countedSize = usage.size();
    QList<std::pair<QList<MediaFile>, qsizetype>> parts = mapRanges<std::pair<QList<MediaFile>, qsizetype>>(
        qsizetype(named.order.size()), [&](qsizetype begin, qsizetype end) {
            QList<MediaFile> sorted;
            sorted.reserve(end - begin);
            qsizetype withSimilar = 0;
            for (qsizetype n = begin; n < end; ++n) {
                const qsizetype i = named.order[std::size_t(n)];
                MediaFile& file = files[i];
                SimilarNameDetector::fill(file, i, similar);
                withSimilar += file.similarFiles.isEmpty() ? 0 : 1;
                if (i < countedSize)
                    copyUsageFields(file, counted[i]);
                sorted.append(std::move(file));
            }
            return std::make_pair(std::move(sorted), withSimilar);
        });
    QList<MediaFile> sorted = std::move(parts.first().first);
    qsizetype withSimilar = parts.first().second;
    sorted.reserve(list.size());
    for (qsizetype p = 1; p < parts.size(); ++p) {
        for (MediaFile& file : parts[p].first)
            sorted.append(std::move(file));
        withSimilar += parts[p].second;
    }
    return {std::move(sorted), withSimilar};
}

// One run of the import; everything it holds lives in the calling coroutine's frame, so a window
// that closes mid-import (the manager gone) leaves nothing dangling: each resumption checks first.
class ImportRun {
public:
    ImportRun(ProjectManager& manager, QList<QUrl> urls, ProjectImporter::Services services)
        : m_pm(&manager), m_urls(std::move(urls)), m_services(std::move(services)),
          m_progress(int(m_urls.size())) {
        // Consolidation beside the early duplicate search, then the recount and the order by name
        // beside the rest of it.
        m_pool.setMaxThreadCount(4);
        m_pool.setExpiryTimeout(idleThreadExpiryMs);
        nameThreads(m_pool, "ImportSteps");
    }
    ~ImportRun() { m_pool.waitForDone(); }

    QCoro::Task<void> run();

private:
    int count() const { return int(m_urls.size()); }
    void begin();
    QCoro::Task<bool> parse();
    QCoro::Task<bool> aggregate();
    QCoro::Task<bool> scan();
    QCoro::Task<bool> refine();
    QCoro::Task<bool> apply();
    // What starts beside consolidation and is taken up by the stages after it.
    struct Beside {
        QFuture<DuplicateDetector::Quiet> earlySearch;
        // The early search ran on the list consolidation left as it was: its result stands.
        bool earlySearchStands = false;
        QFuture<NameOrder> ordering;
    };
    // The stages of refine(); false: the manager is gone.
    QCoro::Task<bool> linkAfterEffects();
    QCoro::Task<bool> consolidate(Beside& beside);
    QCoro::Task<bool> detectDuplicates(Beside& beside);
    QCoro::Task<bool> findSimilar(QFuture<NameOrder>& ordering);
    void finishAnalysis();
    // The recount (its aggregate made beforehand) on a copy of `list`; the order by file name and the
    // similar names from its paths. Neither needs the hashes.
    // `aggregate`: the future that makes it (none: made again here). `origins`: where the usage
    // map first met each entry's path (empty: unknown), so that the recount takes the key and
    // record the aggregate made for it instead of looking it up again.
    QFuture<std::pair<QList<MediaFile>, ProjectManager::PreparedUsageRecount>>
    startRecount(const QList<MediaFile>& list,
                 std::optional<QFuture<ProjectManager::RecountAggregate>> aggregate,
                 const QList<PathOrigin>& origins);
    QFuture<NameOrder> startOrdering(const QList<MediaFile>& list);
    // Lets the window process events between long steps of the GUI thread; false: the manager is gone.
    QCoro::Task<bool> yieldTurn();
    void addOutcome(const ParseOutcome& outcome);

    QPointer<ProjectManager> m_pm;
    QList<QUrl> m_urls;
    ProjectImporter::Services m_services;
    ImportProgress m_progress;
    QElapsedTimer m_started;
    QThreadPool m_pool;
    std::unique_ptr<ParallelProjectParse> m_parse;
    std::unique_ptr<ImportAggregation> m_summing;
    std::unique_ptr<ScanPrefetch> m_prefetch;
    QList<ParseOutcome> m_outcomes;
    QList<ProjectFile> m_newProjects;
    ImportAggregation::Result m_aggregation;
    // Per entry of the list built from the usage map (same positions): where its path was first met.
    QList<PathOrigin> m_origins;
    // What the scan's own checks' stats found, and the prefetch's checks (theirs).
    MediaConsolidator::KnownFacts m_knownFacts;
    QList<std::shared_ptr<ScanPrefetch::ProjectChecks>> m_prefetchedChecks;
    QList<MediaFile> m_list;
    // The recount: its sum over the projects made while the files are checked, then prepared on
    // a copy of the list while the files are hashed.
    ProjectManager::UsageRecountInputs m_recountInputs;
    QFuture<ProjectManager::RecountAggregate> m_recountAggregate;
    QFuture<std::pair<QList<MediaFile>, ProjectManager::PreparedUsageRecount>> m_recounting;
    ProjectManager::PreparedUsageRecount m_prepared;
};

QCoro::Task<void> ImportRun::run() {
    // One operation at a time: a second import (or a clean-up) waits for its turn here.
    // Awaited operands are named first: GCC 12 mishandles temporaries inside co_await expressions.
    auto turn = m_pm->beginOperation(QStringLiteral("Importing projects…"));
    OperationGate::Scope scope = co_await std::move(turn);
    if (!m_pm || !scope.isActive())
        co_return;
    begin();
    // One await per statement: each stage may find the manager gone.
    auto parsing = parse();
    const bool parsingDone = co_await std::move(parsing);
    if (!parsingDone)
        co_return;
    auto aggregating = aggregate();
    const bool aggregatingDone = co_await std::move(aggregating);
    if (!aggregatingDone)
        co_return;
    auto scanning = scan();
    const bool scanningDone = co_await std::move(scanning);
    if (!scanningDone)
        co_return;
    auto refining = refine();
    const bool refiningDone = co_await std::move(refining);
    if (!refiningDone)
        co_return;
    auto applying = apply();
    const bool applied = co_await std::move(applying);
    if (!applied)
        co_return;
    auto pause = QCoro::sleepFor(m_services.completionPause);
    co_await std::move(pause);
    if (!m_pm)
        co_return;
    finishAnalysis();
    // What the import's threads freed goes back to the system, not only to their arenas.
    memory::trimLater();
}

QCoro::Task<bool> ImportRun::yieldTurn() {
    auto turn = QCoro::sleepFor(std::chrono::milliseconds(0));
    co_await std::move(turn);
    co_return bool(m_pm);
}

void ImportRun::begin() {
    QSet<QString> importKeys;
    for (const QUrl& url : std::as_const(m_urls))
        importKeys.insert(ProjectImporter::importKey(url));
    // The import settles the lists with its own list, at its end.
    m_pm->deferredEdit(ProjectManager::ListChange::usage).modifyProjects([&](QList<ProjectFile>& projects) {
        QList<ProjectFile> kept;
        for (ProjectFile& p : projects) {
            if (!importKeys.contains(ProjectImporter::importKey(p.url)))
                kept.append(std::move(p));
        }
        projects = std::move(kept);
    });
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.isAnalyzing = true;
        progress.analysisProgress = 0;
        progress.parseErrors.clear();
        progress.setStep(QStringLiteral("Preparing to analyze projects..."));
    });
    AppLog::info(QStringLiteral("Starting analysis of %1 project(s)").arg(count()));
    m_started.start();
}

QCoro::Task<bool> ImportRun::parse() {
    // Usage is summed on a thread of its own while the projects are read: the loaded ones first,
    // then each new one as soon as every earlier one (in the caller's order) is in.
    QList<SequencePolicySnapshot> snapshots;
    for (const ProjectFile& project : m_pm->projects())
        snapshots.append(m_pm->sequencePolicy().snapshot(project.url));
    m_summing =
        std::make_unique<ImportAggregation>(m_pm->projects(), std::move(snapshots), m_pm->mediaFiles());

    m_prefetch = std::make_unique<ScanPrefetch>(m_pm->fileStatusScan(), m_pm->fileStatusOptions(),
                                                m_pm->mediaFiles(), m_pm->projects());
    m_pm->updateProgress([&](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Parsing %1 projects in parallel...").arg(count()), 0.0);
    });
    AppLog::info(QStringLiteral("Starting parallel parsing of %1 projects").arg(count()));
    m_pm->updateProgress([](AnalysisProgress& progress) { progress.parseFractionByURL.clear(); });
    QElapsedTimer parseStarted;
    parseStarted.start();

    const int processors =
        m_services.processorCount ? m_services.processorCount() : QThread::idealThreadCount();
    auto parseFunction = m_services.parse ? m_services.parse : &ProjectImporter::parseWithProjectParser;
    m_parse = std::make_unique<ParallelProjectParse>(std::move(parseFunction), parseWidth(processors));
    ParallelProjectParse::Callbacks callbacks;
    callbacks.progress = [this](const QUrl& url, const QString& message, double fraction) {
        if (!m_pm)
            return;
        const double overall = m_progress.report(url, fraction);
        m_pm->updateProgress([&](AnalysisProgress& progress) {
            progress.parseFractionByURL.insert(url, m_progress.fractions().value(url));
            progress.analysisProgress = overall;
            progress.setStep(m_progress.showsReaderMessages() ? message : progress.currentTask,
                             m_progress.parseFraction());
        });
    };
    callbacks.finished = [this](const ParseOutcome& outcome) {
        if (!m_pm)
            return;
        if (outcome.parsed) {
            m_prefetch->add(outcome.parsed->project);
            const ProjectFile& project = outcome.parsed->project;
            m_summing->arrived(outcome.order, project, m_pm->sequencePolicy().snapshot(project.url));
        } else {
            m_summing->arrived(outcome.order, std::nullopt, {});
        }
        const double overall = m_progress.finish(outcome.url);
        m_pm->updateProgress([&](AnalysisProgress& progress) {
            progress.parseFractionByURL.insert(outcome.url, 1.0);
            progress.analysisProgress = overall;
            progress.setStep(m_progress.finishedMessage(), m_progress.parseFraction());
        });
    };
    auto parsing = m_parse->run(m_urls, std::move(callbacks));
    m_outcomes = co_await std::move(parsing);
    if (!m_pm)
        co_return false;
    AppLog::info(QStringLiteral("⏱ Parse: ") + seconds(parseStarted) +
                 QStringLiteral(" for %1 project(s)").arg(count()));
    co_return true;
}

void ImportRun::addOutcome(const ParseOutcome& outcome) {
    if (outcome.parsed) {
        const ProjectFile& project = outcome.parsed->project;
        m_pm->deferredEdit(ProjectManager::ListChange::usage).appendProject(project); // settled with the list
        m_newProjects.append(project);
        if (!project.parseWarnings.isEmpty())
            AppLog::parserWarning(QStringLiteral("Project ") + project.name +
                                  QStringLiteral(" has %1 warning(s)").arg(project.parseWarnings.size()));
        return;
    }
    const QString fileName = path::lastPathComponent(outcome.url.toLocalFile());
    AppLog::parseFailed(fileName, outcome.error);
    m_pm->updateProgress([&](AnalysisProgress& progress) {
        progress.parseErrors.append(ParseErrorRecord{fileName, outcome.error});
    });
    m_pm->deferredEdit(ProjectManager::ListChange::usage)
        .appendProject(ProjectImporter::failedProject(outcome.url, outcome.error));
}

QCoro::Task<bool> ImportRun::aggregate() {
    m_pm->updateProgress(
        [](AnalysisProgress& progress) { progress.setStep(QStringLiteral("Aggregating media usage…")); });
    QElapsedTimer timer;
    timer.start();
    // Projects join in the order they were given, however the reads finished: the sidebar lists
    // them in that order on every run.
    std::stable_sort(m_outcomes.begin(), m_outcomes.end(),
                     [](const ParseOutcome& a, const ParseOutcome& b) { return a.order < b.order; });
    for (const ParseOutcome& outcome : std::as_const(m_outcomes))
        addOutcome(outcome);
    // The recount's sum over the projects needs nothing more: made while the files are checked.
    m_recountInputs = m_pm->usageRecountInputs();
    m_recountAggregate = QtConcurrent::run(
        &m_pool, [inputs = m_recountInputs] { return ProjectManager::aggregateForRecount(inputs, true); });
    // Most of the usage sum was made while the projects were read.
    QFuture<ImportAggregation::Result> aggregation = m_summing->finish();
    m_aggregation = co_await takeResult(aggregation);
    if (!m_pm)
        co_return false;
    AppLog::info(QStringLiteral("⏱ Aggregate: ") + seconds(timer));
    co_return true;
}

QCoro::Task<bool> ImportRun::scan() {
    const QStringList& paths = m_aggregation.newPaths;
    const qint64 total = paths.size();
    m_pm->updateProgress([&](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Scanning file system…"), ImportProgress::scanFraction(0, total),
                         true);
        progress.totalFilesToScan = total;
        progress.currentFileIndex = 0;
        progress.analysisProgress = ImportProgress::scanStart;
    });
    QElapsedTimer timer;
    timer.start();
    AppLog::scanStarted(total);
    QFuture<void> prefetching = m_prefetch->finished();
    co_await prefetching;
    if (!m_pm)
        co_return false;
    // Merged while the projects were read: every project may name a candidate for each of its paths.
    RelativeCandidates candidates = std::exchange(m_aggregation.candidates, {});
    const FileStatusChecking::Options options = m_pm->fileStatusOptions();
    // A check option switched while the projects were read makes the early results stale.
    ScanPrefetch::Checked prefetched =
        options.ignoreFileExtension == m_prefetch->options().ignoreFileExtension ? m_prefetch->take()
                                                                                 : ScanPrefetch::Checked{};
    // The entries the prefetch made are taken whole; a path checked with another candidate than
    // the final one, or not checked at all, is checked below.
    QFuture<ScanPlan> planning =
        QtConcurrent::run(&m_pool, [this, prefetched = std::move(prefetched), candidates]() mutable {
            ScanPlan plan =
                ScanPlan::fromPrefetch(m_aggregation, prefetched, m_recountInputs.projects, candidates);
            m_prefetchedChecks = std::move(prefetched.projects); // their stats' facts, for consolidation
            discard(std::move(prefetched.byKey));
            if (plan.unchecked.isEmpty()) {
                plan.list =
                    buildMediaList(m_aggregation.usage, m_aggregation.existing, std::move(plan.scanned));
                // What the entries were moved out of: freed here, not on the GUI thread.
                discard(std::exchange(plan.scanned, {}));
            }
            return plan;
        });
    ScanPlan plan = co_await takeResult(planning);
    if (!m_pm)
        co_return false;
    const std::shared_ptr<FileStatusScan> fileScan = m_pm->fileStatusScan();
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (qsizetype first = 0; first < total; first += FileStatusScan::batchSize) {
        const QList<qsizetype> unchecked = plan.unchecked.take(first / FileStatusScan::batchSize);
        if (!unchecked.isEmpty()) {
            QStringList batch;
            QHash<QString, qsizetype> positionOf;
            for (const qsizetype n : unchecked) {
                batch.append(paths[n]);
                positionOf.insert(paths[n], n);
            }
            QFuture<QList<FileStatusResult>> checking =
                QtConcurrent::run(&m_pool, [fileScan, batch, candidates, options] {
                    return fileScan->checkBatch(batch, candidates, options);
                });
            const QList<FileStatusResult> results = co_await checking;
            if (!m_pm)
                co_return false;
            for (const FileStatusResult& result : results) {
                if (const qsizetype n = positionOf.value(result.path, -1); n >= 0)
                    plan.add(m_aggregation, n, result);
            }
        } else if (sinceYield.elapsed() >= 30) {
            // Batches the prefetch settled need no worker; still let the window draw now and then.
            auto yield = QCoro::sleepFor(std::chrono::milliseconds(0));
            co_await std::move(yield);
            if (!m_pm)
                co_return false;
            sinceYield.restart();
        }
        const qint64 checked = std::min<qint64>(first + FileStatusScan::batchSize, total);
        m_pm->updateProgress([&](AnalysisProgress& progress) {
            progress.currentFileIndex = checked;
            progress.analysisProgress = ImportProgress::scanProgress(checked, total);
            progress.setStep(ImportProgress::scanMessage(checked, total),
                             ImportProgress::scanFraction(checked, total), true);
        });
    }
    discard(std::move(candidates)); // a path each: 70 ms to free here at 400,000 files
    m_knownFacts = std::move(plan.facts);
    AppLog::info(QStringLiteral("⏱ Scan: ") + seconds(timer) +
                 QStringLiteral(" (%1 new file(s))").arg(total));
    m_prefetch->forget();
    if (plan.list) {
        m_list = std::move(*plan.list);
    } else {
        QFuture<QList<MediaFile>> building =
            QtConcurrent::run(&m_pool, [this, scanned = std::move(plan.scanned)]() mutable {
                QList<MediaFile> list =
                    buildMediaList(m_aggregation.usage, m_aggregation.existing, std::move(scanned));
                discard(std::exchange(scanned, {}));
                return list;
            });
        m_list = co_await takeResult(building);
    }
    m_origins = m_aggregation.usage.origins();
    discard(std::exchange(m_aggregation, {}));
    co_return bool(m_pm);
}

QFuture<std::pair<QList<MediaFile>, ProjectManager::PreparedUsageRecount>>
ImportRun::startRecount(const QList<MediaFile>& list,
                        std::optional<QFuture<ProjectManager::RecountAggregate>> aggregate,
                        const QList<PathOrigin>& origins) {
    // The resolved locations serve the protected folders only; without any, none is made (as the
    // rebuild does), and a folder added later has them made then.
    const bool resolveLocations = !m_pm->options().protectedFolders.isEmpty();
    auto recount = [list = QList<MediaFile>(list), inputs = m_recountInputs, origins,
                    resolveLocations](ProjectManager::RecountAggregate counted) mutable {
        const KnownPathKeys known =
            knownPathKeys(origins, list, inputs.projects, counted.usage, counted.lowerPaths);
        ProjectManager::PreparedUsageRecount prepared =
            ProjectManager::prepareUsageRecount(list, inputs, std::move(counted), &known);
        // The protected flags compare locations with their links resolved: resolved here, so the GUI
        // thread stats nothing for them.
        if (resolveLocations)
            CanonicalLocations::resolveInto(prepared.lowerPaths, list, *FileOperations::system());
        return std::make_pair(std::move(list), std::move(prepared));
    };
    // Started when its aggregate is made, so that nothing else waits for the aggregate.
    if (aggregate)
        return aggregate->then(
            &m_pool, [recount = std::move(recount)](QFuture<ProjectManager::RecountAggregate> made) mutable {
                return recount(made.takeResult());
            });
    return QtConcurrent::run(&m_pool, [recount = std::move(recount), inputs = m_recountInputs]() mutable {
        return recount(ProjectManager::aggregateForRecount(inputs, true));
    });
}

QFuture<NameOrder> ImportRun::startOrdering(const QList<MediaFile>& list) {
    return QtConcurrent::run(&m_pool, [list] {
        QStringList paths;
        paths.reserve(list.size());
        for (const MediaFile& file : list)
            paths.append(file.path);
        return NameOrder{fileNameOrder(paths), SimilarNameDetector::detectGroups(paths)};
    });
}

QCoro::Task<bool> ImportRun::refine() {
    // One await per statement, as in run().
    auto linking = linkAfterEffects();
    const bool linked = co_await std::move(linking);
    if (!linked)
        co_return false;
    Beside beside;
    auto consolidating = consolidate(beside);
    const bool consolidated = co_await std::move(consolidating);
    if (!consolidated)
        co_return false;
    auto detecting = detectDuplicates(beside);
    const bool detected = co_await std::move(detecting);
    if (!detected)
        co_return false;
    auto finding = findSimilar(beside.ordering);
    const bool found = co_await std::move(finding);
    co_return found;
}

QCoro::Task<bool> ImportRun::linkAfterEffects() {
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Checking for After Effects links…"));
        progress.analysisProgress = ImportProgress::aeLinksStart;
    });
    auto linking = m_services.linkAfterEffects
                       ? m_services.linkAfterEffects(*m_pm, m_list)
                       : AfterEffectsLinking::linkAEPProjects(*m_pm, m_list, m_services.afterEffects);
    co_await std::move(linking);
    co_return bool(m_pm);
}

QCoro::Task<bool> ImportRun::consolidate(Beside& beside) {
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Consolidating cross-project files…"));
        progress.analysisProgress = ImportProgress::consolidationStart;
    });
    QElapsedTimer timer;
    timer.start();
    // What follows consolidation starts beside it, on the list as it is now: the duplicate search,
    // the recount, the order by file name and the similar names. When consolidation merges nothing
    // (nearly always) that list is the consolidated one and their results stand (the search's log
    // lines are written then); otherwise the search is stopped, unlogged, and all are made again.
    const qsizetype linkedCount = m_list.size();
    auto stopEarlySearch = std::make_shared<std::atomic_bool>(false);
    DuplicateDetectionCore::Settings earlySettings = m_services.duplicateSettings;
    const bool searchEarly = earlySettings.cancel == nullptr;
    earlySettings.cancel = stopEarlySearch.get();
    if (searchEarly)
        beside.earlySearch =
            QtConcurrent::run(&m_pool, [list = m_list, earlySettings, stopEarlySearch]() mutable {
                return DuplicateDetector::detectQuietly(std::move(list), earlySettings);
            });
    m_recounting = startRecount(m_list, std::exchange(m_recountAggregate, {}), std::exchange(m_origins, {}));
    beside.ordering = startOrdering(m_list);
    QFuture<QList<MediaFile>> consolidating =
        QtConcurrent::run(&m_pool, [list = std::move(m_list), known = std::exchange(m_knownFacts, {}),
                                    prefetched = std::exchange(m_prefetchedChecks, {})]() mutable {
            // Here, beside the duplicate search that sets the pace.
            discard(std::exchange(known, ScanPlan::knownFacts(known, prefetched)));
            discard(std::move(prefetched));
            QList<MediaFile> consolidated =
                MediaConsolidator().consolidateCrossProjectDuplicates(std::move(list), known);
            discard(std::move(known));
            return consolidated;
        });
    m_list = co_await takeResult(consolidating);
    if (!m_pm)
        co_return false;
    AppLog::info(QStringLiteral("⏱ Consolidate: ") + seconds(timer) +
                 QStringLiteral(" (%1 files)").arg(m_list.size()));
    const bool merged = m_list.size() != linkedCount;
    beside.earlySearchStands = searchEarly && !merged;
    if (merged) {
        // Made for a list that is no more: let them end, then start again on the merged one.
        stopEarlySearch->store(true);
        auto stopping = std::move(beside.earlySearch);
        co_await stopping;
        auto recounting = std::move(m_recounting);
        co_await recounting;
        auto ordered = std::move(beside.ordering);
        co_await ordered;
        if (!m_pm)
            co_return false;
        // The aggregate went to the first recount, and positions moved with the merge: made
        // again, each path looked up.
        m_recounting = startRecount(m_list, std::nullopt, {});
        beside.ordering = startOrdering(m_list);
    }
    co_return true;
}

QCoro::Task<bool> ImportRun::detectDuplicates(Beside& beside) {
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Detecting duplicates…"));
        progress.analysisProgress = ImportProgress::duplicatesStart;
    });
    QElapsedTimer timer;
    timer.start();
    std::optional<DuplicateDetector::Quiet> early;
    if (beside.earlySearchStands) {
        early = co_await beside.earlySearch;
        beside.earlySearch = {};
        if (!m_pm)
            co_return false;
    }
    if (early && early->files) {
        early->writeLog();
        discard(std::exchange(m_list, std::move(*early->files)));
    } else {
        // The list moves to the worker and back, so nothing else holds it and it is not copied.
        QFuture<QList<MediaFile>> detecting = QtConcurrent::run(
            &m_pool, [list = std::move(m_list), settings = m_services.duplicateSettings]() mutable {
                std::optional<QList<MediaFile>> detected =
                    DuplicateDetector::detectContentDuplicates(list, settings);
                return detected ? std::move(*detected) : std::move(list);
            });
        m_list = co_await takeResult(detecting);
        if (!m_pm)
            co_return false;
    }
    AppLog::info(QStringLiteral("⏱ Duplicate hashing: ") + seconds(timer));
    co_return true;
}

QCoro::Task<bool> ImportRun::findSimilar(QFuture<NameOrder>& ordering) {
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Finding similar files…"));
        progress.analysisProgress = ImportProgress::similarNamesStart;
    });
    NameOrder named = co_await takeResult(ordering);
    std::pair<QList<MediaFile>, ProjectManager::PreparedUsageRecount> recounted =
        co_await takeResult(m_recounting);
    if (!m_pm)
        co_return false;
    m_prepared = std::move(recounted.second);
    // One pass: each entry takes its similar names and its recounted usage, in the order by name.
    QFuture<std::pair<QList<MediaFile>, qint64>> finding =
        QtConcurrent::run(&m_pool, [list = std::move(m_list), named = std::move(named),
                                    usage = std::move(recounted.first)]() mutable {
            QElapsedTimer similarTimer;
            similarTimer.start();
            AppLog::info(QStringLiteral("Detecting similar filenames"));
            auto [sorted, withSimilar] = inNameOrder(list, named, usage);
            SimilarNameDetector::logFound(withSimilar);
            const qint64 took = similarTimer.nsecsElapsed();
            discard(std::move(usage));
            discard(std::move(named));
            discard(std::move(list));
            return std::make_pair(std::move(sorted), took);
        });
    std::pair<QList<MediaFile>, qint64> found = co_await takeResult(finding);
    m_list = std::move(found.first);
    if (!m_pm)
        co_return false;
    // The step's own time: the groups were made from the paths while the files were hashed; what is
    // left is the pass that writes the fields (and puts the list in order).
    AppLog::info(QStringLiteral("⏱ Similar files: ") + number::seconds1(double(found.second) / 1e9));
    co_return true;
}

QCoro::Task<bool> ImportRun::apply() {
    // The recount's costly part (aggregate, lower-cased keys, every entry's usage) ran while the
    // files were hashed; the GUI thread only finishes it. Its inputs were taken before hashing
    // began: a policy change since makes the finish below refuse them.
    ProjectManager::PreparedUsageRecount prepared = std::move(m_prepared);
    if (!m_pm)
        co_return false;
    // The list is settled in the turn it is set: the views then read it once, recounted and summed
    // up (reading it in between sorted and indexed 400,000 entries for nothing), and in a turn of
    // their own: told right after this one, they would add their reading to its length.
    std::optional<ProjectManager::NotificationHold> hold(std::in_place, *m_pm);
    {
        // Consolidation may have merged a staged file into another entry; the prepared recount is
        // done afresh when its inputs changed since; the summary follows.
        ProjectManager::Edit edit(*m_pm, ProjectManager::ListChange::entriesMerged |
                                             ProjectManager::ListChange::usage);
        edit.setMediaFiles(std::move(m_list));
        m_pm->adoptLowerPathKeys(prepared.lowerPaths);
        discard(std::move(prepared.lowerPaths));
        m_pm->refreshProtectedFlags();
        edit.withPreparedRecount(prepared);
    }
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Calculating summary…"));
        progress.analysisProgress = ImportProgress::summaryStart;
    });
    auto second = yieldTurn();
    const bool recounted = co_await std::move(second);
    hold.reset();
    if (!recounted)
        co_return false;
    const AnalysisSummary& summary = m_pm->summary();
    AppLog::scanComplete(summary.onlineFiles, summary.matchingFiles, summary.offlineFiles);
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.analysisProgress = 1.0;
        progress.setStep(QStringLiteral("Analysis complete"), 1.0);
    });
    AppLog::info(
        QStringLiteral("⏱ Total import: ") + seconds(m_started) +
        QStringLiteral(" for %1 project(s), %2 media files").arg(count()).arg(m_pm->mediaFiles().size()));
    if (!m_pm->progress().parseErrors.isEmpty())
        AppLog::warning(
            QStringLiteral("%1 project(s) had parse errors").arg(m_pm->progress().parseErrors.size()));
    co_return true;
}

void ImportRun::finishAnalysis() {
    m_pm->updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
    if (StatsManager* stats = m_pm->statsManager()) {
        // One write for the whole import: each write of the statistics file syncs it to disk.
        QList<std::pair<qint64, qint64>> counts;
        for (const ParseOutcome& outcome : std::as_const(m_outcomes)) {
            if (outcome.parsed)
                counts.append({outcome.parsed->mediaPathCount, outcome.parsed->usedPathCount});
        }
        stats->recordAnalyses(counts);
    }
    const AnalysisSummary& summary = m_pm->summary();
    PostAnalysisPrompts::Inputs inputs;
    inputs.offlineFiles = summary.offlineFiles;
    inputs.uncertainAEFiles = summary.uncertainAEFiles;
    inputs.sandboxed = m_pm->isSandboxed();
    inputs.proVideoFormatsInstalled = m_services.proVideoFormatsInstalled
                                          ? m_services.proVideoFormatsInstalled
                                          : [] { return proVideoFormatsInstalled(false); };
    inputs.mediaFiles = &m_pm->mediaFiles();
    const PromptState& raised = m_pm->prompts();
    const auto due = PostAnalysisPrompts::duePrompts(
        {raised.hasPromptedForScan, raised.hasPromptedForMissingAEP, raised.hasPromptedForProVideoFormats},
        inputs);
    m_pm->updatePrompts([&](PromptState& prompts) {
        if (due.scan) {
            prompts.hasPromptedForScan = true;
            prompts.shouldPromptForScan = true;
        }
        if (due.missingAEP) {
            prompts.hasPromptedForMissingAEP = true;
            prompts.shouldPromptForMissingAEP = true;
        }
        if (due.proVideoFormats) {
            prompts.hasPromptedForProVideoFormats = true;
            prompts.shouldPromptForProVideoFormats = true;
        }
    });
}

} // namespace

QCoro::Task<void> ProjectImporter::analyzeProjects(ProjectManager& manager, QList<QUrl> urls,
                                                   Services services) {
    ImportRun run(manager, std::move(urls), std::move(services));
    auto running = run.run();
    co_await std::move(running);
}

QCoro::Task<void> ProjectImporter::analyzeProjects(ProjectManager& manager, QList<QUrl> urls) {
    auto importing = analyzeProjects(manager, std::move(urls), Services{});
    co_await std::move(importing);
}

} // namespace tarnwick
