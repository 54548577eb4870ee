#include "stores/StoreFile.h"

#include "stores/ProtectedFolders.h"
#include "stores/StoreTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using testing::LogCapture;
using testing::readBytes;
using testing::writeBytes;

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A tmpfs of 64 KiB mounted over a temporary folder for the test's lifetime (root only).
class SmallFileSystem {
public:
    SmallFileSystem() {
        if (::geteuid() != 0 || !m_dir.isValid())
            return;
        m_mounted =
            ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallFileSystem() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QString path() const { return m_dir.path(); }

    // Fills what is left with one file until the file system refuses more.
    void fill() {
        QFile filler(filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

TEST(StoreFileFullDisk, ASaveOnAFullFileSystemFailsAndKeepsTheOldFile) {
    SmallFileSystem fs;
    if (!fs.mounted())
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    const QString path = fs.filePath(QStringLiteral("protected_folders.json"));
    QStringList protections;
    {
        ProtectedFolders folders(fs.path());
        folders.add(QStringLiteral("/media/Projects/Keep"));
        folders.add(QStringLiteral("/media/Projects/Also keep"));
        protections = folders.folders();
    }
    const QByteArray before = readBytes(path);
    ASSERT_FALSE(before.isEmpty());
    fs.fill();

    LogCapture log;
    StoreFile store(path);
    EXPECT_FALSE(store.write(QByteArray(16384, ' ') + before));
    EXPECT_EQ(readBytes(path), before);
    ASSERT_EQ(log.messages(AppLog::Level::error).size(), 1);
    EXPECT_EQ(log.messages(AppLog::Level::error).front(),
              "Could not write protected_folders.json: " + qt_error_string(ENOSPC));
    EXPECT_EQ(entries(fs.path()), QStringList({"filler", "protected_folders.json"})); // no temporary left

    // A store changed on the full disk keeps what the file held: the protections survive a restart.
    {
        ProtectedFolders folders(fs.path());
        folders.add(QStringLiteral("/media/Projects/A folder with a long name that no longer fits ") +
                    QString(20000, u'x'));
    }
    ProtectedFolders reloaded(fs.path());
    EXPECT_FALSE(reloaded.fileWasDamaged());
    EXPECT_EQ(reloaded.folders(), protections);
    EXPECT_EQ(protections.size(), 2);
}

// Each step of the save failing, elsewhere than on a real full disk.
TEST(StoreFileFullDisk, AFailureAtAnyStepOfTheSaveKeepsTheOldFile) {
    struct Case {
        StoreFile::SaveStep step;
        int error;
    };
    for (const Case c : {Case{StoreFile::SaveStep::write, ENOSPC}, Case{StoreFile::SaveStep::sync, ENOSPC},
                         Case{StoreFile::SaveStep::sync, EIO}, Case{StoreFile::SaveStep::rename, EXDEV}}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("stats.json"));
        StoreFile store(path);
        ASSERT_TRUE(store.write(R"({"filesDeleted":3})"));
        StoreFile::setSaveFaultForTesting(
            [c](StoreFile::SaveStep step) { return step == c.step ? c.error : 0; });
        LogCapture log;
        const bool saved = store.write(R"({"filesDeleted":4})");
        StoreFile::setSaveFaultForTesting({});
        EXPECT_FALSE(saved) << int(c.step);
        EXPECT_EQ(readBytes(path), R"({"filesDeleted":3})") << int(c.step);
        EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"}) << int(c.step);
        EXPECT_EQ(log.messages(AppLog::Level::error),
                  QStringList{"Could not write stats.json: " + qt_error_string(c.error)});
        // The next save, with room again, goes through.
        EXPECT_TRUE(store.write(R"({"filesDeleted":5})"));
        EXPECT_EQ(readBytes(path), R"({"filesDeleted":5})");
    }
}

TEST(StoreFileFullDisk, KeepsThePermissionsOfTheFileItReplaces) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("grants.json"));
    ASSERT_TRUE(writeBytes(path, "{}"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    StoreFile store(path);
    ASSERT_TRUE(store.write(R"({"a":1})"));
    struct ::stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(StoreFileSpecialFiles, APipeInPlaceOfTheStoreIsRefusedWithoutBlocking) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("audit_log.json"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    StoreFile store(path);
    LogCapture log;
    EXPECT_EQ(store.readArray(), std::nullopt);
    EXPECT_TRUE(store.wasDamaged());
    EXPECT_EQ(log.messages(AppLog::Level::error),
              QStringList{"Could not read audit_log.json: Not a regular file"});

    // The pipe is kept aside and a regular file takes its place.
    ASSERT_TRUE(store.write("[]"));
    EXPECT_EQ(readBytes(path), "[]");
    struct ::stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(store.movedAsidePath()).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(StoreFileSpecialFiles, ALinkToAnEndlessDeviceIsNotReadIntoMemory) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stats.json"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    StoreFile store(path);
    LogCapture log;
    EXPECT_EQ(store.readObject(), std::nullopt);
    EXPECT_TRUE(store.wasDamaged());
    EXPECT_EQ(log.messages(AppLog::Level::error),
              QStringList{"Could not read stats.json: Not a regular file"});
    ASSERT_TRUE(store.write("{}"));
    EXPECT_EQ(readBytes(path), "{}");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(QFileInfo(store.movedAsidePath()).symLinkTarget(), QStringLiteral("/dev/zero"));
}

TEST(StoreFileSpecialFiles, ADanglingLinkIsReportedAndSavedThrough) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("protected_folders.json"));
    const QString elsewhere = dir.filePath(QStringLiteral("synced/protected_folders.json"));
    ASSERT_TRUE(QFile::link(elsewhere, path));
    StoreFile store(path);
    LogCapture log;
    EXPECT_EQ(store.readArray(), std::nullopt);
    EXPECT_FALSE(store.wasDamaged());
    EXPECT_EQ(log.messages(AppLog::Level::error),
              QStringList{"protected_folders.json is a link to a missing file: " + elsewhere});

    // The linked folder is missing: the save fails and says so.
    EXPECT_FALSE(store.write(R"(["/a"])"));
    ASSERT_EQ(log.messages(AppLog::Level::error).size(), 2);
    EXPECT_EQ(log.messages(AppLog::Level::error).back(),
              "Could not write protected_folders.json: " + qt_error_string(ENOENT));

    // Once it is there, the save lands behind the link, which stays.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("synced")));
    EXPECT_TRUE(store.write(R"(["/a"])"));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readBytes(elsewhere), R"(["/a"])");
    EXPECT_EQ(store.read(), QByteArray(R"(["/a"])"));
}

pid_t finishedProcess() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

TEST(StoreFileStaleTemporaries, TemporariesOfAKilledSaveAreRemovedAtTheNextSave) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("audit_log.json"));
    const QString dead = QStringLiteral(".audit_log.json.save-%1-7").arg(finishedProcess());
    const QString live = QStringLiteral(".audit_log.json.save-%1-9").arg(::getppid());
    const QStringList kept{"audit_log.json.corrupt-20260101-120000", "audit_log.json.notes", live,
                           ".stats.json.save-1-1"};
    for (const QString& name : kept + QStringList{dead, "audit_log.json.Ab12Cd"})
        ASSERT_TRUE(writeBytes(dir.filePath(name), "partial"));
    StoreFile store(path);
    ASSERT_TRUE(store.write("[]"));
    QStringList expected = kept + QStringList{"audit_log.json"};
    expected.sort();
    QStringList left = entries(dir.path());
    left.sort();
    EXPECT_EQ(left, expected);
}

} // namespace
} // namespace tarnwick
