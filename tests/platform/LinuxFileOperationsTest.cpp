#include "platform/LinuxFileOperations.h"
#include "platform/RegularFile.h"
#include "support/FileChanges.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;
using tarnwick::testing::FileChange;

namespace {

void writeFile(const QString& path, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

class LinuxFileOperationsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    LinuxFileOperations ops;
    QString at(const QString& relative) const { return dir.path() + "/" + relative; }
};

} // namespace

TEST_F(LinuxFileOperationsTest, StatusTellsKindsWithoutFollowingLinksUnlessAsked) {
    writeFile(at("a file.mov"), "12345");
    QDir().mkpath(at("folder"));
    ASSERT_EQ(
        ::symlink(QFile::encodeName(at("folder")).constData(), QFile::encodeName(at("link")).constData()), 0);

    EXPECT_EQ(ops.status(at("a file.mov")).kind, FileKind::regular);
    EXPECT_EQ(ops.status(at("a file.mov")).size, 5);
    EXPECT_EQ(ops.status(at("folder")).kind, FileKind::directory);
    EXPECT_EQ(ops.status(at("link")).kind, FileKind::symlink);
    EXPECT_EQ(ops.status(at("link"), true).kind, FileKind::directory);
    EXPECT_EQ(ops.status(at("missing")).kind, FileKind::missing);
    EXPECT_TRUE(ops.isRegularFile(at("a file.mov")));
    EXPECT_FALSE(ops.isRegularFile(at("folder")));
    EXPECT_EQ(ops.canonicalPath(at("link")), QFileInfo(at("folder")).canonicalFilePath());
    EXPECT_TRUE(ops.canonicalPath(at("missing")).isEmpty());
}

TEST_F(LinuxFileOperationsTest, EveryOperationRefusesAPathWithANul) {
    writeFile(at("clip.mov"));
    const QString withNul = at("clip.mov") + QChar(u'\0') + "tail";
    EXPECT_EQ(ops.status(withNul).kind, FileKind::missing);
    EXPECT_TRUE(ops.canonicalPath(withNul).isEmpty());
    EXPECT_EQ(ops.removeFile(withNul).code, EINVAL);
    EXPECT_EQ(ops.removeTree(withNul).code, EINVAL);
    EXPECT_EQ(ops.makeFolder(withNul).code, EINVAL);
    EXPECT_EQ(ops.moveToTrash(withNul).status.code, EINVAL);
    EXPECT_TRUE(QFile::exists(at("clip.mov")));
}

TEST_F(LinuxFileOperationsTest, MakeFolderCreatesParentsAndAcceptsAnExistingFolder) {
    EXPECT_TRUE(ops.makeFolder(at("a/b/c d"), true, 0700).ok());
    EXPECT_TRUE(QFileInfo(at("a/b/c d")).isDir());
    EXPECT_TRUE(ops.makeFolder(at("a/b/c d")).ok());
    EXPECT_EQ(ops.makeFolder(at("x/y"), false).code, ENOENT);
    writeFile(at("plain"));
    EXPECT_EQ(ops.makeFolder(at("plain")).code, EEXIST);
}

TEST_F(LinuxFileOperationsTest, RemoveFileRemovesFilesAndLinksButRefusesFolders) {
    writeFile(at("clip.mov"));
    QDir().mkpath(at("folder"));
    writeFile(at("folder/inner.mov"));
    ASSERT_EQ(
        ::symlink(QFile::encodeName(at("folder")).constData(), QFile::encodeName(at("link")).constData()), 0);

    EXPECT_TRUE(ops.removeFile(at("clip.mov")).ok());
    EXPECT_FALSE(QFile::exists(at("clip.mov")));
    EXPECT_EQ(ops.removeFile(at("folder")).code, EISDIR);
    EXPECT_TRUE(ops.removeFile(at("link")).ok());
    EXPECT_TRUE(QFile::exists(at("folder/inner.mov")));
    const FileOpStatus missing = ops.removeFile(at("clip.mov"));
    EXPECT_EQ(missing.code, ENOENT);
    EXPECT_FALSE(missing.message.isEmpty());
}

TEST_F(LinuxFileOperationsTest, RemoveTreeNeverFollowsLinksOutOfTheTree) {
    writeFile(at("outside/keep.mov"));
    writeFile(at("A001.RDC/A001_001.R3D"));
    writeFile(at("A001.RDC/sub/deeper/x.bin"));
    ASSERT_EQ(::symlink(QFile::encodeName(at("outside")).constData(),
                        QFile::encodeName(at("A001.RDC/sub/escape")).constData()),
              0);

    EXPECT_TRUE(ops.removeTree(at("A001.RDC")).ok());
    EXPECT_FALSE(QFileInfo::exists(at("A001.RDC")));
    EXPECT_TRUE(QFile::exists(at("outside/keep.mov")));
}

TEST_F(LinuxFileOperationsTest, RemoveTreeOnALinkRemovesOnlyTheLink) {
    writeFile(at("real/keep.mov"));
    ASSERT_EQ(
        ::symlink(QFile::encodeName(at("real")).constData(), QFile::encodeName(at("alias")).constData()), 0);
    EXPECT_TRUE(ops.removeTree(at("alias")).ok());
    EXPECT_TRUE(QFile::exists(at("real/keep.mov")));
}

