// A child process moves a staged bin (plain files and an .RDC container) to a folder on another
// device and is killed with SIGKILL at a random moment. Afterwards every file must be complete in
// at least one place (only the item in flight may be at both); the next start sweeps the killed
// run's temporaries, and the next run into the same folders must finish the job: every file in
// exactly one place, no numbered duplicate. Once the next start has merged the records journal,
// every file that left its place has exactly one audit entry and one count in the statistics. Needs root for
// the second device (a tmpfs); skipped otherwise. A second harness kills the move of a large container
// halfway through the removal of its source, on one device moved as across two (a copy, then the
// source removed file by file): each segment's record then goes by its own place.
#include "actions/MoveToFolderAction.h"
#include "actions/RecordMerge.h"
#include "platform/FileMoveTestSupport.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxFileOperations.h"
#include "platform/NoReplaceRename.h"
#include "support/ChildMarkers.h"
#include "support/ChildTemporaries.h"
#include "support/CrashRounds.h"
#include "support/DiskFactsLogCapture.h"
#include "support/FileSystemProbes.h"
#include "support/ProjectManagerHarness.h"
#include "support/RecordCheck.h"
#include "support/ScratchVolume.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

constexpr char kReady[] = "MOVE-CRASH-READY";
constexpr char kDone[] = "MOVE-CRASH-DONE";
constexpr int kPlainFiles = 24;
constexpr int kSegments = 3;
// Generous: on a busy machine a child's run under the sanitizers may take long to say a marker.
constexpr int kMarkerTimeoutMs = 600000;

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

constexpr int kManySegments = 40;

using Contents = QList<std::pair<QString, QByteArray>>;

// What the media folder holds: relative path → bytes. The container's segments are the large
// items, so that many kills land inside a copy.
Contents mediaContents() {
    Contents files;
    for (int i = 0; i < kPlainFiles; ++i)
        files.append({QStringLiteral("Day %1/clip %2.mov").arg(i % 3).arg(i, 2, 10, QLatin1Char('0')),
                      test::patternBytes(256 * 1024 + i * 37 * 1024, i)});
    for (int s = 1; s <= kSegments; ++s)
        files.append({QStringLiteral("Cards/A001.RDC/A001_C001_00%1.R3D").arg(s),
                      test::patternBytes(6 * 1024 * 1024, 100 + s)});
    files.append({QStringLiteral("Cards/A001.RDC/meta/A001.RMD"), "<clip/>"});
    return files;
}

// One container of many small segments, and a plain file on each side of it.
Contents containerContents() {
    Contents files{{QStringLiteral("Day 0/before.mov"), test::patternBytes(70 * 1024, 1)}};
    for (int s = 1; s <= kManySegments; ++s)
        files.append({QStringLiteral("Cards/A001.RDC/A001_C001_%1.R3D").arg(s, 3, 10, QLatin1Char('0')),
                      test::patternBytes(64 * 1024 + s, 100 + s)});
    files.append({QStringLiteral("Cards/A001.RDC/meta/A001.RMD"), "<clip/>"});
    files.append({QStringLiteral("Day 1/after.mov"), test::patternBytes(90 * 1024, 2)});
    return files;
}

Contents contentsFor(bool manySegments) {
    return manySegments ? containerContents() : mediaContents();
}

// Moves on one device as across two, so that a container's source is removed file by file; the
// removal may kill this process after `killAfter` files.
std::shared_ptr<FileOperations> copyingFiles(int killAfter = 0) {
    FileMoveSteps steps = test::crossDeviceSteps();
    if (killAfter > 0) {
        const auto remove = steps.removeSourceFile;
        steps.removeSourceFile = [remove, left = killAfter](const QByteArray& path) mutable {
            const int result = remove(path);
            if (path.endsWith(".R3D") && --left == 0)
                ::raise(SIGKILL);
            return result;
        };
    }
    return std::make_shared<test::SteppedFileOperations>(std::move(steps));
}

QString containerOf(const QString& root) {
    return root + QStringLiteral("/media/Cards/A001.RDC");
}

// The staged entries: every plain file still in place, and each segment while its container is.
QList<MediaFile> stagedEntries(const QString& root, const Contents& contents) {
    QList<MediaFile> entries;
    for (const auto& [relative, bytes] : contents) {
        const QString path = root + QStringLiteral("/media/") + relative;
        const bool segment = relative.endsWith(QLatin1String(".R3D"));
        if (!relative.endsWith(QLatin1String(".RMD")) &&
            (segment ? QFileInfo::exists(containerOf(root)) : QFileInfo::exists(path)))
            entries.append(media(path, 0, MediaFileStatus::inRecycleBin, bytes.size()));
    }
    return entries;
}

