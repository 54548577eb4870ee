// Move to Trash of 10,000 staged small files with a 100,000-entry audit log, against a loop of
// plain rename(2) calls over the same number of files in the same run, and against `gio trash`;
// the records journal's cost
// for 100,000 files trashed or deleted; and the delete-safety check of 10,000 files against 100,000
// entries, with its growth at ten times the input. Each figure is the median of interleaved pairs;
// the load average is reported with it.
#include "actions/DeleteSafetyCheck.h"
#include "actions/RemovalRun.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxFileOperations.h"
#include "platform/LinuxTrash.h"
#include "platform/PendingTrashInfo.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"
#include "support/BenchSupport.h"
#include "support/CleanupHarness.h"
#include "support/CoreBurner.h"
#include "support/StagedMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int pairs = 5;

// An audit_log.json of `entries` entries in `folder`, made once and copied for each run.
QString auditTemplate(int entries) {
    static QTemporaryDir dir;
    static QHash<int, QString> made;
    if (made.contains(entries))
        return made.value(entries);
    const QString folder = dir.filePath(QString::number(entries));
    AuditLogManager log(folder, nullptr);
    QList<AuditLogManager::Request> requests;
    requests.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        MediaFile file;
        file.path = QStringLiteral("/Volumes/Media/Day %1/A%2_C003.mov").arg(i / 1000).arg(i);
        file.size = 1000 + i;
        file.projectNames = {QStringLiteral("Feature Edit")};
        requests.append({AuditAction::movedToTrash, file, std::nullopt});
    }
    log.log(requests);
    log.compact(); // the entries in the log itself, as after a start
    made.insert(entries, log.fileName());
    return log.fileName();
}

// Succeeds at everything without touching the disk: what the run costs besides the file system.
class NoDiskFileOperations : public FileOperations {
public:
    FileOpInfo status(const QString&, bool) const override {
        FileOpInfo info;
        info.kind = FileKind::regular;
        return info;
    }
    bool isRegularFile(const QString&) const override { return true; }
    QString canonicalPath(const QString& path) const override { return path; }
    FileOpStatus makeFolder(const QString&, bool, quint32) override { return {}; }
    FileOpStatus removeFile(const QString&, const std::optional<FileIdentity>&) override { return {}; }
    FileOpStatus removeTree(const QString&, const std::optional<FileIdentity>&) override { return {}; }
    TrashOutcome moveToTrash(const QString&, const std::optional<FileIdentity>&) override { return {}; }
    FileOpStatus moveNoReplace(const QString&, const QString&, const FileOpProgress&,
                               const std::atomic_bool*) override {
        return {};
    }
    FileOpStatus replaceAtomically(const QString&, const QString&) override { return {}; }
    FileOpStatus removeLeftover(const QString&) override { return {}; }
};

// How a run keeps its records: a journal line per file as it goes, or (the reference, what the
// runs did before) every line held until the run ends, then one write; or a journal whose own file
// refuses every line (one the user cannot write), whose lines go on in the file that follows it.
enum class Records { perFile, atEnd, refused };

// Folders whose removal waits for the end of a benchmark: on an ext4 without a journal, every new
// file's inode is searched past the inodes freed in the last 30 seconds, so removing 10,000 files
// between two timed runs would slow whichever comes next.
using KeptFolders = std::vector<std::unique_ptr<QTemporaryDir>>;

