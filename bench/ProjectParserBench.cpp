#include "readers/ProjectParser.h"
#include "readers/PrprojDecompression.h"
#include "readers/ReaderTask.h"
#include "support/BenchSupport.h"

#include "platform/AppLog.h"
#include "platform/Error.h"
#include "support/ProjectGenerator.h"
#include "support/ReferenceProjectParser.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThreadPool>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace tarnwick;
using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;

namespace {

// Generated projects are cached between runs: the 500 MB one takes a while to write. What the
// reader must find in each is kept beside it, so a benchmark of a reader that went wrong fails.
struct CachedProject {
    QString path;
    qint64 xmlBytes = 0;
    qsizetype media = -1;
    qsizetype used = -1;
};

// A small project's hash names the cache, so files written by an earlier generator layout are not
// measured by mistake.
QString generatorFingerprint() {
    ProjectGeneratorOptions o;
    o.mediaCount = 20;
    return QString::number(qHash(ProjectGenerator::generate(o).xml, 0), 16);
}

CachedProject project(qint64 megabytes) {
    const QString folder = QDir::tempPath() + QStringLiteral("/tarnwick-bench-prproj");
    QDir().mkpath(folder);
    static const QString fingerprint = generatorFingerprint();
    const QString path = folder + QStringLiteral("/synthetic-%1MB-%2.prproj").arg(megabytes).arg(fingerprint);
    const QString sizeFile = path + QStringLiteral(".expected");
    QFile size(sizeFile);
    if (QFileInfo::exists(path) && size.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> f = size.readAll().trimmed().split(' ');
        if (f.size() == 3)
            return {path, f[0].toLongLong(), f[1].toLongLong(), f[2].toLongLong()};
        size.close();
    }
    ProjectGeneratorOptions o;
    o.targetXmlBytes = megabytes * 1000 * 1000;
    o.usedFraction = 0.4;
    o.sequenceCount = 12;
    o.nestedSequenceCount = 3;
    o.crlf = megabytes % 2 == 0; // both line ends across the sizes
    o.seed = static_cast<quint32>(megabytes);
    const testing::GeneratedProject g = ProjectGenerator::generate(o);
    if (!ProjectGenerator::writeProject(path, g.xml))
        return {};
    if (size.open(QIODevice::WriteOnly | QIODevice::Truncate))
        size.write(QByteArray::number(g.xml.size()) + ' ' + QByteArray::number(g.mediaPaths.size()) + ' ' +
                   QByteArray::number(g.usedPaths.size()));
    return {path, g.xml.size(), g.mediaPaths.size(), g.usedPaths.size()};
}

// The parse found what the generator put in: a reader that lost media cannot pass for a fast one.
bool parsedWhatWasWritten(benchmark::State& state, const CachedProject& p,
                          const ProjectParser::ParseResult& r) {
    if (r.allMediaPaths.size() == p.media && r.usedMediaPaths.size() == p.used)
        return true;
    state.SkipWithError(("parsed " + std::to_string(r.allMediaPaths.size()) + " media / " +
                         std::to_string(r.usedMediaPaths.size()) + " used, the project has " +
                         std::to_string(p.media) + " / " + std::to_string(p.used))
                            .c_str());
    return false;
}

// Every memory figure here is in MB of 10^6 bytes, the unit of the XML sizes they are compared
// with; the kernel reports KiB.
constexpr double bytesPerMB = 1e6;
double kibToMB(double kib) {
    return kib * 1024.0 / bytesPerMB;
}

// Peak resident memory since the last reset (Linux: VmHWM, reset through clear_refs).
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double peakMemoryMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return kibToMB(std::stod(line.substr(6)));
    }
    return 0;
}

double residentMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return kibToMB(std::stod(line.substr(6)));
    }
    return 0;
}

void setCounters(benchmark::State& state, const CachedProject& p) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * p.xmlBytes);
    state.counters["xml_MB"] = double(p.xmlBytes) / bytesPerMB;
    state.counters["file_MB"] = double(QFileInfo(p.path).size()) / bytesPerMB;
}

