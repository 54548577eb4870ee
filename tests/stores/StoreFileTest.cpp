#include "stores/StoreFile.h"

#include "platform/AppLog.h"

#include "stores/StoreTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using testing::LogCapture;
using testing::movedAside;
using testing::readBytes;
using testing::writeBytes;

// The child is killed by the kernel (file size limit) in the middle of writing a large store.
TEST(StoreFile, WriteKilledMidwayLosesNothing) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("store.json"));
    const QByteArray bytesBefore = "[" + QByteArray(1000, '1') + "]";
    ASSERT_TRUE(StoreFile(file).write(bytesBefore));

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        AppLog::setSink([](const AppLog::Record&) {});
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
        StoreFile(file).write(
            {QByteArrayView("["), QByteArrayView(QByteArray(100000, '2')), QByteArrayView("]")});
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the write was expected to be cut off";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);

    EXPECT_EQ(readBytes(file), bytesBefore);
    StoreFile reloaded(file);
    EXPECT_EQ(reloaded.read(), bytesBefore);
    EXPECT_FALSE(reloaded.wasDamaged());
}

TEST(StoreFile, ReplacesContentsAndReadsThemBack) {
    QTemporaryDir dir;
    StoreFile store(dir.filePath(QStringLiteral("s.json")));
    EXPECT_FALSE(store.read().has_value());
    EXPECT_FALSE(store.wasDamaged()); // missing is not damaged
    ASSERT_TRUE(store.write("[1,2]"));
    ASSERT_TRUE(store.write("[3]"));
    EXPECT_EQ(store.read(), QByteArray("[3]"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"s.json"}); // no temporary left
}

TEST(StoreFile, MovesADamagedFileAsideOnlyOnceAndOnlyWhenWriting) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.json"));
    writeBytes(path, "garbage");
    StoreFile store(path);
    EXPECT_EQ(store.read(), QByteArray("garbage"));
    store.markDamaged();
    EXPECT_TRUE(store.wasDamaged());
    EXPECT_TRUE(movedAside(dir.path(), "s.json").isEmpty());

    LogCapture log;
    ASSERT_TRUE(store.write("[]"));
    ASSERT_TRUE(store.write("[1]"));
    const QStringList aside = movedAside(dir.path(), "s.json");
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(dir.filePath(aside.front()), store.movedAsidePath());
    EXPECT_EQ(readBytes(store.movedAsidePath()), "garbage");
    EXPECT_EQ(readBytes(path), "[1]");
    ASSERT_EQ(log.messages(AppLog::Level::error).size(), 1);
    EXPECT_TRUE(log.messages(AppLog::Level::error).front().startsWith("Moved damaged s.json aside to "));
}

// A damaged file removed before the first change leaves nothing to keep; the store must still save.
TEST(StoreFile, WritesWhenTheDamagedFileWasRemovedMeanwhile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.json"));
    writeBytes(path, "garbage");
    StoreFile store(path);
    ASSERT_TRUE(store.read().has_value());
    store.markDamaged();
    ASSERT_TRUE(QFile::remove(path));

    LogCapture log;
    EXPECT_TRUE(store.write("[1]"));
    EXPECT_TRUE(store.write("[1,2]"));
    EXPECT_EQ(readBytes(path), "[1,2]");
    EXPECT_TRUE(store.movedAsidePath().isEmpty());
    EXPECT_TRUE(log.messages(AppLog::Level::error).isEmpty());
    EXPECT_TRUE(store.wasDamaged()); // still reported: the old contents were not readable
}

TEST(StoreFile, RecreatesARemovedFolderAndReportsAFailedWrite) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("removed"));
    StoreFile store(folder + QStringLiteral("/s.json"));
    EXPECT_TRUE(store.write("[1]"));
    EXPECT_EQ(readBytes(store.path()), "[1]");

    StoreFile blocked(dir.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("blocked"))); // a folder where the file goes
    LogCapture log;
    EXPECT_FALSE(blocked.write("[]"));
    ASSERT_EQ(log.messages(AppLog::Level::error).size(), 1);
    EXPECT_TRUE(log.messages(AppLog::Level::error).front().startsWith("Could not write blocked: "));
}

} // namespace
} // namespace tarnwick
