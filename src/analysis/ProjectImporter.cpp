#include "analysis/ProjectImporter.h"

#include "analysis/AfterEffectsLinking.h"
#include "analysis/DuplicateDetector.h"
#include "analysis/FileStatusScan.h"
#include "analysis/ImportProgress.h"
#include "analysis/MediaConsolidator.h"
#include "analysis/PostAnalysisPrompts.h"
#include "analysis/ProjectManager.h"
#include "analysis/ScanPrefetch.h"
#include "analysis/SimilarNameDetector.h"
#include "analysis/UsageAggregator.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/NumberText.h"
#include "platform/PathText.h"
#include "platform/ProVideoFormats.h"
#include "platform/TextKey.h"
#include "stores/StatsManager.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <algorithm>

namespace tarnwick {

namespace {

QString seconds(const QElapsedTimer& timer) {
    return number::seconds1(double(timer.nsecsElapsed()) / 1e9);
}

// What aggregation and the scan hand to the list build.
struct Aggregation {
    UsageMap usage;
    QHash<QString, MediaFile> existing;
    QStringList newPaths;
};

MediaFile scannedEntry(const FileStatusResult& result) {
    MediaFile file = newMediaEntry(result.path);
    file.size = result.size;
    file.status = result.status;
    file.storageType = result.storageType;
    if (result.resolvedPath != result.path)
        file.matchedPath = result.resolvedPath;
    if (result.status != MediaFileStatus::online)
        AppLog::detail(result.path, text(result.status));
    return file;
}

QThreadPool& cleanupPool() {
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

// Frees a large value on a thread of its own: dropping 100,000 entries is too slow for the GUI
// thread, and nothing waits for it.
template <class T> void discard(T&& value) {
    cleanupPool().start(
        [held = std::move(value)]() mutable { [[maybe_unused]] const T dropped = std::move(held); });
}

// One run of the import; everything it holds lives in the calling coroutine's frame, so a window
// that closes mid-import (the manager gone) leaves nothing dangling: each resumption checks first.
class ImportRun {
public:
    ImportRun(ProjectManager& manager, QList<QUrl> urls, ProjectImporter::Services services)
        : m_pm(&manager), m_urls(std::move(urls)), m_services(std::move(services)),
          m_progress(int(m_urls.size())) {
        m_pool.setMaxThreadCount(3);
        m_pool.setObjectName(QStringLiteral("ImportSteps"));
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
    QCoro::Task<void> finishAnalysis();
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
    QFuture<UsageMap> m_loadedUsage;
    std::unique_ptr<ScanPrefetch> m_prefetch;
    std::optional<KnownPathIndex> m_index;
    QList<ParseOutcome> m_outcomes;
    QList<ProjectFile> m_newProjects;
    Aggregation m_aggregation;
    QHash<QString, MediaFile> m_scanned;
    QList<MediaFile> m_list;
    // The recount's aggregate over the projects, made while the files are hashed.
    ProjectManager::UsageRecountInputs m_recountInputs;
    QFuture<ProjectManager::RecountAggregate> m_recountAggregate;
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
    auto finishing = finishAnalysis();
    co_await std::move(finishing);
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
    m_pm->modifyProjects([&](QList<ProjectFile>& projects) {
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
        progress.currentTask = QStringLiteral("Preparing to analyze projects...");
    });
    AppLog::info(QStringLiteral("Starting analysis of %1 project(s)").arg(count()));
    m_started.start();
}

QCoro::Task<bool> ImportRun::parse() {
    // The loaded projects' usage is summed on a worker while the new ones are read.
    m_index.emplace(m_pm->mediaFiles());
    QList<ProjectContribution> contributions;
    const ContributionRule rule = m_pm->effectiveContributionRule();
    for (const ProjectFile& project : m_pm->projects())
        contributions.append(rule(project));
    m_loadedUsage = QtConcurrent::run(&m_pool, [projects = m_pm->projects(), contributions] {
        return aggregateProjects(projects, contributions);
    });

    m_prefetch = std::make_unique<ScanPrefetch>(m_pm->fileStatusScan(), m_pm->fileStatusOptions(),
                                                m_pm->mediaFiles(), m_pm->projects());
    m_pm->updateProgress([&](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Parsing %1 projects in parallel...").arg(count());
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
            if (m_progress.showsReaderMessages())
                progress.currentTask = message;
        });
    };
    callbacks.finished = [this](const ParseOutcome& outcome) {
        if (!m_pm)
            return;
        if (outcome.parsed)
            m_prefetch->add(outcome.parsed->project);
        const double overall = m_progress.finish(outcome.url);
        m_pm->updateProgress([&](AnalysisProgress& progress) {
            progress.parseFractionByURL.insert(outcome.url, 1.0);
            progress.analysisProgress = overall;
            progress.currentTask = m_progress.finishedMessage();
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
        m_pm->appendProject(project);
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
    m_pm->appendProject(ProjectImporter::failedProject(outcome.url, outcome.error));
}

QCoro::Task<bool> ImportRun::aggregate() {
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Aggregating media usage…");
    });
    QElapsedTimer timer;
    timer.start();
    // Projects join in the order they were given, however the reads finished: the sidebar lists
    // them in that order on every run.
    std::stable_sort(m_outcomes.begin(), m_outcomes.end(),
                     [](const ParseOutcome& a, const ParseOutcome& b) { return a.order < b.order; });
    for (const ParseOutcome& outcome : std::as_const(m_outcomes))
        addOutcome(outcome);
    QList<ProjectContribution> contributions;
    const ContributionRule rule = m_pm->effectiveContributionRule();
    for (const ProjectFile& project : std::as_const(m_newProjects))
        contributions.append(rule(project));

    UsageMap loaded = co_await m_loadedUsage;
    discard(std::exchange(m_loadedUsage, {}));
    if (!m_pm)
        co_return false;
    QFuture<Aggregation> aggregation = QtConcurrent::run(
        &m_pool, [usage = std::move(loaded), index = std::move(*m_index), projects = m_newProjects,
                  contributions, media = m_pm->mediaFiles()]() mutable {
            for (qsizetype i = 0; i < projects.size(); ++i)
                addProjectWithCrossReference(usage, index, projects[i], contributions[i]);
            Aggregation result{std::move(usage), entriesByPath(media), {}};
            result.newPaths = newPaths(result.usage, result.existing);
            return result;
        });
    m_aggregation = co_await aggregation;
    if (!m_pm)
        co_return false;
    AppLog::info(QStringLiteral("⏱ Aggregate: ") + seconds(timer));
    co_return true;
}

QCoro::Task<bool> ImportRun::scan() {
    const QStringList& paths = m_aggregation.newPaths;
    const qint64 total = paths.size();
    m_pm->updateProgress([&](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Scanning file system…");
        progress.totalFilesToScan = total;
        progress.currentFileIndex = 0;
        progress.analysisProgress = ImportProgress::scanStart;
    });
    QElapsedTimer timer;
    timer.start();
    AppLog::scanStarted(total);
    QFuture<void> prefetching = QtConcurrent::run(m_prefetch->pool(), [] {});
    co_await prefetching;
    if (!m_pm)
        co_return false;
    // Merged on a worker: every project may name a candidate for each of its paths.
    QFuture<QHash<QString, QString>> merging = QtConcurrent::run(
        &m_pool, [projects = m_pm->projects()] { return mergedRelativeCandidates(projects); });
    const QHash<QString, QString> candidates = co_await merging;
    if (!m_pm)
        co_return false;
    const FileStatusChecking::Options options = m_pm->fileStatusOptions();
    // A check option switched while the projects were read makes the early results stale.
    QHash<QString, ScanPrefetch::Checked> prefetched =
        options.ignoreFileExtension == m_prefetch->options().ignoreFileExtension
            ? m_prefetch->take()
            : QHash<QString, ScanPrefetch::Checked>{};
    const std::shared_ptr<FileStatusScan> fileScan = m_pm->fileStatusScan();
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (qsizetype first = 0; first < total; first += FileStatusScan::batchSize) {
        QStringList unchecked;
        for (const QString& path : paths.mid(first, FileStatusScan::batchSize)) {
            const auto found = prefetched.constFind(UsageMap::key(path));
            if (found != prefetched.cend() && found->candidate == candidates.value(path))
                m_scanned.insert(UsageMap::key(path), scannedEntry(found->result));
            else
                unchecked.append(path);
        }
        if (!unchecked.isEmpty()) {
            QFuture<QList<FileStatusResult>> checking =
                QtConcurrent::run(&m_pool, [fileScan, unchecked, candidates, options] {
                    return fileScan->checkBatch(unchecked, candidates, options);
                });
            const QList<FileStatusResult> results = co_await checking;
            if (!m_pm)
                co_return false;
            for (const FileStatusResult& result : results)
                m_scanned.insert(UsageMap::key(result.path), scannedEntry(result));
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
            progress.currentTask = ImportProgress::scanMessage(checked, total);
        });
    }
    AppLog::info(QStringLiteral("⏱ Scan: ") + seconds(timer) +
                 QStringLiteral(" (%1 new file(s))").arg(total));
    discard(std::move(prefetched));
    m_prefetch->forget();
    QFuture<QList<MediaFile>> building = QtConcurrent::run(
        &m_pool, [this] { return buildMediaList(m_aggregation.usage, m_aggregation.existing, m_scanned); });
    m_list = co_await building;
    discard(std::exchange(m_aggregation, {}));
    discard(std::exchange(m_scanned, {}));
    co_return bool(m_pm);
}

QCoro::Task<bool> ImportRun::refine() {
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Checking for After Effects links…");
        progress.analysisProgress = 0.87;
    });
    auto linking = m_services.linkAfterEffects
                       ? m_services.linkAfterEffects(*m_pm, m_list)
                       : AfterEffectsLinking::linkAEPProjects(*m_pm, m_list, m_services.afterEffects);
    co_await std::move(linking);
    if (!m_pm)
        co_return false;

    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Consolidating cross-project files…");
        progress.analysisProgress = 0.90;
    });
    QElapsedTimer timer;
    timer.start();
    QFuture<QList<MediaFile>> consolidating = QtConcurrent::run(&m_pool, [list = std::move(m_list)] {
        return MediaConsolidator().consolidateCrossProjectDuplicates(list);
    });
    m_list = co_await consolidating;
    if (!m_pm)
        co_return false;
    AppLog::info(QStringLiteral("⏱ Consolidate: ") + seconds(timer) +
                 QStringLiteral(" (%1 files)").arg(m_list.size()));

    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Detecting duplicates…");
        progress.analysisProgress = 0.93;
    });
    timer.restart();
    // Neither the recount's aggregate (projects only) nor similar names need the hashes: both run
    // while the files are hashed; similar names on a copy of the list, joined by position (neither
    // step moves entries).
    m_recountInputs = m_pm->usageRecountInputs();
    m_recountAggregate = QtConcurrent::run(
        &m_pool, [inputs = m_recountInputs] { return ProjectManager::aggregateForRecount(inputs); });
    QElapsedTimer similarTimer;
    similarTimer.start();
    QFuture<QList<MediaFile>> finding = QtConcurrent::run(
        &m_pool, [list = m_list] { return SimilarNameDetector::detectSimilarFilenames(list); });
    // The list moves to the worker and back, so the old copy is freed there.
    QFuture<QList<MediaFile>> detecting = QtConcurrent::run(
        &m_pool, [list = std::move(m_list), settings = m_services.duplicateSettings]() mutable {
            std::optional<QList<MediaFile>> detected =
                DuplicateDetector::detectContentDuplicates(list, settings);
            return detected ? std::move(*detected) : std::move(list);
        });
    m_list = co_await detecting;
    if (!m_pm)
        co_return false;
    AppLog::info(QStringLiteral("⏱ Duplicate hashing: ") + seconds(timer));

    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Finding similar files…");
        progress.analysisProgress = 0.96;
    });
    QList<MediaFile> similar = co_await finding;
    finding = {};
    if (!m_pm)
        co_return false;
    QFuture<QList<MediaFile>> joining =
        QtConcurrent::run(&m_pool, [list = std::move(m_list), similar = std::move(similar)]() mutable {
            for (qsizetype i = 0; i < list.size() && i < similar.size(); ++i)
                list[i].similarFiles = std::move(similar[i].similarFiles);
            sortByFileName(list);
            return list;
        });
    m_list = co_await joining;
    if (!m_pm)
        co_return false;
    AppLog::info(QStringLiteral("⏱ Similar files: ") + seconds(similarTimer));
    co_return true;
}