// The run's records live beside the media, so that the next start (and the check) finds them.
struct Stores {
    explicit Stores(const QString& root)
        : audit(root + QStringLiteral("/store"), nullptr), stats(root + QStringLiteral("/store")) {}
    AuditLogManager audit;
    StatsManager stats;
};

ActionResult moveStaged(ProjectManagerHarness& harness, Stores& stores, const QString& root,
                        const QString& archive, const Contents& contents,
                        std::shared_ptr<FileOperations> files = FileOperations::system()) {
    const QList<MediaFile> entries = stagedEntries(root, contents);
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(entries);
    QList<RecycleBinItem> bin;
    for (const MediaFile& entry : entries)
        bin.append(binItem(entry));
    harness.pm().edit(ProjectManager::ListChange::none).setRecycleBin(bin);
    CleanupServices services;
    services.files = std::move(files);
    services.auditLog = &stores.audit;
    services.statsManager = &stores.stats;
    return QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(harness.pm(), archive, services));
}

struct Places {
    QStringList problems;
    int atBoth = 0; // items (a plain file, or the container) complete at both places
};

// An empty file that holds a name for a rename that has not come yet, where the file system has no
// no-replace rename: beside its note, under the name the note takes once the claim stands or the
// one it has until then (a kill between the claim and that rename).
bool isClaim(const QString& path) {
    const QByteArray to = QFile::encodeName(path);
    return QFileInfo(path).size() == 0 && (QFileInfo::exists(QFile::decodeName(claimNotePath(to))) ||
                                           QFileInfo::exists(QFile::decodeName(claimNoteAheadPath(to))));
}

// A kill between a claim and its note's word leaves an empty item nothing proves ours, kept as it
// would be a user's: the item in flight alone, still complete at its place. The user clears it
// before the retry, or the retry takes a numbered name. How many there were.
int clearKeptClaims(const QStringList& startLog, const QString& archive) {
    const QStringList kept = startLog.filter(QStringLiteral("nothing shows it is the claim"));
    EXPECT_LE(kept.size(), 1);
    for (const QString& message : kept) {
        const qsizetype from = message.indexOf(QStringLiteral("Kept ")) + 5;
        const QString item = message.mid(from, message.indexOf(QStringLiteral(": nothing")) - from);
        const QFileInfo info(item);
        const bool empty =
            info.isDir()
                ? QDir(item).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                : info.size() == 0;
        EXPECT_TRUE(item.startsWith(archive) && empty) << qPrintable(message);
        EXPECT_TRUE(QFileInfo::exists(item.mid(archive.size()))) << qPrintable(message);
        EXPECT_TRUE(info.isDir() ? QDir().rmdir(item) : QFile::remove(item)) << qPrintable(item);
    }
    return int(kept.size());
}

// Every file complete at its place, at its archive path, or at both; never partial under its name.
Places checkPlaces(const QString& root, const QString& archive, const Contents& contents) {
    Places places;
    bool containerAtBoth = false;
    for (const auto& [relative, bytes] : contents) {
        const QString source = root + QStringLiteral("/media/") + relative;
        const QString target = archive + source;
        const bool atSource = QFileInfo::exists(source);
        const bool atTarget = QFileInfo::exists(target) && !(atSource && isClaim(target));
        if (!atSource && !atTarget)
            places.problems.append(QStringLiteral("lost: ") + source);
        if (atSource && test::readBytes(source) != bytes)
            places.problems.append(QStringLiteral("changed at its place: ") + source);
        if (atTarget && test::readBytes(target) != bytes)
            places.problems.append(QStringLiteral("incomplete at its archive path: ") + target);
        if (atSource && atTarget) {
            if (relative.startsWith(QLatin1String("Cards/")))
                containerAtBoth = true;
            else
                ++places.atBoth;
        }
    }
    places.atBoth += containerAtBoth ? 1 : 0;
    return places;
}

