// The merge of the records journal after kills: between a disk step and its line, and between the
// steps of a merge.
#include "actions/RecordMerge.h"

#include "actions/TraceFileWriter.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxTrash.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"
#include "support/FaultInjectingFileOperations.h"
#include "support/RecordCheck.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QDateTime fixedTime(QDate(2025, 3, 14), QTime(9, 26, 53));

struct MergeFixture : ::testing::Test {
    QTemporaryDir dir;
    QString storeName = QStringLiteral("store");
    QString store() const { return dir.filePath(storeName); }
    QString media(const QString& name) const { return dir.filePath(QStringLiteral("media/") + name); }

    void makeFile(const QString& name, qint64 size) {
        QDir().mkpath(QFileInfo(media(name)).path());
        QFile file(media(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
    }

    // A deletion run killed after its last line: `removed` files are gone, with `decided` of them
    // written as done; the rest were never touched. The run is written by a child process that then ends, as
    // a killed window would. `together`: every intent written in one batch before the first removal.
    void leaveKilledRun(const QStringList& removed, const QStringList& decided, const QStringList& untouched,
                        bool together = false) {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            writeRun(removed, decided, untouched, together);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
    }

    void writeRun(const QStringList& removed, const QStringList& decided, const QStringList& untouched,
                  bool together) {
        AuditLogManager audit(store(), nullptr);
        RecordRun run(&audit.journal(), RecordKind::deletion, true);
        const QStringList names = removed + untouched;
        QList<RecordRun::Planned> planned;
        for (const QString& name : names) {
            MediaFile file;
            file.path = media(name);
            file.size = QFileInfo(file.path).size();
            FileRecord record;
            record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt);
            record.target = file.path;
            record.identity = FileOperations::system()->status(file.path).identity();
            record.files = 1;
            record.bytes = file.size;
            record.traced = true;
            planned.append({record, RecordJournal::prepareLine(run.id(), record, true)});
        }
        QList<int> seqs;
        if (together)
            seqs = run.intendAll(planned);
        for (qsizetype i = 0; i < names.size(); ++i) {
            const int seq = together ? seqs.at(i) : run.intend(planned.at(i).record);
            if (removed.contains(names.at(i)))
                QFile::remove(media(names.at(i)));
            if (decided.contains(names.at(i)))
                run.done(seq);
        }
    }

    RecordExpectation expectation(const QStringList& removed, const QStringList& untouched) const {
        RecordExpectation expected;
        expected.action = AuditAction::deletedPermanently;
        for (const QString& name : removed)
            expected.done.insert(media(name), 100 + name.size());
        for (const QString& name : untouched)
            expected.untouched.append(media(name));
        return expected;
    }

    // The start after the kill: the merge on fresh stores, the records checked, the traces counted.
    QStringList mergeAndCheck(const QStringList& removed, const QStringList& untouched,
                              FileOperations& files = *FileOperations::system()) {
        AuditLogManager audit(store(), nullptr);
        StatsManager stats(store());
        TraceFileWriter traces([] { return fixedTime; });
        RecordMerge::mergeAtStart({&audit, &stats, &traces}, files);
        QStringList problems = checkRecords(audit, stats, expectation(removed, untouched));
        const QHash<QString, int> traced = tracedPaths(dir.filePath(QStringLiteral("media")));
        for (const QString& name : removed) {
            if (traced.value(media(name)) != 1)
                problems.append(
                    QStringLiteral("traced %1 times: %2").arg(traced.value(media(name))).arg(name));
        }
        for (const QString& name : untouched) {
            if (traced.contains(media(name)))
                problems.append("traced though untouched: " + name);
        }
        return problems;
    }
};

using RecordMergeTest = MergeFixture;

// The line after a disk step may be lost to a kill, and the line before one may be all there is:
// the next start asks the disk, once, and records each file exactly once.
TEST_F(RecordMergeTest, AStepWithoutItsOutcomeLineIsDecidedByTheDiskOnce) {
    AppLog::setSink([](const AppLog::Record&) {});
    for (const char* name : {"Day 1/a.mov", "Day 1/b.mov", "Day 2/c.mov", "Day 2/d.mov"})
        makeFile(QString::fromUtf8(name), 100 + qint64(std::strlen(name)));
    const QStringList removed{"Day 1/a.mov", "Day 2/c.mov"};
    const QStringList untouched{"Day 1/b.mov", "Day 2/d.mov"};
    // c.mov's done line was written; a.mov was removed but its line never was.
    leaveKilledRun(removed, {"Day 2/c.mov"}, untouched);

    QStringList problems = mergeAndCheck(removed, untouched);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    // A second start finds the run closed and adds nothing.
    problems = mergeAndCheck(removed, untouched);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_EQ(QDir(media("Day 1")).entryList({"Tarnwick_Trace_*"}).size(), 1);
    AppLog::setSink({});
}

// Intents written in one batch before the first step: each is decided by its own file, whether its
// step came, its outcome line came, or neither.
TEST_F(RecordMergeTest, IntentsWrittenTogetherAreEachDecidedByTheDisk) {
    AppLog::setSink([](const AppLog::Record&) {});
    for (const char* name : {"Day 1/a.mov", "Day 1/b.mov", "Day 2/c.mov", "Day 2/d.mov"})
        makeFile(QString::fromUtf8(name), 100 + qint64(std::strlen(name)));
    const QStringList removed{"Day 1/a.mov", "Day 2/c.mov"};
    const QStringList untouched{"Day 1/b.mov", "Day 2/d.mov"};
    leaveKilledRun(removed, {"Day 1/a.mov"}, untouched, true);

    const QStringList problems = mergeAndCheck(removed, untouched);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    AppLog::setSink({});
}

// A container removed file by file and killed halfway is still there at the next start: each staged
// segment's record goes by its own place, not by the container's.
TEST_F(RecordMergeTest, ASegmentOfAHalfRemovedContainerIsDecidedByItsOwnPlace) {
    AppLog::setSink([](const AppLog::Record&) {});
    const QStringList removed{"A001.RDC/A001_001.R3D"};
    const QStringList untouched{"A001.RDC/A001_002.R3D"};
    {
        AuditLogManager audit(store(), nullptr);
        RecordRun run(&audit.journal(), RecordKind::deletion, false);
        for (const QString& name : removed + untouched) {
            makeFile(name, 100 + name.size());
            MediaFile file;
            file.path = media(name);
            file.size = 100 + name.size();
            FileRecord record;
            record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt);
            record.target = media("A001.RDC");
            record.member = file.path;
            record.files = 1;
            record.bytes = file.size;
            run.intend(record);
        }
        QFile::remove(media(removed.first()));
    }
    for (int start = 0; start < 2; ++start) {
        AuditLogManager audit(store(), nullptr);
        StatsManager stats(store());
        RecordMerge::mergeAtStart({&audit, &stats, nullptr}, *FileOperations::system());
        const QStringList problems = checkRecords(audit, stats, expectation(removed, untouched));
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    }
    AppLog::setSink({});
}