// `beforeClock` runs last before the clock starts, with the run's root folder.
double timeTrashRun(int count, int auditEntries, bool touchDisk = true, bool toTrash = true,
                    Records records = Records::perFile, KeptFolders* kept = nullptr,
                    const std::function<void(const QString& root)>& beforeClock = {}) {
    auto made = std::make_unique<QTemporaryDir>();
    QTemporaryDir& root = *made;
    // This disk discards each freed block as it goes: removing a run's 10,000 files takes longer
    // than the run, so a long series leaves them to be removed once at its end.
    if (qEnvironmentVariableIsSet("TARNWICK_BENCH_LEAVE_FOLDERS"))
        root.setAutoRemove(false);
    if (kept)
        kept->push_back(std::move(made));
    const testing::ScopedEnv data("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    const QStringList paths = bench::makeMediaFiles(root.filePath(QStringLiteral("media")), count);
    QDir().mkpath(root.filePath(QStringLiteral("store")));
    QFile::copy(auditTemplate(auditEntries), root.filePath(QStringLiteral("store/audit_log.json")));
    AuditLogManager audit(root.filePath(QStringLiteral("store")), nullptr);
    StatsManager stats(root.filePath(QStringLiteral("store")));
    testing::ProjectManagerHarness h;
    bench::stageAll(h.pm(), paths);
    CleanupServices services;
    services.auditLog = &audit;
    services.statsManager = &stats;
    audit.journal().setDeferredForTesting(records == Records::atEnd);
    if (records == Records::refused)
        audit.journal().setFileWriteFaultForTesting(
            [main = audit.journal().path()](const QString& file) { return file == main ? EACCES : 0; });
    if (!touchDisk)
        services.files = std::make_shared<NoDiskFileOperations>();
    if (beforeClock)
        beforeClock(root.path());
    QElapsedTimer clock;
    clock.start();
    const ActionResult result = QCoro::waitFor(
        runRemoval(h.pm(), services, toTrash ? RemovalMethod::trash : RemovalMethod::deletePermanently));
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (result.succeeded != count)
        std::fprintf(stderr, "trash run removed %lld of %d\n", static_cast<long long>(result.succeeded),
                     count);
    return ms;
}

double timeRenameLoop(int count) {
    QTemporaryDir root;
    const QStringList paths = bench::makeMediaFiles(root.filePath(QStringLiteral("media")), count);
    const QString target = root.filePath(QStringLiteral("renamed"));
    QDir().mkpath(target);
    QList<QByteArray> from;
    QList<QByteArray> to;
    for (int i = 0; i < count; ++i) {
        from.append(QFile::encodeName(paths[i]));
        to.append(QFile::encodeName(target + QStringLiteral("/%1.mov").arg(i)));
    }
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        ::rename(from[i].constData(), to[i].constData());
    return double(clock.nsecsElapsed()) / 1e6;
}

// The least any freedesktop.org trash does per item: one new .trashinfo with its text, one rename.
double timeInfoAndRenameLoop(int count) {
    QTemporaryDir root;
    const QStringList paths = bench::makeMediaFiles(root.filePath(QStringLiteral("media")), count);
    const QString target = root.filePath(QStringLiteral("files"));
    const QString info = root.filePath(QStringLiteral("info"));
    QDir().mkpath(target);
    QDir().mkpath(info);
    QList<QByteArray> from;
    QList<QByteArray> to;
    QList<QByteArray> infos;
    for (int i = 0; i < count; ++i) {
        from.append(QFile::encodeName(paths[i]));
        to.append(QFile::encodeName(target + QStringLiteral("/%1.mov").arg(i)));
        infos.append(QFile::encodeName(info + QStringLiteral("/%1.mov.trashinfo").arg(i)));
    }
    const QByteArray text = "[Trash Info]\nPath=" + from[0] + "\nDeletionDate=2026-12-07T01:00:00\n";
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        const int fd = ::open(infos[i].constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            benchmark::DoNotOptimize(::write(fd, text.constData(), size_t(text.size())));
            ::close(fd);
        }
        ::rename(from[i].constData(), to[i].constData());
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

void BM_MoveToTrash(benchmark::State& state) {
    const int count = int(state.range(0));
    const int auditEntries = int(state.range(1));
    for (auto _ : state) {
        std::vector<double> trash;
        std::vector<double> rename;
        std::vector<double> floor;
        std::vector<double> noDisk;
        for (int i = 0; i < pairs; ++i) {
            trash.push_back(timeTrashRun(count, auditEntries));
            rename.push_back(timeRenameLoop(count));
            floor.push_back(timeInfoAndRenameLoop(count));
            noDisk.push_back(timeTrashRun(count, auditEntries, false));
        }
        state.counters["trash_ms"] = bench::median(trash);
        state.counters["rename_ms"] = bench::median(rename);
        state.counters["ratio"] = bench::median(trash) / bench::median(rename);
        state.counters["info_rename_ms"] = bench::median(floor);
        state.counters["ratio_info_rename"] = bench::median(trash) / bench::median(floor);
        state.counters["no_disk_ms"] = bench::median(noDisk);
        state.counters["load"] = bench::loadAverage();
    }
}

// The records journal's cost: a run writing a line per file as it goes against the same run keeping
// its lines to the end (the batched records of before), interleaved, for both removals.
void BM_RemovalRecords(benchmark::State& state) {
    const int count = int(state.range(0));
    const bool toTrash = state.range(1) != 0;
    for (auto _ : state) {
        std::vector<double> perFile;
        std::vector<double> atEnd;
        std::vector<double> refused;
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            perFile.push_back(timeTrashRun(count, 0, true, toTrash, Records::perFile));
            atEnd.push_back(timeTrashRun(count, 0, true, toTrash, Records::atEnd));
            refused.push_back(timeTrashRun(count, 0, true, toTrash, Records::refused));
        }
        state.counters["per_file_ms"] = bench::median(perFile);
        state.counters["at_end_ms"] = bench::median(atEnd);
        state.counters["refused_ms"] = bench::median(refused);
        state.counters["ratio"] = bench::median(perFile) / bench::median(atEnd);
        state.counters["refused_ratio"] = bench::median(refused) / bench::median(atEnd);
        state.counters["load"] = bench::loadAverage();
    }
    state.SetLabel(toTrash ? "trash" : "permanent deletion");
}

QList<MediaFile> safetyList(int entries) {
    QList<MediaFile> list;
    list.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        MediaFile file =
            testing::media(QStringLiteral("/Volumes/Media/Day %1/A%2_C001.mov").arg(i / 1000).arg(i),
                           i % 3 == 0 ? 0 : 1, MediaFileStatus::online, 1000 + qint64(i) * 7);
        file.projectNames = {QStringLiteral("Feature")};
        if (i % 10 == 0)
            file.alternativePaths = {QStringLiteral("/Volumes/Backup/A%1_C001.mov").arg(i)};
        list.append(file);
    }
    return list;
}

