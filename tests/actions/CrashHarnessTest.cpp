// A child process trashes or deletes staged files and is killed with SIGKILL at a random moment;
// afterwards no file may be lost or half removed, the stores must still decode, and once the next
// start has merged the records journal every removed file has exactly one audit entry, one count in
// the statistics and one line in a trace file. A second harness kills a deletion halfway through
// the removal of an .RDC container: each staged segment then counts by its own place.
#include "actions/RecordMerge.h"
#include "actions/RecycleBin.h"
#include "actions/RemovalRun.h"
#include "actions/TraceFileWriter.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"
#include "stores/StoreFile.h"
#include "support/ChildMarkers.h"
#include "support/ChildTemporaries.h"
#include "support/CleanupHarness.h"
#include "support/CrashRounds.h"
#include "support/FaultInjectingFileOperations.h"
#include "support/FileSystemProbes.h"
#include "support/RecordCheck.h"
#include "ui/common/ReviewPrompt.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

constexpr char readyMarker[] = "CRASH-HARNESS-READY";
constexpr char doneMarker[] = "CRASH-HARNESS-DONE";
constexpr char journalBackMarker[] = "CRASH-HARNESS-JOURNAL-BACK";
constexpr char heldMarker[] = "CRASH-HARNESS-HELD";
// Generous: on a busy machine a child's run under the sanitizers may take long to say a marker.
constexpr int kMarkerTimeoutMs = 600000;

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

QString fileName(int i) {
    return QStringLiteral("Card %1/clip %2.mov").arg(i % 10).arg(i, 4, 10, QLatin1Char('0'));
}

QByteArray contentOf(int i) {
    return QByteArray::number(i).repeated(8);
}

QList<MediaFile> mediaList(const QString& mediaRoot, int count) {
    QList<MediaFile> list;
    for (int i = 0; i < count; ++i) {
        const QString path = mediaRoot + QLatin1Char('/') + fileName(i);
        if (QFileInfo::exists(path))
            list.append(media(path, 0, MediaFileStatus::online, contentOf(i).size()));
    }
    return list;
}

// The app's review prompt on a settings file in the store, asked long ago and answered: the runs
// and the merges report to it as in the app (a settings write at each end), it only counts.
struct Prompt {
    explicit Prompt(const QString& root)
        : preferences(root + "/store/Tarnwick.conf"),
          prompt(std::make_shared<ReviewPrompt>(
              preferences, [] { return QDateTime::currentDateTimeUtc(); },
              [](const QUrl&) { return true; })) {
        preferences.setValue(ReviewPrompt::answeredKey, true);
    }
    Preferences preferences;
    std::shared_ptr<ReviewPrompt> prompt;
};

// The manager on the run's stores, with every file still in place staged.
struct Session {
    explicit Session(const QString& root)
        : reviews(root), audit(root + "/store", reviews.prompt), stats(root + "/store"),
          folders(root + "/store") {}
    ProjectManagerHarness harness;
    Prompt reviews;
    AuditLogManager audit;
    StatsManager stats;
    ProtectedFolders folders;
    std::shared_ptr<FileOperations> files; // none: the system's
    CleanupServices services() {
        CleanupServices s;
        s.files = files;
        s.auditLog = &audit;
        s.statsManager = &stats;
        return s;
    }
    qsizetype stageAll(const QString& root, int count, const QString& folder = QStringLiteral("media")) {
        harness.pm().updateOptions([](CleanupOptions& options) { options.writeTraceFiles = true; });
        harness.pm()
            .edit(ProjectManager::ListChange::none)
            .setMediaFiles(mediaList(root + "/" + folder, count));
        RecycleBin(harness.pm(), services()).addToRecycleBin(harness.pm().mediaFiles());
        return harness.pm().recycleBin().size();
    }
    ActionResult run(bool toTrash) {
        return QCoro::waitFor(runRemoval(harness.pm(), services(),
                                         toTrash ? RemovalMethod::trash : RemovalMethod::deletePermanently));
    }
};

