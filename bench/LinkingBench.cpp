// Linked media: the offline search against `find` over the same tree, the warm After Effects
// re-import against a cold one, two parses at a time against one, and applying 10,000 matches on a
// 100,000-entry list while the GUI thread's longest stall is measured. Each figure is the median
// of 5 interleaved pairs (fewer when smoke-testing), reported with the load average of the run.
#include "analysis/AEPParseRequests.h"
#include "analysis/AfterEffectsLinking.h"
#include "analysis/OfflineMediaSearch.h"
#include "analysis/ProjectManager.h"
#include "model/ImageSequence.h"
#include "platform/AppLog.h"
#include "platform/DirectoryWalker.h"
#include "platform/PathText.h"
#include "platform/Preferences.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "support/AEPRifxBuilder.h"
#include "support/BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

int pairs() {
    return bench::smokeMode() ? 1 : 5;
}

// Peak resident memory since the last reset, in MB (Linux: clear_refs 5 resets the high-water mark).
void resetPeakMemory() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}
double peakMemoryMB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double msSince(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

std::unique_ptr<ProjectManager> makeManager(QTemporaryDir& dir, std::unique_ptr<Preferences>& prefs,
                                            std::unique_ptr<SequenceUsagePolicyStore>& policy,
                                            std::unique_ptr<ProtectedFolders>& folders) {
    prefs = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.ini")));
    policy = std::make_unique<SequenceUsagePolicyStore>(*prefs);
    folders = std::make_unique<ProtectedFolders>(dir.filePath(QStringLiteral("store")));
    ProjectManagerServices services = ProjectManagerServices::shared();
    services.sequencePolicy = policy.get();
    services.protectedFolders = folders.get();
    services.statusOptions = [](bool) { return FileStatusChecking::Options{}; };
    services.isSandboxed = [] { return false; };
    return std::make_unique<ProjectManager>(std::move(services));
}

// ---- Offline search against find ---------------------------------------------------------------

struct SearchTree {
    QTemporaryDir dir;
    QString root;
    QList<MediaFile> media;
    qint64 files = 0;
};

// A tree of `files` files at depth 6 (five folder levels of `branch` folders); the first
// `offline` names appear twice (about 5% of the files are name hits).
const SearchTree& searchTree() {
    static std::unique_ptr<SearchTree> tree;
    if (tree)
        return *tree;
    tree = std::make_unique<SearchTree>();
    const int branch = bench::smokeMode() ? 2 : 4;
    const qint64 total = bench::smokeMode() ? 2000 : 200000;
    const int offline = int(total / 40);
    tree->root = tree->dir.filePath(QStringLiteral("Tree"));
    QStringList leaves;
    std::vector<QString> level{tree->root};
    for (int depth = 0; depth < 5; ++depth) {
        std::vector<QString> next;
        for (const QString& folder : level) {
            for (int b = 0; b < branch; ++b)
                next.push_back(folder + QStringLiteral("/L%1_%2").arg(depth).arg(b));
        }
        level = std::move(next);
    }
    for (const QString& leaf : level) {
        QDir().mkpath(leaf);
        leaves.append(leaf);
    }
    for (qint64 i = 0; i < total; ++i) {
        // Shot names k < offline sit in two leaves each; the rest are unique.
        const QString name = i < 2 * offline
                                 ? QStringLiteral("Shot_%1.mov").arg(i % offline, 6, 10, QLatin1Char('0'))
                                 : QStringLiteral("Clip_%1.mov").arg(i, 7, 10, QLatin1Char('0'));
        const QByteArray path = QFile::encodeName(leaves[int(i % leaves.size())] + u'/' + name);
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0)
            ::close(fd);
    }
    tree->files = total;
    for (int k = 0; k < offline; ++k) {
        MediaFile file;
        file.path = QStringLiteral("/Volumes/Old/Show/Shot_%1.mov").arg(k, 6, 10, QLatin1Char('0'));
        file.status = MediaFileStatus::offline;
        file.size = 1;
        tree->media.append(file);
    }
    return *tree;
}

// What the scan would be if it listed the whole tree first, then matched.
qint64 collectThenMatch(const QList<MediaFile>& media, const QString& root, bench::CountingStatProbe& probe) {
    QStringList all;
    DirectoryWalker::walk(root, {}, [&](const DirectoryWalker::Entry& e) {
        if (e.type == DirectoryWalker::EntryType::regularFile)
            all.append(e.path());
        return DirectoryWalker::Action::proceed;
    });
    QHash<QString, int> names;
    for (const MediaFile& f : media)
        names[OfflineMediaSearch::nameKey(f.path, false)]++;
    qint64 matches = 0;
    for (const QString& path : std::as_const(all)) {
        const int n = names.value(OfflineMediaSearch::nameKey(path, false));
        if (n > 0 && probe.stat(path))
            matches += n;
    }
    return matches;
}

