// Duplicate finding on a tree of media files against the peers `jdupes -r` and `rdfind` on the
// same tree: warm page cache, interleaved runs, wall and processor time of each, and the duplicate
// sets of all three must be identical.
//
// The tree (TARNWICK_DUP_TREE_FILES files, default 20,000; sizes log-uniform between 1 MB and
// 200 MB times TARNWICK_DUP_TREE_SCALE, default 0.025, so the files read fit the page cache of a
// shared machine): per 2,000 files, 150 originals with 200 copies (100 copied once, 50 twice), 20
// pairs of same-size files that differ in one byte (half in the middle, where the sample does not
// look, half at the start), 20 hard links of files without a copy, and 1,590 files of sizes no
// other file has (sparse: no tool reads them). BM_DuplicateTreeGrowth times our side on a tree a
// quarter of the size and on the whole tree: the cost must grow linearly.
#include "analysis/DuplicateDetectionCore.h"
#include "support/BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <unistd.h>

using namespace tarnwick;
namespace core = tarnwick::DuplicateDetectionCore;

namespace {

using Groups = QSet<QSet<QString>>;

struct Tree {
    QTemporaryDir temporary;
    QString root;
    qint64 readSetBytes = 0; // the files in a size group of two or more
    int files = 0;
};

// A per-file stamp on every 4 KiB page of a shared random block: distinct content, cheap to write.
void writeContent(const QString& path, qint64 size, quint32 seed, qint64 flipAt = -1) {
    static const QByteArray base = [] {
        QByteArray b(4 << 20, '\0');
        QRandomGenerator random(99);
        random.fillRange(reinterpret_cast<quint32*>(b.data()), b.size() / 4);
        return b;
    }();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QByteArray block = base;
    for (qint64 written = 0; written < size;) {
        const qint64 n = std::min<qint64>(block.size(), size - written);
        for (qint64 page = 0; page < n; page += 4096) {
            const quint64 stamp = (quint64(seed) << 32) | quint64((written + page) >> 12);
            std::memcpy(block.data() + page, &stamp, std::min<qint64>(8, n - page));
        }
        if (flipAt >= written && flipAt < written + n)
            block[flipAt - written] = char(block[flipAt - written] ^ 0x5A);
        file.write(block.constData(), n);
        written += n;
    }
}

double treeScale() {
    return qEnvironmentVariableIsSet("TARNWICK_DUP_TREE_SCALE")
               ? qEnvironmentVariable("TARNWICK_DUP_TREE_SCALE").toDouble()
               : 0.025;
}

int treeFiles() {
    if (bench::smokeMode())
        return 40;
    return qEnvironmentVariableIsSet("TARNWICK_DUP_TREE_FILES")
               ? qEnvironmentVariableIntValue("TARNWICK_DUP_TREE_FILES")
               : 20000;
}

// With TARNWICK_BENCH_WORKLOAD_DIR set, the tree is made there once and reused by later runs.
std::unique_ptr<Tree> makeTree(int total, double scale) {
    auto tree = std::make_unique<Tree>();
    const bool smoke = bench::smokeMode();
    const QString kept = qEnvironmentVariable("TARNWICK_BENCH_WORKLOAD_DIR");
    tree->root = kept.isEmpty() || smoke ? tree->temporary.path()
                                         : kept + QStringLiteral("/duplicates-%1-%2").arg(total).arg(scale);
    const int per = smoke ? 1 : std::max(total / 2000, 1);
    const int originals = smoke ? 6 : 150 * per;
    const int twiceCopied = smoke ? 2 : 50 * per;
    const int differentPairs = smoke ? 2 : 20 * per;
    const int links = smoke ? 2 : 20 * per;
    if (smoke)
        scale = 0.001;
    const QString done = tree->root + QStringLiteral("/.complete");
    const bool exists = QFile::exists(done);
    QRandomGenerator random(2026);
    QSet<qint64> usedSizes;
    // Log-uniform between 1 MB and 200 MB, scaled; each size used once.
    const auto freshSize = [&] {
        for (;;) {
            const double mb = std::exp(random.generateDouble() * std::log(200.0));
            const qint64 size = std::max<qint64>(4096, qint64(mb * 1e6 * scale));
            if (!usedSizes.contains(size)) {
                usedSizes.insert(size);
                return size;
            }
        }
    };
    int made = 0;
    const auto pathFor = [&](const QString& kind) -> QString {
        const QString folder = tree->root + QStringLiteral("/Card %1/%2").arg(made % 7).arg(kind);
        if (!exists)
            QDir().mkpath(folder);
        return folder + QStringLiteral("/C%1.mov").arg(made++, 5, 10, QLatin1Char('0'));
    };
    for (int o = 0; o < originals; ++o) {
        const qint64 size = freshSize();
        const int copies = o < twiceCopied ? 2 : 1;
        for (int c = 0; c <= copies; ++c) {
            const QString path = pathFor(c == 0 ? QStringLiteral("A") : QStringLiteral("Copies"));
            if (!exists)
                writeContent(path, size, quint32(o));
        }
        tree->readSetBytes += size * (copies + 1);
    }
    for (int p = 0; p < differentPairs; ++p) {
        const qint64 size = freshSize();
        const qint64 flip = p % 2 == 0 ? size / 2 : 10;
        const QString first = pathFor(QStringLiteral("B"));
        const QString second = pathFor(QStringLiteral("B"));
        if (!exists) {
            writeContent(first, size, quint32(100000 + p));
            writeContent(second, size, quint32(100000 + p), flip);
        }
        tree->readSetBytes += 2 * size;
    }
    for (int l = 0; l < links; ++l) {
        const qint64 size = freshSize();
        const QString path = pathFor(QStringLiteral("Linked"));
        const QString link = pathFor(QStringLiteral("Linked"));
        if (!exists) {
            writeContent(path, size, quint32(200000 + l));
            if (::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()) != 0)
                std::perror("link");
        }
        tree->readSetBytes += size;
    }
    while (made < total) {
        const qint64 size = freshSize();
        const QString path = pathFor(QStringLiteral("Unique"));
        if (exists)
            continue;
        QFile sparse(path);
        if (sparse.open(QIODevice::WriteOnly))
            sparse.resize(size);
    }
    if (!exists) {
        QFile marker(done);
        (void)marker.open(QIODevice::WriteOnly);
    }
    tree->files = made;
    return tree;
}