// Original path → trashed file, for every item whose .trashinfo is complete.
QHash<QString, QString> trashContents(const QString& trash, QStringList& problems) {
    QHash<QString, QString> byOriginal;
    QDirIterator files(trash + "/files", QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        const QString trashed = files.next();
        QFile info(trash + "/info/" + QFileInfo(trashed).fileName() + ".trashinfo");
        if (!info.open(QIODevice::ReadOnly)) {
            problems.append("no .trashinfo for " + trashed);
            continue;
        }
        const QList<QByteArray> lines = info.readAll().split('\n');
        if (lines.size() < 4 || lines[0] != "[Trash Info]" || !lines[1].startsWith("Path=") ||
            !lines[2].startsWith("DeletionDate=") || !lines[3].isEmpty()) {
            problems.append("damaged .trashinfo for " + trashed);
            continue;
        }
        byOriginal.insert(QFile::decodeName(QByteArray::fromPercentEncoding(lines[1].mid(5))), trashed);
    }
    return byOriginal;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file is at its place, or whole in the trash (trash mode), or gone (delete mode).
QStringList checkFiles(const QString& root, int count, bool toTrash,
                       const QStringList& folders = {QStringLiteral("media")}) {
    QStringList problems;
    const QHash<QString, QString> trashed = trashContents(root + "/home/data/Trash", problems);
    for (int k = 0; k < count * folders.size(); ++k) {
        const int i = k % count;
        const QString path = root + "/" + folders.at(k / count) + "/" + fileName(i);
        const bool inPlace = QFileInfo::exists(path);
        if (inPlace && readAll(path) != contentOf(i))
            problems.append("changed in place: " + path);
        if (!toTrash)
            continue;
        const bool inTrash = trashed.contains(path);
        if (inPlace == inTrash)
            problems.append((inPlace ? "both in place and in the trash: " : "lost: ") + path);
        else if (inTrash && readAll(trashed.value(path)) != contentOf(i))
            problems.append("incomplete in the trash: " + path);
    }
    return problems;
}

// The next start's merge, then the records against what the disk shows. The start has the child's
// home: it looks for a Trash run's files in the Trash they went to.
QStringList checkMergedRecords(const QString& root, int count, bool toTrash,
                               const QStringList& folders = {QStringLiteral("media")}) {
    const ScopedEnv homeVar("HOME", QFile::encodeName(root + "/home"));
    const ScopedEnv dataVar("XDG_DATA_HOME", QFile::encodeName(root + "/home/data"));
    const Prompt reviews(root);
    AuditLogManager audit(root + "/store", reviews.prompt);
    StatsManager stats(root + "/store");
    RecordMerge::mergeAtStart({&audit, &stats, &TraceFileWriter::shared()}, *FileOperations::system());
    RecordExpectation expected;
    expected.action = toTrash ? AuditAction::movedToTrash : AuditAction::deletedPermanently;
    QHash<QString, int> traced;
    for (const QString& folder : folders) {
        for (int i = 0; i < count; ++i) {
            const QString path = root + "/" + folder + "/" + fileName(i);
            if (QFileInfo::exists(path))
                expected.untouched.append(path);
            else
                expected.done.insert(path, contentOf(i).size());
        }
        traced.insert(tracedPaths(root + "/" + folder));
    }
    QStringList problems = checkRecords(audit, stats, expected);
    for (auto it = expected.done.cbegin(); it != expected.done.cend(); ++it) {
        if (traced.value(it.key()) != 1)
            problems.append(QStringLiteral("listed %1 times in trace files: %2")
                                .arg(traced.value(it.key()))
                                .arg(it.key()));
    }
    for (const QString& path : std::as_const(expected.untouched)) {
        if (traced.contains(path))
            problems.append("an untouched file in a trace file: " + path);
    }
    return problems;
}

constexpr int kSegments = 40;

QString segmentName(int s) {
    return QStringLiteral("Cards/A001.RDC/A001_C001_%1.R3D").arg(s, 3, 10, QLatin1Char('0'));
}

QByteArray segmentBytes(int s) {
    return QByteArray(1000 + s, char('a' + s % 26));
}

// Stages every segment while its container is there; the first one carries the container's bytes
// in the statistics.
void stageSegments(ProjectManagerHarness& harness, const QString& root) {
    QList<MediaFile> list;
    QList<RecycleBinItem> bin;
    for (int s = 1; s <= kSegments; ++s) {
        list.append(media(root + "/media/" + segmentName(s), 0, MediaFileStatus::inRecycleBin,
                          segmentBytes(s).size()));
        bin.append(binItem(list.last()));
    }
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(list);
    harness.pm().edit(ProjectManager::ListChange::none).setRecycleBin(bin);
}

// After the next start's merge: one record per segment gone, none for one still there; the bytes
// once, with the first segment.
QStringList checkSegmentRecords(const QString& root) {
    const Prompt reviews(root);
    AuditLogManager audit(root + "/store", reviews.prompt);
    StatsManager stats(root + "/store");
    RecordMerge::mergeAtStart({&audit, &stats, nullptr}, *FileOperations::system());
    RecordExpectation expected;
    expected.action = AuditAction::deletedPermanently;
    QStringList problems;
    for (int s = 1; s <= kSegments; ++s) {
        const QString path = root + "/media/" + segmentName(s);
        if (!QFileInfo::exists(path))
            expected.done.insert(path, s == 1 ? segmentBytes(s).size() : 0);
        else if (readAll(path) != segmentBytes(s))
            problems.append("changed in place: " + path);
        else
            expected.untouched.append(path);
    }
    return problems + checkRecords(audit, stats, expected);
}

} // namespace