void BM_ProjectParse(benchmark::State& state) {
    const CachedProject p = project(state.range(0));
    if (p.path.isEmpty()) {
        state.SkipWithError("could not write the project");
        return;
    }
    AppLog::setSink([](const AppLog::Record&) {});
    resetPeakMemory();
    // The result is freed outside the timed part (the caller keeps it); that time is a counter.
    double freeMs = 0;
    for (auto _ : state) {
        std::optional<ProjectParser::ParseResult> r = ProjectParser().parse(p.path);
        state.PauseTiming();
        if (!parsedWhatWasWritten(state, p, *r))
            break;
        QElapsedTimer timer;
        timer.start();
        r.reset();
        freeMs += double(timer.nsecsElapsed()) / 1e6;
        // Large projects free their scan tables on a pool thread after the result is handed over;
        // that ends before the next parse, so the peak is one parse's.
        readerPool().waitForDone();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MB"] = peakMemoryMB();
    state.counters["result_free_ms"] = freeMs / double(state.iterations());
    AppLog::setSink({});
    setCounters(state, p);
}

// One child process: its wall time, CPU time (user + system, its threads and children included),
// and peak resident memory.
struct ChildRun {
    double wallMs = 0;
    double cpuMs = 0;
    double peakMB = 0;
    bool ok = false;
    std::string out; // what it printed
};

double ms(const timeval& t) {
    return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
}

ChildRun runChild(const std::vector<std::string>& argv, bool captureOut) {
    ChildRun run;
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureOut && ::pipe(pipeFds) == 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0)
        ::close(pipeFds[1]);
    if (rc != 0) {
        if (pipeFds[0] >= 0)
            ::close(pipeFds[0]);
        return run;
    }
    if (pipeFds[0] >= 0) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
            run.out.append(buf, std::size_t(n));
        ::close(pipeFds[0]);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.wallMs = double(timer.nsecsElapsed()) / 1e6;
    run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    run.peakMB = kibToMB(double(usage.ru_maxrss));
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

std::string selfPath() {
    return QCoreApplication::applicationFilePath().toStdString();
}

void BM_GzipDecompressToNull(benchmark::State& state) {
    const CachedProject p = project(state.range(0));
    for (auto _ : state) {
        if (!runChild({"gzip", "-dc", p.path.toStdString()}, false).ok)
            state.SkipWithError("gzip failed");
    }
    setCounters(state, p);
}

// The parse in a process of its own (`--parse-once FILE`), which prints the parse's wall time, its
// CPU time up to the end of the reader's own background freeing, its peak resident memory and the
// memory the process held just before it.
int parseOnce(const char* file) {
    AppLog::setSink([](const AppLog::Record&) {});
    const QString path = QString::fromLocal8Bit(file);
    const double before = residentMB();
    rusage u0{};
    ::getrusage(RUSAGE_SELF, &u0);
    QElapsedTimer timer;
    timer.start();
    std::optional<ProjectParser::ParseResult> r;
    try {
        r = ProjectParser().parse(path);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.description().toLocal8Bit().constData());
        return 1;
    }
    const double wall = double(timer.nsecsElapsed()) / 1e6;
    readerPool().waitForDone();
    rusage u1{};
    ::getrusage(RUSAGE_SELF, &u1);
    const double cpu = ms(u1.ru_utime) + ms(u1.ru_stime) - ms(u0.ru_utime) - ms(u0.ru_stime);
    std::printf("%.3f %.3f %.3f %.3f %lld %lld\n", wall, cpu, peakMemoryMB(), before,
                static_cast<long long>(r->allMediaPaths.size()),
                static_cast<long long>(r->usedMediaPaths.size()));
    return 0;
}

// The goal figures: the parse against `gzip -dc FILE > /dev/null` on the same file, as interleaved
// pairs of child processes (gzip, then the parse), so both see the same load. Medians of the pairs;
// the ratios are taken per pair. "busy" is set by `scripts/bench --busy`, which keeps every core busy.
void BM_ParseAgainstGzip(benchmark::State& state) {
    const CachedProject p = project(state.range(0));
    if (p.path.isEmpty()) {
        state.SkipWithError("could not write the project");
        return;
    }
    std::vector<double> parseWall, gzipWall, parseCpu, gzipCpu, wallRatio, cpuRatio, peak, above, loads;
    for (auto _ : state) {
        loads.push_back(bench::loadAverage());
        const ChildRun gz = runChild({"gzip", "-dc", p.path.toStdString()}, false);
        const ChildRun parse = runChild({selfPath(), "--parse-once", p.path.toStdString()}, true);
        double wall = 0, cpu = 0, peakMB = 0, beforeMB = 0;
        long long media = -1, used = -1;
        if (!gz.ok || !parse.ok ||
            std::sscanf(parse.out.c_str(), "%lf %lf %lf %lf %lld %lld", &wall, &cpu, &peakMB, &beforeMB,
                        &media, &used) != 6) {
            state.SkipWithError("a child failed");
            return;
        }
        if (media != p.media || used != p.used) {
            state.SkipWithError("the parse did not find what the project holds");
            return;
        }
        state.SetIterationTime(wall / 1e3);
        parseWall.push_back(wall);
        gzipWall.push_back(gz.wallMs);
        parseCpu.push_back(cpu);
        gzipCpu.push_back(gz.cpuMs);
        wallRatio.push_back(wall / gz.wallMs);
        cpuRatio.push_back(cpu / gz.cpuMs);
        peak.push_back(peakMB);
        above.push_back(peakMB - beforeMB);
    }
    const double xmlMB = double(p.xmlBytes) / bytesPerMB;
    state.counters["parse_ms"] = bench::median(parseWall);
    state.counters["gzip_ms"] = bench::median(gzipWall);
    state.counters["wall_ratio"] = bench::median(wallRatio);
    state.counters["parse_cpu_ms"] = bench::median(parseCpu);
    state.counters["gzip_cpu_ms"] = bench::median(gzipCpu);
    state.counters["cpu_ratio"] = bench::median(cpuRatio);
    state.counters["peak_MB"] = bench::median(peak);
    state.counters["peak_per_xml"] = bench::median(peak) / xmlMB;
    state.counters["above_start_per_xml"] = bench::median(above) / xmlMB;
    state.counters["load"] = bench::median(loads);
    state.counters["xml_MB"] = xmlMB;
    state.SetLabel(qEnvironmentVariableIntValue("TARNWICK_BENCH_BUSY") == 1 ? "busy" : "as found");
}

