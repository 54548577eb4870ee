// Reading a DaVinci Resolve CSV: 1,000,000 clip rows (34 MB), and one row with a 100 MB cell in a
// column nobody reads or in the File Name column. The streaming reader against the whole-file
// reading it replaced (read the file into memory, decode it into one string, split it into records
// of every cell), each sample in a child process of its own so its peak resident memory is its
// own; median of interleaved pairs, with the load average.
#include "readers/ResolveCSV.h"

#include "support/BenchSupport.h"
#include "support/ReferenceResolveCSV.h"
#include "support/ResolveCSVRows.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int pairs = 5;

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString rowsFile(qint64 rows) {
    return bench::resolveRowsFile(QDir(folder().path()), rows);
}

// One row whose cell in `column` (0: "Reel", read by nobody; 1: "File Name") holds `megabytes` MB.
QString hugeCellFile(qint64 megabytes, int column) {
    const QString path = folder().filePath(QStringLiteral("cell-%1-%2.csv").arg(megabytes).arg(column));
    if (QFile::exists(path))
        return path;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(column == 0 ? "Reel,File Name,Clip Directory\n\"" : "Reel,File Name,Clip Directory\nA,\"");
    const QByteArray block(1000000, 'x');
    for (qint64 i = 0; i < megabytes; ++i)
        file.write(block);
    file.write(column == 0 ? "\",a.mov,/V\n" : "\",/V\n");
    return path;
}

double residentMB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::string(field).size())) / 1024.0;
    }
    return 0;
}

struct Sample {
    double ms = 0;
    double peakMB = 0; // resident memory above what the process held before reading
    qint64 rows = 0;
};

// Reads `path` in a child process: the whole-file way, or streaming.
Sample measure(const QString& path, bool streaming) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::ofstream("/proc/self/clear_refs") << "5";
        const double before = residentMB("VmRSS:");
        Sample s;
        QElapsedTimer clock;
        clock.start();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        try {
            const ResolveCSVParse parse = streaming
                                              ? ResolveCSV::parse(file)
                                              : tarnwick::testing::referenceParseResolveCSV(file.readAll());
            s.rows = parse.rows.size() + parse.skipped.size();
        } catch (const ResolveCSVError&) {
            s.rows = -1;
        }
        s.ms = double(clock.nsecsElapsed()) / 1e6;
        s.peakMB = residentMB("VmHWM:") - before;
        [[maybe_unused]] const ssize_t written = ::write(channel[1], &s, sizeof s);
        ::_exit(0);
    }
    ::close(channel[1]);
    Sample s;
    if (::read(channel[0], &s, sizeof s) != ssize_t(sizeof s))
        s = {};
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    return s;
}

void compare(benchmark::State& state, const QString& path) {
    const double fileMB = double(QFile(path).size()) / 1048576.0;
    for (auto _ : state) {
        std::vector<double> oldMs, newMs, oldPeak, newPeak;
        qint64 rows = 0;
        for (int i = 0; i < pairs; ++i) {
            const Sample before = measure(path, false);
            const Sample after = measure(path, true);
            if (before.rows != after.rows)
                state.SkipWithError("the two readings disagree");
            rows = after.rows;
            oldMs.push_back(before.ms);
            newMs.push_back(after.ms);
            oldPeak.push_back(before.peakMB);
            newPeak.push_back(after.peakMB);
        }
        state.counters["rows"] = double(rows);
        state.counters["file_MB"] = fileMB;
        state.counters["whole_ms"] = bench::median(oldMs);
        state.counters["stream_ms"] = bench::median(newMs);
        state.counters["whole_peak_MB"] = bench::median(oldPeak);
        state.counters["stream_peak_MB"] = bench::median(newPeak);
        state.counters["stream_peak_per_file"] = bench::median(newPeak) / fileMB;
        state.counters["load"] = bench::loadAverage();
    }
}

void BM_ResolveCSVRows(benchmark::State& state) {
    compare(state, rowsFile(state.range(0)));
}

void BM_ResolveCSVHugeCell(benchmark::State& state) {
    compare(state, hugeCellFile(state.range(0), int(state.range(1))));
}

} // namespace

BENCHMARK(BM_ResolveCSVRows)
    ->Arg(bench::smokeMode() ? 10000 : 1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ResolveCSVHugeCell)
    ->Args({bench::smokeMode() ? 1 : 100, 0})
    ->Args({bench::smokeMode() ? 1 : 100, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
