#include "platform/UnnamedFileStock.h"
#include "platform/LeftoverMark.h"
#include "support/FileSystemProbes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

// A file from the stock, waiting for the helper to make one (it always does on a local disk); a fill
// that ended unasked on a loaded machine is started again.
int takeMade(UnnamedFileStock& stock, const QByteArray& folder) {
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt)
        fd = stock.takeOrWait(folder);
    return fd;
}

} // namespace

TEST(UnnamedFileStock, GivesMarkedUnnamedFilesThatLeaveNothingBehind) {
    QTemporaryDir dir;
    // An unnamed file is marked by a user attribute: no sidecar can name it.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, dir.path());
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
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, dir.path());
    UnnamedFileStock stock(4);
    const QByteArray missing = QFile::encodeName(dir.filePath(QStringLiteral("gone")));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(stock.take(missing), -1);
    // The stock still serves a folder that can.
    const int fd = takeMade(stock, QFile::encodeName(dir.path()));
    EXPECT_GE(fd, 0);
    ::close(fd);
}