double timeSafetyCheck(const QList<MediaFile>& list, const QList<MediaFile>& input) {
    QElapsedTimer clock;
    clock.start();
    benchmark::DoNotOptimize(DeleteSafetyCheck::findDeleteSafetyConflicts(list, input).size());
    return double(clock.nsecsElapsed()) / 1e6;
}

// The least a check over the list does: read each entry's usage and hash its path once.
double timeReferencePass(const QList<MediaFile>& list) {
    QElapsedTimer clock;
    clock.start();
    size_t hash = 0;
    for (const MediaFile& file : list)
        hash ^= qHash(file.path) + size_t(file.usageCount);
    benchmark::DoNotOptimize(hash);
    return double(clock.nsecsElapsed()) / 1e6;
}

void BM_DeleteSafetyCheck(benchmark::State& state) {
    const int files = int(state.range(0));
    const int entries = int(state.range(1));
    const QList<MediaFile> small = safetyList(entries / 10);
    const QList<MediaFile> large = safetyList(entries);
    // What the views check: unused files about to be staged.
    const auto unused = [](const QList<MediaFile>& list, int count) {
        QList<MediaFile> input;
        for (const MediaFile& file : list) {
            if (file.usageCount == 0 && input.size() < count)
                input.append(file);
        }
        return input;
    };
    const QList<MediaFile> smallInput = unused(small, files / 10);
    const QList<MediaFile> largeInput = unused(large, files);
    for (auto _ : state) {
        std::vector<double> a;
        std::vector<double> b;
        std::vector<double> refLarge;
        std::vector<double> refSmall;
        for (int i = 0; i < pairs; ++i) {
            a.push_back(timeSafetyCheck(large, largeInput));
            b.push_back(timeSafetyCheck(small, smallInput));
            refLarge.push_back(timeReferencePass(large));
            refSmall.push_back(timeReferencePass(small));
        }
        state.counters["reference_growth_10x"] = bench::median(refLarge) / bench::median(refSmall);
        state.counters["check_ms"] = bench::median(a);
        state.counters["tenth_ms"] = bench::median(b);
        state.counters["growth_10x"] = bench::median(a) / bench::median(b);
        state.counters["load"] = bench::loadAverage();
    }
}

// `gio trash` of the same files (one process for all of them, as a user would run it) into a home
// trash on the same disk; milliseconds, or -1 when it failed.
double timeGioTrash(int count, KeptFolders& kept) {
    QTemporaryDir& root = *kept.emplace_back(std::make_unique<QTemporaryDir>());
    const QStringList paths = bench::makeMediaFiles(root.filePath(QStringLiteral("media")), count);
    // A home of its own: gio refuses every file when $HOME does not exist, and the trash it
    // finds there stays on the files' disk.
    const QString home = root.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
    QProcess gio;
    gio.setProcessEnvironment(env);
    gio.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    gio.start(QStringLiteral("gio"), QStringList{QStringLiteral("trash")} + paths);
    const bool ok =
        gio.waitForFinished(-1) && gio.exitStatus() == QProcess::NormalExit && gio.exitCode() == 0;
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return ok && !QFile::exists(paths.last()) ? ms : -1;
}

