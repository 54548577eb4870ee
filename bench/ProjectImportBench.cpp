// The whole import of 20 generated projects referencing 100,000 files on the local disk (a tenth
// of them byte-identical copies), against reading the same 20 projects alone on the same pool.
// Reports each stage's timing line, the longest the GUI thread went without processing events
// (a 10 ms timer), and the process's peak memory.
#include "analysis/ImportProgress.h"
#include "analysis/ParallelProjectParse.h"
#include "analysis/ProjectImporter.h"
#include "support/BenchSupport.h"
#include "support/ImportTestHarness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
std::shared_ptr<Workload> makeWorkload(int projectCount, int fileCount) {
    auto w = std::make_shared<Workload>();
    w->files = fileCount;
    const QString kept = qEnvironmentVariable("TARNWICK_BENCH_WORKLOAD_DIR");
    w->root = kept.isEmpty() ? w->temporary.path()
                             : kept + QStringLiteral("/import-%1-%2").arg(projectCount).arg(fileCount);
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
            size = 1024 + qint64(i);
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

const Workload& workload() {
    static std::shared_ptr<Workload> made =
        bench::smokeMode() ? makeWorkload(2, 40) : makeWorkload(24, 100000);
    return *made;
}

double peakMemoryMB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression hwm(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    const auto match = hwm.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : 0;
}

// The longest gap between two ticks of a 10 ms timer while something runs on this thread.
class StallMeter {
public:
    StallMeter() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return std::max(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

double g_parseSeconds = 0;

void BM_ParseOnly(benchmark::State& state) {
    const Workload& w = workload();
    AppLog::setSink([](const AppLog::Record&) {});
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        ParallelProjectParse parse(&ProjectImporter::parseWithProjectParser,
                                   parseWidth(QThread::idealThreadCount()));
        const QList<ParseOutcome> outcomes = QCoro::waitFor(parse.run(w.projects, {}));
        g_parseSeconds = timer.nsecsElapsed() / 1e9;
        benchmark::DoNotOptimize(outcomes.size());
    }
    AppLog::setSink({});
    state.counters["projects"] = double(w.projects.size());
}

void BM_Import(benchmark::State& state) {
    const Workload& w = workload();
    for (auto _ : state) {
        testing::ImportTestHarness h;
        const StallMeter stalls;
        QElapsedTimer timer;
        timer.start();
        h.importNow(w.projects);
        const double seconds = timer.nsecsElapsed() / 1e9;
        state.counters["media"] = double(h.pm().mediaFiles().size());
        state.counters["duplicates"] = double(h.pm().summary().duplicateFiles);
        state.counters["max_gui_stall_ms"] = double(stalls.longestMs());
        state.counters["peak_MB"] = peakMemoryMB();
        if (g_parseSeconds > 0)
            state.counters["import_over_parse"] = seconds / g_parseSeconds;
        for (const QString& line : h.logLinesStartingWith(QStringLiteral("⏱ ")))
            std::fprintf(stderr, "%s\n", qPrintable(line));
        // The manager's own steps at the end of the import run on the GUI thread; time each once more.
        const auto time = [](const std::function<void()>& step) {
            QElapsedTimer t;
            t.start();
            step();
            return double(t.nsecsElapsed()) / 1e6;
        };
        state.counters["gui_protect_ms"] = time([&] { h.pm().refreshProtectedFlags(); });
        state.counters["gui_recount_ms"] = time([&] { h.pm().recomputeUsageCounts(); });
        state.counters["gui_summary_ms"] = time([&] { h.pm().updateSummary(); });
    }
}

// Parsing alone and the whole import, in interleaved pairs on the same projects: the ratio of each
// pair and the medians, with the load average when each pair started.
void BM_ImportOverParsePairs(benchmark::State& state) {
    const Workload& w = workload();
    const int pairs = bench::smokeMode() ? 1 : 5;
    for (auto _ : state) {
        QList<double> parse, import, ratio, load;
        for (int p = 0; p < pairs; ++p) {
            load.append(bench::loadAverage());
            AppLog::setSink([](const AppLog::Record&) {});
            QElapsedTimer timer;
            timer.start();
            {
                ParallelProjectParse parsing(&ProjectImporter::parseWithProjectParser,
                                             parseWidth(QThread::idealThreadCount()));
                const QList<ParseOutcome> outcomes = QCoro::waitFor(parsing.run(w.projects, {}));
                benchmark::DoNotOptimize(outcomes.size());
            }
            parse.append(double(timer.nsecsElapsed()) / 1e9);
            AppLog::setSink({});
            {
                testing::ImportTestHarness h;
                timer.restart();
                h.importNow(w.projects);
                import.append(double(timer.nsecsElapsed()) / 1e9);
                if (p == 0) {
                    for (const QString& line : h.logLinesStartingWith(QStringLiteral("⏱ ")))
                        std::fprintf(stderr, "%s\n", qPrintable(line));
                }
            }
            ratio.append(import.last() / parse.last());
            std::fprintf(stderr, "pair %d: parse %.2f s, import %.2f s, ratio %.2f, load %.1f\n", p + 1,
                         parse.last(), import.last(), ratio.last(), load.last());
        }
        state.counters["parse_median_s"] = bench::median(parse);
        state.counters["import_median_s"] = bench::median(import);
        state.counters["ratio_median"] = bench::median(ratio);
        state.counters["load_median"] = bench::median(load);
    }
}

} // namespace

BENCHMARK(BM_ImportOverParsePairs)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseOnly)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Import)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
