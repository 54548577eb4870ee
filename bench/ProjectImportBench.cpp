// The whole import of 24 generated projects referencing 100,000 files on the local disk (a tenth
// of them byte-identical copies), against reading the same 24 projects alone on the same pool, in
// interleaved pairs. Also: how the import grows from 25,000 to 100,000 files, the longest the GUI
// thread went without processing events (a 10 ms timer), and memory and threads over three rounds
// of Clear All and a new import.
#include "analysis/ImportProgress.h"
#include "analysis/ParallelProjectParse.h"
#include "analysis/ProjectImporter.h"
#include "platform/MemoryRelease.h"
#include "support/BenchSupport.h"
#include "support/ImportTestHarness.h"
#include "support/ProcessFacts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

using namespace tarnwick;

namespace {

struct Workload {
    QTemporaryDir temporary;
    QString root;
    QList<QUrl> projects;
    int files = 0;
};

// Media files of distinct sizes (as real clips nearly always are), every tenth a byte-identical
// copy of the one before it. Files are sparse beyond a random 64-byte head, so 100,000 of them
// cost little disk; each project lists its own share of them. With TARNWICK_BENCH_WORKLOAD_DIR set,
// the files are made there once and reused by later runs (making them takes longer than the runs).
// `evenSizes`: the files that are read (each copy and its original) keep one size range whatever
// the count, so 4x the files are 4x the bytes read; otherwise every file is 1,024 bytes plus its
// number (the sizes, and the bytes the copies' hashing reads, grow with the count).
std::shared_ptr<Workload> makeWorkload(int projectCount, int fileCount, bool evenSizes = false) {
    auto w = std::make_shared<Workload>();
    w->files = fileCount;
    const QString kept = qEnvironmentVariable("TARNWICK_BENCH_WORKLOAD_DIR");
    w->root = kept.isEmpty() ? w->temporary.path()
                             : kept + QStringLiteral("/import-%1-%2%3")
                                          .arg(projectCount)
                                          .arg(fileCount)
                                          .arg(evenSizes ? QStringLiteral("-even") : QString());
    const QString done = w->root + QStringLiteral("/complete");
    for (int p = 0; p < projectCount; ++p)
        w->projects.append(
            QUrl::fromLocalFile(w->root + QStringLiteral("/projects/Project %1.prproj").arg(p)));
    if (QFile::exists(done))
        return w;
    QRandomGenerator random(7);
    QList<QStringList> perProject(projectCount);
    QByteArray head;
    qint64 size = 0;
    for (int i = 0; i < fileCount; ++i) {
        const QString folder = w->root + QStringLiteral("/media/Day %1").arg(i / 1000);
        if (i % 1000 == 0)
            QDir().mkpath(folder);
        if (i % 10 != 9) {
            head.resize(64);
            for (char& c : head)
                c = char(random.bounded(256));
            // Even sizes: originals of a copy 16 KiB plus their pair number, the others 4 MiB plus
            // their number (never read: no other file has their size).
            size = !evenSizes ? 1024 + qint64(i) : i % 10 == 8 ? 16384 + qint64(i / 10) : 4194304 + qint64(i);
        }
        const QString path = folder + QStringLiteral("/A%1_C%2.mov").arg(i / 1000, 3, 10, QChar('0')).arg(i);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(head);
            file.resize(size);
        }
        perProject[i % projectCount].append(path);
    }
    for (int p = 0; p < projectCount; ++p) {
        testing::ProjectGeneratorOptions options;
        options.mediaPaths = perProject[p];
        options.usedFraction = 0.5;
        options.seed = quint32(p + 1);
        const QString path = w->projects[p].toLocalFile();
        QDir().mkpath(QFileInfo(path).absolutePath());
        testing::ProjectGenerator::writeProject(path, testing::ProjectGenerator::generate(options).xml);
    }
    QFile marker(done);
    (void)marker.open(QIODevice::WriteOnly);
    return w;
}

constexpr int projectCount = 24;

