// The DaVinci Resolve CSV import as the window's command runs it (DaVinciCSVImport::importDaVinciCSV
// on the window's ProjectManager, which already holds 20 loaded projects), against a plain pass
// over the same file (lines read and split at commas, nothing kept). Each sample runs in a process
// of its own (this program started again, its allocator set up as the app's), so its time and peak
// resident memory are its own; median of interleaved pairs, with the load average. What the import
// keeps is read once the window would be idle: the list's sort keys back, the releases and the
// trim done.
#include "analysis/DaVinciCSVImport.h"
#include "analysis/ProjectManager.h"
#include "platform/MemoryRelease.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"
#include "support/BenchSupport.h"
#include "support/ProcessFacts.h"
#include "support/ResolveCSVRows.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace tarnwick;

namespace {

// One pair in the test build's smoke run, which only checks that it still runs.
int pairs() {
    return bench::smokeMode() ? 1 : 5;
}
constexpr int projectCount = 20;
constexpr int pathsPerProject = 500;

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString clipName(qint64 i) {
    return bench::resolveClipName(i);
}

QString rowsFile(qint64 rows) {
    return bench::resolveRowsFile(QDir(folder().path()), rows);
}

// The window's projects: each lists its own clips and, every fifth path, a clip the CSV names too.
QList<ProjectFile> loadedProjects() {
    QList<ProjectFile> projects;
    for (int p = 0; p < projectCount; ++p) {
        ProjectFile project;
        project.name = QStringLiteral("Show %1").arg(p);
        project.url = QUrl::fromLocalFile(QStringLiteral("/projects/show%1.prproj").arg(p));
        for (int i = 0; i < pathsPerProject; ++i) {
            const qint64 n = qint64(p) * pathsPerProject + i;
            const QString path = i % 5 == 0 ? QStringLiteral("/Volumes/Medi/") + clipName(n * 7)
                                            : QStringLiteral("/Volumes/Cut/P%1/").arg(p) + clipName(n);
            project.mediaFiles.append(path);
            project.usedFiles.append(path);
            project.usageCountByPath.insert(path, 1 + i % 3);
        }
        projects.append(project);
    }
    return projects;
}

struct Sample {
    double ms = 0;
    double peakMB = 0; // peak resident memory above what the process held before
    qint64 rows = 0;
    double keptMB = 0;     // resident memory still held once idle (the media list and its keys)
    double keptHeapMB = 0; // of which the allocator has handed out (the live heap)
};

// Until the list's sort keys are back from their worker (as the window waits before it sorts), then
// until the freed memory went back.
void settle(ProjectManager& pm) {
    QElapsedTimer clock;
    clock.start();
    const MediaSortOrder byName{{MediaSortKey::fileName, true}};
    while (!pm.canSortNow(byName) && clock.elapsed() < 120'000) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    memory::waitForReleases();
}

// The plain pass: every line read and split at its commas, nothing kept.
Sample plainPass(const QString& path) {
    Sample s;
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray line(1 << 16, Qt::Uninitialized);
    qint64 fields = 0;
    while (!file.atEnd()) {
        const qint64 n = file.readLine(line.data(), line.size());
        if (n <= 0)
            break;
        fields += QByteArrayView(line.constData(), n).count(',') + 1;
        ++s.rows;
    }
    benchmark::DoNotOptimize(fields);
    s.rows -= 1; // the header
    s.ms = double(clock.nsecsElapsed()) / 1e6;
    return s;
}

Sample managerImport(const QString& path) {
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(QStringLiteral("prefs.ini")));
    SequenceUsagePolicyStore policy(prefs);
    ProtectedFolders folders(dir.filePath(QStringLiteral("store")));
    AuditLogManager audit(dir.filePath(QStringLiteral("store")), nullptr);
    StatsManager stats(dir.filePath(QStringLiteral("store")));
    ProjectManagerServices services;
    services.sequencePolicy = &policy;
    services.protectedFolders = &folders;
    services.auditLog = &audit;
    services.statsManager = &stats;
    services.statusOptions = [](bool) { return FileStatusChecking::Options{}; };
    services.isSandboxed = [] { return false; };
    ProjectManager pm(std::move(services));
    pm.edit(ProjectManager::ListChange::none).setProjects(loadedProjects());
    QCoro::waitFor(pm.rebuildMediaFilesFromProjects());
    QCoreApplication::processEvents();

    settle(pm);
    bench::resetPeak();
    const double before = bench::statusMB("VmRSS");
    const double heapBefore = bench::liveHeapMB();
    Sample s;
    QElapsedTimer clock;
    clock.start();
    QCoro::waitFor(DaVinciCSVImport::importDaVinciCSV(pm, QUrl::fromLocalFile(path)));
    QCoreApplication::processEvents();
    s.ms = double(clock.nsecsElapsed()) / 1e6;
    settle(pm);
    s.peakMB = bench::statusMB("VmHWM") - before;
    s.keptMB = bench::statusMB("VmRSS") - before;
    s.keptHeapMB = bench::liveHeapMB() - heapBefore;
    s.rows = pm.prompts().lastDaVinciImport ? pm.prompts().lastDaVinciImport->totalDataRows : -1;
    return s;
}

// This program started again to take one sample: its output's last line is
// "ms peakMB rows keptMB keptHeapMB".
Sample measure(const QString& path, const char* what) {
    const QByteArray out = folder().filePath(QStringLiteral("sample.txt")).toLocal8Bit();
    const bench::ChildRun run = bench::runChild(
        {QCoreApplication::applicationFilePath().toLocal8Bit(), "--sample", what, path.toLocal8Bit()}, out);
    Sample s;
    QFile file(QString::fromLocal8Bit(out));
    if (run.exitCode != 0 || !file.open(QIODevice::ReadOnly))
        return s;
    // The app's log goes to the same output: the figures are its last line.
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    QTextStream(lines.last()) >> s.ms >> s.peakMB >> s.rows >> s.keptMB >> s.keptHeapMB;
    return s;
}

void BM_DaVinciImportRows(benchmark::State& state) {
    const QString path = rowsFile(state.range(0));
    const double fileMB = double(QFile(path).size()) / 1048576.0;
    for (auto _ : state) {
        std::vector<double> plainMs, importMs, plainPeak, importPeak, importKept, importHeap;
        for (int i = 0; i < pairs(); ++i) {
            const Sample plain = measure(path, "plain");
            const Sample import = measure(path, "import");
            if (plain.rows != state.range(0) || import.rows != state.range(0))
                state.SkipWithError("a sample did not read every row");
            plainMs.push_back(plain.ms);
            importMs.push_back(import.ms);
            plainPeak.push_back(plain.peakMB);
            importPeak.push_back(import.peakMB);
            importKept.push_back(import.keptMB);
            importHeap.push_back(import.keptHeapMB);
        }
        state.counters["file_MB"] = fileMB;
        state.counters["plain_ms"] = bench::median(plainMs);
        state.counters["import_ms"] = bench::median(importMs);
        state.counters["plain_peak_MB"] = bench::median(plainPeak);
        state.counters["import_peak_MB"] = bench::median(importPeak);
        state.counters["import_peak_per_file"] = bench::median(importPeak) / fileMB;
        state.counters["import_kept_MB"] = bench::median(importKept);
        state.counters["import_kept_heap_MB"] = bench::median(importHeap);
        state.counters["import_kept_B_per_row"] =
            bench::median(importHeap) * 1048576.0 / double(state.range(0));
        state.counters["load"] = bench::loadAverage();
    }
}

} // namespace

BENCHMARK(BM_DaVinciImportRows)
    ->Arg(bench::smokeMode() ? 2000 : 1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    memory::configureAllocator();
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--sample") == 0) {
        const QString path = QString::fromLocal8Bit(argv[3]);
        bench::resetPeak();
        const double before = bench::statusMB("VmRSS");
        Sample s = std::strcmp(argv[2], "plain") == 0 ? plainPass(path) : managerImport(path);
        if (s.peakMB == 0)
            s.peakMB = bench::statusMB("VmHWM") - before;
        QTextStream(stdout) << s.ms << ' ' << s.peakMB << ' ' << s.rows << ' ' << s.keptMB << ' '
                            << s.keptHeapMB << '\n';
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
