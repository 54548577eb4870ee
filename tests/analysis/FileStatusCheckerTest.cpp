#include "analysis/FileStatusChecker.h"
#include "analysis/StorageTypeDetector.h"

#include "support/DiskFactsFakeMountTable.h"
#include "support/DiskFactsFakeProbe.h"
#include "support/DiskFactsLogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;

namespace {

QString writeFile(const QString& path, qint64 size) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(size, 'm'));
    return path;
}

class FileStatusCheckerTest : public ::testing::Test {
protected:
    QString at(const QString& relative) const { return m_dir.filePath(relative); }
    FileStatusResult check(const QString& path, const RelativeCandidates& candidates = {}) const {
        return m_checker.makeFileStatusResult(path, candidates, m_options);
    }

    QTemporaryDir m_dir;
    FileStatusChecker m_checker;
    FileStatusChecking::Options m_options;
};

} // namespace

TEST_F(FileStatusCheckerTest, PresentFileIsOnlineWithItsOwnSize) {
    const QString clip = writeFile(at(QStringLiteral("media/clip.mov")), 1234);
    const FileStatusResult result = check(clip);
    EXPECT_EQ(result.status, MediaFileStatus::online);
    EXPECT_EQ(result.resolvedPath, clip);
    EXPECT_EQ(result.size, 1234);
    EXPECT_EQ(result.storageType, StorageType::local);
}

TEST_F(FileStatusCheckerTest, SymbolicLinkReportsTheSizeOfTheFileItNames) {
    const QString clip = writeFile(at(QStringLiteral("media/clip.mov")), 5000);
    ASSERT_TRUE(QFile::link(clip, at(QStringLiteral("link.mov"))));
    const FileStatusResult result = check(at(QStringLiteral("link.mov")));
    EXPECT_EQ(result.status, MediaFileStatus::online);
    EXPECT_EQ(result.size, 5000);
    ASSERT_TRUE(QFile::link(at(QStringLiteral("gone.mov")), at(QStringLiteral("dangling.mov"))));
    EXPECT_EQ(check(at(QStringLiteral("dangling.mov"))).status, MediaFileStatus::offline);
}

TEST_F(FileStatusCheckerTest, RedClipInsideContainerCountsTheWholeContainer) {
    const QString clip = writeFile(at(QStringLiteral("shoot/A001.RDC/A001_001.R3D")), 1000);
    writeFile(at(QStringLiteral("shoot/A001.RDC/A001_002.R3D")), 2000);
    writeFile(at(QStringLiteral("shoot/A001.RDC/sub/A001.rtn")), 300);
    const FileStatusResult result = check(clip);
    EXPECT_EQ(result.status, MediaFileStatus::online);
    // Every item is counted, the sub-folder's own size attribute included.
    const qint64 subFolderSize = QFileInfo(at(QStringLiteral("shoot/A001.RDC/sub"))).size();
    EXPECT_EQ(result.size, 3300 + subFolderSize);
    // Outside an RDC folder an R3D clip is just a file.
    EXPECT_EQ(check(writeFile(at(QStringLiteral("loose/B.R3D")), 77)).size, 77);
}

// Links inside the container are not followed and a file under two names counts once.
TEST_F(FileStatusCheckerTest, RedContainerCountsEachItemOnceAndFollowsNoLink) {
    const QString clip = writeFile(at(QStringLiteral("shoot/A002.RDC/A002_001.R3D")), 1000);
    writeFile(at(QStringLiteral("elsewhere/big.R3D")), 50000);
    writeFile(at(QStringLiteral("elsewhere/folder/more.R3D")), 70000);
    ASSERT_TRUE(
        QFile::link(at(QStringLiteral("elsewhere/big.R3D")), at(QStringLiteral("shoot/A002.RDC/big.R3D"))));
    ASSERT_TRUE(
        QFile::link(at(QStringLiteral("elsewhere/folder")), at(QStringLiteral("shoot/A002.RDC/folder"))));
    ASSERT_EQ(::link(QFile::encodeName(clip).constData(),
                     QFile::encodeName(at(QStringLiteral("shoot/A002.RDC/A002_001 copy.R3D"))).constData()),
              0);
    EXPECT_EQ(check(clip).size, 1000);
}