// The container child: deletes every segment and is killed inside the container's removal, once
// `TARNWICK_CRASH_CUT` segments are gone.
TEST(CrashHarnessChild, RemoveContainer) {
    const QString root = qEnvironmentVariable("TARNWICK_CRASH_CHILD");
    if (root.isEmpty())
        GTEST_SKIP() << "started by CrashHarness only";
    const int cut = qEnvironmentVariableIntValue("TARNWICK_CRASH_CUT");
    auto files = std::make_shared<FaultInjectingFileOperations>();
    files->setBeforeEach([root, cut](FaultInjectingFileOperations::Op op, const QString& path) {
        if (op != FaultInjectingFileOperations::Op::removeTree || !path.endsWith(".RDC"))
            return;
        for (int s = 1; s <= cut; ++s) // in an order of its own, the first segment at times among them
            QFile::remove(root + "/media/" + segmentName((s * 7 + cut) % kSegments + 1));
        ::raise(SIGKILL);
    });
    Session session(root);
    session.files = files;
    stageSegments(session.harness, root);
    session.run(false);
    ChildMarkers::say(doneMarker);
}

TEST(CrashHarness, AKillInsideAContainerRemovalRecordsEachRemovedSegmentOnce) {
    // 2 to 4 kills within the time budget; TARNWICK_CRASH_CONTAINER_KILLS=40 runs a longer one.
    const CrashRounds rounds("TARNWICK_CRASH_CONTAINER_KILLS", 2, 4);
    QRandomGenerator random(quint32(QDateTime::currentMSecsSinceEpoch()));
    int kills = 0;
    for (; rounds.another(kills); ++kills) {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (int s = 1; s <= kSegments; ++s) {
            QDir().mkpath(QFileInfo(root + "/media/" + segmentName(s)).path());
            QFile file(root + "/media/" + segmentName(s));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(segmentBytes(s));
        }
        const int cut = 1 + int(random.bounded(kSegments - 1));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TARNWICK_CRASH_CHILD", root);
        env.insert("TARNWICK_CRASH_CUT", QString::number(cut));
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        keepChildTemporariesIn(env, root);
        ChildMarkers markers;
        markers.prepare(child, env);
        child.setProcessEnvironment(env);
        const QString log = root + "/child.log";
        logChildTo(child, log);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=CrashHarnessChild.RemoveContainer"});
        ASSERT_TRUE(child.waitForStarted());
        markers.started();
        const bool done = markers.waitFor(doneMarker, kMarkerTimeoutMs);
        ASSERT_TRUE(child.waitForFinished(120000));
        ASSERT_FALSE(done) << childLog(log);
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

        QStringList problems = checkSegmentRecords(root);
        EXPECT_TRUE(problems.isEmpty()) << "cut " << cut << ":\n" << problems.join('\n').toStdString();
        // The next run over the container, still staged whole, records only what it removes.
        Session retry(root);
        stageSegments(retry.harness, root);
        const ActionResult rest = retry.run(false);
        EXPECT_EQ(rest.failed, 0) << rest.errors.join('\n').toStdString();
        EXPECT_EQ(rest.succeeded, kSegments);
        EXPECT_FALSE(QFileInfo::exists(root + "/media/Cards/A001.RDC"));
        problems = checkSegmentRecords(root);
        EXPECT_TRUE(problems.isEmpty()) << "cut " << cut << ", retry:\n" << problems.join('\n').toStdString();
        if (HasFailure())
            return;
    }
    std::printf("%d kills inside a container's removal\n", kills);
}