const Tree& tree(int files) {
    static std::map<int, std::unique_ptr<Tree>> made;
    auto& t = made[files];
    if (!t)
        t = makeTree(files, treeScale());
    return *t;
}

// Walks the tree as the peers do (names and sizes, hidden files skipped), then finds the duplicates.
std::atomic<qint64> g_bytesRead{0};

Groups ours(const QString& root) {
    QList<core::File> files;
    QDirIterator it(root, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        files.append({int(files.size()), info.filePath(), info.size(), false});
    }
    core::Settings settings;
    settings.dropPagesAfterReading = false; // warm cache for every tool
    settings.bytesRead = &g_bytesRead;
    const core::Result result = core::detect(files, settings);
    // Union of each file with the one it duplicates.
    QHash<int, int> parent;
    const auto find = [&](int x) {
        while (parent.value(x, x) != x)
            x = parent.value(x, x);
        return x;
    };
    for (auto d = result.duplicateOfByIndex.constBegin(); d != result.duplicateOfByIndex.constEnd(); ++d)
        parent[find(d.key())] = find(d.value());
    QHash<int, QSet<QString>> byRoot;
    for (auto d = result.duplicateOfByIndex.constBegin(); d != result.duplicateOfByIndex.constEnd(); ++d) {
        byRoot[find(d.key())].insert(files[d.key()].path);
        byRoot[find(d.key())].insert(files[d.value()].path);
    }
    Groups groups;
    for (const QSet<QString>& g : std::as_const(byRoot))
        groups.insert(g);
    return groups;
}

QByteArray outputFile() {
    static const QByteArray path =
        QFile::encodeName(QDir::temp().filePath(QStringLiteral("tarnwick-dup-peer-%1.txt").arg(::getpid())));
    return path;
}

