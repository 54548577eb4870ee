#include "stores/StoreFile.h"

#include "model/MediaFile.h"
#include "stores/AuditLogManager.h"
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

QList<AuditLogManager::Request> cleanUp(int count) {
    QList<AuditLogManager::Request> requests;
    for (int i = 0; i < count; ++i) {
        MediaFile file;
        file.path = QStringLiteral("/Volumes/Media/Day %1/clip_%2.mov").arg(i / 10).arg(i);
        file.size = 1000 + i;
        requests.append({AuditAction::movedToTrash, file, std::nullopt});
    }
    return requests;
}

// The child is killed by the kernel (file size limit) in the middle of writing a large store.
TEST(StoreFile, WriteKilledMidwayLosesNothing) {
    QTemporaryDir dir;
    QList<AuditLogEntry> before;
    {
        LogCapture quiet;
        AuditLogManager manager(dir.path(), nullptr);
        manager.log(cleanUp(3));
        before = manager.entries();
    }
    const QString file = dir.filePath(QStringLiteral("audit_log.json"));
    const QByteArray bytesBefore = readBytes(file);
    ASSERT_LT(bytesBefore.size(), 4096);

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        AppLog::setSink([](const AppLog::Record&) {});
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
        AuditLogManager manager(dir.path(), nullptr);
        manager.log(cleanUp(500));
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the write was expected to be cut off";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);

    EXPECT_EQ(readBytes(file), bytesBefore);
    LogCapture quiet;
    AuditLogManager reloaded(dir.path(), nullptr);
    EXPECT_EQ(reloaded.entries(), before);
    EXPECT_FALSE(reloaded.fileWasDamaged());
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