// The journal refuses lines as a full disk would: "window" refuses the append after the run's first
// line, its first intents (the run then stops and keeps every file; once an append after that is
// written, the run's end, its markers say so), "refuse" refuses them all. "file"
// refuses every line of the journal's own file as an immutable file does (the lines go on in the
// file that follows it); "fill" refuses every line from the TARNWICK_CRASH_FILL_AT-th append on,
// as a disk filled by someone else mid-run.
void refuseJournalLines(RecordJournal& journal, const QString& how) {
    if (how == "refuse") {
        journal.setWriteFaultForTesting([] { return ENOSPC; });
    } else if (how == "file") {
        journal.setFileWriteFaultForTesting(
            [main = journal.path()](const QString& file) { return file == main ? EPERM : 0; });
    } else if (how == "fill") {
        // The stores on the same disk refuse their writes from then on as well.
        static std::atomic<bool> full{false};
        auto appends = std::make_shared<int>(0);
        const int at = envNumber("TARNWICK_CRASH_FILL_AT", 3);
        journal.setWriteFaultForTesting([appends, at] {
            if (++*appends >= at)
                full = true;
            return full ? ENOSPC : 0;
        });
        StoreFile::setSaveFaultForTesting(
            [](StoreFile::SaveStep step) { return full && step == StoreFile::SaveStep::write ? ENOSPC : 0; });
    } else if (how == "window") {
        auto appends = std::make_shared<int>(0);
        journal.setWriteFaultForTesting([appends] {
            const int n = ++*appends;
            if (n == 3)
                ChildMarkers::say(journalBackMarker);
            return n == 2 ? ENOSPC : 0;
        });
    }
}