// Move to Trash as the window runs it (records journal written per file, audit log, statistics)
// against `gio trash` of the same number of files, in interleaved pairs (who goes first alternates).
// With TARNWICK_BENCH_BURN=8 every core is kept busy by spinners of this process.
void BM_TrashAgainstGio(benchmark::State& state) {
    const int count = int(state.range(0));
    if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty()) {
        state.SkipWithError("gio is not installed");
        return;
    }
    const bench::CoreBurner burner;
    for (auto _ : state) {
        std::vector<double> ours, gio, ratios;
        KeptFolders kept;
        const auto timeOurs = [&] { return timeTrashRun(count, 0, true, true, Records::perFile, &kept); };
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            const bool oursFirst = i % 2 == 0;
            const double a = oursFirst ? timeOurs() : timeGioTrash(count, kept);
            const double b = oursFirst ? timeGioTrash(count, kept) : timeOurs();
            ours.push_back(oursFirst ? a : b);
            gio.push_back(oursFirst ? b : a);
            ratios.push_back(ours.back() / gio.back());
            if (qEnvironmentVariableIsSet("TARNWICK_BENCH_VERBOSE"))
                std::fprintf(stderr, "pair %d: trash %.0f ms, gio trash %.0f ms, load %.1f\n", i, ours.back(),
                             gio.back(), bench::loadAverage());
        }
        if (std::find(gio.begin(), gio.end(), -1.0) != gio.end())
            state.SkipWithError("gio trash failed");
        state.counters["trash_ms"] = bench::median(ours);
        state.counters["gio_trash_ms"] = bench::median(gio);
        state.counters["ratio"] = bench::median(ratios);
        state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
        state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
        state.counters["load"] = bench::loadAverage();
    }
}

// Another program writing on the same disk all through a run (a render, a download, a copy): a file
// of its own overwritten in a ring at a steady pace, its pages left dirty for the kernel's own
// write-back, as such a program leaves them.
class DiskWriter {
public:
    static constexpr qint64 ringBytes = qint64(1) << 30;
    static constexpr qint64 chunkBytes = qint64(4) << 20;
    static constexpr int chunkEveryMs = 20; // 200 MB/s

    explicit DiskWriter(const QString& folder)
        : m_path(QFile::encodeName(folder + QStringLiteral("/render.mov"))),
          m_fd(::open(m_path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)),
          m_thread([this] { run(); }) {}
    ~DiskWriter() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_stopped.notify_all();
        m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        ::unlink(m_path.constData());
    }
    DiskWriter(const DiskWriter&) = delete;
    DiskWriter& operator=(const DiskWriter&) = delete;

private:
    void run() {
        const QByteArray chunk(chunkBytes, 'r');
        qint64 at = 0;
        std::unique_lock lock(m_mutex);
        while (!m_stop && m_fd >= 0) {
            lock.unlock();
            benchmark::DoNotOptimize(::pwrite(m_fd, chunk.constData(), size_t(chunk.size()), at));
            at = (at + chunkBytes) % ringBytes;
            lock.lock();
            m_stopped.wait_for(lock, std::chrono::milliseconds(chunkEveryMs), [this] { return m_stop; });
        }
    }

    QByteArray m_path;
    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    std::thread m_thread; // last: it uses the others
};

// One Move to Trash as the window runs it, quiet or beside another writer on the same disk; one run
// a process, so that a pair is this program and the same file built on the code before, alternated
// by hand. The files are synced before the writer starts; the writer runs a second before the clock.
void BM_TrashBesideWriter(benchmark::State& state) {
    const int count = int(state.range(0));
    const bool writer = state.range(1) != 0;
    for (auto _ : state) {
        std::unique_ptr<DiskWriter> other;
        KeptFolders kept;
        const double ms =
            timeTrashRun(count, 0, true, true, Records::perFile, &kept, [&](const QString& root) {
                ::sync();
                if (!writer)
                    return;
                other = std::make_unique<DiskWriter>(root);
                std::this_thread::sleep_for(std::chrono::milliseconds(bench::smokeMode() ? 100 : 1000));
            });
        other.reset();
        state.counters["trash_ms"] = ms;
        state.counters["load"] = bench::loadAverage();
    }
    state.SetLabel(writer ? "beside a writer" : "quiet");
}