QCoro::Task<bool> ImportRun::apply() {
    // The recount's costly part (aggregate, lower-cased keys, every entry's usage) runs on the
    // list before it is set; the GUI thread then only finishes it.
    // Inputs taken before hashing began: a policy change since makes the finish below refuse them.
    ProjectManager::PreparedUsageRecount prepared;
    {
        ProjectManager::RecountAggregate aggregate = co_await m_recountAggregate;
        m_recountAggregate = {};
        if (!m_pm)
            co_return false;
        QFuture<std::pair<QList<MediaFile>, ProjectManager::PreparedUsageRecount>> preparing =
            QtConcurrent::run(&m_pool, [list = std::move(m_list), inputs = std::move(m_recountInputs),
                                        aggregate = std::move(aggregate)]() mutable {
                ProjectManager::PreparedUsageRecount recount =
                    ProjectManager::prepareUsageRecount(list, inputs, std::move(aggregate));
                // The protected flags compare locations with their links resolved: resolved
                // here, so the GUI thread stats nothing for them.
                CanonicalLocations::resolveInto(recount.lowerPaths, list, *FileOperations::system());
                return std::make_pair(std::move(list), std::move(recount));
            });
        auto result = co_await preparing;
        // The future keeps a copy of its result: let it go so the list is not shared.
        preparing = {};
        m_list = std::move(result.first);
        prepared = std::move(result.second);
    }
    if (!m_pm)
        co_return false;
    // Each of the manager's passes over the whole list gets an event-loop turn of its own.
    m_pm->setMediaFiles(std::move(m_list));
    const qint64 listedVersion = m_pm->mediaFilesVersion();
    m_pm->adoptLowerPathKeys(prepared.lowerPaths);
    discard(std::move(prepared.lowerPaths));
    auto first = yieldTurn();
    const bool listed = co_await std::move(first);
    if (!listed)
        co_return false;
    const bool listUnchanged = m_pm->mediaFilesVersion() == listedVersion;
    // Consolidation may have merged a staged file into another entry.
    m_pm->pruneOrphanedRecycleBinItems();
    m_pm->refreshProtectedFlags();
    if (!listUnchanged || !m_pm->finishPreparedUsageRecount(prepared))
        m_pm->recomputeUsageCounts();
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.currentTask = QStringLiteral("Calculating summary…");
        progress.analysisProgress = 0.98;
    });
    auto second = yieldTurn();
    const bool recounted = co_await std::move(second);
    if (!recounted)
        co_return false;
    m_pm->updateSummary();
    const AnalysisSummary& summary = m_pm->summary();
    AppLog::scanComplete(summary.onlineFiles, summary.matchingFiles, summary.offlineFiles);
    m_pm->updateProgress([](AnalysisProgress& progress) {
        progress.analysisProgress = 1.0;
        progress.currentTask = QStringLiteral("Analysis complete");
    });
    AppLog::info(
        QStringLiteral("⏱ Total import: ") + seconds(m_started) +
        QStringLiteral(" for %1 project(s), %2 media files").arg(count()).arg(m_pm->mediaFiles().size()));
    if (!m_pm->progress().parseErrors.isEmpty())
        AppLog::warning(
            QStringLiteral("%1 project(s) had parse errors").arg(m_pm->progress().parseErrors.size()));
    co_return true;
}

