#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxFileOperations.h"
#include "platform/LinuxTrash.h"
#include "platform/MountTable.h"
#include "platform/NoReplaceRename.h"
#include "platform/TrashInfoAhead.h"

#include "FileMoveTestSupport.h"
#include "support/ChildMarkers.h"
#include "support/ChildTemporaries.h"
#include "support/CrashRounds.h"
#include "support/FileSystemProbes.h"
#include "support/ScratchVolume.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sys/xattr.h>
#include <thread>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// Same names in several folders (numbered in the Trash) and names too long for it (shortened).
QString relativePath(int index) {
    const QString folder = QStringLiteral("Card %1").arg(index % 8);
    if (index % 5 == 0)
        return folder + QStringLiteral("/clip %1.mov").arg(index / 40);
    if (index % 7 == 0) {
        const QString stem = QString::fromUtf8("\xE6\x92\xAE\xE5\xBD\xB1 Caf\xC3\xA9 ").repeated(18);
        return folder + '/' + QString::number(index) + ' ' + stem + QStringLiteral(".mov");
    }
    return folder + QStringLiteral("/A%1_C001.mov").arg(index, 4, 10, QLatin1Char('0'));
}

QByteArray contentOf(int index) {
    return "file " + QByteArray::number(index) + '\n' + patternBytes(64 + index % 97, index);
}

// The index a file's content names, or -1.
int indexOf(const QByteArray& content) {
    if (!content.startsWith("file "))
        return -1;
    bool ok = false;
    const int index = content.mid(5, content.indexOf('\n') - 5).toInt(&ok);
    return ok && content == contentOf(index) ? index : -1;
}

// The original path a complete .trashinfo names, or nothing.
std::optional<QString> infoPath(const QByteArray& info) {
    static const QByteArray head = "[Trash Info]\nPath=";
    if (!info.startsWith(head) || !info.endsWith('\n'))
        return std::nullopt;
    const qsizetype end = info.indexOf('\n', head.size());
    if (!info.mid(end + 1).startsWith("DeletionDate="))
        return std::nullopt;
    return QFile::decodeName(QByteArray::fromPercentEncoding(info.mid(head.size(), end - head.size())));
}

} // namespace