void BM_OfflineSearchAgainstFind(benchmark::State& state) {
    const SearchTree& tree = searchTree();
    const auto runFind = [&] {
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        find.start(QStringLiteral("find"), {tree.root, QStringLiteral("-type"), QStringLiteral("f")});
        find.waitForFinished(-1);
    };
    runFind(); // warm the directory cache for both
    for (auto _ : state) {
        std::vector<double> ours, reference, ratios, walkOnly;
        qint64 matches = 0;
        qint64 stats = 0;
        double peakStreaming = 0;
        for (int p = 0; p < pairs(); ++p) {
            QElapsedTimer t;
            t.start();
            runFind();
            reference.push_back(msSince(t));
            bench::CountingStatProbe probe;
            resetPeakMemory();
            const double before = peakMemoryMB();
            t.restart();
            const auto result = OfflineMediaSearch::scan(tree.media, tree.root, false, {}, nullptr, &probe);
            ours.push_back(msSince(t));
            peakStreaming = std::max(peakStreaming, peakMemoryMB() - before);
            matches = result.matches.size();
            stats = probe.calls.load();
            ratios.push_back(ours.back() / reference.back());
            t.restart();
            qint64 listed = 0;
            DirectoryWalker::walk(tree.root, {}, [&](const DirectoryWalker::Entry&) {
                ++listed;
                return DirectoryWalker::Action::proceed;
            });
            walkOnly.push_back(msSince(t));
            benchmark::DoNotOptimize(listed);
        }
        bench::CountingStatProbe probe;
        resetPeakMemory();
        const double before = peakMemoryMB();
        const qint64 collected = collectThenMatch(tree.media, tree.root, probe);
        const double peakCollecting = peakMemoryMB() - before;
        state.SetIterationTime(bench::median(ours) / 1000.0);
        state.counters["files"] = double(tree.files);
        state.counters["find_ms"] = bench::median(reference);
        state.counters["search_ms"] = bench::median(ours);
        state.counters["ratio"] = bench::median(ratios);
        state.counters["walk_only_ms"] = bench::median(walkOnly);
        state.counters["matches"] = double(matches);
        state.counters["stat_calls"] = double(stats);
        state.counters["peak_MB_streaming"] = peakStreaming;
        state.counters["peak_MB_collect_first"] = peakCollecting;
        state.counters["same_results"] = collected == matches ? 1 : 0;
        state.counters["load"] = bench::loadAverage();
    }
}

// ---- Warm After Effects re-import ---------------------------------------------------------------

struct AEPSet {
    QTemporaryDir dir;
    QString folder;
    QStringList files;
    QList<MediaFile> media;
    QList<ProjectFile> projects;
};

const AEPSet& aepSet() {
    static std::unique_ptr<AEPSet> set;
    if (set)
        return *set;
    set = std::make_unique<AEPSet>();
    set->folder = set->dir.filePath(QStringLiteral("Show"));
    const int count = bench::smokeMode() ? 2 : 20;
    for (int i = 0; i < count; ++i) {
        const QString path = set->folder + QStringLiteral("/AE/Comp%1.aep").arg(i, 2, 10, QLatin1Char('0'));
        QStringList footage;
        for (int k = 0; k < 200; ++k)
            footage.append(QStringLiteral("/Volumes/Media/AE%1/shot_%2.mov").arg(i).arg(k));
        // 5 MB to 50 MB.
        const qsizetype padding =
            bench::smokeMode() ? 100000 : (5 + (45 * i) / std::max(1, count - 1)) * 1'000'000;
        aeptest::writeProject(path, footage, padding);
        set->files.append(path);
        MediaFile aep;
        aep.path = path;
        aep.status = MediaFileStatus::online;
        set->media.append(aep);
        for (const QString& f : footage) {
            MediaFile clip;
            clip.path = f;
            clip.status = MediaFileStatus::online;
            set->media.append(clip);
        }
    }
    for (int p = 0; p < 30; ++p) {
        ProjectFile project;
        project.name = QStringLiteral("Cut %1").arg(p);
        project.url = QUrl::fromLocalFile(set->folder + QStringLiteral("/Cut%1.prproj").arg(p));
        for (int k = 0; k < 3; ++k)
            project.mediaFiles.append(set->files[(p + k) % set->files.size()]);
        set->projects.append(project);
    }
    return *set;
}