// The next start's merge, then the records against the disk: a staged file counts once it has left
// its place (a segment too: its container may be half removed).
QStringList checkMergedRecords(const QString& root, const Contents& contents) {
    Stores stores(root);
    RecordMerge::mergeAtStart({&stores.audit, &stores.stats, nullptr}, *FileOperations::system());
    RecordExpectation expected;
    expected.action = AuditAction::movedToFolder;
    expected.counter = RecordExpectation::Counter::filesMoved;
    for (const auto& [relative, bytes] : contents) {
        if (relative.endsWith(QLatin1String(".RMD")))
            continue;
        const QString path = root + QStringLiteral("/media/") + relative;
        if (QFileInfo::exists(path))
            expected.untouched.append(path);
        else
            expected.done.insert(path, bytes.size());
    }
    return checkRecords(stores.audit, stores.stats, expected);
}

// Every name below `folder`, hidden ones included, relative to it.
QStringList allFilesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next().mid(folder.size()));
    found.sort();
    return found;
}

// What a sweep of `temporaries` logs: one line per item; a mark's sidecar goes with its item.
qsizetype sweptItems(const QStringList& temporaries) {
    return std::count_if(temporaries.cbegin(), temporaries.cend(), [&](const QString& path) {
        const QByteArray target = leftover::sidecarTarget(QFile::encodeName(path));
        return target.isEmpty() || !temporaries.contains(QFile::decodeName(target));
    });
}

// The child on `root`, its markers on a pipe of their own and its log in `root`/child.log.
void startChild(QProcess& child, ChildMarkers& markers, const QString& root, const QString& archive,
                int cut) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TARNWICK_MOVE_CRASH_CHILD", root);
    env.insert("TARNWICK_MOVE_CRASH_ARCHIVE", archive);
    if (cut > 0)
        env.insert("TARNWICK_MOVE_CRASH_CUT", QString::number(cut));
    env.insert("ASAN_OPTIONS", "detect_leaks=0"); // a killed child never gets to its leak check
    keepChildTemporariesIn(env, root);
    markers.prepare(child, env);
    child.setProcessEnvironment(env);
    logChildTo(child, root + QStringLiteral("/child.log"));
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=MoveCrashHarnessChild.Run"});
    if (child.waitForStarted())
        markers.started();
}

// Starts the child on `root` and returns once it has ended: whether it said it was done.
bool runChild(const QString& root, const QString& archive, int cut) {
    QProcess child;
    ChildMarkers markers;
    startChild(child, markers, root, archive, cut);
    const bool done = markers.waitFor(kDone, kMarkerTimeoutMs);
    child.waitForFinished(120000);
    return done;
}

} // namespace

// The child: only runs when the harness starts it.
TEST(MoveCrashHarnessChild, Run) {
    const QString root = qEnvironmentVariable("TARNWICK_MOVE_CRASH_CHILD");
    if (root.isEmpty())
        GTEST_SKIP() << "started by MoveCrashHarness only";
    // With a cut the run moves the large container and kills itself inside its source's removal.
    const int cut = qEnvironmentVariableIntValue("TARNWICK_MOVE_CRASH_CUT");
    ProjectManagerHarness harness;
    Stores stores(root);
    ChildMarkers::say(kReady);
    const ActionResult result =
        moveStaged(harness, stores, root, qEnvironmentVariable("TARNWICK_MOVE_CRASH_ARCHIVE"),
                   contentsFor(cut > 0), cut > 0 ? copyingFiles(cut) : FileOperations::system());
    ChildMarkers::say(kDone);
    std::printf("moved %lld, failed %lld\n", qint64(result.succeeded), qint64(result.failed));
}

