#include "platform/LinuxTrash.h"
#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxFileOperations.h"
#include "platform/MountTable.h"
#include "platform/PendingTrashInfo.h"
#include "support/DeadProcess.h"
#include "support/FileChanges.h"
#include "support/FileSystemProbes.h"
#include "support/ForeignMark.h"
#include "support/HangWatchdog.h"
#include "support/NoAttributeMount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <mutex>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarnwick;
using tarnwick::testing::deadPid;

namespace {

void writeFile(const QString& path, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets an environment variable for the test's lifetime.
class EnvOverride {
public:
    EnvOverride(const char* name, const QByteArray& value) : m_name(name) {
        if (qEnvironmentVariableIsSet(name))
            m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvOverride() {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

quint32 modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

// A temporary home with an XDG data folder inside it, on the same volume as the media folder.
class LinuxTrashTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QTemporaryDir media;
    EnvOverride homeVar{"HOME", QFile::encodeName(home.path())};
    EnvOverride dataVar{"XDG_DATA_HOME", QFile::encodeName(home.path() + "/data")};
    LinuxFileOperations ops;

    QString trash() const { return home.path() + "/data/Trash"; }
    QString at(const QString& relative) const { return media.path() + "/" + relative; }
};

void markAs(const QString& path, const leftover::Writer& writer, const QByteArray& subject = {}) {
    ASSERT_TRUE(tarnwick::testing::markAsWrittenBy(path, writer, subject));
}

const QByteArray completeInfo = "[Trash Info]\nPath=/gone.mov\nDeletionDate=2026-12-07T01:00:00\n";

// What an info's mark says of the item now at `path`.
QByteArray markedSubjectOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return PendingTrashInfo::markSubject(PendingTrashInfo::itemOf(st));
}

// The note a killed run of `writer` leaves in the trash's info/ folder: infos beside their items
// are looked at only where one outlived its writer.
void leaveRunNote(const QString& infoFolder, const leftover::Writer& writer) {
    writeFile(infoFolder + "/.tarnwick-run-killed", leftover::encode({writer, {}}));
}

} // namespace

TEST_F(LinuxTrashTest, WritesTheInfoAndMovesTheFileIntoTheHomeTrash) {
    // Spaces, a decomposed accent (NFD) and CJK in one name.
    const QString name = QString::fromUtf8("Day 1 Cafe\xCC\x81 \xE6\x92\xAE\xE5\xBD\xB1.mov");
    writeFile(at("Shoot/" + name), "media bytes");

    const TrashOutcome outcome = ops.moveToTrash(at("Shoot/" + name));
    ASSERT_TRUE(outcome.status.ok()) << outcome.status.message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(at("Shoot/" + name)));
    EXPECT_EQ(outcome.trashedPath, trash() + "/files/" + name);
    EXPECT_EQ(readAll(outcome.trashedPath), "media bytes");
    EXPECT_EQ(outcome.infoPath, trash() + "/info/" + name + ".trashinfo");

    const QByteArray info = readAll(outcome.infoPath);
    const QByteArray expectedPath = QFile::encodeName(at("Shoot/" + name)).toPercentEncoding("/");
    EXPECT_TRUE(info.startsWith(QByteArray("[Trash Info]\nPath=" + expectedPath + "\nDeletionDate=")))
        << info.toStdString();
    EXPECT_TRUE(expectedPath.contains("Day%201%20Cafe"));
    const QByteArray date = info.mid(info.indexOf("DeletionDate=") + 13).trimmed();
    EXPECT_TRUE(QDateTime::fromString(QString::fromLatin1(date), "yyyy-MM-ddTHH:mm:ss").isValid());
    EXPECT_EQ(modeOf(trash()), 0700u);
    // The mark of an info in flight comes off once its item is in files/.
    EXPECT_FALSE(leftover::markOf(QFile::encodeName(outcome.infoPath)));
}

TEST_F(LinuxTrashTest, TheFirstOperationOfARunSweepsOnlyOurAbandonedInfos) {
    // Elsewhere the marks are sidecars beside the infos.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, home.path());
    QStringList logged;
    AppLog::setSink([&](const AppLog::Record& r) { logged.append(r.message); });
    const leftover::Writer dead{deadPid(), 1, leftover::currentWriter().bootId};
    const QString info = trash() + "/info/";
    writeFile(info + "killed.mov.trashinfo", completeInfo);
    markAs(info + "killed.mov.trashinfo", dead);
    writeFile(info + "empty.mov.trashinfo", "");
    markAs(info + "empty.mov.trashinfo", dead);
    // Finished before the kill took its mark off: its item is there (a mark of an earlier version
    // names no item).
    writeFile(info + "done.mov.trashinfo", completeInfo);
    writeFile(trash() + "/files/done.mov", "media");
    markAs(info + "done.mov.trashinfo", dead, markedSubjectOf(trash() + "/files/done.mov"));
    writeFile(info + "earlier.mov.trashinfo", completeInfo);
    markAs(info + "earlier.mov.trashinfo", dead);
    writeFile(trash() + "/files/earlier.mov", "media");
    // Made for a file that never went: another program's item took the name in files/.
    writeFile(info + "taken.mov.trashinfo", completeInfo);
    markAs(info + "taken.mov.trashinfo", dead, PendingTrashInfo::markSubject({false, true, 3, 4}));
    writeFile(trash() + "/files/taken.mov", "another program's");
    writeFile(info + "foreign.mov.trashinfo", completeInfo); // another program's, unmarked
    writeFile(info + "running.mov.trashinfo", completeInfo);
    markAs(info + "running.mov.trashinfo", leftover::currentWriter());
    // A sidecar mark (file systems without attributes) whose info never got its name.
    writeFile(info + ".orphan.mov.trashinfo.tarnwick-mark", "1 1\n" + leftover::encode({dead, {}}));
    writeFile(at("clip.mov"));
    leaveRunNote(info, dead);

    ASSERT_TRUE(ops.moveToTrash(at("clip.mov")).status.ok());
    ops.expectTrash({}); // the run's end takes its own note away
    const QStringList left = QDir(info).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(left, (QStringList{"clip.mov.trashinfo", "done.mov.trashinfo", "earlier.mov.trashinfo",
                                 "foreign.mov.trashinfo", "running.mov.trashinfo"}));
    EXPECT_EQ(readAll(trash() + "/files/done.mov"), "media");
    EXPECT_EQ(readAll(trash() + "/files/taken.mov"), "another program's");
    EXPECT_EQ(logged.filter("Removed leftover").size(), 4);
    EXPECT_EQ(logged.filter("Removed leftover " + info + "killed.mov.trashinfo").size(), 1);

    // Once per run: later leftovers wait for the next run's first operation.
    writeFile(info + "later.mov.trashinfo", completeInfo);
    markAs(info + "later.mov.trashinfo", dead);
    writeFile(at("second.mov"));
    ASSERT_TRUE(ops.moveToTrash(at("second.mov")).status.ok());
    EXPECT_TRUE(QFile::exists(info + "later.mov.trashinfo"));
    LinuxFileOperations nextRun;
    writeFile(at("third.mov"));
    ASSERT_TRUE(nextRun.moveToTrash(at("third.mov")).status.ok());
    EXPECT_FALSE(QFile::exists(info + "later.mov.trashinfo"));
    AppLog::setSink({});
}

TEST_F(LinuxTrashTest, AtStartSweepsOurAbandonedInfosInTheHomeTrashAndOnLocalVolumesButNotOnShares) {
    const leftover::Writer dead{deadPid(), 1, leftover::currentWriter().bootId};
    const QString own = QString::number(::getuid());
    QTemporaryDir volumes;
    const QString local = volumes.path() + "/usb/.Trash-" + own;
    const QString shared = volumes.path() + "/usb/.Trash/" + own; // both kinds on one volume
    const QString share = volumes.path() + "/nas/.Trash-" + own;
    for (const QString& root : {trash(), local, shared, share}) {
        QDir().mkpath(root + "/files");
        writeFile(root + "/info/killed.mov.trashinfo", completeInfo);
        markAs(root + "/info/killed.mov.trashinfo", dead);
    }
    writeFile(trash() + "/info/foreign.mov.trashinfo", completeInfo);
    writeFile(trash() + "/info/running.mov.trashinfo", completeInfo);
    markAs(trash() + "/info/running.mov.trashinfo", leftover::currentWriter());
    // The same volume mounted twice, and a share whose look might never answer.
    const MountTable mounts({{1, volumes.path() + "/usb", "fuseblk", "/dev/sdb1"},
                             {1, volumes.path() + "/usb", "fuseblk", "/dev/sdb1"},
                             {2, volumes.path() + "/nas", "nfs4", "nas:/media"}});

    EXPECT_EQ(
        LinuxTrash::knownTrashes(mounts),
        (QList<QByteArray>{QFile::encodeName(trash()), QFile::encodeName(shared), QFile::encodeName(local)}));
    EXPECT_EQ(LinuxTrash::sweepKnownTrashes(mounts), 3);
    for (const QString& root : {trash(), local, shared})
        EXPECT_FALSE(QFile::exists(root + "/info/killed.mov.trashinfo")) << root.toStdString();
    EXPECT_TRUE(QFile::exists(share + "/info/killed.mov.trashinfo"));
    EXPECT_EQ(QDir(trash() + "/info").entryList(QDir::Files, QDir::Name),
              (QStringList{"foreign.mov.trashinfo", "running.mov.trashinfo"}));
}

// Where the file system keeps no user attributes (FAT and exFAT drives) every mark is a sidecar.
// An info's comes before the info, so that a kill at any step leaves something the sweep takes; an
// info whose item reached files/ before the kill is a real one, and loses its sidecar for good.
TEST(LinuxTrashWithoutAttributes, WhatAKillLeavesIsSweptAndAFinishedInfoKeepsNoSidecar) {
    const tarnwick::testing::NoAttributeMount mount;
    if (!mount.whyNot().empty())
        GTEST_SKIP() << mount.whyNot();
    EnvOverride homeVar{"HOME", QFile::encodeName(mount.path())};
    EnvOverride dataVar{"XDG_DATA_HOME", QFile::encodeName(mount.path() + "/data")};
    const QString info = mount.path() + "/data/Trash/info/";
    const QString files = mount.path() + "/data/Trash/files/";
    const auto infoFolder = [&] { return QDir(info).entryList(QDir::Files | QDir::Hidden, QDir::Name); };
    LinuxFileOperations ops;
    writeFile(mount.path() + "/media/clip.mov");
    ASSERT_TRUE(ops.moveToTrash(mount.path() + "/media/clip.mov").status.ok());
    ops.expectTrash({});
    EXPECT_EQ(infoFolder(), QStringList{"clip.mov.trashinfo"});

    const leftover::Writer dead{deadPid(), 1, leftover::currentWriter().bootId};
    const QByteArray reserved = "reserved\n" + leftover::encode({dead, {}});
    // Killed once the sidecar reserved the name: before the info was made, and after.
    writeFile(info + ".before.mov.trashinfo.tarnwick-mark", reserved);
    writeFile(info + ".after.mov.trashinfo.tarnwick-mark", reserved);
    writeFile(info + "after.mov.trashinfo", "");
    // Killed once the item was in files/, before the info's mark came off.
    writeFile(files + "done.mov", "media");
    writeFile(info + "done.mov.trashinfo", completeInfo);
    markAs(info + "done.mov.trashinfo", dead, markedSubjectOf(files + "done.mov"));
    leaveRunNote(info, dead);

    LinuxFileOperations nextRun;
    writeFile(mount.path() + "/media/second.mov");
    ASSERT_TRUE(nextRun.moveToTrash(mount.path() + "/media/second.mov").status.ok());
    nextRun.expectTrash({});
    EXPECT_EQ(infoFolder(),
              (QStringList{"clip.mov.trashinfo", "done.mov.trashinfo", "second.mov.trashinfo"}));
    EXPECT_EQ(readAll(files + "done.mov"), "media");
}

TEST_F(LinuxTrashTest, ShortensNamesTooLongForTheTrashKeepingCharactersAndTheExtension) {
    // "e" + combining acute: three bytes that must stay together; 84 of them and ".mov" = 256 bytes
    // is too long for any Linux name, so the longest real names are 250 to 255 bytes.
    const QString unit = QString::fromUtf8("e\xCC\x81");
    for (int length : {250, 252, 255}) {
        SCOPED_TRACE(length);
        const int units = (length - 4) / 3;
        const QString stem = unit.repeated(units) + QString(length - 4 - units * 3, QLatin1Char('x'));
        const QString name = stem + ".mov";
        ASSERT_EQ(name.toUtf8().size(), length);
        writeFile(at(QString::number(length) + "/A/" + name), "first");
        writeFile(at(QString::number(length) + "/B/" + name), "second");
        QStringList trashed;
        for (const char* folder : {"/A/", "/B/"}) {
            const TrashOutcome outcome = ops.moveToTrash(at(QString::number(length) + folder + name));
            ASSERT_TRUE(outcome.status.ok()) << outcome.status.message.toStdString();
            const QString inTrash = QFileInfo(outcome.trashedPath).fileName();
            trashed.append(inTrash);
            EXPECT_LE(QFileInfo(outcome.infoPath).fileName().toUtf8().size(), 255);
            EXPECT_EQ(QFileInfo(outcome.infoPath).fileName(), inTrash + ".trashinfo");
            EXPECT_TRUE(inTrash.endsWith(".mov"));
            // Shortened names of equal beginnings are numbered like any other same name.
            const QByteArray cutStem = inTrash.chopped(4).remove(QRegularExpression(" \\(\\d+\\)$")).toUtf8();
            EXPECT_TRUE(stem.toUtf8().startsWith(cutStem));
            EXPECT_EQ(qMin(cutStem.size(), units * 3) % 3, 0) << "cut inside a character";
            // The desktop restores the original name and place from the info.
            const QByteArray original = QFile::encodeName(at(QString::number(length) + folder + name));
            EXPECT_TRUE(readAll(outcome.infoPath)
                            .contains(QByteArray("Path=" + original.toPercentEncoding("/") + "\n")));
        }
        EXPECT_NE(trashed[0], trashed[1]);
        EXPECT_TRUE(trashed[1].contains(QRegularExpression(" \\([2-9]\\)\\.mov$")));
    }
}

TEST(LinuxTrashName, NumbersAndShortensWithinTheLimit) {
    EXPECT_EQ(LinuxTrash::trashName("clip.mov", 1, 245), "clip.mov");
    EXPECT_EQ(LinuxTrash::trashName("clip.mov", 3, 245), "clip (3).mov");
    EXPECT_EQ(LinuxTrash::trashName("README", 2, 245), "README (2)");
    EXPECT_EQ(LinuxTrash::trashName(".hidden", 2, 245), ".hidden (2)");
    EXPECT_EQ(LinuxTrash::trashName("abcdefghij.mov", 12, 245), "abcdefghij (12).mov");
    EXPECT_EQ(LinuxTrash::trashName("abcdefghij.mov", 12, 15), "abcdef (12).mov");
    // CJK characters are three bytes each: never half of one.
    const QByteArray cjk = QString::fromUtf8("\xE6\x92\xAE\xE5\xBD\xB1").repeated(10).toUtf8() + ".mp4";
    EXPECT_EQ(LinuxTrash::trashName(cjk, 1, 12),
              QString::fromUtf8("\xE6\x92\xAE\xE5\xBD\xB1").toUtf8() + ".mp4");
    // A "tail" too long to be an extension is shortened with the rest.
    const QByteArray odd = "a." + QByteArray(100, 'x');
    EXPECT_EQ(LinuxTrash::trashName(odd, 2, 20), "a." + QByteArray(14, 'x') + " (2)");
    EXPECT_TRUE(LinuxTrash::trashName("clip.mov", 1, 0).isEmpty());
}

TEST_F(LinuxTrashTest, CreatesAMissingHomeTrashWithItsParentsAndNothingInTheWorkingFolder) {
    QTemporaryDir emptyHome;
    QTemporaryDir workingFolder;
    const EnvOverride bareHome("HOME", QFile::encodeName(emptyHome.path()));
    const EnvOverride noDataHome("XDG_DATA_HOME", QByteArray());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(workingFolder.path()));
    writeFile(at("clip.mov"));