void BM_InflateOnly(benchmark::State& state) {
    const CachedProject p = project(state.range(0));
    QFile f(p.path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = f.readAll();
    const auto engine = state.range(1) == 0 ? prproj::InflateEngine::fastest : prproj::InflateEngine::zlib;
    for (auto _ : state) {
        const std::optional<QByteArray> xml = prproj::decompressProjectData(data, engine);
        if (!xml) {
            state.SkipWithError("decompression failed");
            break;
        }
        benchmark::DoNotOptimize(xml->size());
    }
    state.SetLabel(state.range(1) == 0 ? "libdeflate" : "zlib");
    setCounters(state, p);
}

void BM_ReferenceParse(benchmark::State& state) {
    const CachedProject p = project(state.range(0));
    AppLog::setSink([](const AppLog::Record&) {});
    for (auto _ : state) {
        const QString xml = ProjectParser().readAndDecompress(p.path);
        benchmark::DoNotOptimize(testing::referenceReading(xml).usedMediaPaths.size());
    }
    AppLog::setSink({});
    setCounters(state, p);
}

// Hostile inputs: one line repeated until the text reaches the size, and a gzip bomb. The reader's
// peak memory above what the process held before the parse is compared with the text's size.
const std::vector<QByteArray>& repeatedLines() {
    static const std::vector<QByteArray> lines = {
        "<ActualMediaFilePath>/Volumes/Media/Day 1/clip.mov</ActualMediaFilePath>\n",
        "<Media ObjectUID=\"m1\"><ActualMediaFilePath>/V/a.mov</ActualMediaFilePath></Media>\n",
        "<MasterClip ObjectUID=\"mc1\"><Name>x</Name></MasterClip>\n",
        "<TrackItem Index=\"0\" ObjectRef=\"40\"/>\n",
        "<Name>x</Name>\n",
        "\n",
        "x", // one single line without a break
    };
    return lines;
}

QString pathologicalProject(int kind, qint64 megabytes, qint64& xmlBytes) {
    const QString folder = QDir::tempPath() + QStringLiteral("/tarnwick-bench-prproj");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/repeated-%1-%2MB.prproj").arg(kind).arg(megabytes);
    QByteArray xml =
        QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<PremiereData Version=\"3\">\n");
    const QByteArray& line = repeatedLines()[std::size_t(kind)];
    const qint64 target = megabytes << 20;
    xml.reserve(target + line.size());
    while (xml.size() < target)
        xml.append(line);
    xmlBytes = xml.size();
    if (!QFileInfo::exists(path) && !ProjectGenerator::writeProject(path, xml))
        return {};
    return path;
}

