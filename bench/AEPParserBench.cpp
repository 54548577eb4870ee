// After Effects project scan: a synthetic RIFX with nested lists and UTF-8/UTF-16 paths, parsed
// from disk and compared with `cat FILE > /dev/null` over the same file in the same run; plus an
// adversarial block of UTF-16 slash units that must scan in linear time; plus runs of Devanagari and
// Thai text full of slashes and ASCII letters (scripts clustered by rules of their own) against the
// same size of Cyrillic runs, timed in interleaved pairs.
#include "platform/AppLog.h"
#include "readers/AEPParser.h"
#include "support/AEPRifxBuilder.h"
#include "support/BenchSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::aeptest;

namespace {

struct Random {
    quint64 state = 0x9E3779B97F4A7C15ull;
    quint64 next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

// Binary item data like a project's: mostly zeros, the rest arbitrary bytes.
QByteArray binaryPayload(Random& rng, int size) {
    QByteArray out(size, '\0');
    for (int k = 0; k < size; ++k) {
        const quint64 r = rng.next();
        if (r % 10 < 4)
            out[k] = static_cast<char>(r >> 24);
    }
    return out;
}

// Every item has a name; one in `pathEvery` carries footage paths, in three forms.
QByteArray footageItem(Random& rng, quint64 index, quint64 pathEvery) {
    const QByteArray name = "clip_" + QByteArray::number(index);
    QByteArray item = chunk("idta", binaryPayload(rng, 200 + static_cast<int>(rng.next() % 1800)));
    item += chunk("Utf8", name + ".mov");
    if (index % pathEvery != 0)
        return list("Item", item + list("Sub ", chunk("tdb4", binaryPayload(rng, 96))));
    index /= pathEvery;
    if (index % 5 == 0)
        item +=
            chunk("Utf8", "/Volumes/Media/Project " + QByteArray::number(index % 97) + "/" + name + ".mov");
    if (index % 7 == 0)
        item += chunk("alas", "{\"fullpath\":\"/Users/editor/Footage/Day " + QByteArray::number(index % 13) +
                                  "/" + name + ".mxf\",\"platform\":2}");
    if (index % 11 == 0) {
        const QString path = QStringLiteral("/Volumes/Média/Séquence %1/%2.wav")
                                 .arg(index % 17)
                                 .arg(QString::fromLatin1(name));
        item += chunk("fnam", utf16BE(path) + QByteArray(2, '\0'));
    }
    item += list("Sub ", chunk("tdb4", binaryPayload(rng, 96)) + chunk("cdat", binaryPayload(rng, 64)));
    return list("Item", item);
}

QByteArray syntheticProject(qint64 targetBytes, quint64 pathEvery) {
    Random rng;
    QByteArray content;
    content.reserve(targetBytes + 65536);
    quint64 index = 0;
    while (content.size() < targetBytes) {
        QByteArray folder;
        for (int k = 0; k < 200 && content.size() + folder.size() < targetBytes; ++k)
            folder += footageItem(rng, index++, pathEvery);
        content += list("Fold", folder);
    }
    return rifx(content) + "<?xpacket begin=\"\"?><x:xmpmeta/><?xpacket end=\"w\"?>";
}

// One synthetic project file per size and path density, written once for the whole run.
const QString& projectFile(const benchmark::State& state) {
    static QTemporaryDir dir;
    static std::map<std::pair<qint64, qint64>, QString> files;
    const std::pair<qint64, qint64> key{state.range(0), state.range(1)};
    auto it = files.find(key);
    if (it == files.end()) {
        const QString path =
            dir.filePath(QStringLiteral("synthetic-%1-%2.aep").arg(key.first).arg(key.second));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(syntheticProject(key.first, static_cast<quint64>(key.second))) < 0)
            std::abort();
        it = files.emplace(key, path).first;
    }
    return it->second;
}

void BM_AEPParseFile(benchmark::State& state) {
    const QString& path = projectFile(state);
    const qint64 size = QFile(path).size();
    qint64 found = 0;
    for (auto _ : state) {
        AEPParser parser;
        found = parser.parse(path).footagePaths.size();
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["paths"] = static_cast<double>(found);
}

// The read alone, as the shell does it: the floor the parse is measured against.
void BM_CatFile(benchmark::State& state) {
    const QString& path = projectFile(state);
    const qint64 size = QFile(path).size();
    const QByteArray command = "cat '" + QFile::encodeName(path) + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.constData()) != 0)
            state.SkipWithError("cat failed");
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void BM_AEPScanInMemory(benchmark::State& state) {
    QFile file(projectFile(state));
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray bytes = file.readAll();
    for (auto _ : state) {
        AEPParser parser;
        QSet<QString> found;
        parser.walkChunks(bytes, 12, bytes.size(), found, 0);
        found.unite(parser.extractPaths(bytes));
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

// Long runs of UTF-16 slash units: every unit starts a candidate.
void BM_AEPSlashBlock(benchmark::State& state) {
    QByteArray block;
    block.reserve(state.range(0));
    while (block.size() < state.range(0))
        block.append("\0/", 2);
    for (auto _ : state) {
        QSet<QString> found;
        AEPParser::scanUTF16BEPaths(block, found);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * block.size());
}

// Runs of one script at the run limit, each tail start ("/", "\\", a drive letter) a few characters
// after the last: UTF-16 runs ended by a 0 unit, then UTF-8 lines whose tails follow tabs.
QByteArray scriptRuns(const QStringList& pieces, qint64 targetBytes) {
    Random rng;
    QByteArray out;
    while (out.size() < targetBytes / 2) {
        QString run;
        while (run.size() < AEPParser::runLimit / 2 - 16)
            run += pieces[static_cast<qsizetype>(rng.next() % static_cast<quint64>(pieces.size()))];
        out += utf16BE(run + QStringLiteral("a.mov")) + QByteArray(2, '\0');
    }
    while (out.size() < targetBytes) {
        QByteArray line;
        while (line.size() < AEPParser::runLimit - 32) {
            const QString& piece =
                pieces[static_cast<qsizetype>(rng.next() % static_cast<quint64>(pieces.size()))];
            line += piece == u"/" ? QByteArray("\t/") : piece.toUtf8();
        }
        out += line + "a.mov\n";
    }
    return out;
}

const QByteArray& scriptFile(int script, qint64 size) {
    static std::map<std::pair<int, qint64>, QByteArray> files;
    auto it = files.find({script, size});
    if (it != files.end())
        return it->second;
    static const QStringList cyrillic{"/", "/",      "\\\\",   "D:",     "a",
                                      "Z", "\u041F", "\u0430", "\u0439", "\u0451"};
    static const QStringList devanagari{"/",      "/",      "\\\\",   "D:",     "a",      "Z",
                                        "\u0915", "\u093F", "\u094D", "\u0937", "\u0902", "\u200D"};
    static const QStringList thai{"/", "/", "\\\\", "D:", "a", "Z", "\u0E01", "\u0E31", "\u0E48", "\u0E33"};
    const QStringList& pieces = script == 0 ? cyrillic : (script == 1 ? devanagari : thai);
    return files.emplace(std::pair{script, size}, scriptRuns(pieces, size)).first->second;
}

// Both whole-file scans over one file, in ms; `found` gets the paths.
double scanMs(const QByteArray& bytes, qint64& found) {
    QElapsedTimer timer;
    timer.start();
    QSet<QString> paths;
    AEPParser::scanUTF16BEPaths(bytes, paths);
    AEPParser::scanUTF8Paths(bytes, paths);
    found = paths.size();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Devanagari and Thai runs against Cyrillic runs of the same size: median of interleaved triples.
void BM_AEPScriptRuns(benchmark::State& state) {
    const qint64 size = state.range(0);
    const int pairs = bench::smokeMode() ? 1 : 5;
    for (auto _ : state) {
        QList<double> cyrillic, devanagari, thai, devanagariRatio, thaiRatio, loads;
        qint64 found[3] = {0, 0, 0};
        for (int p = 0; p < pairs; ++p) {
            loads.append(bench::loadAverage());
            cyrillic.append(scanMs(scriptFile(0, size), found[0]));
            devanagari.append(scanMs(scriptFile(1, size), found[1]));
            thai.append(scanMs(scriptFile(2, size), found[2]));
            devanagariRatio.append(devanagari.last() / cyrillic.last());
            thaiRatio.append(thai.last() / cyrillic.last());
            std::fprintf(
                stderr,
                "pair %d: Cyrillic %.1f ms, Devanagari %.1f ms (%.2fx), Thai %.1f ms (%.2fx), load %.1f\n",
                p + 1, cyrillic.last(), devanagari.last(), devanagariRatio.last(), thai.last(),
                thaiRatio.last(), loads.last());
        }
        state.counters["cyrillic_ms"] = bench::median(cyrillic);
        state.counters["devanagari_ms"] = bench::median(devanagari);
        state.counters["thai_ms"] = bench::median(thai);
        state.counters["devanagari_ratio"] = bench::median(devanagariRatio);
        state.counters["thai_ratio"] = bench::median(thaiRatio);
        state.counters["load"] = bench::median(loads);
        state.counters["paths_cyr"] = static_cast<double>(found[0]);
        state.counters["paths_deva"] = static_cast<double>(found[1]);
        state.counters["paths_thai"] = static_cast<double>(found[2]);
    }
}

} // namespace

int main(int argc, char** argv) {
    AppLog::setSink([](const AppLog::Record&) {}); // keep the timing lines out of the report
    const bool smoke = bench::smokeMode();
    const std::vector<qint64> projectSizes =
        smoke ? std::vector<qint64>{1 << 20} : std::vector<qint64>{20ll << 20, 200ll << 20};
    const std::vector<qint64> blockSizes =
        smoke ? std::vector<qint64>{64 << 10} : std::vector<qint64>{256 << 10, 512 << 10, 1 << 20};
    // Path density: footage paths in every item (dense, ~100k paths per 200 MB) or in one of 25.
    for (qint64 size : projectSizes) {
        for (qint64 pathEvery : {1, 25}) {
            const std::vector<int64_t> args{size, pathEvery};
            benchmark::RegisterBenchmark("BM_CatFile", BM_CatFile)
                ->Args(args)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark("BM_AEPParseFile", BM_AEPParseFile)
                ->Args(args)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark("BM_AEPScanInMemory", BM_AEPScanInMemory)
                ->Args(args)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            if (smoke)
                break;
        }
    }
    for (qint64 size : blockSizes)
        benchmark::RegisterBenchmark("BM_AEPSlashBlock", BM_AEPSlashBlock)
            ->Arg(size)
            ->Unit(benchmark::kMillisecond);
    for (qint64 size : smoke ? std::vector<qint64>{64 << 10} : std::vector<qint64>{256 << 10})
        benchmark::RegisterBenchmark("BM_AEPScriptRuns", BM_AEPScriptRuns)
            ->Arg(size)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