// A child runs the start's merge and is killed at one of its steps; the next start merges again.
TEST_F(RecordMergeTest, AKillBetweenTheStepsOfAMergeAppliesEachPartOnce) {
    using Step = RecordMerge::Step;
    AppLog::setSink([](const AppLog::Record&) {});
    const QStringList removed{"Day 1/a.mov", "Day 2/c.mov"};
    for (const Step step : {Step::entriesShown, Step::traceFilesNamed, Step::traceFileWritten,
                            Step::statisticsAnnounced, Step::statisticsWritten}) {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        for (const QString& name : removed)
            makeFile(name, 100 + name.size());
        leaveKilledRun(removed, removed, {});
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            RecordMerge::setStepHookForTesting([step](Step reached) {
                if (reached == step)
                    ::raise(SIGKILL);
            });
            AuditLogManager audit(store(), nullptr);
            StatsManager stats(store());
            TraceFileWriter traces([] { return fixedTime; });
            RecordMerge::mergeAtStart({&audit, &stats, &traces}, *FileOperations::system());
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << int(step);
        const QStringList problems = mergeAndCheck(removed, {});
        EXPECT_TRUE(problems.isEmpty()) << int(step) << ": " << problems.join('\n').toStdString();
        for (const char* folder : {"Day 1", "Day 2"})
            EXPECT_EQ(QDir(media(folder)).entryList({"Tarnwick_Trace_*"}).size(), 1) << int(step);
    }
    AppLog::setSink({});
}