void BM_AfterEffectsWarmReimport(benchmark::State& state) {
    const AEPSet& set = aepSet();
    for (auto _ : state) {
        std::vector<double> cold, warm, ratios;
        int warmParses = -1;
        for (int p = 0; p < pairs(); ++p) {
            QTemporaryDir stores;
            std::unique_ptr<Preferences> prefs;
            std::unique_ptr<SequenceUsagePolicyStore> policy;
            std::unique_ptr<ProtectedFolders> folders;
            auto pm = makeManager(stores, prefs, policy, folders);
            pm->edit(ProjectManager::ListChange::none).setProjects(set.projects);
            std::atomic_int parses{0};
            AfterEffectsLinking::Services services;
            services.parse = [&](const QString& path) {
                ++parses;
                return AEPParseRequests::parseWithOwnReader(path);
            };
            QList<MediaFile> list = set.media;
            QElapsedTimer t;
            t.start();
            QCoro::waitFor(AfterEffectsLinking::linkAEPProjects(*pm, list, services));
            cold.push_back(msSince(t));
            const int coldParses = parses.exchange(0);
            list = set.media;
            t.restart();
            QCoro::waitFor(AfterEffectsLinking::linkAEPProjects(*pm, list, services));
            warm.push_back(msSince(t));
            warmParses = parses.load();
            ratios.push_back(warm.back() / cold.back());
            state.counters["cold_parses"] = coldParses;
        }
        state.SetIterationTime(bench::median(warm) / 1000.0);
        state.counters["aep_files"] = double(set.files.size());
        state.counters["cold_ms"] = bench::median(cold);
        state.counters["warm_ms"] = bench::median(warm);
        state.counters["warm_over_cold"] = bench::median(ratios);
        state.counters["warm_parses"] = warmParses;
        state.counters["load"] = bench::loadAverage();
    }
}

// `latency`: milliseconds each read waits before parsing, as a file on a network share does.
void parseOverlap(benchmark::State& state, int latency) {
    const AEPSet& set = aepSet();
    const AEPParseFunction parse = [latency](const QString& path) {
        if (latency > 0)
            QThread::msleep(ulong(latency));
        return AEPParseRequests::parseWithOwnReader(path);
    };
    QList<AEPParseRequest> pending;
    for (const QString& file : set.files)
        pending.append({AEPParseRequests::cacheKey(file), file, {file}, -1, std::nullopt});
    for (auto _ : state) {
        std::vector<double> one, two, ratios;
        for (int p = 0; p < pairs(); ++p) {
            QElapsedTimer t;
            t.start();
            QCoro::waitFor(AEPParseRequests::parseAll(pending, 1, parse));
            one.push_back(msSince(t));
            t.restart();
            QCoro::waitFor(AEPParseRequests::parseAll(pending, AEPParseRequests::maxConcurrentParses, parse));
            two.push_back(msSince(t));
            ratios.push_back(two.back() / one.back());
        }
        state.SetIterationTime(bench::median(two) / 1000.0);
        state.counters["parses"] = double(pending.size());
        state.counters["one_at_a_time_ms"] = bench::median(one);
        state.counters["two_at_a_time_ms"] = bench::median(two);
        state.counters["two_over_one"] = bench::median(ratios);
        state.counters["latency_ms"] = latency;
        state.counters["load"] = bench::loadAverage();
    }
}

void BM_AfterEffectsParseOverlap(benchmark::State& state) {
    parseOverlap(state, 0);
}

void BM_AfterEffectsParseOverlapOnShare(benchmark::State& state) {
    parseOverlap(state, 40);
}

// ---- Applying matches on the GUI thread ----------------------------------------------------------