// What the trash did per file before its infos were marked: lstat the item, create the info
// exclusively, write it, close it, rename the item without replacing. The reference for the step.
void oldTrashStep(const QByteArray& path, const QByteArray& trash, const QByteArray& name) {
    struct stat st {};
    ::lstat(path.constData(), &st);
    const QByteArray info = trash + "/info/" + name + ".trashinfo";
    const QByteArray text =
        "[Trash Info]\nPath=" + path.toPercentEncoding("/") + "\nDeletionDate=2026-12-07T01:00:00\n";
    const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        benchmark::DoNotOptimize(::write(fd, text.constData(), size_t(text.size())));
        ::close(fd);
    }
    ::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, QByteArray(trash + "/files/" + name).constData(),
                RENAME_NOREPLACE);
}

// One batch of `count` files trashed, by LinuxTrash or by the old steps; microseconds per file.
double timeTrashSteps(int count, bool current) {
    QTemporaryDir root;
    const testing::ScopedEnv data("XDG_DATA_HOME", QFile::encodeName(root.path()));
    const QStringList paths = bench::makeMediaFiles(root.filePath(QStringLiteral("media")), count);
    const QByteArray trash = QFile::encodeName(root.filePath(QStringLiteral("Trash")));
    QDir().mkpath(root.filePath(QStringLiteral("Trash/files")));
    QDir().mkpath(root.filePath(QStringLiteral("Trash/info")));
    LinuxFileOperations ops;
    QList<QByteArray> native;
    for (const QString& path : paths)
        native.append(QFile::encodeName(path));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        if (current)
            ops.moveToTrash(paths[i]);
        else
            oldTrashStep(native[i], trash, native[i].mid(native[i].lastIndexOf('/') + 1));
    }
    return double(clock.nsecsElapsed()) / 1e3 / count;
}

// The trash's own cost per file (no action layer), against the old steps, in alternating batches.
void BM_TrashStep(benchmark::State& state) {
    const int count = int(state.range(0));
    for (auto _ : state) {
        std::vector<double> current, old;
        for (int i = 0; i < 2 * pairs; ++i) {
            old.push_back(timeTrashSteps(count, false));
            current.push_back(timeTrashSteps(count, true));
        }
        state.counters["trash_us_per_file"] = bench::median(current);
        state.counters["old_steps_us_per_file"] = bench::median(old);
        state.counters["ratio"] = bench::median(current) / bench::median(old);
        state.counters["load"] = bench::loadAverage();
    }
}

// A home trash holding `items` trashed files (files/ and their info/), made once per size.
QString fullTrash(int items) {
    static QTemporaryDir dir;
    const QString home = dir.filePath(QString::number(items));
    const QString trash = home + QStringLiteral("/Trash");
    if (QFile::exists(trash))
        return home;
    QDir().mkpath(trash + QStringLiteral("/files"));
    QDir().mkpath(trash + QStringLiteral("/info"));
    const QByteArray info = "[Trash Info]\nPath=/Volumes/Media/clip.mov\nDeletionDate=2026-12-07T01:00:00\n";
    for (int i = 0; i < items; ++i) {
        const QString name = QStringLiteral("A%1_C001.mov").arg(i);
        QFile item(trash + QStringLiteral("/files/") + name);
        item.open(QIODevice::WriteOnly);
        item.write("x", 1);
        QFile infoFile(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        infoFile.open(QIODevice::WriteOnly);
        infoFile.write(info);
    }
    return home;
}

// Reading the two folders' names and nothing else: the least a look for leftovers can cost.
double timeListing(const QByteArray& trash) {
    QElapsedTimer clock;
    clock.start();
    qint64 names = 0;
    for (const char* sub : {"/files", "/info"}) {
        DIR* dir = ::opendir(QByteArray(trash + sub).constData());
        while (dir && ::readdir(dir))
            ++names;
        if (dir)
            ::closedir(dir);
    }
    benchmark::DoNotOptimize(names);
    return double(clock.nsecsElapsed()) / 1e6;
}

// What an info's mark says of `st`, as this build writes it (the build before named the item's
// device and inode too: the benchmark is built against it as it is).
template <typename Info = PendingTrashInfo> QByteArray itemSubject(const struct stat& st) {
    if constexpr (requires { Info::itemOf(st); })
        return Info::markSubject(Info::itemOf(st));
    else
        return Info::markSubject(LinuxFileOperations::infoFrom(st).identity());
}

// A writer that is gone: a child that ended and was reaped.
leftover::Writer deadWriter() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return {qint64(child), 1, leftover::currentWriter().bootId};
}