// The child half of the harness below: says it is ready, waits for a line on stdin, then trashes
// every file left in the media folder back to back. Does nothing on its own. Its log goes to
// standard output, its markers on a pipe of their own.
TEST(LinuxTrashCrashChild, TrashesEveryFileLeft) {
    const QString media = qEnvironmentVariable("TARNWICK_TRASH_CRASH_MEDIA");
    if (media.isEmpty())
        GTEST_SKIP() << "run by LinuxTrashCrash only";
    QStringList files;
    QDirIterator it(media, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    // A run that is not the last takes a share of the files only and then waits for its kill: on a
    // busy machine the kill may land long after the run began, and the next runs still find files.
    const int share = qEnvironmentVariableIntValue("TARNWICK_TRASH_CRASH_SHARE");
    const bool shared = share > 0 && files.size() > share;
    if (shared)
        files.resize(share);
    LinuxFileOperations ops;
    tarnwick::testing::ChildMarkers::say("ready");
    char token[8];
    if (!std::fgets(token, sizeof token, stdin))
        return;
    int kept = 0;
    ops.expectTrash(files); // the infos are written ahead, as a run's are
    for (const QString& file : std::as_const(files)) {
        kept += ops.moveToTrash(file).status ? 0 : 1;
        if (&file == &files.first()) {
            AppLog::flush(); // the sweep's lines are written by the log's own thread
            tarnwick::testing::ChildMarkers::say("first"); // the run's sweep is behind it
        }
    }
    if (shared) {
        // The harness never writes again: it kills.
        while (std::fgets(token, sizeof token, stdin)) {
        }
        return;
    }
    ops.expectTrash({}); // the run's end, as a run's
    tarnwick::testing::ChildMarkers::say("kept " + QByteArray::number(kept));
}

namespace {

// What a kill left in the trash's folders, each told apart from a later kill's by its mark: infos
// without their item (or beside a claim of ours in files/), and on a volume without user attributes
// the sidecars alone and the files written whole that never got their names. Fails the test on what
// is not an abandoned leftover of ours. A run's own note is not counted: the next sweep takes it.
QSet<QString> leftoversIn(const QString& trash, const QSet<QString>& items) {
    QSet<QString> leftovers;
    const QStringList infos = QDir(trash + "/info").entryList(QDir::Files | QDir::Hidden);
    EXPECT_LE(infos.filter(QRegularExpression("^\\.tarnwick-run-")).size(), 1);
    for (const QString& info : infos) {
        const QString path = trash + "/info/" + info;
        const QByteArray native = QFile::encodeName(path);
        if (info.startsWith(QStringLiteral(".tarnwick-run-")))
            continue;
        if (const std::optional<leftover::Writer> writer =
                leftover::unfinishedWriteOf(QFile::encodeName(info))) {
            EXPECT_FALSE(leftover::isRunning(*writer)) << qPrintable(info);
            leftovers.insert(info);
            continue;
        }
        const QByteArray marked = leftover::sidecarTarget(native);
        if (!marked.isEmpty()) {
            if (!QFileInfo::exists(QFile::decodeName(marked))) {
                EXPECT_EQ(leftover::judge(native), leftover::Verdict::abandoned) << qPrintable(info);
                leftovers.insert(info + '#' + QString::fromLatin1(readBytes(path)));
            }
            continue;
        }
        if (items.contains(info.chopped(QStringLiteral(".trashinfo").size())))
            continue;
        // A later run may leave another info under the same name: told apart by its writer.
        char writer[256] = {};
        ::lgetxattr(native.constData(), "user.tarnwick.writer", writer, sizeof writer - 1);
        leftovers.insert(info + '#' + QString::fromLatin1(writer) +
                         QString::fromLatin1(readBytes(QFile::decodeName(leftover::sidecarPath(native)))));
        EXPECT_EQ(leftover::judge(native), leftover::Verdict::abandoned) << qPrintable(info);
    }
    // A claim's note being written in files/ when the kill came.
    for (const QString& unfinished :
         QDir(trash + "/files").entryList({".tarnwick-new-*"}, QDir::Files | QDir::Hidden))
        leftovers.insert("files/" + unfinished);
    return leftovers;
}

// Every file complete in one place after a kill: its folder, or files/ with an info naming it; what
// the kill left (see leftoversIn()). `whole`: infos are written and marked before they get a name.
QSet<QString> checkAfterKill(const QString& media, const QString& trash, int fileCount, bool whole) {
    QList<int> places(fileCount, 0);
    for (int i = 0; i < fileCount; ++i) {
        const QString original = media + '/' + relativePath(i);
        if (QFileInfo::exists(original)) {
            EXPECT_EQ(readBytes(original), contentOf(i)) << qPrintable(original);
            ++places[i];
        }
    }
    QSet<QString> items;
    for (const QString& item : QDir(trash + "/files").entryList(QDir::Files | QDir::Hidden)) {
        // A claim that a rename never replaced, beside its note, or a note's own files.
        if (item.startsWith('.') && (item.endsWith(QStringLiteral(".tarnwick-claim")) ||
                                     item.startsWith(QStringLiteral(".tarnwick-new-"))))
            continue;
        // A claim beside its note, said or still the one made ahead (the kill came between the two).
        const QByteArray native = QFile::encodeName(trash + "/files/" + item);
        if (QFileInfo(trash + "/files/" + item).size() == 0 &&
            (QFileInfo::exists(QFile::decodeName(claimNotePath(native))) ||
             QFileInfo::exists(QFile::decodeName(claimNoteAheadPath(native)))))
            continue;
        const int index = indexOf(readBytes(trash + "/files/" + item));
        EXPECT_GE(index, 0) << "damaged in the Trash: " << qPrintable(item);
        if (index < 0)
            continue;
        items.insert(item);
        ++places[index];
        const std::optional<QString> named = infoPath(readBytes(trash + "/info/" + item + ".trashinfo"));
        EXPECT_EQ(named, media + '/' + relativePath(index)) << "info of " << qPrintable(item);
    }
    for (int i = 0; i < fileCount; ++i)
        EXPECT_EQ(places[i], 1) << qPrintable(relativePath(i));
    const QSet<QString> leftovers = leftoversIn(trash, items);
    for (const QString& leftover : leftovers) {
        // Written and marked before it had a name: never empty.
        if (whole && leftover.contains(QStringLiteral(".trashinfo#"))) {
            EXPECT_TRUE(infoPath(readBytes(trash + "/info/" + leftover.section('#', 0, 0))))
                << "incomplete leftover " << qPrintable(leftover);
        }
    }
    return leftovers;
}

// Kills a child that trashes files in `home` with SIGKILL at random moments, then checks that every
// file is complete in exactly one place (its folder, or files/ with a complete .trashinfo naming it),
// that what a kill leaves is only marked .trashinfo files (complete ones where they are written and
// marked before they get a name: `whole`) and what else is known as ours, and that the next run's
// first operation sweeps them.
void trashKilledAtRandom(const QString& home, bool whole) {
    // 4 to 24 kills within the time budget; TARNWICK_TRASH_KILLS asks for more by hand.
    const tarnwick::testing::CrashRounds rounds("TARNWICK_TRASH_KILLS", 4, 24);
    const int share = 40; // files a run may trash before its kill
    const int fileCount = 200 + rounds.full() * share;
    const QString media = home + "/media";
    const QString trash = home + "/data/Trash";
    for (int i = 0; i < fileCount; ++i)
        ASSERT_TRUE(writeBytes(media + '/' + relativePath(i), contentOf(i)));

    QSet<QString> previousLeftovers;
    int killsLeavingAnInfo = 0;
    int swept = 0;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TARNWICK_TRASH_CRASH_MEDIA", media);
    environment.insert("HOME", home);
    environment.insert("XDG_DATA_HOME", home + "/data");
    QTemporaryDir temporaries;
    tarnwick::testing::keepChildTemporariesIn(environment, temporaries.path());
    QRandomGenerator random(20261207);
    int kill = 0;
    for (;; ++kill) {
        const bool last = !rounds.another(kill);
        environment.insert("TARNWICK_TRASH_CRASH_SHARE", QString::number(last ? 0 : share));
        QProcess child;
        tarnwick::testing::ChildMarkers markers;
        markers.prepare(child, environment);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString log = temporaries.filePath(QStringLiteral("child %1.log").arg(kill));
        child.setStandardOutputFile(log);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=LinuxTrashCrashChild.TrashesEveryFileLeft"});
        ASSERT_TRUE(child.waitForStarted(30000));
        markers.started();
        ASSERT_TRUE(markers.waitFor("ready"));
        child.write("go\n");
        ASSERT_TRUE(child.waitForBytesWritten(30000));
        ASSERT_TRUE(markers.waitFor("first")) << "kill " << kill;
        // The sweep logs each leftover it removes before the first operation ends, and the child
        // flushed its log before it said so.
        const int removedLines = int(readBytes(log).count("Removed leftover"));
        if (!last) {
            // Somewhere among the next operations, which run back to back: a kill lands in each
            // step of an operation in proportion to the time the step takes.
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(1000)));
            ASSERT_EQ(child.state(), QProcess::Running) << "the child ended before kill " << kill;
            child.kill();
        }
        ASSERT_TRUE(child.state() == QProcess::NotRunning || child.waitForFinished(600000));
        if (last) {
            EXPECT_TRUE(markers.waitFor("kept 0"));
        }
        const QSet<QString> leftovers = checkAfterKill(media, trash, fileCount, whole);
        if (::testing::Test::HasFailure())
            return;
        // The run's first operation swept what the kill before it left.
        EXPECT_FALSE(leftovers.intersects(previousLeftovers)) << "kill " << kill;
        EXPECT_EQ(removedLines, previousLeftovers.size())
            << "kill " << kill << "; left: "
            << QStringList(previousLeftovers.cbegin(), previousLeftovers.cend()).join(", ").toStdString()
            << "\nremoved: " << readBytes(log).toStdString();
        swept += removedLines;
        const QSet<QString> added = leftovers - previousLeftovers;
        // At most the infos written ahead, and the one being written by the run itself (with its
        // sidecar and the note of its rename where the file system holds no attributes).
        EXPECT_LE(added.size(), TrashInfoAhead::defaultDepth + 3) << "kill " << kill;
        killsLeavingAnInfo += added.isEmpty() ? 0 : 1;
        previousLeftovers = leftovers;
        if (last)
            break;
    }
    EXPECT_TRUE(previousLeftovers.isEmpty());
    const auto hidden = QDir::Files | QDir::Hidden;
    EXPECT_TRUE(QDir(trash + "/info").entryList({".tarnwick-*", ".*.tarnwick-mark"}, hidden).isEmpty());
    EXPECT_TRUE(QDir(trash + "/files").entryList({".tarnwick-*", ".*.tarnwick-claim"}, hidden).isEmpty());
    EXPECT_TRUE(QDir(media).entryList(QDir::Files).isEmpty());
    std::printf("trash kills: %d, leaving a .trashinfo without its item: %d, swept by the next run: %d\n",
                kill, killsLeavingAnInfo, swept);
}

} // namespace