QByteArray readOutput() {
    QFile file(QFile::decodeName(outputFile()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// jdupes prints each set of duplicates as lines of paths, sets separated by a blank line.
std::optional<Groups> jdupes(const QString& root, bench::ChildRun& run) {
    run = bench::runChild({"jdupes", "-r", "-q", QFile::encodeName(root)}, outputFile());
    if (run.exitCode != 0)
        return std::nullopt;
    Groups groups;
    QSet<QString> current;
    for (const QByteArray& line : readOutput().split('\n')) {
        if (line.isEmpty()) {
            if (!current.isEmpty())
                groups.insert(current);
            current.clear();
            continue;
        }
        current.insert(QString::fromUtf8(line));
    }
    if (!current.isEmpty())
        groups.insert(current);
    return groups;
}

// rdfind writes its sets to a results file: "DUPTYPE_... id depth size device inode priority name",
// the first of a set with id n, the others with -n.
std::optional<Groups> rdfind(const QString& root, bench::ChildRun& run) {
    run = bench::runChild({"rdfind", "-outputname", outputFile(), QFile::encodeName(root)}, "/dev/null");
    if (run.exitCode != 0)
        return std::nullopt;
    QHash<QByteArray, QSet<QString>> byId;
    for (const QByteArray& line : readOutput().split('\n')) {
        if (!line.startsWith("DUPTYPE_"))
            continue;
        QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 8)
            continue;
        QByteArray id = fields[1];
        if (id.startsWith('-'))
            id.remove(0, 1);
        byId[id].insert(QString::fromUtf8(fields.mid(7).join(' ')));
    }
    Groups groups;
    for (const QSet<QString>& g : std::as_const(byId)) {
        if (g.size() >= 2)
            groups.insert(g);
    }
    return groups;
}

struct Timed {
    double wall = 0;
    double cpu = 0;
};

Timed timeOurs(const QString& root, Groups& found) {
    const double cpu = bench::processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    found = ours(root);
    return {double(timer.nsecsElapsed()) / 1e9, bench::processCpuSeconds() - cpu};
}

void BM_DuplicateTreeAgainstPeers(benchmark::State& state) {
    const Tree& t = tree(treeFiles());
    const QString root = t.root;
    const bool haveJdupes = !QStandardPaths::findExecutable(QStringLiteral("jdupes")).isEmpty();
    const bool haveRdfind = !QStandardPaths::findExecutable(QStringLiteral("rdfind")).isEmpty();
    const Groups warm = ours(root); // reads every file of the read set once: the cache is warm
    const int pairs = bench::smokeMode() ? 1 : 5;
    for (auto _ : state) {
        QList<double> ourWall, ourCpu, jWall, jCpu, rWall, rCpu, wallRatio, cpuRatio, loads;
        bool same = true;
        for (int p = 0; p < pairs; ++p) {
            loads.append(bench::loadAverage());
            Groups mine;
            const Timed us = timeOurs(root, mine);
            ourWall.append(us.wall);
            ourCpu.append(us.cpu);
            same = same && mine == warm;
            if (haveJdupes) {
                bench::ChildRun run;
                const std::optional<Groups> theirs = jdupes(root, run);
                jWall.append(run.wallSeconds);
                jCpu.append(run.cpuSeconds);
                same = same && theirs && *theirs == mine;
                wallRatio.append(us.wall / run.wallSeconds);
                cpuRatio.append(us.cpu / std::max(run.cpuSeconds, 1e-6));
            }
            if (haveRdfind) {
                bench::ChildRun run;
                const std::optional<Groups> theirs = rdfind(root, run);
                rWall.append(run.wallSeconds);
                rCpu.append(run.cpuSeconds);
                same = same && theirs && *theirs == mine;
            }
            std::fprintf(stderr,
                         "pair %d: ours %.0f ms (cpu %.0f ms), jdupes %.0f ms (cpu %.0f ms), rdfind %.0f ms "
                         "(cpu %.0f ms), load %.1f\n",
                         p + 1, 1e3 * us.wall, 1e3 * us.cpu, haveJdupes ? 1e3 * jWall.last() : 0.0,
                         haveJdupes ? 1e3 * jCpu.last() : 0.0, haveRdfind ? 1e3 * rWall.last() : 0.0,
                         haveRdfind ? 1e3 * rCpu.last() : 0.0, loads.last());
        }
        state.counters["ours_ms"] = 1e3 * bench::median(ourWall);
        state.counters["ours_cpu_ms"] = 1e3 * bench::median(ourCpu);
        state.counters["jdupes_ms"] = 1e3 * bench::median(jWall);
        state.counters["jdupes_cpu_ms"] = 1e3 * bench::median(jCpu);
        state.counters["rdfind_ms"] = 1e3 * bench::median(rWall);
        state.counters["rdfind_cpu_ms"] = 1e3 * bench::median(rCpu);
        state.counters["wall_ratio"] = bench::median(wallRatio);
        state.counters["cpu_ratio"] = bench::median(cpuRatio);
        state.counters["load"] = bench::median(loads);
        state.counters["same_sets"] = haveJdupes || haveRdfind ? double(same) : -1;
        state.counters["sets"] = double(warm.size());
        state.counters["read_set_MB"] = double(t.readSetBytes) / 1e6;
        state.counters["ours_read_MB_per_run"] = double(g_bytesRead.load()) / 1e6 / double(pairs + 1);
        state.counters["files"] = t.files;
        if (!same)
            state.SkipWithError("the duplicate sets differ from the peers'");
    }
}

// Our side on a quarter of the tree and on the whole tree, interleaved: 4x the input within 4.4x the time.
void BM_DuplicateTreeGrowth(benchmark::State& state) {
    const int files = treeFiles();
    const Tree& small = tree(std::max(files / 4, 40));
    const Tree& large = tree(files);
    Groups found;
    (void)ours(small.root);
    (void)ours(large.root);
    const int pairs = bench::smokeMode() ? 1 : 5;
    for (auto _ : state) {
        QList<double> smallWall, largeWall, smallCpu, largeCpu, loads;
        for (int p = 0; p < pairs; ++p) {
            loads.append(bench::loadAverage());
            const Timed s = timeOurs(small.root, found);
            const Timed l = timeOurs(large.root, found);
            smallWall.append(s.wall);
            largeWall.append(l.wall);
            smallCpu.append(s.cpu);
            largeCpu.append(l.cpu);
        }
        state.counters["quarter_ms"] = 1e3 * bench::median(smallWall);
        state.counters["whole_ms"] = 1e3 * bench::median(largeWall);
        state.counters["growth"] = bench::median(largeWall) / std::max(bench::median(smallWall), 1e-9);
        state.counters["cpu_growth"] = bench::median(largeCpu) / std::max(bench::median(smallCpu), 1e-9);
        state.counters["input_growth"] =
            double(large.readSetBytes) / double(std::max<qint64>(small.readSetBytes, 1));
        state.counters["load"] = bench::median(loads);
    }
}

} // namespace

BENCHMARK(BM_DuplicateTreeAgainstPeers)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DuplicateTreeGrowth)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QFile::remove(QFile::decodeName(outputFile()));
    return 0;
}