    const TrashOutcome outcome = ops.moveToTrash(at("clip.mov"));
    QDir::setCurrent(previous);
    ASSERT_TRUE(outcome.status.ok()) << outcome.status.message.toStdString();
    const QString homeTrash = emptyHome.path() + "/.local/share/Trash";
    EXPECT_TRUE(QFile::exists(homeTrash + "/files/clip.mov"));
    EXPECT_TRUE(QFile::exists(homeTrash + "/info/clip.mov.trashinfo"));
    EXPECT_EQ(modeOf(emptyHome.path() + "/.local"), 0700u);
    EXPECT_EQ(modeOf(homeTrash), 0700u);
    EXPECT_TRUE(QDir(workingFolder.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(LinuxTrashTest, SameNameTwiceGetsANumberedNameAndLeavesAStrayFileAlone) {
    writeFile(at("A/clip.mov"), "first");
    writeFile(at("B/clip.mov"), "second");
    writeFile(at("C/clip.mov"), "third");
    ASSERT_TRUE(ops.moveToTrash(at("A/clip.mov")).status.ok());
    // A file left in files/ without its info must not be replaced.
    writeFile(trash() + "/files/clip (2).mov", "stray");

    const TrashOutcome second = ops.moveToTrash(at("B/clip.mov"));
    ASSERT_TRUE(second.status.ok());
    EXPECT_EQ(second.trashedPath, trash() + "/files/clip (3).mov");
    EXPECT_EQ(readAll(trash() + "/files/clip (2).mov"), "stray");
    EXPECT_FALSE(QFile::exists(trash() + "/info/clip (2).mov.trashinfo"));
    EXPECT_TRUE(readAll(second.infoPath).contains("/B/clip.mov"));
    EXPECT_EQ(readAll(trash() + "/files/clip.mov"), "first");
}

// Infos written ahead for announced files: each trashed file ends with exactly one unmarked info;
// a file skipped, changed or never reached keeps none, and a taken name still gets a numbered one.
TEST_F(LinuxTrashTest, InfosMadeAheadGoWithTheirFilesAndTheRestAreTakenBack) {
    const QStringList names{"a.mov", "b.mov", "c.mov", "d.mov", "e.mov"};
    QStringList paths;
    for (const QString& name : names) {
        paths.append(at(name));
        writeFile(paths.last(), name.toUtf8());
    }
    const FileIdentity chosenD = ops.status(at("d.mov")).identity();
    writeFile(trash() + "/files/c.mov", "stray"); // no info: its name must not be reused
    ops.expectTrash(paths);
    // The helper works in order: by the time c.mov's info is claimed, b.mov's was made for nothing.
    ASSERT_TRUE(tarnwick::testing::changeFile(at("d.mov"), tarnwick::testing::FileChange::replaced));

    const TrashOutcome a = ops.moveToTrash(at("a.mov"));
    const TrashOutcome c = ops.moveToTrash(at("c.mov"));
    EXPECT_TRUE(ops.moveToTrash(at("d.mov"), chosenD).status.isChanged());
    ops.expectTrash({});
    ASSERT_TRUE(a.status.ok());
    ASSERT_TRUE(c.status.ok());
    EXPECT_EQ(c.trashedPath, trash() + "/files/c (2).mov");
    EXPECT_EQ(readAll(trash() + "/files/c.mov"), "stray");
    EXPECT_TRUE(readAll(c.infoPath).contains("/c.mov\n"));
    EXPECT_EQ(readAll(a.trashedPath), "a.mov");
    for (const char* kept : {"b.mov", "d.mov", "e.mov"})
        EXPECT_TRUE(QFile::exists(at(QString::fromLatin1(kept)))) << kept;
    const QStringList infos = QDir(trash() + "/info").entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(infos.join(", "), "a.mov.trashinfo, c (2).mov.trashinfo");
    for (const QString& info : infos)
        EXPECT_EQ(leftover::judge(QFile::encodeName(trash() + "/info/" + info)), leftover::Verdict::notOurs);

    // Infos made ahead for a run that ends with its operations go with them.
    {
        LinuxFileOperations other;
        other.expectTrash({at("b.mov"), at("e.mov")}); // TrashInfoAhead's own test waits for the helper
    }
    EXPECT_EQ(QDir(trash() + "/info").entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(LinuxTrashTest, MovesAFolderWhole) {
    writeFile(at("A001.RDC/A001_001.R3D"), "segment");
    const TrashOutcome outcome = ops.moveToTrash(at("A001.RDC"));
    ASSERT_TRUE(outcome.status.ok());
    EXPECT_EQ(readAll(outcome.trashedPath + "/A001_001.R3D"), "segment");
    EXPECT_FALSE(QFileInfo::exists(at("A001.RDC")));
}

TEST_F(LinuxTrashTest, AMissingFileFailsWithoutLeavingAnInfo) {
    const TrashOutcome outcome = ops.moveToTrash(at("gone.mov"));
    EXPECT_EQ(outcome.status.code, ENOENT);
    EXPECT_FALSE(outcome.status.message.isEmpty());
    EXPECT_TRUE(QDir(trash() + "/info").isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(LinuxTrashTest, GivenTheChosenItemItKeepsAnotherOneWithoutLeavingAnInfo) {
    using tarnwick::testing::FileChange;
    for (const FileChange change : {FileChange::replaced, FileChange::grown, FileChange::touched}) {
        const QString path = at(QStringLiteral("clip%1.mov").arg(int(change)));
        writeFile(path, "staged");
        const FileIdentity chosen = ops.status(path).identity();
        ASSERT_TRUE(tarnwick::testing::changeFile(path, change));
        EXPECT_TRUE(ops.moveToTrash(path, chosen).status.isChanged()) << int(change);
        EXPECT_TRUE(QFile::exists(path));
    }
    EXPECT_TRUE(QDir(trash() + "/info").isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    writeFile(at("same.mov"));
    const TrashOutcome trashed = ops.moveToTrash(at("same.mov"), ops.status(at("same.mov")).identity());
    EXPECT_TRUE(trashed.status.ok());
    EXPECT_TRUE(QFile::exists(trashed.trashedPath));
}

TEST_F(LinuxTrashTest, AFileSwappedInWhileTheCallerWaitsForTheSweepIsKeptAndItsInfoMadeAheadTakenBack) {
    // Infos are made ahead only as unnamed files marked by a user attribute.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, home.path());
    writeFile(at("clip.mov"), "staged");
    const FileIdentity chosen = ops.status(at("clip.mov")).identity();
    LinuxTrash linuxTrash;
    std::promise<void> infoMade;
    const std::shared_future<void> infoReady = infoMade.get_future().share();
    const std::thread::id caller = std::this_thread::get_id();
    linuxTrash.setStepHook([&](LinuxTrash::Step step) {
        if (step == LinuxTrash::Step::infoMadeAhead) {
            infoMade.set_value();
        } else if (std::this_thread::get_id() == caller) {
            // The caller has checked the file and waits for the sweep: another file takes the
            // name, and the helper's info for it is ready before the caller goes on.
            ASSERT_TRUE(
                tarnwick::testing::changeFile(at("clip.mov"), tarnwick::testing::FileChange::replaced));
            infoReady.wait();
        }
    });
    linuxTrash.expect({at("clip.mov")});

    EXPECT_TRUE(linuxTrash.moveToTrash(at("clip.mov"), chosen).status.isChanged());
    linuxTrash.expect({});
    EXPECT_EQ(readAll(at("clip.mov")), QByteArray(5000, 'n'));
    for (const char* sub : {"/info", "/files"})
        EXPECT_TRUE(QDir(trash() + sub).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            << sub;
}

TEST_F(LinuxTrashTest, AFailedRenameTakesTheInfoBack) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    writeFile(at("locked/clip.mov"));
    ASSERT_EQ(::chmod(QFile::encodeName(at("locked")).constData(), 0500), 0);
    const TrashOutcome outcome = ops.moveToTrash(at("locked/clip.mov"));
    ::chmod(QFile::encodeName(at("locked")).constData(), 0700);
    EXPECT_EQ(outcome.status.code, EACCES);
    EXPECT_TRUE(QFile::exists(at("locked/clip.mov")));
    // Only the run's note stays, until the Trash ends.
    const QStringList left =
        QDir(trash() + "/info").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_TRUE(left.isEmpty() ||
                (left.size() == 1 && left.front().startsWith(QLatin1String(LinuxTrash::runNotePrefix))))
        << left.join(' ').toStdString();
}

namespace {

// A tmpfs mounted for the test: another volume than the home. Only root may mount.
class SecondMount {
public:
    // The mount point sits in a folder of its own, so tests can list its parent while other
    // tests create and remove files in the shared temporary folder.
    SecondMount() {
        if (!m_parent.isValid() || !QDir(m_parent.path()).mkdir(QStringLiteral("volume")))
            return;
        m_mounted = ::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", 0, "size=8m") == 0;
    }
    ~SecondMount() {
        if (m_mounted)
            ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_parent.path() + QStringLiteral("/volume"); }

private:
    QTemporaryDir m_parent;
    bool m_mounted = false;
};

} // namespace

TEST_F(LinuxTrashTest, OnAnotherVolumeUsesItsOwnUserTrashWithARelativePath) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    writeFile(volume.path() + "/Day 1/clip.mov", "on tmpfs");

    const TrashOutcome outcome = ops.moveToTrash(volume.path() + "/Day 1/clip.mov");
    ASSERT_TRUE(outcome.status.ok()) << outcome.status.message.toStdString();
    const QString ownTrash = volume.path() + "/.Trash-" + QString::number(::getuid());
    EXPECT_EQ(outcome.trashedPath, ownTrash + "/files/clip.mov");
    EXPECT_EQ(modeOf(ownTrash), 0700u);
    EXPECT_TRUE(readAll(outcome.infoPath).startsWith("[Trash Info]\nPath=Day%201/clip.mov\n"));
    EXPECT_FALSE(QFile::exists(trash() + "/files/clip.mov"));
}

TEST_F(LinuxTrashTest, OnAnotherVolumeUsesAStickySharedTrashButNeverALink) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString uid = QString::number(::getuid());
    QDir().mkpath(volume.path() + "/.Trash");
    ASSERT_EQ(::chmod(QFile::encodeName(volume.path() + "/.Trash").constData(), 01777), 0);
    writeFile(volume.path() + "/a.mov");
    const TrashOutcome shared = ops.moveToTrash(volume.path() + "/a.mov");
    ASSERT_TRUE(shared.status.ok());
    EXPECT_EQ(shared.trashedPath, volume.path() + "/.Trash/" + uid + "/files/a.mov");

    // A .Trash that is a link (even to a sticky folder) is not trusted.
    SecondMount other;
    ASSERT_TRUE(other.mounted());
    QDir().mkpath(other.path() + "/elsewhere");
    ::chmod(QFile::encodeName(other.path() + "/elsewhere").constData(), 01777);
    ASSERT_EQ(::symlink("elsewhere", QFile::encodeName(other.path() + "/.Trash").constData()), 0);
    writeFile(other.path() + "/b.mov");
    const TrashOutcome linked = ops.moveToTrash(other.path() + "/b.mov");
    ASSERT_TRUE(linked.status.ok());
    EXPECT_EQ(linked.trashedPath, other.path() + "/.Trash-" + uid + "/files/b.mov");
    EXPECT_FALSE(QFileInfo::exists(other.path() + "/elsewhere/" + uid));
}

TEST_F(LinuxTrashTest, AVolumeWithoutAUsableTrashLeavesTheFileAndSaysSo) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    // A plain file where the per-user trash would go, and no shared .Trash.
    writeFile(volume.path() + "/.Trash-" + QString::number(::getuid()), "not a folder");
    writeFile(volume.path() + "/clip.mov");

    const TrashOutcome outcome = ops.moveToTrash(volume.path() + "/clip.mov");
    EXPECT_EQ(outcome.status.code, EXDEV);
    EXPECT_TRUE(outcome.status.message.startsWith("No Trash can be used on the volume at"));
    EXPECT_TRUE(QFile::exists(volume.path() + "/clip.mov"));
    EXPECT_FALSE(QFile::exists(trash() + "/files/clip.mov"));
}

TEST_F(LinuxTrashTest, AMountedVolumeItselfIsRefusedWithoutLeavingAnything) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    writeFile(volume.path() + "/clip.mov");
    const QString parent = QFileInfo(volume.path()).path();
    const QStringList before = QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const TrashOutcome outcome = ops.moveToTrash(volume.path());
    EXPECT_EQ(outcome.status.code, EBUSY);
    EXPECT_TRUE(QFile::exists(volume.path() + "/clip.mov"));
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

// No item reaches files/ before its .trashinfo is durable: those written ahead (synced in groups,
// fewer syncs than items) and those the caller writes itself (a folder, an item not announced).
TEST_F(LinuxTrashTest, EveryItemIsRenamedAfterItsInfoWasSynced) {
    LinuxTrash linuxTrash;
    std::mutex mutex;
    QSet<QByteArray> synced;
    QStringList problems;
    int syncedInfos = 0;
    linuxTrash.setDurableHook([&](LinuxTrash::Durable what, const QByteArray& path) {
        const std::lock_guard lock(mutex);
        if (what == LinuxTrash::Durable::infoSynced) {
            synced.insert(path);
            ++syncedInfos;
            return;
        }
        const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        const QByteArray info = path.left(path.lastIndexOf("/files/")) + "/info/" + name + ".trashinfo";
        if (!synced.contains(info))
            problems.append(QString::fromUtf8(name));
    });
    QStringList announced;
    for (int i = 0; i < 150; ++i) {
        writeFile(at(QStringLiteral("clip %1.mov").arg(i)));
        announced.append(at(QStringLiteral("clip %1.mov").arg(i)));
    }
    writeFile(at("Card.RDC/A001.R3D"));
    writeFile(at("unannounced.mov"));
    linuxTrash.expect(announced);
    for (const QString& path : std::as_const(announced))
        ASSERT_TRUE(linuxTrash.moveToTrash(path).status.ok());
    linuxTrash.expect({});
    ASSERT_TRUE(linuxTrash.moveToTrash(at("Card.RDC")).status.ok());
    ASSERT_TRUE(linuxTrash.moveToTrash(at("unannounced.mov")).status.ok());
    const std::lock_guard lock(mutex);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_EQ(QDir(trash() + "/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 152);
    EXPECT_GE(syncedInfos, 152);
}

// The names the helper cannot give ahead (the name and its numbered forms taken, as camera cards
// reuse them), a folder, and a file removed after it was staged: each is done by the caller itself
// or reported, the run ends, and every info in the Trash afterwards has its item.
TEST_F(LinuxTrashTest, ItemsTheHelperCannotDoAheadAreTrashedInlineOrReportedAndTheRunEnds) {
    const tarnwick::testing::HangWatchdog watchdog("a Trash run with skipped items");
    QStringList paths;
    for (int i = 1; i <= 300; ++i)
        paths.append(at(QStringLiteral("Card A/C%1.MP4").arg(i, 4, 10, QLatin1Char('0'))));
    for (const QString& path : std::as_const(paths)) {
        if (path.endsWith("C0100.MP4"))
            writeFile(path + "/C0100.XML", "folder");
        else
            writeFile(path, path.toUtf8());
    }
    // Taken in the Trash up to the last numbered form the helper tries, and beyond.
    for (int n = 1; n <= 12; ++n) {
        const QString name = n == 1 ? QStringLiteral("C0005.MP4") : QStringLiteral("C0005 (%1).MP4").arg(n);
        writeFile(trash() + "/files/" + name, "earlier card");
        writeFile(trash() + "/info/" + name + ".trashinfo", completeInfo);
    }
    ASSERT_TRUE(QFile::remove(at("Card A/C0200.MP4")));

    ops.expectTrash(paths);
    for (const QString& path : std::as_const(paths)) {
        const TrashOutcome outcome = ops.moveToTrash(path);
        if (path.endsWith("C0200.MP4")) {
            EXPECT_EQ(outcome.status.code, ENOENT);
            continue;
        }
        ASSERT_TRUE(outcome.status.ok())
            << path.toStdString() << ": " << outcome.status.message.toStdString();
        if (path.endsWith("C0005.MP4")) {
            EXPECT_EQ(outcome.trashedPath, trash() + "/files/C0005 (13).MP4");
        }
        EXPECT_TRUE(readAll(outcome.infoPath)
                        .contains(QByteArray("/Card%20A/" + QFileInfo(path).fileName().toUtf8())));
    }
    ops.expectTrash({});
    EXPECT_EQ(readAll(trash() + "/files/C0100.MP4/C0100.XML"), "folder");
    const QStringList items = QDir(trash() + "/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(items.size(), 299 + 12);
    QStringList orphans;
    for (const QString& info : QDir(trash() + "/info").entryList(QDir::Files | QDir::Hidden)) {
        if (!items.contains(info.chopped(QStringLiteral(".trashinfo").size())))
            orphans.append(info);
    }
    EXPECT_TRUE(orphans.isEmpty()) << orphans.join(", ").toStdString();
}
