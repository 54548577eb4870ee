// Duplicate finding on a tree of 2,000 media files against `jdupes -r` on the same tree: warm page
// cache, interleaved pairs, and the duplicate sets of both must be identical.
//
// The tree: sizes log-uniform between 1 MB and 200 MB times TARNWICK_DUP_TREE_SCALE (default 0.25,
// so that the files read fit the page cache of a shared machine); 150 originals with 200 copies
// (100 copied once, 50 twice), 20 pairs of same-size files that differ in one byte (half in the
// middle, where the sample does not look, half at the start), 20 hard links of files without a
// copy, and 1,590 files of sizes no other file has (sparse: neither tool reads them).
#include "analysis/DuplicateDetectionCore.h"
#include "support/BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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
#include <memory>
#include <unistd.h>

using namespace tarnwick;
namespace core = tarnwick::DuplicateDetectionCore;

namespace {

using Groups = QSet<QSet<QString>>;

struct Tree {
    QTemporaryDir dir;
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

std::unique_ptr<Tree> makeTree() {
    auto tree = std::make_unique<Tree>();
    const bool smoke = bench::smokeMode();
    const double scale = smoke ? 0.001
                         : qEnvironmentVariableIsSet("TARNWICK_DUP_TREE_SCALE")
                             ? qEnvironmentVariable("TARNWICK_DUP_TREE_SCALE").toDouble()
                             : 0.25;
    const int originals = smoke ? 6 : 150;
    const int twiceCopied = smoke ? 2 : 50;
    const int differentPairs = smoke ? 2 : 20;
    const int links = smoke ? 2 : 20;
    const int total = smoke ? 40 : 2000;
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
        const QString folder = tree->dir.filePath(QStringLiteral("Card %1/%2").arg(made % 7).arg(kind));
        QDir().mkpath(folder);
        return folder + QStringLiteral("/C%1.mov").arg(made++, 4, 10, QLatin1Char('0'));
    };
    for (int o = 0; o < originals; ++o) {
        const qint64 size = freshSize();
        const int copies = o < twiceCopied ? 2 : 1;
        for (int c = 0; c <= copies; ++c)
            writeContent(pathFor(c == 0 ? QStringLiteral("A") : QStringLiteral("Copies")), size, quint32(o));
        tree->readSetBytes += size * (copies + 1);
    }
    for (int p = 0; p < differentPairs; ++p) {
        const qint64 size = freshSize();
        const qint64 flip = p % 2 == 0 ? size / 2 : 10;
        writeContent(pathFor(QStringLiteral("B")), size, quint32(1000 + p));
        writeContent(pathFor(QStringLiteral("B")), size, quint32(1000 + p), flip);
        tree->readSetBytes += 2 * size;
    }
    for (int l = 0; l < links; ++l) {
        const qint64 size = freshSize();
        const QString path = pathFor(QStringLiteral("Linked"));
        writeContent(path, size, quint32(2000 + l));
        if (::link(QFile::encodeName(path).constData(),
                   QFile::encodeName(pathFor(QStringLiteral("Linked"))).constData()) != 0)
            std::perror("link");
        tree->readSetBytes += size;
    }
    while (made < total) {
        QFile sparse(pathFor(QStringLiteral("Unique")));
        if (sparse.open(QIODevice::WriteOnly))
            sparse.resize(freshSize());
    }
    tree->files = made;
    return tree;
}

const Tree& tree() {
    static const std::unique_ptr<Tree> t = makeTree();
    return *t;
}

// Walks the tree as jdupes does (names and sizes), then finds the duplicates.
Groups ours(const QString& root, int processorCount = 0) {
    QList<core::File> files;
    QDirIterator it(root, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        files.append({int(files.size()), info.filePath(), info.size(), false});
    }
    core::Settings settings;
    settings.processorCount = processorCount;
    settings.dropPagesAfterReading = false; // warm cache for both tools
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

// jdupes prints each set of duplicates as lines of paths, sets separated by a blank line.
std::optional<Groups> jdupes(const QString& root) {
    QProcess process;
    process.start(QStringLiteral("jdupes"), {QStringLiteral("-r"), QStringLiteral("-q"), root});
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    Groups groups;
    QSet<QString> current;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
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

void BM_DuplicateTreeAgainstJdupes(benchmark::State& state) {
    const Tree& t = tree();
    const QString root = t.dir.path();
    const bool haveJdupes = !QStandardPaths::findExecutable(QStringLiteral("jdupes")).isEmpty();
    const Groups warm = ours(root); // reads every file of the read set once: the cache is warm
    const int pairs = bench::smokeMode() ? 1 : 5;
    for (auto _ : state) {
        QList<double> ourTimes;
        QList<double> wideTimes; // the same with the pools of a machine twice as wide
        QList<double> theirTimes;
        QList<double> ratios;
        QList<double> loads;
        bool same = true;
        for (int p = 0; p < pairs; ++p) {
            loads.append(bench::loadAverage());
            QElapsedTimer timer;
            timer.start();
            const Groups mine = ours(root);
            ourTimes.append(double(timer.nsecsElapsed()) / 1e6);
            same = same && mine == warm;
            timer.restart();
            const Groups wide = ours(root, 2 * QThread::idealThreadCount());
            wideTimes.append(double(timer.nsecsElapsed()) / 1e6);
            same = same && wide == warm;
            if (!haveJdupes)
                continue;
            timer.restart();
            const std::optional<Groups> theirs = jdupes(root);
            theirTimes.append(double(timer.nsecsElapsed()) / 1e6);
            same = same && theirs && *theirs == mine;
            ratios.append(ourTimes.last() / theirTimes.last());
            std::fprintf(stderr,
                         "pair %d: ours %.0f ms (pools twice as wide %.0f ms), jdupes %.0f ms, ratio %.2f, "
                         "load %.1f\n",
                         p + 1, ourTimes.last(), wideTimes.last(), theirTimes.last(), ratios.last(),
                         loads.last());
        }
        state.counters["ours_median_ms"] = bench::median(ourTimes);
        state.counters["wide_median_ms"] = bench::median(wideTimes);
        state.counters["jdupes_median_ms"] = bench::median(theirTimes);
        state.counters["ratio_median"] = bench::median(ratios);
        state.counters["load_median"] = bench::median(loads);
        state.counters["same_sets"] = haveJdupes ? double(same) : -1;
        state.counters["sets"] = double(warm.size());
        state.counters["read_set_MB"] = double(t.readSetBytes) / 1e6;
        state.counters["files"] = t.files;
        if (haveJdupes && !same)
            state.SkipWithError("the duplicate sets differ from jdupes'");
    }
}

} // namespace

BENCHMARK(BM_DuplicateTreeAgainstJdupes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