// Holds the run before its `at`-th removal, mid-run, until the file `go` exists.
void holdRunAt(Session& session, int at, const QString& go) {
    auto files = std::make_shared<FaultInjectingFileOperations>();
    auto removals = std::make_shared<int>(0);
    files->setBeforeEach([removals, at, go](FaultInjectingFileOperations::Op op, const QString&) {
        using Op = FaultInjectingFileOperations::Op;
        if ((op == Op::moveToTrash || op == Op::removeFile) && ++*removals == at) {
            ChildMarkers::say(heldMarker);
            while (!QFileInfo::exists(go))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    session.files = std::move(files);
}

// The child: only runs when the harness starts it.
TEST(CrashHarnessChild, Run) {
    const QString root = qEnvironmentVariable("TARNWICK_CRASH_CHILD");
    if (root.isEmpty())
        GTEST_SKIP() << "started by CrashHarness only";
    Session session(root);
    refuseJournalLines(session.audit.journal(), qEnvironmentVariable("TARNWICK_CRASH_JOURNAL"));
    if (const int at = envNumber("TARNWICK_CRASH_HOLD_AT", 0))
        holdRunAt(session, at, root + "/go");
    // A second start merges what it finds first, as the window's start does.
    if (qEnvironmentVariableIsSet("TARNWICK_CRASH_SECOND"))
        RecordMerge::mergeAtStart({&session.audit, &session.stats, &TraceFileWriter::shared()},
                                  *FileOperations::system());
    const QString folder = qEnvironmentVariable("TARNWICK_CRASH_FOLDER", QStringLiteral("media"));
    session.stageAll(root, envNumber("TARNWICK_CRASH_FILES", 250), folder);
    ChildMarkers::say(readyMarker);
    session.run(qEnvironmentVariable("TARNWICK_CRASH_MODE") == "trash");
    ChildMarkers::say(doneMarker);
}

namespace {

void makeFiles(const QString& root, const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        const QString path = root + "/" + folder + "/" + fileName(i);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(contentOf(i));
    }
}

// A child run on `root`. Its markers come on a pipe of their own; its log goes to `name`.log in
// `root`, beside the folders the checks look at.
struct ChildRun {
    QProcess process;
    ChildMarkers markers;
    QByteArrayList said; // every marker read so far
    QString logPath;

    // Started and past its staging; false when it ended before.
    bool start(const QString& root, int files, bool toTrash, const QHash<QString, QString>& extra,
               const QString& name = QStringLiteral("child")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TARNWICK_CRASH_CHILD", root);
        env.insert("TARNWICK_CRASH_FILES", QString::number(files));
        env.insert("TARNWICK_CRASH_MODE", toTrash ? "trash" : "delete");
        env.insert("HOME", root + "/home");
        env.insert("XDG_DATA_HOME", root + "/home/data");
        // Leak checks at exit only slow the child down; a killed child never gets there.
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        keepChildTemporariesIn(env, root);
        for (auto it = extra.cbegin(); it != extra.cend(); ++it)
            env.insert(it.key(), it.value());
        markers.prepare(process, env);
        process.setProcessEnvironment(env);
        logPath = root + "/" + name + ".log";
        logChildTo(process, logPath);
        process.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=CrashHarnessChild.Run"});
        if (!process.waitForStarted())
            return false;
        markers.started();
        return waitFor(readyMarker);
    }
    // True once the child said `marker`; false when it ended without saying it.
    bool waitFor(const QByteArray& marker) {
        while (!said.contains(marker)) {
            const std::optional<QByteArray> line = markers.nextLine(kMarkerTimeoutMs);
            if (!line)
                return false;
            said.append(*line);
        }
        return true;
    }
    // True when the run got to its end.
    bool finish() {
        const bool done = waitFor(doneMarker);
        process.waitForFinished(60000);
        return done;
    }
    std::string log() const { return childLog(logPath); }
};

} // namespace

TEST(CrashHarness, AKilledRunNeverLosesOrHalfRemovesAFile) {
    // 250 files by default, 1000 at the full size (or TARNWICK_CRASH_FILES).
    const int fileCount = envNumber("TARNWICK_CRASH_FILES", CrashRounds::sized(250, 1000));
    // Runs alternate between the Trash and permanent deletion: 4 to 40 kills, half of each.
    const CrashRounds rounds("TARNWICK_CRASH_KILLS", 4, 40);
    QRandomGenerator random(quint32(QDateTime::currentMSecsSinceEpoch()));
    qint64 runMicros = 0; // how long an uninterrupted run takes, from the first (unkilled) run
    int kills = 0;
    int midRun = 0; // kills that left some files removed and some in place
    for (int attempt = 0; rounds.another(kills) && attempt < rounds.full() * 3; ++attempt) {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (int i = 0; i < fileCount; ++i) {
            const QString path = root + "/media/" + fileName(i);
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(contentOf(i));
        }
        const bool toTrash = attempt % 2 == 0;
        ChildRun child;
        ASSERT_TRUE(child.start(root, fileCount, toTrash, {})) << child.log();
        QElapsedTimer clock;
        clock.start();
        if (runMicros > 0) {
            // A random moment inside the run's span.
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(runMicros)));
            if (::kill(pid_t(child.process.processId()), SIGKILL) == 0)
                ++kills;
        }
        const bool done = child.waitFor(doneMarker);
        if (runMicros == 0) {
            ASSERT_TRUE(done) << child.log();
            runMicros = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);
        }
        child.process.waitForFinished(60000);

        const QStringList problems = checkFiles(root, fileCount, toTrash);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        const QStringList records = checkMergedRecords(root, fileCount, toTrash);
        EXPECT_TRUE(records.isEmpty()) << records.join('\n').toStdString();
        // The stores decode; what is still in place can be staged again, and a run that is not
        // killed finishes it with exact records.
        Session reloaded(root);
        EXPECT_FALSE(reloaded.audit.fileWasDamaged());
        EXPECT_FALSE(reloaded.stats.fileWasDamaged());
        const ScopedEnv homeVar("HOME", QFile::encodeName(root + "/home"));
        const ScopedEnv dataVar("XDG_DATA_HOME", QFile::encodeName(root + "/home/data"));
        const qsizetype remaining = reloaded.stageAll(root, fileCount);
        midRun += remaining > 0 && remaining < fileCount ? 1 : 0;
        EXPECT_EQ(remaining, mediaList(root + "/media", fileCount).size());
        const ActionResult rest = reloaded.run(toTrash);
        EXPECT_EQ(rest.failed, 0) << rest.errors.join('\n').toStdString();
        EXPECT_EQ(rest.succeeded, remaining);
        EXPECT_TRUE(mediaList(root + "/media", fileCount).isEmpty());
        EXPECT_TRUE(checkFiles(root, fileCount, toTrash).isEmpty());
        const QStringList all = checkMergedRecords(root, fileCount, toTrash);
        EXPECT_TRUE(all.isEmpty()) << all.join('\n').toStdString();
        if (HasFailure())
            return;
    }
    std::printf("%d kills, %d of them mid-run (some files removed, some in place), %d files each\n", kills,
                midRun, fileCount);
    EXPECT_GE(kills, rounds.least());
}