TEST(LinuxTrashCrash, EveryFileIsInOnePlaceAndLeftoversAreSwept) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    // A kill leaves only complete, marked infos where they are written and marked before they get
    // a name: unnamed files marked by a user attribute.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, home.path());
    trashKilledAtRandom(home.path(), true);
}

// The same on an exFAT drive (its FUSE driver): no user attributes, no unnamed files, no hard
// links, no RENAME_NOREPLACE, no modes.
TEST(LinuxTrashCrash, OnAVolumeWithoutLinksModesOrAttributes) {
    SCRATCH_VOLUME_OR_SKIP(volume, exfat);
    trashKilledAtRandom(volume.path(), false);
}

// The child half of the test below: announces every file of the media folder, trashes the first
// TARNWICK_TRASH_FOREIGN_GO of them, says "made" once the info of each one was made ahead, and
// waits for its kill.
TEST(LinuxTrashCrashChild, MakesEveryInfoAheadAndWaits) {
    const QString media = qEnvironmentVariable("TARNWICK_TRASH_FOREIGN_MEDIA");
    if (media.isEmpty())
        GTEST_SKIP() << "run by LinuxTrashCrash only";
    QList<QByteArray> files;
    for (const QString& name : QDir(media).entryList(QDir::Files, QDir::Name))
        files.append(QFile::encodeName(media + '/' + name));
    std::mutex mutex;
    std::condition_variable changed;
    qsizetype made = 0;
    LinuxTrash trash;
    trash.setStepHook([&](LinuxTrash::Step step) {
        if (step != LinuxTrash::Step::infoMadeAhead)
            return;
        const std::lock_guard lock(mutex);
        ++made;
        changed.notify_all();
    });
    QStringList paths;
    for (const QByteArray& file : std::as_const(files))
        paths.append(QFile::decodeName(file));
    trash.expect(paths);
    const int go = qEnvironmentVariableIntValue("TARNWICK_TRASH_FOREIGN_GO");
    for (int i = 0; i < go; ++i)
        ASSERT_TRUE(trash.moveToTrash(paths.at(i)).status.ok());
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::minutes(1), [&] { return made == files.size(); }));
    }
    tarnwick::testing::ChildMarkers::say("made");
    char token[8];
    while (std::fgets(token, sizeof token, stdin)) {
    }
}