TEST_F(FileStatusCheckerTest, MissingFileIsOfflineUnlessItsRelativeCandidateExists) {
    const QString missing = at(QStringLiteral("old/clip.mov"));
    const QString moved = writeFile(at(QStringLiteral("new/clip.mov")), 42);
    FileStatusResult result = check(missing);
    EXPECT_EQ(result.status, MediaFileStatus::offline);
    EXPECT_EQ(result.resolvedPath, missing);
    EXPECT_EQ(result.size, 0);

    result = check(missing, {{missing, {moved}}});
    EXPECT_EQ(result.status, MediaFileStatus::matching);
    EXPECT_EQ(result.resolvedPath, moved);
    EXPECT_EQ(result.size, 42);

    // An alternate equal to the path, or one that does not exist either, changes nothing.
    EXPECT_EQ(check(missing, {{missing, {missing}}}).status, MediaFileStatus::offline);
    EXPECT_EQ(check(missing, {{missing, {at(QStringLiteral("nowhere.mov"))}}}).status,
              MediaFileStatus::offline);
}

TEST_F(FileStatusCheckerTest, TheFirstRelativeCandidateThatExistsIsTaken) {
    const QString missing = at(QStringLiteral("old/clip.mov"));
    const QString second = writeFile(at(QStringLiteral("copy2/clip.mov")), 2);
    const QString third = writeFile(at(QStringLiteral("copy3/clip.mov")), 3);
    const FileStatusResult result =
        check(missing, {{missing, {at(QStringLiteral("copy1/clip.mov")), second, third}}});
    EXPECT_EQ(result.status, MediaFileStatus::matching);
    EXPECT_EQ(result.resolvedPath, second);
    EXPECT_EQ(result.size, 2);
}

TEST_F(FileStatusCheckerTest, AFilePresentUnderOneUnicodeSpellingIsOnlineThere) {
    const QString composed = writeFile(at(QStringLiteral("Caf\u00E9/\u00E9t\u00E9.mov")), 6);
    const QString decomposed = composed.normalized(QString::NormalizationForm_D);
    ASSERT_NE(decomposed, composed);
    const FileStatusResult result = check(decomposed);
    EXPECT_EQ(result.status, MediaFileStatus::online);
    EXPECT_EQ(result.resolvedPath, composed);
    EXPECT_EQ(result.size, 6);
    EXPECT_EQ(check(decomposed + QStringLiteral("x")).status, MediaFileStatus::offline);
}

// A project copied from a system that writes names decomposed: its relative candidate names the
// copy in the other spelling from the one on disk.
TEST_F(FileStatusCheckerTest, ARelativeCandidatePresentUnderTheOtherUnicodeSpellingIsMatchedThere) {
    const QString missing = at(QStringLiteral("gone/\u00E9t\u00E9.mov"));
    const QString composed = writeFile(at(QStringLiteral("copy/Caf\u00E9/\u00E9t\u00E9.mov")), 7);
    const FileStatusResult result =
        check(missing, {{missing, {composed.normalized(QString::NormalizationForm_D)}}});
    EXPECT_EQ(result.status, MediaFileStatus::matching);
    EXPECT_EQ(result.resolvedPath, composed);
    EXPECT_EQ(result.size, 7);
}

TEST_F(FileStatusCheckerTest, IgnoringTheExtensionFindsTheClipWithAnotherExtensionFirst) {
    const QString missing = at(QStringLiteral("media/A001.mov"));
    const QString mxf = writeFile(at(QStringLiteral("media/A001.mxf")), 900);
    const QString alternate = writeFile(at(QStringLiteral("elsewhere/A001.mov")), 10);
    EXPECT_EQ(check(missing, {{missing, {alternate}}}).resolvedPath, alternate);

    m_options.ignoreFileExtension = true;
    const FileStatusResult result = check(missing, {{missing, {alternate}}});
    EXPECT_EQ(result.status, MediaFileStatus::matching);
    EXPECT_EQ(result.resolvedPath, mxf);
    EXPECT_EQ(result.size, 900);
}