namespace {

// Moves into `volume` (another device), killed at random; `attributes`: the volume keeps user
// attributes, so that a killed move's temporaries are all the sweeps find there.
void moveKilledAtRandom(const QString& volume, bool attributes) {
    // 4 to 20 kills within the time budget; TARNWICK_MOVE_CRASH_KILLS=50 (or more) runs a longer one.
    const CrashRounds rounds("TARNWICK_MOVE_CRASH_KILLS", 4, 20);
    const quint32 seed =
        quint32(envNumber("TARNWICK_MOVE_CRASH_SEED", int(QDateTime::currentSecsSinceEpoch())));
    QRandomGenerator random(seed);
    const Contents contents = mediaContents();
    qint64 runMicros = 0; // an uninterrupted run, from the first attempt
    int kills = 0;
    int leftBehind = 0;
    int atBothPlaces = 0;
    int keptClaims = 0;
    int swept = 0;
    for (int attempt = 0; rounds.another(kills) && attempt < rounds.full() * 3; ++attempt) {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (const auto& [relative, bytes] : contents)
            ASSERT_TRUE(test::writeBytes(root + QStringLiteral("/media/") + relative, bytes));
        const QString archive = volume + QStringLiteral("/attempt %1").arg(attempt);
        ASSERT_TRUE(QDir().mkpath(archive));

        QProcess child;
        ChildMarkers markers;
        startChild(child, markers, root, archive, 0);
        ASSERT_TRUE(markers.waitFor(kReady)) << childLog(root + QStringLiteral("/child.log"));
        QElapsedTimer clock;
        clock.start();
        const qint64 pid = child.processId();
        if (runMicros > 0) {
            // Every other kill waits for a copy to be under way, then strikes within 2 ms: inside
            // a copy, at its rename or at the removal of its source.
            if (attempt % 2 == 0) {
                // Bounded: a run may end before a poll sees one of its short-lived copies.
                while (clock.nsecsElapsed() / 1000 < 2 * runMicros &&
                       test::temporaryLeftovers(archive).isEmpty())
                    std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(2000)));
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(runMicros)));
            }
            ::kill(pid_t(pid), SIGKILL);
        }
        const bool done = markers.waitFor(kDone, kMarkerTimeoutMs);
        // A kill that came after the run had finished is no kill.
        if (runMicros > 0 && !done)
            ++kills;
        if (runMicros == 0) {
            ASSERT_TRUE(done) << childLog(root + QStringLiteral("/child.log"));
            runMicros = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);
        }
        ASSERT_TRUE(child.state() == QProcess::NotRunning || child.waitForFinished(60000));
        // Nothing of the child goes on running (it starts no processes of its own).
        EXPECT_TRUE(::kill(pid_t(pid), 0) != 0 && errno == ESRCH);

        const Places afterKill = checkPlaces(root, archive, contents);
        EXPECT_TRUE(afterKill.problems.isEmpty()) << afterKill.problems.join('\n').toStdString();
        EXPECT_LE(afterKill.atBoth, 1);
        atBothPlaces += afterKill.atBoth;
        const QStringList temporaries = test::temporaryLeftovers(archive);
        for (const QString& temporary : temporaries)
            EXPECT_TRUE(QFileInfo(temporary).fileName().startsWith('.')) << qPrintable(temporary);
        leftBehind += temporaries.isEmpty() ? 0 : 1;
        {
            // The next start sweeps the killed copy's temporaries from the folders its journal names.
            test::DiskFactsLogCapture startLog;
            const QStringList records = checkMergedRecords(root, contents);
            EXPECT_TRUE(records.isEmpty()) << records.join('\n').toStdString();
            EXPECT_TRUE(test::temporaryLeftovers(archive).isEmpty())
                << "before the start: " << temporaries.join(' ').toStdString();
            // Elsewhere the marks' sidecars and notes are written under names of their own first.
            const qsizetype removed = startLog.messages().filter(QStringLiteral("Removed leftover")).size();
            if (attributes)
                EXPECT_EQ(removed, sweptItems(temporaries));
            else
                EXPECT_GE(removed, sweptItems(temporaries));
            keptClaims += clearKeptClaims(startLog.messages(), archive);
        }

        // The next run over what is still in place finishes the killed one.
        test::DiskFactsLogCapture log;
        ProjectManagerHarness retry;
        const qsizetype staged = stagedEntries(root, contents).size();
        ActionResult rest;
        {
            Stores stores(root);
            rest = moveStaged(retry, stores, root, archive, contents);
        }
        EXPECT_EQ(rest.failed, 0) << rest.errors.join('\n').toStdString();
        EXPECT_EQ(rest.succeeded, staged);
        const Places afterRetry = checkPlaces(root, archive, contents);
        EXPECT_TRUE(afterRetry.problems.isEmpty()) << afterRetry.problems.join('\n').toStdString();
        EXPECT_TRUE(allFilesBelow(root + QStringLiteral("/media")).isEmpty());
        QStringList expected;
        for (const auto& [relative, bytes] : contents)
            expected.append(root + QStringLiteral("/media/") + relative);
        expected.sort();
        // No numbered copy, no temporary, no mark.
        EXPECT_EQ(allFilesBelow(archive).join('\n').toStdString(), expected.join('\n').toStdString())
            << "temporaries before the retry: " << temporaries.join(' ').toStdString();
        EXPECT_EQ(log.messages().filter(QStringLiteral("Removed leftover")).size(), 0);
        swept += int(temporaries.size());
        const QStringList all = checkMergedRecords(root, contents);
        EXPECT_TRUE(all.isEmpty()) << all.join('\n').toStdString();
        ASSERT_TRUE(QDir(archive).removeRecursively());
        if (::testing::Test::HasFailure()) {
            std::printf("seed %u, attempt %d\n", seed, attempt);
            return;
        }
    }
    std::printf("%d kills (seed %u, uninterrupted run %lld µs): %d left a temporary copy, %d left an "
                "item at both places, %d an empty claim kept; the next starts swept %d leftovers\n",
                kills, seed, runMicros, leftBehind, atBothPlaces, keptClaims, swept);
    EXPECT_GE(kills, rounds.least());
}

} // namespace