// A second window starting while the first one's run goes on: that run is not the start's to
// merge, and the journal it writes to stays; the first window closes it itself.
TEST_F(RecordMergeTest, ARunOfAProcessStillRunningIsLeftToIt) {
    AppLog::setSink([](const AppLog::Record&) {});
    makeFile("a.mov", 105);
    makeFile("b.mov", 105);
    int ready[2];
    int go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        AuditLogManager audit(store(), nullptr);
        StatsManager stats(store());
        TraceFileWriter traces([] { return fixedTime; });
        RecordRun run(&audit.journal(), RecordKind::deletion, true);
        MediaFile file;
        file.path = media("a.mov");
        file.size = 105;
        FileRecord record;
        record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt);
        record.target = file.path;
        record.files = 1;
        record.bytes = 105;
        record.traced = true;
        const int seq = run.intend(record);
        QFile::remove(file.path);
        run.done(seq);
        run.sync();
        char byte = 'r';
        if (::write(ready[1], &byte, 1) != 1 || ::read(go[0], &byte, 1) != 1)
            _exit(1);
        RecordMerge::closeRun(run, {&audit, &stats, &traces});
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    {
        AuditLogManager audit(store(), nullptr);
        StatsManager stats(store());
        TraceFileWriter traces([] { return fixedTime; });
        EXPECT_EQ(RecordMerge::mergeAtStart({&audit, &stats, &traces}, *FileOperations::system()), 0);
        const JournalContents contents = audit.journal().read();
        ASSERT_EQ(contents.runs.size(), 1);
        EXPECT_FALSE(contents.runs.front().closed);
        EXPECT_EQ(stats.stats().filesDeleted, 0);
    }
    ASSERT_EQ(::write(go[1], &byte, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const int fd : {ready[0], ready[1], go[0], go[1]})
        ::close(fd);
    const QStringList problems = mergeAndCheck({"a.mov"}, {"b.mov"});
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    AppLog::setSink({});
}

// A window that ended a moment ago may not be reaped yet by what started it: still listed by the
// kernel, it is gone all the same. The next start merges its run and sweeps its Trash infos.
TEST_F(RecordMergeTest, ARunOfAnEndedProcessNotYetReapedIsMergedAndItsInfosSwept) {
    AppLog::setSink([](const AppLog::Record&) {});
    makeFile("a.mov", 105);
    makeFile("b.mov", 105);
    const QString trash = dir.filePath(QStringLiteral("Trash"));
    ASSERT_TRUE(QDir().mkpath(trash + "/files") && QDir().mkpath(trash + "/info"));
    constexpr int infos = 3;
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        writeRun({"a.mov"}, {}, {"b.mov"}, false);
        for (int i = 0; i < infos; ++i) {
            const QByteArray info =
                QFile::encodeName(trash + QStringLiteral("/info/clip %1.mov.trashinfo").arg(i));
            const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 || !leftover::mark(info, fd))
                _exit(1);
            ::close(fd);
        }
        _exit(0);
    }
    siginfo_t ended{};
    ASSERT_EQ(::waitid(P_PID, id_t(child), &ended, WEXITED | WNOWAIT), 0);
    const auto reap = qScopeGuard([child] { ::waitpid(child, nullptr, 0); });
    ASSERT_EQ(ended.si_code, CLD_EXITED);
    ASSERT_EQ(ended.si_status, 0);
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral("/proc/%1/stat").arg(child))) << "reaped already";

    const int swept = LinuxTrash::sweepLeftovers(QFile::encodeName(trash));
    const QStringList problems = mergeAndCheck({"a.mov"}, {"b.mov"});
    const qsizetype left = QDir(trash + "/info").entryList(QDir::Files | QDir::Hidden).size();
    std::printf("a process ended, not yet reaped: %d Trash info(s) swept, %lld left; run merged: %s\n", swept,
                qint64(left), problems.isEmpty() ? "yes" : "no");
    EXPECT_EQ(swept, infos);
    EXPECT_EQ(left, 0);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    AppLog::setSink({});
}