// A clip's sidecars, thumbnails, proxies and folders share its base name but are not the clip.
TEST_F(FileStatusCheckerTest, IgnoringTheExtensionNeverPicksSidecarsHiddenFilesOrFolders) {
    m_options.ignoreFileExtension = true;
    struct Case {
        const char* missing;
        QStringList present;
    };
    const QList<Case> cases = {
        {"clip.mxf", {"clip.xmp", "clip.XML"}},
        {"GX010001.MP4", {"GX010001.THM", "GX010001.LRV"}},
        {"A001.mov", {"A001/"}},
        {"B002.mov", {"B002", "B002.pek", "B002.cfa", "B002.ims", "B002.srt"}},
        {"C003.mov", {".C003.mp4"}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        for (const QString& name : c.present) {
            if (name.endsWith(QLatin1Char('/')))
                QDir(dir.path()).mkpath(name);
            else
                writeFile(dir.filePath(name), 10);
        }
        const FileStatusResult result =
            m_checker.makeFileStatusResult(dir.filePath(QString::fromLatin1(c.missing)), {}, m_options);
        EXPECT_EQ(result.status, MediaFileStatus::offline) << c.missing;
    }
}

TEST_F(FileStatusCheckerTest, IgnoringTheExtensionChoosesInNameOrder) {
    m_options.ignoreFileExtension = true;
    writeFile(at(QStringLiteral("m/A001.wav")), 1);
    writeFile(at(QStringLiteral("m/A001.mp4")), 2);
    writeFile(at(QStringLiteral("m/A001.MXF")), 3);
    writeFile(at(QStringLiteral("m/A001.xmp")), 4);
    EXPECT_EQ(check(at(QStringLiteral("m/A001.mov"))).resolvedPath, at(QStringLiteral("m/A001.MXF")));
    EXPECT_EQ(m_checker.findFileIgnoringExtension(at(QStringLiteral("missing-folder/A001.mov"))),
              std::nullopt);
}

TEST_F(FileStatusCheckerTest, FileInAFolderWithoutPermissionIsOffline) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    const QString clip = writeFile(at(QStringLiteral("locked/clip.mov")), 10);
    QFile::setPermissions(at(QStringLiteral("locked")), QFileDevice::Permissions());
    const FileStatusResult result = check(clip);
    QFile::setPermissions(at(QStringLiteral("locked")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(result.status, MediaFileStatus::offline);
    EXPECT_EQ(result.size, 0);
}

TEST_F(FileStatusCheckerTest, PresentFileOnANetworkMountIsOnlineAndNetwork) {
    const QString clip = writeFile(at(QStringLiteral("share/clip.mov")), 64);
    test::DiskFactsLogCapture log;
    for (const char* type : {"cifs", "nfs4", "fuse.sshfs", "fuse.rclone"}) {
        m_options.mountTable = test::fakeMountTable(m_dir.path(), QString::fromLatin1(type));
        const FileStatusResult result = check(clip);
        EXPECT_EQ(result.status, MediaFileStatus::online) << type;
        EXPECT_EQ(result.size, 64);
        EXPECT_EQ(result.storageType, StorageType::network) << type;
    }
    EXPECT_TRUE(log.contains(QStringLiteral("Network drive detected: fuse.sshfs at clip.mov")));
    m_options.mountTable = test::fakeMountTable(m_dir.path(), QStringLiteral("ext4"));
    EXPECT_EQ(check(clip).storageType, StorageType::local);
}

TEST_F(FileStatusCheckerTest, CloudFolderNamesDecideBeforeTheFileSystem) {
    m_options.mountTable = test::fakeMountTable(QStringLiteral("/"), QStringLiteral("cifs"));
    const QList<std::pair<const char*, StorageType>> cases = {
        {"/home/me/Dropbox/clip.mov", StorageType::dropbox},
        {"/home/me/Dropbox.app/x.mov", StorageType::dropbox},
        {"/home/me/Google Drive/clip.mov", StorageType::googleDrive},
        {"/home/me/GoogleDrive-me/clip.mov", StorageType::googleDrive},
        {"/Users/me/Library/Mobile Documents/com~apple~CloudDocs/a.mov", StorageType::iCloud},
        {"/home/me/iCloudDrive/a.mov", StorageType::iCloud},
        {"/Volumes/OneDrive/x.mov", StorageType::oneDrive},
    };
    for (const auto& [path, type] : cases)
        EXPECT_EQ(m_checker.detectStorageType(QString::fromUtf8(path), m_options), type) << path;
}

TEST_F(FileStatusCheckerTest, CloudNamesIgnoreLetterCaseAndTheFirstListedProviderWins) {
    const QList<std::pair<const char*, StorageType>> cases = {
        {"/HOME/ME/DROPBOX/CLIP.MOV", StorageType::dropbox},
        {"/x/OneDrive/Dropbox.App", StorageType::dropbox},           // Dropbox comes before OneDrive
        {"/Mobile Documents/a/Dropbox/b.mov", StorageType::dropbox}, // wherever each is in the path
        {"/a/Mobile Document\u017F/b.mov", StorageType::iCloud},     // long s folds to "s"
        {"/a/iCLOUD", StorageType::iCloud},
        {"/a/Dropbox", StorageType::local}, // "/dropbox/" needs the closing slash
        {"/a/Drop box/b.mov", StorageType::local},
        {"/a/GoogleDriv", StorageType::local},
        {"", StorageType::local},
    };
    for (const auto& [path, type] : cases)
        EXPECT_EQ(
            StorageTypeDetector::cloudTypeFromName(QString::fromUtf8(path)).value_or(StorageType::local),
            type)
            << path;
}

TEST_F(FileStatusCheckerTest, MissingPathIsLocalAndSaysSo) {
    test::DiskFactsLogCapture log;
    m_options.mountTable = test::fakeMountTable(m_dir.path(), QStringLiteral("cifs"));
    const QString missing = at(QStringLiteral("OneDriveBackup/x.mov"));
    EXPECT_EQ(check(missing).storageType, StorageType::local);
    EXPECT_TRUE(log.contains(QStringLiteral("statfs failed for ") + missing +
                             QStringLiteral(", using heuristic detection")));
    EXPECT_EQ(m_checker.detectStorageType(QStringLiteral("relative/clip.mov"), m_options),
              StorageType::local);
}

TEST_F(FileStatusCheckerTest, PresentFileCostsOneStat) {
    auto probe = std::make_shared<test::CountingStatProbe>();
    const FileStatusChecker checker(probe);
    const QString clip = writeFile(at(QStringLiteral("clip.mov")), 10);
    m_options.mountTable = std::make_shared<const MountTable>(MountTable::readCurrent());
    checker.makeFileStatusResult(clip, {{at(QStringLiteral("x")), {clip}}}, m_options);
    EXPECT_EQ(probe->calls(), 1);
}

TEST_F(FileStatusCheckerTest, SandboxedReadsTheAlternateThroughItsGrant) {
    const QString missing = at(QStringLiteral("ungranted/clip.mov"));
    const QString alternate = writeFile(at(QStringLiteral("granted/clip.mov")), 8);
    const QString present = writeFile(at(QStringLiteral("ungranted/other.mov")), 9);
    m_options.isSandboxed = true;
    m_options.grantedRoots = {at(QStringLiteral("GRANTED"))}; // letter case ignored
    FileStatusResult result = check(missing, {{missing, {alternate}}});
    EXPECT_EQ(result.status, MediaFileStatus::matching);
    EXPECT_EQ(result.resolvedPath, alternate);
    // Outside the volume folder no volume needs access: the plain rules go on.
    EXPECT_EQ(check(present).status, MediaFileStatus::online);
    EXPECT_EQ(check(missing).status, MediaFileStatus::offline);
}
