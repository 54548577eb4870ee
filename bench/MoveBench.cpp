// Moving files: the cross-device copy (fsynced) against `mv` between the same two folders, many
// small files within one device against a rename(2) loop and an `mv` per file, the whole
// move-to-folder action against `mv` (small files on one volume and across volumes, one 2 GiB file
// across volumes), and the GUI thread's longest stall while the action copies across devices. Each figure is
// the median of interleaved pairs in one run; the load average is reported with it.
#include "actions/MoveToFolderAction.h"
#include "platform/AppLog.h"
#include "platform/LinuxFileOperations.h"
#include "stores/AuditLogManager.h"
#include "support/BenchSupport.h"
#include "support/CleanupHarness.h"
#include "support/CoreBurner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

using namespace tarnwick;

namespace {

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "MoveBench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app ? *app : *QCoreApplication::instance();
}

// A tmpfs under a temporary folder: another device than /tmp. Root only.
class Tmpfs {
public:
    explicit Tmpfs(const char* size) {
        if (::geteuid() == 0 && dir.isValid()) {
            const QByteArray options = QByteArray("size=") + size;
            mounted = ::mount("tarnwick-bench", QFile::encodeName(dir.path()).constData(), "tmpfs", 0,
                              options.constData()) == 0;
        }
    }
    ~Tmpfs() {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    QTemporaryDir dir;
    bool mounted = false;
};

QStringList makeFiles(const QString& folder, int count, qint64 size) {
    QStringList names;
    QByteArray block(1 << 20, 'v');
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("clip_%1.mov").arg(i, 5, 10, QLatin1Char('0'));
        QFile file(folder + QLatin1Char('/') + name);
        file.open(QIODevice::WriteOnly);
        for (qint64 written = 0; written < size; written += block.size())
            file.write(block.constData(), std::min<qint64>(block.size(), size - written));
        names.append(name);
    }
    return names;
}

bool runMv(const QStringList& sources, const QString& target) {
    return QProcess::execute(QStringLiteral("mv"), QStringList(sources) << target) == 0;
}

QStringList inFolder(const QString& folder, const QStringList& names) {
    QStringList paths;
    for (const QString& name : names)
        paths.append(folder + QLatin1Char('/') + name);
    return paths;
}

