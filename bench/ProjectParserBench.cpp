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
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace tarnwick;
using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;

namespace {

// Generated projects are cached between runs: the 500 MB one takes a while to write.
struct CachedProject {
    QString path;
    qint64 xmlBytes = 0;
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
    const QString sizeFile = path + QStringLiteral(".xmlsize");
    QFile size(sizeFile);
    if (QFileInfo::exists(path) && size.open(QIODevice::ReadOnly))
        return {path, size.readAll().trimmed().toLongLong()};
    ProjectGeneratorOptions o;
    o.targetXmlBytes = megabytes * 1000 * 1000;
    o.usedFraction = 0.4;
    o.sequenceCount = 12;
    o.nestedSequenceCount = 3;
    o.crlf = megabytes % 2 == 0; // both line ends across the sizes
    o.seed = static_cast<quint32>(megabytes);
    const QByteArray xml = ProjectGenerator::generate(o).xml;
    if (!ProjectGenerator::writeProject(path, xml))
        return {};
    if (size.open(QIODevice::WriteOnly | QIODevice::Truncate))
        size.write(QByteArray::number(xml.size()));
    return {path, xml.size()};
}

// Peak resident memory since the last reset, in bytes (Linux: VmHWM, reset through clear_refs).
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double peakMemoryMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void setCounters(benchmark::State& state, const CachedProject& p) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * p.xmlBytes);
    state.counters["xml_MB"] = double(p.xmlBytes) / 1e6;
    state.counters["file_MB"] = double(QFileInfo(p.path).size()) / 1e6;
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
        benchmark::DoNotOptimize(r->usedMediaPaths.size());
        state.PauseTiming();
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

void BM_GzipDecompressToNull(benchmark::State& state) {
    const CachedProject p = project(state.range(0));
    const std::string command = "gzip -dc '" + p.path.toStdString() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("gzip failed");
    }
    setCounters(state, p);
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
        benchmark::DoNotOptimize(testing::referenceParseXml(xml, p.path).usedMediaPaths.size());
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

double residentMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void BM_PathologicalParseMemory(benchmark::State& state) {
    qint64 xmlBytes = 0;
    const QString path = pathologicalProject(int(state.range(0)), state.range(1), xmlBytes);
    if (path.isEmpty()) {
        state.SkipWithError("could not write the project");
        return;
    }
    AppLog::setSink([](const AppLog::Record&) {});
    double extraMB = 0;
    for (auto _ : state) {
        readerPool().waitForDone();
        resetPeakMemory();
        const double before = residentMB();
        try {
            const ProjectParser::ParseResult r = ProjectParser().parse(path);
            benchmark::DoNotOptimize(r.allMediaPaths.size());
        } catch (const Error&) {
        }
        readerPool().waitForDone();
        extraMB = std::max(extraMB, peakMemoryMB() - before);
    }
    AppLog::setSink({});
    state.counters["xml_MB"] = double(xmlBytes) / 1048576.0;
    state.counters["peak_extra_MB"] = extraMB;
    state.counters["peak_per_xml"] = extraMB / (double(xmlBytes) / 1048576.0);
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
    state.counters["packed_MB"] = double(packed.size()) / 1048576.0;
    state.counters["limit_MB"] = double(limit) / 1048576.0;
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