TEST_F(LinuxFileOperationsTest, RemoveTreeReportsAPartialFailureAndRemovesTheRest) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    writeFile(at("tree/loose.mov"));
    writeFile(at("tree/locked/stuck.mov"));
    ASSERT_EQ(::chmod(QFile::encodeName(at("tree/locked")).constData(), 0500), 0);

    const FileOpStatus result = ops.removeTree(at("tree"));
    ::chmod(QFile::encodeName(at("tree/locked")).constData(), 0700);
    EXPECT_EQ(result.code, EACCES);
    EXPECT_TRUE(result.message.contains("stuck.mov"));
    EXPECT_FALSE(QFile::exists(at("tree/loose.mov")));
    EXPECT_TRUE(QFile::exists(at("tree/locked/stuck.mov")));
}

// A removal given the item the caller chose keeps whatever else is at the path now: a file put in
// its place, grown or merely touched; a folder is the same folder whatever goes in or out of it.
TEST_F(LinuxFileOperationsTest, RemovalsGivenTheChosenItemKeepAnotherOne) {
    for (const FileChange change : {FileChange::replaced, FileChange::grown, FileChange::touched}) {
        const QString path = at(QStringLiteral("clip%1.mov").arg(int(change)));
        writeFile(path, "staged");
        const FileIdentity chosen = ops.status(path).identity();
        ASSERT_TRUE(tarnwick::testing::changeFile(path, change));
        const FileOpStatus kept = ops.removeFile(path, chosen);
        EXPECT_TRUE(kept.isChanged()) << int(change);
        EXPECT_TRUE(QFile::exists(path)) << int(change);
        EXPECT_TRUE(ops.removeFile(path, ops.status(path).identity()).ok());
        EXPECT_FALSE(QFile::exists(path));
    }

    writeFile(at("A001.RDC/A001_001.R3D"));
    const FileIdentity container = ops.status(at("A001.RDC")).identity();
    writeFile(at("A001.RDC/A001_002.R3D"));
    EXPECT_TRUE(ops.removeTree(at("A001.RDC"), container).ok());
    EXPECT_FALSE(QFileInfo::exists(at("A001.RDC")));
    writeFile(at("A002.RDC/A002_001.R3D"));
    const FileIdentity gone = ops.status(at("A002.RDC")).identity();
    ASSERT_TRUE(QDir().rename(at("A002.RDC"), at("A002 old.RDC"))); // kept, so its inode is not reused
    writeFile(at("A002.RDC/newer.R3D"));
    EXPECT_TRUE(ops.removeTree(at("A002.RDC"), gone).isChanged());
    EXPECT_TRUE(QFile::exists(at("A002.RDC/newer.R3D")));
}

// Bytes that are no UTF-8 read back as U+FFFD: the text names nothing, and the error says why
// instead of calling the file missing.
TEST_F(LinuxFileOperationsTest, ANameThatIsNotUtf8IsNamedAsTheReasonItCannotBeReached) {
    const QByteArray root = QFile::encodeName(dir.path());
    // Qt cannot name them, so the temporary folder could not remove them.
    const auto removeThem = qScopeGuard([&] {
        ::unlink(QByteArray(root + "/Caf\xE9.mov").constData());
        ::unlink(QByteArray(root + "/Shoot\xE9/clip.mov").constData());
        ::rmdir(QByteArray(root + "/Shoot\xE9").constData());
    });
    ASSERT_EQ(::mkdir(QByteArray(root + "/Shoot\xE9").constData(), 0755), 0);
    for (const QByteArray& name : {QByteArray("/Caf\xE9.mov"), QByteArray("/Shoot\xE9/clip.mov")}) {
        const int fd = ::open(QByteArray(root + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    const QString file = QFile::decodeName(root + "/Caf\xE9.mov");
    const QString inFolder = QFile::decodeName(root + "/Shoot\xE9/clip.mov");
    const QString notUtf8 = "its name is not valid UTF-8 text";

    EXPECT_EQ(ops.moveToTrash(file).status.message, notUtf8);
    EXPECT_EQ(ops.removeFile(file).message, notUtf8);
    EXPECT_EQ(ops.removeTree(QFile::decodeName(root + "/Shoot\xE9")).message, notUtf8);
    EXPECT_EQ(ops.moveNoReplace(file, at("elsewhere.mov")).message, notUtf8);
    EXPECT_EQ(RegularFile(file).errorString(), notUtf8);
    EXPECT_EQ(
        ops.removeFile(inFolder).message,
        QString::fromUtf8(
            "the name of its folder \xE2\x80\x9CShoot\xEF\xBF\xBD\xE2\x80\x9D is not valid UTF-8 text"));
    EXPECT_EQ(ops.removeFile(inFolder).code, ENOENT);
    // A name that really holds U+FFFD and is gone is only missing.
    EXPECT_EQ(ops.removeFile(at(QString::fromUtf8("gone\xEF\xBF\xBD.mov"))).message,
              "No such file or directory");
    for (const QByteArray& name : {QByteArray("/Caf\xE9.mov"), QByteArray("/Shoot\xE9/clip.mov")}) {
        struct stat st {};
        EXPECT_EQ(::lstat(QByteArray(root + name).constData(), &st), 0) << name.constData();
    }
}