void BM_PathologicalParseMemory(benchmark::State& state) {
    qint64 xmlBytes = 0;
    const QString path = pathologicalProject(int(state.range(0)), state.range(1), xmlBytes);
    if (path.isEmpty()) {
        state.SkipWithError("could not write the project");
        return;
    }
    AppLog::setSink([](const AppLog::Record&) {});
    // The lines a project never holds so many of are refused; the others are read.
    const QByteArray& line = repeatedLines()[std::size_t(state.range(0))];
    const bool refusable = line.startsWith("<TrackItem") || line.startsWith("<Name>");
    double extraMB = 0;
    for (auto _ : state) {
        readerPool().waitForDone();
        resetPeakMemory();
        const double before = residentMB();
        bool refused = false;
        try {
            const ProjectParser::ParseResult r = ProjectParser().parse(path);
            benchmark::DoNotOptimize(r.allMediaPaths.size());
        } catch (const Error&) {
            refused = true;
        }
        readerPool().waitForDone();
        extraMB = std::max(extraMB, peakMemoryMB() - before);
        if (refused != refusable && !bench::smokeMode())
            state.SkipWithError(refused ? "a readable text was refused"
                                        : "a text of only marked lines was read");
    }
    AppLog::setSink({});
    const double perXml = extraMB / (double(xmlBytes) / bytesPerMB);
    state.counters["xml_MB"] = double(xmlBytes) / bytesPerMB;
    state.counters["peak_extra_MB"] = extraMB;
    state.counters["peak_per_xml"] = perXml;
    // The point of the reader's limits: a few times the text at most, whatever the text.
    if (!bench::smokeMode() && perXml > 3)
        state.SkipWithError("the reader's peak went past 3 times the text");
    state.SetLabel(
        QString::fromLatin1(repeatedLines()[std::size_t(state.range(0))].left(24)).trimmed().toStdString());
}

// A gzip member of zeros far beyond the cap, and one just below a test limit: the bomb is refused
// while inflating, so its peak stays near the cap instead of the claimed size.
void BM_GzipBombMemory(benchmark::State& state) {
    const qint64 inflated = state.range(0) << 20;
    const QByteArray packed = ProjectGenerator::gzip(QByteArray(inflated, '\0'), 9);
    const qint64 limit = inflated / 4;
    double extraMB = 0;
    for (auto _ : state) {
        resetPeakMemory();
        const double before = residentMB();
        bool over = false;
        benchmark::DoNotOptimize(
            prproj::decompressProjectData(packed, prproj::InflateEngine::fastest, limit, &over));
        if (!over)
            state.SkipWithError("the bomb was not refused");
        extraMB = std::max(extraMB, peakMemoryMB() - before);
    }
    state.counters["packed_MB"] = double(packed.size()) / bytesPerMB;
    state.counters["limit_MB"] = double(limit) / bytesPerMB;
    state.counters["peak_extra_MB"] = extraMB;
}

void sizes(benchmark::internal::Benchmark* b, bool withLargest) {
    b->Arg(5);
    if (!bench::smokeMode()) {
        b->Arg(100);
        if (withLargest)
            b->Arg(500);
        b->MinTime(2.0); // several runs of the large sizes
    }
}

} // namespace

BENCHMARK(BM_ProjectParse)
    ->Apply([](auto* b) { sizes(b, true); }) -> Unit(benchmark::kMillisecond) -> UseRealTime();
BENCHMARK(BM_GzipDecompressToNull)
    ->Apply([](auto* b) { sizes(b, true); }) -> Unit(benchmark::kMillisecond) -> UseRealTime();
BENCHMARK(BM_ParseAgainstGzip)
    ->Apply([](auto* b) {
        b->Arg(5);
        if (!bench::smokeMode()) {
            for (int64_t mb : {100, 400, 500})
                b->Arg(mb);
        }
        b->Iterations(bench::smokeMode() ? 1 : 7);
    }) -> Unit(benchmark::kMillisecond) -> UseManualTime();
BENCHMARK(BM_InflateOnly)
    ->Apply([](auto* b) {
        const std::vector<int64_t> megabytes =
            bench::smokeMode() ? std::vector<int64_t>{5} : std::vector<int64_t>{5, 100, 500};
        for (int64_t mb : megabytes)
            for (int64_t engine : {0, 1})
                b->Args({mb, engine});
        if (!bench::smokeMode())
            b->MinTime(2.0);
    }) -> Unit(benchmark::kMillisecond) -> UseRealTime();
BENCHMARK(BM_ReferenceParse)
    ->Apply([](auto* b) { sizes(b, false); }) -> Unit(benchmark::kMillisecond) -> UseRealTime();

BENCHMARK(BM_PathologicalParseMemory)
    ->Apply([](auto* b) {
        for (int64_t kind = 0; kind < int64_t(repeatedLines().size()); ++kind)
            b->Args({kind, bench::smokeMode() ? 1 : 256});
        b->Iterations(1);
    }) -> Unit(benchmark::kMillisecond) -> UseRealTime();
BENCHMARK(BM_GzipBombMemory)
    ->Apply([](auto* b) {
        b->Arg(bench::smokeMode() ? 4 : 2048);
        b->Iterations(1);
    }) -> Unit(benchmark::kMillisecond) -> UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--parse-once") == 0)
        return parseOnce(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