// A volume mounted again between the kill and the start (a drive plugged back in, another loop
// device) gives its files another device number, and FAT and exFAT other inode numbers and times
// kept to 2 s; FAT keeps local time, so under another time zone or after a daylight-saving switch
// every time moved by whole quarter hours: the files still at their paths are not recorded as gone,
// those that went are.
TEST_F(RecordMergeTest, AVolumeMountedAgainRecordsOnlyTheFilesThatWent) {
    AppLog::setSink([](const AppLog::Record&) {});
    using Remount = FaultInjectingFileOperations::Remount;
    constexpr qint64 minute = qint64(60) * 1'000'000'000;
    struct Case {
        Remount remount;
        qint64 shift;
        const char* name;
    };
    for (const Case& c : {Case{Remount::otherDevice, 0, "ext4"}, Case{Remount::fatLike, 0, "FAT"},
                          Case{Remount::fatLike, 60 * minute, "FAT after a daylight-saving switch"},
                          Case{Remount::fatLike, -(5 * 60 + 45) * minute, "FAT under another zone"},
                          Case{Remount::fatLike, 26 * 60 * minute, "FAT, UTC-12 to UTC+14"}}) {
        SCOPED_TRACE(c.name);
        const Remount remount = c.remount;
        const QString day = QString::fromLatin1(c.name) + QLatin1Char('/');
        storeName = day + QStringLiteral("store");
        QStringList removed;
        QStringList untouched;
        for (int i = 0; i < 8; ++i) {
            const QString name = day + QStringLiteral("clip %1.mov").arg(i);
            makeFile(name, 100 + name.size());
            (i % 3 == 0 ? removed : untouched).append(name);
        }
        leaveKilledRun(removed, {}, untouched, true);
        FaultInjectingFileOperations files;
        files.setRemount(remount, c.shift);
        const QStringList problems = mergeAndCheck(removed, untouched, files);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    }
    AppLog::setSink({});
}

// A killed run of many files: the start's merge says so in one line for the run with its counts,
// not in a line per entry.
TEST_F(RecordMergeTest, TheStartLogsOneLineForARunNotOnePerEntry) {
    QStringList removed;
    QStringList untouched;
    for (int i = 0; i < 300; ++i) {
        const QString name = QStringLiteral("Day 3/clip %1.mov").arg(i);
        makeFile(name, 100 + name.size());
        (i < 290 ? removed : untouched).append(name);
    }
    leaveKilledRun(removed, removed.mid(0, 100), untouched, true);
    QStringList lines;
    AppLog::setSink([&lines](const AppLog::Record& record) { lines.append(record.message); });
    const QStringList problems = mergeAndCheck(removed, untouched);
    AppLog::setSink({});
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral("Audit: ")).size(), 0);
    const QStringList runLines = lines.filter(QStringLiteral("Records: interrupted deletion run "));
    ASSERT_EQ(runLines.size(), 1);
    EXPECT_TRUE(runLines.front().endsWith(QStringLiteral(": 290 file(s) recorded, 10 not done")))
        << runLines.front().toStdString();
}

} // namespace