// The journal refuses lines for a while (a full disk): killed once it takes them again, or left to
// finish while it refuses them all, the run removes nothing unrecorded and leaves exactly one
// record per removed file.
TEST(CrashHarness, ARefusedJournalWriteLosesNoRecord) {
    const int fileCount = envNumber("TARNWICK_CRASH_FILES", CrashRounds::sized(250, 1000));
    // Each of the four kinds once, then again while the budget lasts.
    const CrashRounds rounds("TARNWICK_CRASH_JOURNAL_ROUNDS", 4, 8);
    QRandomGenerator random(quint32(QDateTime::currentMSecsSinceEpoch()));
    int kills = 0;
    int round = 0;
    for (; rounds.another(round); ++round) {
        QTemporaryDir dir;
        const QString root = dir.path();
        makeFiles(root, "media", fileCount);
        const bool toTrash = round % 2 == 0;
        const bool recovers = round % 4 < 2;
        ChildRun child;
        child.start(root, fileCount, toTrash, {{"TARNWICK_CRASH_JOURNAL", recovers ? "window" : "refuse"}});
        if (recovers && child.waitFor(journalBackMarker)) {
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(20000)));
            kills += ::kill(pid_t(child.process.processId()), SIGKILL) == 0 ? 1 : 0;
        }
        child.finish();
        const QStringList problems = checkFiles(root, fileCount, toTrash);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        const QStringList records = checkMergedRecords(root, fileCount, toTrash);
        EXPECT_TRUE(records.isEmpty()) << round << ": " << records.join('\n').toStdString();
        if (HasFailure())
            return;
    }
    std::printf("%d rounds, %d killed after the journal took lines again\n", round, kills);
}