// The After Effects footage marked in the import's list while a project uses a sequence of stills
// (every listed path asked whether it is one of its frames) against the same marking without it:
// `crossReferenceAEFootage` as the import's linking stage calls it, pairs interleaved.
void BM_CrossReferenceWithSequence(benchmark::State& state) {
    const int n = bench::smokeMode() ? 1'000 : int(state.range(0));
    QList<MediaFile> media;
    QSet<QString> footage;
    for (int i = 0; i < n; ++i) {
        MediaFile file;
        file.path = QStringLiteral("/Volumes/Media/Show%1/Day%2/A%3_C%4.mov")
                        .arg(i % 20)
                        .arg((i / 20) % 30)
                        .arg(i, 6, 10, QLatin1Char('0'))
                        .arg(i % 97);
        if (i % 50 == 0)
            footage.insert(file.path);
        media.append(file);
    }
    for (int frame = 1; frame <= 240; ++frame) {
        MediaFile file;
        file.path =
            QStringLiteral("/Volumes/Media/Show1/Plates/plate_%1.exr").arg(frame, 4, 10, QLatin1Char('0'));
        media.append(file);
    }
    const QList<ImageSequence> sequences{
        *ImageSequence::fromFirstFrame(QStringLiteral("/Volumes/Media/Show1/Plates/plate_0001.exr"), u"")};
    const auto ms = [&](const QList<ImageSequence>& used) {
        QList<MediaFile> list = media; // each run marks a list of its own
        QElapsedTimer clock;
        clock.start();
        AfterEffectsLinking::crossReferenceAEFootage(list, footage, used);
        return double(clock.nsecsElapsed()) / 1e6;
    };
    for (auto _ : state) {
        std::vector<double> reference, subject, ratios;
        for (int pair = 0; pair < (bench::smokeMode() ? 1 : 7); ++pair) {
            reference.push_back(ms({}));
            subject.push_back(ms(sequences));
            ratios.push_back(subject.back() / reference.back());
        }
        state.counters["reference_ms"] = bench::median(reference);
        state.counters["subject_ms"] = bench::median(subject);
        state.counters["ratio"] = bench::median(ratios);
        state.SetIterationTime(bench::median(subject) / 1000.0);
    }
    state.counters["load"] = bench::loadAverage();
}

void BM_ApplyMatchesGuiStall(benchmark::State& state) {
    const int entries = bench::smokeMode() ? 1000 : 100000;
    QList<MediaFile> list;
    list.reserve(entries);
    QList<ScoredMatch> matches;
    for (int i = 0; i < entries; ++i) {
        MediaFile file;
        file.path = QStringLiteral("/Volumes/Show/Day%1/A%2_C001.mov").arg(i / 1000).arg(i);
        file.status = i % 10 == 0 ? MediaFileStatus::offline : MediaFileStatus::online;
        file.projectNames = {QStringLiteral("Cut")};
        list.append(file);
        if (i % 10 == 0) {
            ScoredMatch m;
            m.offlineFile = file;
            m.foundPath = QStringLiteral("/Volumes/Archive/Day%1/A%2_C001.mov").arg(i / 1000).arg(i);
            m.matchScore.score = 0.7;
            matches.append(m);
        }
    }
    for (auto _ : state) {
        std::vector<double> stalls, totals;
        for (int p = 0; p < pairs(); ++p) {
            QTemporaryDir stores;
            std::unique_ptr<Preferences> prefs;
            std::unique_ptr<SequenceUsagePolicyStore> policy;
            std::unique_ptr<ProtectedFolders> folders;
            auto pm = makeManager(stores, prefs, policy, folders);
            pm->edit(ProjectManager::ListChange::none).setMediaFiles(list);
            QCoreApplication::processEvents();
            // The longest gap between two turns of the GUI thread's event loop while matches apply.
            QElapsedTimer sinceTick;
            double longest = 0;
            QTimer tick;
            tick.setInterval(1);
            QObject::connect(&tick, &QTimer::timeout, [&] {
                longest = std::max(longest, msSince(sinceTick));
                sinceTick.restart();
            });
            QElapsedTimer t;
            t.start();
            sinceTick.start();
            tick.start();
            QCoro::waitFor(OfflineMediaSearch::applyMatches(*pm, matches));
            longest = std::max(longest, msSince(sinceTick));
            tick.stop();
            totals.push_back(msSince(t));
            stalls.push_back(longest);
        }
        state.SetIterationTime(bench::median(totals) / 1000.0);
        state.counters["entries"] = entries;
        state.counters["matches"] = double(matches.size());
        state.counters["total_ms"] = bench::median(totals);
        state.counters["longest_stall_ms"] = bench::median(stalls);
        state.counters["worst_stall_ms"] = *std::max_element(stalls.begin(), stalls.end());
        state.counters["load"] = bench::loadAverage();
    }
}

} // namespace

BENCHMARK(BM_OfflineSearchAgainstFind)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterEffectsWarmReimport)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterEffectsParseOverlap)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterEffectsParseOverlapOnShare)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyMatchesGuiStall)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrossReferenceWithSequence)
    ->Arg(400'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    AppLog::setSink([](const AppLog::Record&) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