// What a run killed as its last infos' items reached files/ leaves, at its most: every info still
// marked by it (its mark naming its item, as this build writes it), and its note in info/. Untimed.
void leaveKilledRunsMarks(const QByteArray& trash, const leftover::Writer& dead) {
    const QByteArray info = trash + "/info/";
    DIR* dir = ::opendir(info.constData());
    while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(entry->d_name);
        if (!name.endsWith(".trashinfo"))
            continue;
        struct stat st {};
        ::lstat(QByteArray(trash + "/files/" + name.chopped(10)).constData(), &st);
        const QByteArray value = leftover::encode({dead, itemSubject(st)});
        ::lsetxattr(QByteArray(info + name).constData(), "user.tarnwick.writer", value.constData(),
                    size_t(value.size()), 0);
    }
    if (dir)
        ::closedir(dir);
    QFile note(QFile::decodeName(info + ".tarnwick-run-dead"));
    if (note.open(QIODevice::WriteOnly))
        note.write(leftover::encode({dead, {}}));
}

// The start's sweep of one trash (the body of the app's `sweepTrashLeftovers`).
double timeSweep(const QByteArray& trash) {
    QElapsedTimer clock;
    clock.start();
    benchmark::DoNotOptimize(LinuxTrash::sweepLeftovers(trash));
    return double(clock.nsecsElapsed()) / 1e6;
}

// The start's sweep of a trash of this size: as every start finds it (no run was killed), and after
// a run was killed with every info still marked by it.
void BM_TrashSweep(benchmark::State& state) {
    const QString home = fullTrash(int(state.range(0)));
    const QByteArray trash = QFile::encodeName(home + QStringLiteral("/Trash"));
    const bool killed = state.range(1) != 0;
    const leftover::Writer dead = deadWriter();
    for (auto _ : state) {
        std::vector<double> sweep, listing;
        for (int i = 0; i < pairs; ++i) {
            if (killed)
                leaveKilledRunsMarks(trash, dead);
            sweep.push_back(timeSweep(trash));
            listing.push_back(timeListing(trash));
            if (qEnvironmentVariableIsSet("TARNWICK_BENCH_VERBOSE"))
                std::fprintf(stderr, "sweep %.0f ms, listing %.0f ms, load %.1f\n", sweep.back(),
                             listing.back(), bench::loadAverage());
        }
        state.counters["sweep_ms"] = bench::median(sweep);
        state.counters["listing_ms"] = bench::median(listing);
        state.counters["ratio_listing"] = bench::median(sweep) / bench::median(listing);
        state.counters["load"] = bench::loadAverage();
    }
    state.SetLabel(killed ? "after a killed run, every info marked" : "no run killed");
}

void trashSizes(benchmark::internal::Benchmark* b) {
    b->Args(bench::smokeMode() ? std::vector<int64_t>{100, 1000} : std::vector<int64_t>{10000, 100000});
}

void recordSizes(benchmark::internal::Benchmark* b) {
    // TARNWICK_RECORDS_FILES picks another size (a loaded machine may not finish 100,000 in time).
    bool set = false;
    const int chosen = qEnvironmentVariableIntValue("TARNWICK_RECORDS_FILES", &set);
    const int64_t files = bench::smokeMode() ? 200 : set && chosen > 0 ? chosen : 100000;
    b->Args({files, 1})->Args({files, 0});
}

void safetySizes(benchmark::internal::Benchmark* b) {
    b->Args(bench::smokeMode() ? std::vector<int64_t>{100, 1000} : std::vector<int64_t>{10000, 100000});
}

} // namespace

BENCHMARK(BM_MoveToTrash)->Apply(trashSizes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RemovalRecords)->Apply(recordSizes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TrashAgainstGio)
    ->Arg(bench::smokeMode() ? 200 : 10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TrashBesideWriter)
    ->Args({bench::smokeMode() ? 200 : 10000, 0})
    ->Args({bench::smokeMode() ? 200 : 10000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TrashStep)
    ->Arg(bench::smokeMode() ? 100 : 2000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TrashSweep)
    ->Args({bench::smokeMode() ? 1000 : 100000, 0})
    ->Args({bench::smokeMode() ? 1000 : 100000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_DeleteSafetyCheck)
    ->Apply(safetySizes)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    // Logging goes to the journal in the application; here it would only measure the journal.
    AppLog::setSink([](const AppLog::Record&) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