// A kill while the journal refuses lines: its own file immutable (for real where the file system
// proves it refuses opening such a file, else refused by the fault hook), so the lines go on in the file that
// follows it; or every file refusing them from some point on, so the run stops and keeps the rest. Killed at
// a random moment, the next start finds exactly one entry and one count per removed file.
TEST(CrashHarness, AKillWhileTheJournalRefusesLinesLosesNoRecord) {
    const int fileCount = envNumber("TARNWICK_CRASH_FILES", CrashRounds::sized(250, 1000));
    // A killed run of each way after 4 rounds, of each way and kind after 8.
    const CrashRounds rounds("TARNWICK_CRASH_REFUSED_ROUNDS", 4, 12);
    QRandomGenerator random(quint32(QDateTime::currentMSecsSinceEpoch()));
    qint64 runMicros[2] = {0, 0}; // per way of refusing, from its first (unkilled) run
    int kills = 0;
    int immutable = 0;
    int round = 0;
    for (; rounds.another(round); ++round) {
        QTemporaryDir dir;
        const QString root = dir.path();
        makeFiles(root, "media", fileCount);
        const bool toTrash = round % 2 == 0;
        const int way = (round / 2) % 2; // 0: its own file refuses, 1: every file from some point
        QHash<QString, QString> extra;
        const QString journalPath = root + "/store/audit_log.journal";
        bool madeImmutable = false;
        if (way == 0) {
            QDir().mkpath(root + "/store");
            QFile(journalPath).open(QIODevice::WriteOnly);
            madeImmutable =
                immutableRefusesOpening(root + "/store").empty() && setImmutable(journalPath, true);
            immutable += madeImmutable ? 1 : 0;
            if (!madeImmutable)
                extra.insert("TARNWICK_CRASH_JOURNAL", "file");
        } else {
            extra.insert("TARNWICK_CRASH_JOURNAL", "fill");
            extra.insert("TARNWICK_CRASH_FILL_AT", QString::number(2 + random.bounded(4)));
        }
        ChildRun child;
        child.start(root, fileCount, toTrash, extra);
        QElapsedTimer clock;
        clock.start();
        if (runMicros[way] > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(runMicros[way])));
            kills += ::kill(pid_t(child.process.processId()), SIGKILL) == 0 ? 1 : 0;
        }
        const bool done = child.finish();
        if (runMicros[way] == 0) {
            ASSERT_TRUE(done) << child.log();
            runMicros[way] = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);
        }
        const QStringList problems = checkFiles(root, fileCount, toTrash);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        // The next start, the journal's own file still refusing: it merges once and counts once.
        const QStringList records = checkMergedRecords(root, fileCount, toTrash);
        EXPECT_TRUE(records.isEmpty()) << round << ": " << records.join('\n').toStdString();
        const QStringList again = checkMergedRecords(root, fileCount, toTrash);
        EXPECT_TRUE(again.isEmpty()) << round << ", a second start: " << again.join('\n').toStdString();
        if (madeImmutable)
            setImmutable(journalPath, false);
        if (HasFailure())
            return;
    }
    std::printf("%d rounds, %d killed, %d with an immutable journal\n", round, kills, immutable);
}

// A second start while a run goes on (held in its middle) merges nothing of it, and its own run
// counts beside it; then the first run goes on, or is killed and the next start completes it.
TEST(CrashHarness, ASecondStartDuringARunTakesNothingFromIt) {
    const int fileCount = envNumber("TARNWICK_CRASH_FILES", CrashRounds::sized(250, 1000));
    // Every third round kills the first run.
    const CrashRounds rounds("TARNWICK_CRASH_SECOND_ROUNDS", 3, 6);
    QRandomGenerator random(quint32(QDateTime::currentMSecsSinceEpoch()));
    for (int round = 0; rounds.another(round); ++round) {
        QTemporaryDir dir;
        const QString root = dir.path();
        makeFiles(root, "media", fileCount);
        makeFiles(root, "other", fileCount);
        const bool toTrash = round % 2 == 0;
        ChildRun first;
        const int holdAt = 2 + int(random.bounded(fileCount - 2));
        first.start(root, fileCount, toTrash, {{"TARNWICK_CRASH_HOLD_AT", QString::number(holdAt)}}, "first");
        ASSERT_TRUE(first.waitFor(heldMarker)) << first.log();
        ChildRun second;
        second.start(root, fileCount, toTrash,
                     {{"TARNWICK_CRASH_SECOND", "1"}, {"TARNWICK_CRASH_FOLDER", "other"}}, "second");
        EXPECT_TRUE(second.finish()) << second.log();
        if (round % 3 == 2)
            ::kill(pid_t(first.process.processId()), SIGKILL);
        QFile(root + "/go").open(QIODevice::WriteOnly);
        first.finish();
        const QStringList folders{"media", "other"};
        const QStringList problems = checkFiles(root, fileCount, toTrash, folders);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        const QStringList records = checkMergedRecords(root, fileCount, toTrash, folders);
        EXPECT_TRUE(records.isEmpty()) << round << ": " << records.join('\n').toStdString();
        if (HasFailure())
            return;
    }
}