QCoro::Task<void> ImportRun::finishAnalysis() {
    m_pm->updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
    if (StatsManager* stats = m_pm->statsManager()) {
        // Each record rewrites the statistics file: one per turn keeps the window drawing.
        for (const ParseOutcome& outcome : std::as_const(m_outcomes)) {
            if (!outcome.parsed)
                continue;
            stats->recordAnalysis(outcome.parsed->mediaPathCount, outcome.parsed->usedPathCount);
            auto next = yieldTurn();
            const bool alive = co_await std::move(next);
            if (!alive)
                co_return;
        }
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

ParsedProject ProjectImporter::parseWithProjectParser(const QUrl& url,
                                                      const ParallelProjectParse::Progress& progress) {
    const ProjectParser parser;
    return parsedProject(url, parser.parse(url.toLocalFile(), progress));
}

ParsedProject ProjectImporter::parsedProject(const QUrl& url, const ProjectParser::ParseResult& result) {
    ParsedProject parsed;
    ProjectFile& p = parsed.project;
    p.url = url;
    p.name = result.projectName;
    p.mediaFiles = QStringList(result.allMediaPaths.cbegin(), result.allMediaPaths.cend());
    p.usedFiles = QStringList(result.usedMediaPaths.cbegin(), result.usedMediaPaths.cend());
    p.audioOnlyFiles = QStringList(result.audioOnlyPaths.cbegin(), result.audioOnlyPaths.cend());
    p.usageCountByPath = result.usageCountByPath;
    p.sequenceNamesByPath = result.sequenceNamesByPath;
    p.sequenceNames = result.sequenceNames;
    p.sequences = result.sequences;
    p.sequenceUsageByPath = result.sequenceUsageByPath;
    p.relativeCandidates = result.relativeCandidates;
    p.nestedSequenceCount = result.nestedSequenceCount;
    p.parseError = result.error;
    p.parseWarnings = result.warnings;
    parsed.mediaPathCount = result.allMediaPaths.size();
    parsed.usedPathCount = result.usedMediaPaths.size();
    return parsed;
}

ProjectFile ProjectImporter::failedProject(const QUrl& url, const QString& error) {
    ProjectFile p;
    p.url = url;
    p.name = path::deletingPathExtension(path::lastPathComponent(url.toLocalFile()));
    p.parseError = error;
    return p;
}

QString ProjectImporter::importKey(const QUrl& url) {
    return text::lowered(text::nfc(path::resolvingSymlinksInPath(url.toLocalFile())));
}

} // namespace tarnwick
