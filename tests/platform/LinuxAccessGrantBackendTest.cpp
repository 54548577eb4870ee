#include "platform/LinuxAccessGrantBackend.h"

#include "platform/SandboxEnvironment.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

void writeFile(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

TEST(LinuxAccessGrantBackend, ResolvesItsOwnBookmarksAndTellsStaleOnes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("clip with ü.mov");
    writeFile(path);
    LinuxAccessGrantBackend backend;
    const auto bookmark = backend.createBookmark(QUrl::fromLocalFile(path));
    ASSERT_TRUE(bookmark.data.has_value());

    auto resolved = backend.resolveBookmark(*bookmark.data);
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(resolved->url, QUrl::fromLocalFile(path));
    EXPECT_FALSE(resolved->stale);

    // Replaced by another file under the same name (a new inode): stale.
    const QString other = dir.filePath("other.mov");
    writeFile(other);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(other, path));
    resolved = backend.resolveBookmark(*bookmark.data);
    ASSERT_TRUE(resolved.has_value());
    EXPECT_TRUE(resolved->stale);

    // Gone (an unmounted drive): still resolves, so the grant survives the launch.
    ASSERT_TRUE(QFile::remove(path));
    resolved = backend.resolveBookmark(*bookmark.data);
    ASSERT_TRUE(resolved.has_value());
    EXPECT_FALSE(resolved->stale);
}

TEST(LinuxAccessGrantBackend, BookmarksMadeWhileMissingAreStaleOnceThePathExists) {
    QTemporaryDir dir;
    const QString path = dir.filePath("later");
    LinuxAccessGrantBackend backend;
    const auto bookmark = backend.createBookmark(QUrl::fromLocalFile(path));
    ASSERT_TRUE(bookmark.data.has_value());
    EXPECT_FALSE(backend.resolveBookmark(*bookmark.data)->stale);
    ASSERT_TRUE(QDir(dir.path()).mkdir("later"));
    EXPECT_TRUE(backend.resolveBookmark(*bookmark.data)->stale);
}

TEST(LinuxAccessGrantBackend, RejectsWhatItCannotDecode) {
    LinuxAccessGrantBackend backend;
    QByteArray otherVersion;
    {
        QDataStream out(&otherVersion, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << LinuxAccessGrantBackend::magic << quint8(2) << QStringLiteral("/a") << false;
    }
    const auto valid = *backend.createBookmark(QUrl::fromLocalFile("/srv/a")).data;
    for (const QByteArray& data : {QByteArray(), QByteArray("garbage"), otherVersion,
                                   valid.left(valid.size() - 1), QByteArray(valid + "x")})
        EXPECT_FALSE(backend.resolveBookmark(data).has_value()) << data.toHex().constData();
    EXPECT_FALSE(backend.createBookmark(QUrl("https://example.com/a.mov")).data.has_value());
    EXPECT_FALSE(backend.createBookmark(QUrl("https://example.com/a.mov")).errorDescription.isEmpty());
}

TEST(LinuxAccessGrantBackend, ReadabilityAndExistence) {
    QTemporaryDir dir;
    LinuxAccessGrantBackend backend;
    bool isFolder = false;
    EXPECT_TRUE(backend.exists(dir.path(), &isFolder));
    EXPECT_TRUE(isFolder);
    EXPECT_TRUE(backend.isReadable(dir.path(), true));
    EXPECT_FALSE(backend.exists(dir.filePath("none"), &isFolder));
    EXPECT_FALSE(backend.isReadable(dir.filePath("none"), true));
    EXPECT_FALSE(backend.isReadable(dir.filePath("none"), false));
    EXPECT_TRUE(backend.startAccessing(QUrl::fromLocalFile(dir.path())));
}

TEST(SandboxEnvironment, FollowsTheContainerVariable) {
    const QByteArray saved = qgetenv("APP_SANDBOX_CONTAINER_ID");
    const bool wasSet = qEnvironmentVariableIsSet("APP_SANDBOX_CONTAINER_ID");
    qunsetenv("APP_SANDBOX_CONTAINER_ID");
    EXPECT_FALSE(sandbox::environmentSaysSandboxed());
    qputenv("APP_SANDBOX_CONTAINER_ID", "");
    EXPECT_TRUE(sandbox::environmentSaysSandboxed()); // any value, even empty
    qputenv("APP_SANDBOX_CONTAINER_ID", "com.example");
    EXPECT_TRUE(sandbox::environmentSaysSandboxed());
    const bool first = sandbox::isSandboxed();
    qunsetenv("APP_SANDBOX_CONTAINER_ID");
    EXPECT_EQ(sandbox::isSandboxed(), first); // determined once
    if (wasSet)
        qputenv("APP_SANDBOX_CONTAINER_ID", saved);
}

} // namespace
} // namespace tarnwick