const Workload& workload(int files, bool evenSizes = false) {
    static std::map<std::pair<int, bool>, std::shared_ptr<Workload>> made;
    auto& w = made[{files, evenSizes}];
    if (!w)
        w = bench::smokeMode() ? makeWorkload(2, files / 2500, evenSizes)
                               : makeWorkload(projectCount, files, evenSizes);
    return *w;
}

// TARNWICK_BENCH_IMPORT_FILES=400000 measures the growth from 100,000 to 400,000 files.
int fullSize() {
    bool ok = false;
    const int files = qEnvironmentVariableIntValue("TARNWICK_BENCH_IMPORT_FILES", &ok);
    return ok && files >= 4 ? files : 100000;
}

// The import's log lines with when they came (seconds since the import began) and the processor
// time the whole process had used by then.
struct StageLine {
    QString message;
    double at = 0;
    double cpu = 0;
};

struct ImportFacts {
    double seconds = 0;
    double cpu = 0;
    double similarSeconds = 0;
    QList<StageLine> stages;
};

class StageLog {
public:
    StageLog() {
        m_clock.start();
        m_cpu = bench::processCpuSeconds();
        AppLog::setSink([this](const AppLog::Record& r) {
            if (!r.message.startsWith(QStringLiteral("ℹ️ ⏱")))
                return;
            QMutexLocker lock(&m_mutex);
            m_lines.append(
                {r.message.mid(3), double(m_clock.nsecsElapsed()) / 1e9, bench::processCpuSeconds() - m_cpu});
        });
    }
    ~StageLog() {
        AppLog::setSink([](const AppLog::Record&) {});
    }
    QList<StageLine> lines() {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

private:
    QElapsedTimer m_clock;
    double m_cpu = 0;
    QMutex m_mutex;
    QList<StageLine> m_lines;
};

double stageSeconds(const QList<StageLine>& lines, const QString& name) {
    for (const StageLine& line : lines) {
        if (line.message.startsWith(QStringLiteral("⏱ ") + name + QLatin1Char(':')))
            return line.message.section(QLatin1Char(':'), 1)
                .trimmed()
                .section(QLatin1Char('s'), 0, 0)
                .toDouble();
    }
    return 0;
}

ImportFacts importInto(testing::ImportTestHarness& h, const Workload& w) {
    ImportFacts facts;
    StageLog log;
    const double cpu = bench::processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    h.importNow(w.projects);
    facts.seconds = double(timer.nsecsElapsed()) / 1e9;
    facts.cpu = bench::processCpuSeconds() - cpu;
    facts.stages = log.lines();
    facts.similarSeconds = stageSeconds(facts.stages, QStringLiteral("Similar files"));
    return facts;
}

ImportFacts importOnce(const Workload& w) {
    testing::ImportTestHarness h;
    return importInto(h, w);
}

struct ParseFacts {
    double seconds = 0;
    double cpu = 0;
};

ParseFacts parseOnce(const Workload& w) {
    AppLog::setSink([](const AppLog::Record&) {});
    const double cpu = bench::processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    {
        ParallelProjectParse parse(&ProjectImporter::parseWithProjectParser,
                                   parseWidth(QThread::idealThreadCount()));
        const QList<ParseOutcome> outcomes = QCoro::waitFor(parse.run(w.projects, {}));
        benchmark::DoNotOptimize(outcomes.size());
    }
    return {double(timer.nsecsElapsed()) / 1e9, bench::processCpuSeconds() - cpu};
}

void printStages(const ImportFacts& facts) {
    for (const StageLine& line : facts.stages)
        std::fprintf(stderr, "  %-58s at %5.2f s, cpu %5.2f s\n", qPrintable(line.message), line.at,
                     line.cpu);
    std::fprintf(stderr, "  import %.2f s, cpu %.2f s\n", facts.seconds, facts.cpu);
}

int pairCount() {
    return bench::smokeMode() ? 1 : 5;
}

// Parsing alone and the whole import, in interleaved pairs on the same projects: the ratio of each
// pair and the medians, similar names' share of the import, with the load average of each pair.
void BM_ImportOverParsePairs(benchmark::State& state) {
    const Workload& w = workload(fullSize());
    for (auto _ : state) {
        QList<double> parse, import, ratio, similarShare, load, cpuRatio;
        for (int p = 0; p < pairCount(); ++p) {
            load.append(bench::loadAverage());
            const ParseFacts parsed = parseOnce(w);
            parse.append(parsed.seconds);
            const ImportFacts facts = importOnce(w);
            import.append(facts.seconds);
            ratio.append(import.last() / parse.last());
            cpuRatio.append(facts.cpu / parsed.cpu);
            similarShare.append(facts.similarSeconds / facts.seconds);
            std::fprintf(
                stderr,
                "pair %d: parse %.2f s (cpu %.2f s), import %.2f s (cpu %.2f s), ratio %.2f, similar names "
                "%.1f%%, load %.1f\n",
                p + 1, parse.last(), parsed.cpu, import.last(), facts.cpu, ratio.last(),
                100 * similarShare.last(), load.last());
            if (p == 0)
                printStages(facts);
        }
        state.counters["parse_s"] = bench::median(parse);
        state.counters["import_s"] = bench::median(import);
        state.counters["ratio"] = bench::median(ratio);
        state.counters["cpu_ratio"] = bench::median(cpuRatio);
        state.counters["similar_share"] = bench::median(similarShare);
        state.counters["load"] = bench::median(load);
    }
}

// A quarter of the files (the same 24 projects, each listing a quarter as many) and all of them,
// in interleaved pairs: 4x the input within 4.4x the time. The files read keep one size range
// (evenSizes), so the bytes read grow with the count; parsing alone is timed alongside.
void BM_ImportGrowth(benchmark::State& state) {
    const Workload& quarter = workload(fullSize() / 4, true);
    const Workload& whole = workload(fullSize(), true);
    for (auto _ : state) {
        QList<double> small, large, smallParse, largeParse, load;
        for (int p = 0; p < pairCount(); ++p) {
            load.append(bench::loadAverage());
            smallParse.append(parseOnce(quarter).seconds);
            const ImportFacts a = importOnce(quarter);
            largeParse.append(parseOnce(whole).seconds);
            const ImportFacts b = importOnce(whole);
            small.append(a.seconds);
            large.append(b.seconds);
            if (p == 0) {
                printStages(a);
                printStages(b);
            }
            std::fprintf(
                stderr,
                "pair %d: %d files %.2f s (parse %.2f s), %d files %.2f s (parse %.2f s), load %.1f\n", p + 1,
                quarter.files, small.last(), smallParse.last(), whole.files, large.last(), largeParse.last(),
                load.last());
        }
        state.counters["quarter_s"] = bench::median(small);
        state.counters["whole_s"] = bench::median(large);
        state.counters["growth"] = bench::median(large) / std::max(bench::median(small), 1e-9);
        state.counters["parse_growth"] =
            bench::median(largeParse) / std::max(bench::median(smallParse), 1e-9);
        state.counters["load"] = bench::median(load);
    }
}

void BM_Import(benchmark::State& state) {
    const Workload& w = workload(fullSize());
    for (auto _ : state) {
        testing::ImportTestHarness h;
        const bench::StallMeter stalls;
        const ImportFacts facts = importInto(h, w);
        state.counters["import_s"] = facts.seconds;
        state.counters["cpu_s"] = facts.cpu;
        state.counters["media"] = double(h.pm().mediaFiles().size());
        state.counters["duplicates"] = double(h.pm().summary().duplicateFiles);
        state.counters["max_gui_stall_ms"] = double(stalls.longestMs());
        state.counters["max_gui_work_ms"] = stalls.longestWorkMs();
        state.counters["peak_MB"] = bench::statusMB("VmHWM");
        state.counters["load"] = bench::loadAverage();
        printStages(facts);
        for (const bench::StallMeter::Gap& gap : stalls.longGaps())
            std::fprintf(stderr, "  GUI thread held %lld ms (its own work %.0f ms), until %.2f s\n",
                         (long long)gap.ms, gap.workMs, gap.endedAt / 1e3);
    }
}

struct MemoryFacts {
    double rss = 0;
    double anon = 0;
    double heap = 0;
    int threads = 0;
};

// Lets the event loop run for a while (pools end their idle threads meanwhile).
void settle(int seconds) {
    if (bench::smokeMode())
        return;
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
}

MemoryFacts memoryNow() {
    memory::waitForReleases();
    QCoreApplication::processEvents();
    return {bench::statusMB("VmRSS"), bench::statusMB("RssAnon"), bench::liveHeapMB(), bench::threadCount()};
}

void printMemory(const char* when, const MemoryFacts& m) {
    std::fprintf(stderr, "%-34s resident %7.1f MB (anonymous %7.1f MB), live heap %7.1f MB, %3d threads\n",
                 when, m.rss, m.anon, m.heap, m.threads);
}

// One window's manager: an import, then three rounds of Clear All and the same import. Resident
// memory against the live heap after each step, the peaks, and the threads left once idle.
void BM_ImportMemoryCycles(benchmark::State& state) {
    const Workload& w = workload(fullSize());
    // Long enough for QThreadPool's idle threads (30 s unless a pool says otherwise).
    const int idleSeconds = qEnvironmentVariableIsSet("TARNWICK_BENCH_IDLE_SECONDS")
                                ? qEnvironmentVariableIntValue("TARNWICK_BENCH_IDLE_SECONDS")
                                : 35;
    for (auto _ : state) {
        testing::ImportTestHarness h;
        bench::resetPeak();
        importInto(h, w);
        const MemoryFacts first = memoryNow();
        const double firstPeak = bench::statusMB("VmHWM");
        printMemory("after the first import", first);
        MemoryFacts cleared;
        MemoryFacts last;
        double worstClearedRatio = 0;
        double worstImportRatio = first.anon / first.heap;
        for (int cycle = 1; cycle <= 3; ++cycle) {
            // A moment after the import, as a user's Clear All comes: idle pool threads have ended.
            settle(3);
            h.pm().clearAll();
            cleared = memoryNow();
            printMemory(qPrintable(QStringLiteral("after Clear All %1").arg(cycle)), cleared);
            if (const QString copy = qEnvironmentVariable("TARNWICK_BENCH_SMAPS"); !copy.isEmpty()) {
                QFile in(QStringLiteral("/proc/self/smaps"));
                QFile out(copy + QString::number(cycle));
                if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly))
                    out.write(in.readAll());
            }
            worstClearedRatio = std::max(worstClearedRatio, cleared.anon / cleared.heap);
            const double seconds = importInto(h, w).seconds;
            last = memoryNow();
            printMemory(
                qPrintable(QStringLiteral("after import %1 (%2 s)").arg(cycle + 1).arg(seconds, 0, 'f', 2)),
                last);
            worstImportRatio = std::max(worstImportRatio, last.anon / last.heap);
        }
        const double endPeak = bench::statusMB("VmHWM");
        h.pm().clearAll();
        settle(idleSeconds);
        memory::trimLater();
        const MemoryFacts resting = memoryNow();
        printMemory("cleared, idle", resting);
        const int restingThreads = resting.threads;
        state.counters["first_peak_MB"] = firstPeak;
        state.counters["end_peak_MB"] = endPeak;
        state.counters["end_over_first_peak"] = endPeak / firstPeak;
        state.counters["end_rss_over_first_peak"] = last.rss / firstPeak;
        state.counters["cleared_anon_over_heap"] = worstClearedRatio;
        state.counters["imported_anon_over_heap"] = worstImportRatio;
        state.counters["threads_after_import"] = last.threads;
        state.counters["threads_at_rest"] = restingThreads;
        state.counters["idle_s"] = idleSeconds;
        state.counters["resting_anon_MB"] = resting.anon;
        state.counters["resting_heap_MB"] = resting.heap;
    }
}

} // namespace

BENCHMARK(BM_ImportOverParsePairs)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportGrowth)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Import)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportMemoryCycles)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    memory::configureAllocator();
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