double oursSeconds(const QString& from, const QString& to, const QStringList& names) {
    LinuxFileOperations ops;
    QElapsedTimer clock;
    clock.start();
    for (const QString& name : names) {
        if (!ops.moveNoReplace(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name))
            return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

// With `flush`, mv followed by a sync of the destination's file system: what mv costs when its
// copies must be on the disk before the sources go, as ours are.
double mvSeconds(const QString& from, const QString& to, const QStringList& names, bool flush = false) {
    QElapsedTimer clock;
    clock.start();
    if (!runMv(inFolder(from, names), to))
        return -1;
    if (flush)
        QProcess::execute(QStringLiteral("sync"), {QStringLiteral("-f"), to});
    return double(clock.nsecsElapsed()) / 1e9;
}

// Files of 100 MB (1 MB when smoke testing) from `from` to `to`, ours and mv in turns.
void crossDevicePairs(benchmark::State& state, bool toTmpfs) {
    application();
    const bool smoke = bench::smokeMode();
    Tmpfs tmpfs(smoke ? "64m" : "2200m");
    if (!tmpfs.mounted) {
        state.SkipWithError("mounting a tmpfs needs root");
        return;
    }
    QTemporaryDir disk;
    const QString a = toTmpfs ? disk.path() : tmpfs.dir.path();
    const QString b = toTmpfs ? tmpfs.dir.path() : disk.path();
    const int count = smoke ? 4 : 20;
    const qint64 size = smoke ? (1 << 20) : qint64(100) << 20;
    const QStringList names = makeFiles(a, count, size);
    const int pairs = smoke ? 1 : 5;
    std::vector<double> ours, mv, mvSync;
    // Back untimed, with nothing left to write back, so every timed move starts alike.
    const auto restore = [&] {
        runMv(inFolder(b, names), a);
        QProcess::execute(QStringLiteral("sync"), {QStringLiteral("-f"), a});
    };
    for (auto _ : state) {
        for (int pair = 0; pair < pairs; ++pair) {
            // Alternate who goes first.
            const auto timeOurs = [&] {
                ours.push_back(oursSeconds(a, b, names));
                restore();
            };
            if (pair % 2 == 0)
                timeOurs();
            mv.push_back(mvSeconds(a, b, names));
            restore();
            mvSync.push_back(mvSeconds(a, b, names, true));
            restore();
            if (pair % 2 == 1)
                timeOurs();
        }
    }
    const double bytes = double(count) * double(size);
    state.counters["ours_MBps"] = bytes / 1048576.0 / bench::median(ours);
    state.counters["mv_MBps"] = bytes / 1048576.0 / bench::median(mv);
    state.counters["mv_sync_MBps"] = bytes / 1048576.0 / bench::median(mvSync);
    state.counters["throughput_vs_mv"] = bench::median(mv) / bench::median(ours);
    state.counters["throughput_vs_mv_sync"] = bench::median(mvSync) / bench::median(ours);
    state.counters["load"] = bench::loadAverage();
}

void BM_CrossDeviceMoveToTmpfs(benchmark::State& state) {
    crossDevicePairs(state, true);
}
BENCHMARK(BM_CrossDeviceMoveToTmpfs)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_CrossDeviceMoveToDisk(benchmark::State& state) {
    crossDevicePairs(state, false);
}
BENCHMARK(BM_CrossDeviceMoveToDisk)->Iterations(1)->Unit(benchmark::kMillisecond);

// 10,000 small files from one folder to another on the same device: our move, a rename(2) loop
// (what mv does per file) and, for the first 500, one mv process per file.
void BM_SmallFilesSameDevice(benchmark::State& state) {
    application();
    const bool smoke = bench::smokeMode();
    QTemporaryDir root;
    const QString a = root.filePath(QStringLiteral("a"));
    const QString b = root.filePath(QStringLiteral("b"));
    QDir().mkpath(a);
    QDir().mkpath(b);
    const int count = smoke ? 200 : 10000;
    const QStringList names = makeFiles(a, count, 4096);
    const QStringList sample = names.mid(0, smoke ? 20 : 500);
    const int pairs = smoke ? 1 : 5;
    std::vector<double> ours, renames, mvEach;
    const auto renameLoop = [&](const QString& from, const QString& to) {
        QElapsedTimer clock;
        clock.start();
        for (const QString& name : names) {
            ::rename(QFile::encodeName(from + QLatin1Char('/') + name).constData(),
                     QFile::encodeName(to + QLatin1Char('/') + name).constData());
        }
        return double(clock.nsecsElapsed()) / 1e9;
    };
    for (auto _ : state) {
        for (int pair = 0; pair < pairs; ++pair) {
            ours.push_back(oursSeconds(a, b, names));
            renameLoop(b, a);
            renames.push_back(renameLoop(a, b));
            renameLoop(b, a);
            QElapsedTimer clock;
            clock.start();
            for (const QString& name : sample)
                runMv({a + QLatin1Char('/') + name}, b);
            mvEach.push_back(double(clock.nsecsElapsed()) / 1e9 * double(count) / double(sample.size()));
            for (const QString& name : sample)
                ::rename(QFile::encodeName(b + QLatin1Char('/') + name).constData(),
                         QFile::encodeName(a + QLatin1Char('/') + name).constData());
        }
    }
    state.counters["ours_ms"] = bench::median(ours) * 1000;
    state.counters["rename_loop_ms"] = bench::median(renames) * 1000;
    state.counters["mv_each_ms"] = bench::median(mvEach) * 1000;
    state.counters["vs_rename_loop"] = bench::median(ours) / bench::median(renames);
    state.counters["vs_mv_each"] = bench::median(ours) / bench::median(mvEach);
    state.counters["load"] = bench::loadAverage();
}
BENCHMARK(BM_SmallFilesSameDevice)->Iterations(1)->Unit(benchmark::kMillisecond);

// The whole move-to-folder action (gate, one worker for the run, identities, folders, statuses,
// audit batch, statistics, bin, summary; log lines to a silent sink) over `names` staged in the bin,
// from `media` into `archive`. Returns seconds, or -1 when a file was not moved.
double actionSeconds(const QString& media, const QString& archive, const QStringList& names, qint64 size) {
    testing::CleanupHarness h;
    AppLog::setSink([](const AppLog::Record&) {});
    QList<MediaFile> staged;
    QList<RecycleBinItem> bin;
    staged.reserve(names.size());
    bin.reserve(names.size());
    for (const QString& name : names) {
        staged.append(
            testing::media(media + QLatin1Char('/') + name, 0, MediaFileStatus::inRecycleBin, size));
        bin.append(testing::binItem(staged.last()));
    }
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(staged);
    h.pm().edit(ProjectManager::ListChange::none).setRecycleBin(bin);
    CleanupServices services = h.services();
    services.files = FileOperations::system();
    // What staging the bin set off is settled before the user picks the folder.
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    const ActionResult result =
        QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(h.pm(), archive, services));
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    AppLog::setSink({});
    return result.succeeded == names.size() ? seconds : -1;
}

// What the action's one audit batch costs at the end of a run over `names` (the same requests, a
// fresh store): reported beside the action, since the audit store is not the move's own work.
double auditSeconds(const QString& media, const QString& archive, const QStringList& names, qint64 size) {
    QTemporaryDir store;
    AuditLogManager audit(store.path(), nullptr);
    AppLog::setSink([](const AppLog::Record&) {});
    QList<AuditLogManager::Request> requests;
    requests.reserve(names.size());
    for (const QString& name : names) {
        const MediaFile file =
            testing::media(media + QLatin1Char('/') + name, 0, MediaFileStatus::moved, size);
        requests.append({AuditAction::movedToFolder, file, archive + file.path});
    }
    QElapsedTimer clock;
    clock.start();
    audit.log(requests);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    AppLog::setSink({});
    return seconds;
}

// Back where they came from, untimed, with nothing left to write back, so every timed move starts alike.
void moveBack(const QString& from, const QString& to, const QStringList& names) {
    bool sameDevice = true;
    for (const QString& name : names) {
        if (::rename(QFile::encodeName(from + QLatin1Char('/') + name).constData(),
                     QFile::encodeName(to + QLatin1Char('/') + name).constData()) != 0) {
            sameDevice = false;
            break;
        }
    }
    if (!sameDevice) {
        QStringList left;
        for (const QString& name : names) {
            if (QFileInfo::exists(from + QLatin1Char('/') + name))
                left.append(from + QLatin1Char('/') + name);
        }
        for (qsizetype i = 0; i < left.size(); i += 2000)
            runMv(left.mid(i, 2000), to);
    }
    QProcess::execute(QStringLiteral("sync"), {QStringLiteral("-f"), to});
}

// The action against `mv` of the same files between the same volumes, in interleaved pairs (who
// goes first alternates); the archive's copy of the media folder is where both put the files.
void actionAgainstMv(benchmark::State& state, bool acrossVolumes, int count, qint64 size, int pairs) {
    application();
    Tmpfs tmpfs(acrossVolumes ? (size > (qint64(1) << 30) ? "2600m" : "512m") : "1m");
    if (acrossVolumes && !tmpfs.mounted) {
        state.SkipWithError("mounting a tmpfs needs root");
        return;
    }
    QTemporaryDir disk;
    const QString media = disk.filePath(QStringLiteral("media/Day 1"));
    QDir().mkpath(media);
    const QString archiveRoot = acrossVolumes ? tmpfs.dir.path() : disk.filePath(QStringLiteral("archive"));
    const QString archived = archiveRoot + media;
    QDir().mkpath(archived);
    const QStringList names = makeFiles(media, count, size);
    QProcess::execute(QStringLiteral("sync"), {QStringLiteral("-f"), media});
    bench::CoreBurner burner;
    std::vector<double> action, mv, audit;
    for (auto _ : state) {
        for (int pair = 0; pair < pairs; ++pair) {
            const auto timeAction = [&] {
                action.push_back(actionSeconds(media, archiveRoot, names, size));
                moveBack(archived, media, names);
                audit.push_back(auditSeconds(media, archiveRoot, names, size));
            };
            if (pair % 2 == 0)
                timeAction();
            mv.push_back(mvSeconds(media, archived, names));
            moveBack(archived, media, names);
            if (pair % 2 == 1)
                timeAction();
            if (qEnvironmentVariableIsSet("TARNWICK_BENCH_VERBOSE"))
                std::fprintf(stderr, "pair %d: action %.1f ms, mv %.1f ms, load %.1f\n", pair,
                             action.back() * 1000, mv.back() * 1000, bench::loadAverage());
        }
    }
    if (std::find(action.begin(), action.end(), -1.0) != action.end())
        state.SkipWithError("the action did not move every file");
    state.counters["action_ms"] = bench::median(action) * 1000;
    state.counters["mv_ms"] = bench::median(mv) * 1000;
    state.counters["action_vs_mv"] = bench::median(action) / bench::median(mv);
    state.counters["audit_batch_ms"] = bench::median(audit) * 1000;
    state.counters["load"] = bench::loadAverage();
}

// 10,000 files of 4 KB within one volume (ext4): the goal is at most 1.5× `mv`.
void BM_MoveActionSmallFilesSameVolume(benchmark::State& state) {
    const bool smoke = bench::smokeMode();
    actionAgainstMv(state, false, smoke ? 200 : 10000, 4096, smoke ? 1 : 7);
}
BENCHMARK(BM_MoveActionSmallFilesSameVolume)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same files from the disk to a tmpfs: the goal is at most 1.2× `mv`.
void BM_MoveActionSmallFilesAcrossVolumes(benchmark::State& state) {
    const bool smoke = bench::smokeMode();
    actionAgainstMv(state, true, smoke ? 200 : 10000, 4096, smoke ? 1 : 7);
}
BENCHMARK(BM_MoveActionSmallFilesAcrossVolumes)->Iterations(1)->Unit(benchmark::kMillisecond);

// One 2 GiB file from the disk to a tmpfs: the goal is at most 1.1× `mv`.
void BM_MoveActionLargeFileAcrossVolumes(benchmark::State& state) {
    const bool smoke = bench::smokeMode();
    actionAgainstMv(state, true, 1, smoke ? (qint64(1) << 20) : (qint64(2) << 30), smoke ? 1 : 5);
}
BENCHMARK(BM_MoveActionLargeFileAcrossVolumes)->Iterations(1)->Unit(benchmark::kMillisecond);

// The move-to-folder action over a staged bin of 100 MB files to a tmpfs, while a 5 ms timer on
// the GUI thread records the longest gap between its ticks.
void BM_GuiStallDuringMove(benchmark::State& state) {
    application();
    const bool smoke = bench::smokeMode();
    Tmpfs tmpfs(smoke ? "64m" : "2200m");
    if (!tmpfs.mounted) {
        state.SkipWithError("mounting a tmpfs needs root");
        return;
    }
    const int count = smoke ? 4 : 20;
    const qint64 size = smoke ? (1 << 20) : qint64(100) << 20;
    double longestGapMs = 0;
    double seconds = 0;
    for (auto _ : state) {
        testing::CleanupHarness h;
        QList<MediaFile> staged;
        const QStringList names = makeFiles(h.mediaDir.path(), count, size);
        for (const QString& name : names)
            staged.append(testing::media(h.mediaPath(name), 0, MediaFileStatus::online, size));
        h.stage(staged, staged);
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestGapMs = std::max(longestGapMs, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.restart();
        });
        ticker.start(5);
        QElapsedTimer clock;
        clock.start();
        const ActionResult result = QCoro::waitFor(
            MoveToFolderAction::moveRecycleBinToFolder(h.pm(), tmpfs.dir.path(), h.services()));
        seconds = double(clock.nsecsElapsed()) / 1e9;
        ticker.stop();
        if (result.succeeded != count)
            state.SkipWithError("the move failed");
    }
    state.counters["longest_gui_gap_ms"] = longestGapMs;
    state.counters["MBps"] = double(count) * double(size) / 1048576.0 / seconds;
    state.counters["load"] = bench::loadAverage();
}
BENCHMARK(BM_GuiStallDuringMove)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