// The stores on a small disk of their own that another writer fills mid-run, the media and the
// Trash elsewhere, and a kill at a random moment after: once the room is given back, the next
// start finds every file in one place, with one entry and one count for each removed one. The first
// run goes to its end: how long it takes bounds the later kills.
TEST(CrashHarness, AKillWhileTheStoresOwnDiskIsFullLosesNoRecord) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    // Enough files that most runs outgrow the room the lines found before the disk filled.
    const int fileCount = envNumber("TARNWICK_CRASH_FULL_FILES", 1500);
    const CrashRounds rounds("TARNWICK_CRASH_FULL_ROUNDS", 2, 4);
    QRandomGenerator random(quint32(QDateTime::currentMSecsSinceEpoch()));
    qint64 runMicros = 0; // from the disk's filling to the run's end, from the first (unkilled) run
    int kills = 0;
    int refused = 0;
    int round = 0;
    for (; rounds.another(round); ++round) {
        QTemporaryDir dir;
        const QString root = dir.path();
        makeFiles(root, "media", fileCount);
        const QByteArray store = QFile::encodeName(root + "/store");
        ASSERT_TRUE(QDir().mkpath(root + "/store"));
        if (::mount("tarnwick-test", store.constData(), "tmpfs", 0, "size=8388608") != 0)
            GTEST_SKIP() << "could not mount a tmpfs: " << std::strerror(errno);
        const auto unmount = qScopeGuard([&] { ::umount2(store.constData(), MNT_DETACH); });
        const bool toTrash = round % 2 == 0;
        ChildRun child;
        const int holdAt = 2 + int(random.bounded(fileCount - 2));
        child.start(root, fileCount, toTrash, {{"TARNWICK_CRASH_HOLD_AT", QString::number(holdAt)}});
        ASSERT_TRUE(child.waitFor(heldMarker)) << child.log();
        // Another program takes the store's disk whole.
        const QByteArray filler = store + "/filler";
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const QByteArray block(64 << 10, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        ::close(fd);
        QFile(root + "/go").open(QIODevice::WriteOnly);
        QElapsedTimer clock;
        clock.start();
        if (runMicros > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(runMicros)));
            kills += ::kill(pid_t(child.process.processId()), SIGKILL) == 0 ? 1 : 0;
        }
        const bool done = child.finish();
        if (runMicros == 0) {
            ASSERT_TRUE(done) << child.log();
            runMicros = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);
        }
        QFile log(child.logPath);
        const QByteArray said = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        refused += said.contains("Records could not be kept") ? 1 : 0;
        ASSERT_EQ(::unlink(filler.constData()), 0);
        const QStringList problems = checkFiles(root, fileCount, toTrash);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        const QStringList records = checkMergedRecords(root, fileCount, toTrash);
        EXPECT_TRUE(records.isEmpty()) << round << ": " << records.join('\n').toStdString();
        if (HasFailure())
            return;
    }
    std::printf("%d rounds of %d files, %d killed, %d stopped for their records before\n", round, fileCount,
                kills, refused);
}