// Another program's items sit in files/ without an info (its crash, a half-emptied Trash) under
// the names of files a killed run was about to trash: some were there before the run, some came
// after the run had made those files' infos ahead. After the kill, the next start's sweep and a
// second run, no info of ours labels another program's item, which stays as it was, and each of
// our files is in the Trash once, with its own info.
TEST(LinuxTrashCrash, AnotherProgramsItemUnderANameMadeAheadNeverTakesOurInfo) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString media = home.filePath("media");
    const QString trash = home.filePath("data/Trash");
    constexpr int count = 12;
    constexpr int go = 4; // trashed before the kill
    const auto name = [](int i) { return QStringLiteral("clip %1.mov").arg(i, 2, 10, QLatin1Char('0')); };
    const auto ours = [](int i) -> QByteArray { return "ours " + QByteArray::number(i); };
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(writeBytes(media + '/' + name(i), ours(i)));
    const QList<int> foreignBefore{5, 6};
    const QList<int> foreignAfter{8, 9};
    const int foreignDuring = 10; // comes while the second run goes
    for (const int i : foreignBefore)
        ASSERT_TRUE(writeBytes(trash + "/files/" + name(i), "foreign"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TARNWICK_TRASH_FOREIGN_MEDIA", media);
    environment.insert("TARNWICK_TRASH_FOREIGN_GO", QString::number(go));
    environment.insert("HOME", home.path());
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    tarnwick::testing::keepChildTemporariesIn(environment, home.path());
    QProcess child;
    tarnwick::testing::ChildMarkers markers;
    markers.prepare(child, environment);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setStandardOutputFile(home.filePath("child.log"));
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=LinuxTrashCrashChild.MakesEveryInfoAheadAndWaits"});
    ASSERT_TRUE(child.waitForStarted(30000));
    markers.started();
    ASSERT_TRUE(markers.waitFor("made"));
    for (const int i : foreignBefore)
        EXPECT_FALSE(QFileInfo::exists(trash + "/info/" + name(i) + ".trashinfo")) << "taken in files/";
    for (const int i : foreignAfter) {
        ASSERT_TRUE(QFileInfo::exists(trash + "/info/" + name(i) + ".trashinfo")) << "made ahead";
        ASSERT_TRUE(writeBytes(trash + "/files/" + name(i), "foreign"));
    }
    child.kill();
    ASSERT_TRUE(child.waitForFinished(60000));

    // The next start, and a run for the files left.
    const std::optional<QByteArray> dataHome =
        qEnvironmentVariableIsSet("XDG_DATA_HOME") ? std::optional(qgetenv("XDG_DATA_HOME")) : std::nullopt;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    const auto restore =
        qScopeGuard([&] { dataHome ? qputenv("XDG_DATA_HOME", *dataHome) : qunsetenv("XDG_DATA_HOME"); });
    LinuxTrash::sweepKnownTrashes(MountTable());
    {
        LinuxFileOperations ops;
        QStringList left;
        for (int i = go; i < count; ++i)
            left.append(media + '/' + name(i));
        ops.expectTrash(left);
        for (const QString& path : std::as_const(left)) {
            EXPECT_TRUE(ops.moveToTrash(path).status.ok()) << qPrintable(path);
            if (&path == &left.first()) {
                ASSERT_TRUE(writeBytes(trash + "/files/" + name(foreignDuring), "foreign"));
            }
        }
        ops.expectTrash({});
    }

    int mislabelled = 0;
    QList<int> entries(count, 0);
    for (const QString& info : QDir(trash + "/info").entryList(QDir::Files | QDir::Hidden)) {
        const std::optional<QString> named = infoPath(readBytes(trash + "/info/" + info));
        const QByteArray item =
            readBytes(trash + "/files/" + info.chopped(QStringLiteral(".trashinfo").size()));
        for (int i = 0; i < count; ++i) {
            if (named == media + '/' + name(i))
                item == ours(i) ? ++entries[i] : ++mislabelled;
        }
    }
    std::printf("another program's items under names made ahead: %d of ours mislabel them\n", mislabelled);
    EXPECT_EQ(mislabelled, 0);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(entries[i], 1) << qPrintable(name(i));
    for (const int i : foreignBefore + foreignAfter + QList<int>{foreignDuring})
        EXPECT_EQ(readBytes(trash + "/files/" + name(i)), "foreign") << qPrintable(name(i));
}
