#include "platform/UnnamedFileStock.h"
#include "platform/LeftoverMark.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace tarnwick;

namespace {

// A file from the stock, waiting for the helper to make one (it always does on a local disk).
int takeMade(UnnamedFileStock& stock, const QByteArray& folder) {
    for (int attempt = 0; attempt < 5000; ++attempt) {
        if (const int fd = stock.take(folder); fd >= 0)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
}

} // namespace

TEST(UnnamedFileStock, GivesMarkedUnnamedFilesThatLeaveNothingBehind) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.filePath(QStringLiteral("info")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("info"))));
    {
        UnnamedFileStock stock(4);
        const int fd = takeMade(stock, folder);
        ASSERT_GE(fd, 0);
        // Nothing made ahead has a name: a kill would leave nothing.
        EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("info")))
                        .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        ASSERT_EQ(::write(fd, "text", 4), 4);
        const QByteArray named = folder + "/a.trashinfo";
        ASSERT_EQ(::linkat(fd, "", AT_FDCWD, named.constData(), AT_EMPTY_PATH), 0) << errno;
        ::close(fd);
        const std::optional<leftover::Mark> mark = leftover::markOf(named);
        ASSERT_TRUE(mark.has_value());
        EXPECT_EQ(mark->writer, leftover::currentWriter());
        QFile file(QFile::decodeName(named));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "text");
        // Another folder: the stock of the first one goes.
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("other"))));
        const int other = takeMade(stock, QFile::encodeName(dir.filePath(QStringLiteral("other"))));
        ASSERT_GE(other, 0);
        ::close(other);
    }
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("info")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("a.trashinfo")});
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("other")))
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST(UnnamedFileStock, AFolderThatTakesNoUnnamedFilesGivesNone) {
    QTemporaryDir dir;
    UnnamedFileStock stock(4);
    const QByteArray missing = QFile::encodeName(dir.filePath(QStringLiteral("gone")));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(stock.take(missing), -1);
    // The stock still serves a folder that can.
    const int fd = takeMade(stock, QFile::encodeName(dir.path()));
    EXPECT_GE(fd, 0);
    ::close(fd);
}
