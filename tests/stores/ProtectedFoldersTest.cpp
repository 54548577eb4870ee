#include "stores/ProtectedFolders.h"

#include "stores/StoreTestSupport.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::movedAside;
using testing::readBytes;
using testing::readJson;
using testing::writeBytes;

struct ProtectedFoldersTest : ::testing::Test {
    QTemporaryDir store;
    QTemporaryDir media;
    QString filePath() const { return store.filePath(QStringLiteral("protected_folders.json")); }
    QString mediaFolder(const QString& name) const {
        QDir(media.path()).mkpath(name);
        return QFileInfo(media.filePath(name)).canonicalFilePath();
    }
    QStringList stored() const {
        QStringList list;
        for (const QJsonValue& value : readJson(filePath()).array())
            list.append(value.toString());
        return list;
    }
};

TEST_F(ProtectedFoldersTest, StoresTheResolvedPathOnceThroughALink) {
    const QString target = mediaFolder("Footage");
    const QString link = media.filePath("Shortcut");
    ASSERT_TRUE(QFile::link(target, link));
    ProtectedFolders folders(store.path());
    folders.add(link);
    EXPECT_EQ(folders.folders(), QStringList{target});
    EXPECT_TRUE(readBytes(filePath()).contains("\\/Footage\""));

    writeBytes(filePath(), "[\"sentinel\"]"); // a rewrite would replace this
    folders.add(target);
    folders.add(link + "/");
    EXPECT_EQ(folders.folders(), QStringList{target});
    EXPECT_EQ(readBytes(filePath()), "[\"sentinel\"]");
}

TEST_F(ProtectedFoldersTest, StandardisesDotsAndTrailingSlashes) {
    const QString a = mediaFolder("A");
    mediaFolder("B");
    ProtectedFolders folders(store.path());
    folders.add(media.path() + "/B/../A/");
    folders.add(media.path() + "//A/./");
    EXPECT_EQ(folders.folders(), QStringList{a});
}

TEST_F(ProtectedFoldersTest, KeepsCaseVariantsSortedCaseInsensitively) {
    ProtectedFolders folders(store.path());
    for (const char* path : {"/srv/zeta", "/srv/Media", "/srv/alpha", "/srv/media"})
        folders.add(QString::fromUtf8(path));
    ASSERT_EQ(folders.folders().size(), 4);
    EXPECT_EQ(folders.folders().front(), "/srv/alpha");
    EXPECT_EQ(folders.folders().back(), "/srv/zeta");
    EXPECT_TRUE(folders.folders().mid(1, 2).contains("/srv/Media"));
    EXPECT_TRUE(folders.folders().mid(1, 2).contains("/srv/media"));
    EXPECT_EQ(stored(), folders.folders());

    ProtectedFolders reloaded(store.path());
    EXPECT_EQ(reloaded.folders(), folders.folders());
}

// The same folder name typed in composed (NFC) and decomposed (NFD) form is one folder.
TEST_F(ProtectedFoldersTest, KeepsOneFolderInComposedAndDecomposedFormOnce) {
    const QString composed = QStringLiteral("/Volumes/M\u00e9dias");
    const QString decomposed = QStringLiteral("/Volumes/Me\u0301dias");
    ProtectedFolders folders(store.path());
    folders.add(composed);
    folders.add(decomposed);
    EXPECT_EQ(folders.folders(), QStringList{composed});
    EXPECT_EQ(stored(), QStringList{composed});
    folders.remove(decomposed);
    EXPECT_TRUE(folders.folders().isEmpty()) << "removing either form removes the folder";
    EXPECT_TRUE(stored().isEmpty());
}

TEST_F(ProtectedFoldersTest, RemoveRewritesEvenWhenNothingMatched) {
    ProtectedFolders folders(store.path());
    folders.add("/srv/a");
    folders.add("/srv/b");
    writeBytes(filePath(), "[]");
    folders.remove("/srv/none");
    EXPECT_EQ(stored(), (QStringList{"/srv/a", "/srv/b"}));
    folders.remove("/srv/a");
    EXPECT_EQ(stored(), QStringList{"/srv/b"});
}

TEST_F(ProtectedFoldersTest, LoadsTheStoredOrderUnchanged) {
    writeBytes(filePath(), R"(["\/z","\/a","\/a"])");
    ProtectedFolders folders(store.path());
    EXPECT_EQ(folders.folders(), (QStringList{"/z", "/a", "/a"}));
    EXPECT_FALSE(folders.fileWasDamaged());
}

// Losing this file silently drops every protection, so damage is exposed and the file is kept.
TEST_F(ProtectedFoldersTest, ExposesADamagedFileAndKeepsIt) {
    for (const QByteArray& contents : {QByteArray(R"(["\/a",)"), QByteArray(), QByteArray(R"(["\/a",3])"),
                                       QByteArray(R"({"folders":[]})")}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("protected_folders.json");
        writeBytes(path, contents);
        testing::LogCapture log;
        ProtectedFolders folders(dir.path());
        EXPECT_TRUE(folders.folders().isEmpty());
        EXPECT_TRUE(folders.fileWasDamaged()) << contents.constData();
        folders.add("/srv/new");
        ASSERT_EQ(movedAside(dir.path(), "protected_folders.json").size(), 1);
        EXPECT_EQ(readBytes(folders.movedAsidePath()), contents);
        EXPECT_TRUE(folders.fileWasDamaged());
    }
}

TEST_F(ProtectedFoldersTest, MissingFileIsNotDamage) {
    ProtectedFolders folders(store.path());
    EXPECT_TRUE(folders.folders().isEmpty());
    EXPECT_FALSE(folders.fileWasDamaged());
}

} // namespace
} // namespace tarnwick