TEST(MoveCrashHarness, AKilledMoveIsFinishedByTheNextRunWithoutDuplicatesOrLeftovers) {
    test::TmpfsMount mount("256m");
    if (!mount.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    // The next run knows a killed move's copy by the source it names in a user attribute.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, mount.path());
    moveKilledAtRandom(mount.path(), true);
}

// The same onto an exFAT drive (its FUSE driver): no user attributes, no hard links, no
// RENAME_NOREPLACE, times to its step; a killed move's copy is known by its note.
TEST(MoveCrashHarness, OntoAVolumeWithoutLinksModesOrAttributes) {
    ScratchVolume volume(ScratchVolume::Kind::exfat, qint64(256) << 20);
    if (!volume.whyNot().empty())
        GTEST_SKIP() << volume.name() << ": " << volume.whyNot();
    moveKilledAtRandom(volume.path(), false);
}

// A kill halfway through the removal of a moved container's source: the segments that left their
// place count once each after the next start, the ones still there not at all, and the next run
// finishes the move without recording any segment twice.
TEST(MoveCrashHarness, AKillInsideAContainerSourceRemovalRecordsEachSegmentOnce) {
    // 2 to 4 kills within the time budget; TARNWICK_MOVE_CRASH_CONTAINER_KILLS=40 runs a longer one.
    const CrashRounds rounds("TARNWICK_MOVE_CRASH_CONTAINER_KILLS", 2, 4);
    const quint32 seed =
        quint32(envNumber("TARNWICK_MOVE_CRASH_SEED", int(QDateTime::currentSecsSinceEpoch())));
    QRandomGenerator random(seed);
    const Contents contents = containerContents();
    int kills = 0;
    for (int attempt = 0; rounds.another(attempt); ++attempt, ++kills) {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (const auto& [relative, bytes] : contents)
            ASSERT_TRUE(test::writeBytes(root + QStringLiteral("/media/") + relative, bytes));
        const QString archive = root + QStringLiteral("/archive");
        ASSERT_TRUE(QDir().mkpath(archive));
        const int cut = 1 + int(random.bounded(kManySegments - 1));
        ASSERT_FALSE(runChild(root, archive, cut)) << childLog(root + QStringLiteral("/child.log"));
        ASSERT_TRUE(QFileInfo::exists(containerOf(root)));

        const Places afterKill = checkPlaces(root, archive, contents);
        EXPECT_TRUE(afterKill.problems.isEmpty()) << afterKill.problems.join('\n').toStdString();
        const QStringList records = checkMergedRecords(root, contents);
        EXPECT_TRUE(records.isEmpty()) << records.join('\n').toStdString();

        ProjectManagerHarness retry;
        const qsizetype staged = stagedEntries(root, contents).size();
        ActionResult rest;
        {
            Stores stores(root);
            rest = moveStaged(retry, stores, root, archive, contents, copyingFiles());
        }
        EXPECT_EQ(rest.failed, 0) << rest.errors.join('\n').toStdString();
        EXPECT_EQ(rest.succeeded, staged);
        EXPECT_TRUE(allFilesBelow(root + QStringLiteral("/media")).isEmpty());
        const Places afterRetry = checkPlaces(root, archive, contents);
        EXPECT_TRUE(afterRetry.problems.isEmpty()) << afterRetry.problems.join('\n').toStdString();
        EXPECT_EQ(afterRetry.atBoth, 0);
        EXPECT_TRUE(test::temporaryLeftovers(archive).isEmpty());
        const QStringList all = checkMergedRecords(root, contents);
        EXPECT_TRUE(all.isEmpty()) << all.join('\n').toStdString();
        if (HasFailure()) {
            std::printf("seed %u, attempt %d, cut after %d segments\n", seed, attempt, cut);
            return;
        }
    }
    std::printf("%d kills inside a container's source removal (seed %u)\n", kills, seed);
}
