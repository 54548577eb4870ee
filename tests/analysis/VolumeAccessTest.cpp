#include "analysis/VolumeAccess.h"
#include "analysis/GrantSnapshot.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(VolumeAccess, RootIsTheVolumeFolderOrTheParentFolder) {
    EXPECT_EQ(volumeRoot(QStringLiteral("/Volumes/Media/x/a.mov")),
              QUrl::fromLocalFile(QStringLiteral("/Volumes/Media")));
    EXPECT_EQ(volumeRoot(QStringLiteral("/Volumes/Media")),
              QUrl::fromLocalFile(QStringLiteral("/Volumes/Media")));
    EXPECT_EQ(volumeRoot(QStringLiteral("/Users/me/a.mov")),
              QUrl::fromLocalFile(QStringLiteral("/Users/me")));
    EXPECT_EQ(volumeRoot(QStringLiteral("/volumes/media/a.mov")),
              QUrl::fromLocalFile(QStringLiteral("/volumes/media")));
}

TEST(VolumeAccess, OnlyMountedVolumesUnderTheVolumeFolderNeedAccess) {
    EXPECT_EQ(volumeNeedingAccess(QStringLiteral("/home/me/a.mov")), std::nullopt);
    EXPECT_EQ(volumeNeedingAccess(QStringLiteral("/Volumes/")), std::nullopt);
    EXPECT_EQ(volumeNeedingAccess(QStringLiteral("/Volumes/NoSuchVolume-7f3a/a.mov")), std::nullopt);
}

TEST(VolumeAccess, RootsNeedingAccessAreUniqueAndSorted) {
    QList<MediaFile> files;
    const auto add = [&](const char* path, MediaFileStatus status) {
        MediaFile file;
        file.path = QString::fromLatin1(path);
        file.status = status;
        files.append(file);
    };
    add("/Volumes/Zeta/a.mov", MediaFileStatus::needsAccess);
    add("/Volumes/Media/b.mov", MediaFileStatus::needsAccess);
    add("/Volumes/Media/c/d.mov", MediaFileStatus::needsAccess);
    add("/Volumes/Other/e.mov", MediaFileStatus::offline);
    add("/Volumes/alpha/f.mov", MediaFileStatus::needsAccess);
    EXPECT_EQ(volumeRootsNeedingAccess(files),
              (QStringList{QStringLiteral("/Volumes/Media"), QStringLiteral("/Volumes/Zeta"),
                           QStringLiteral("/Volumes/alpha")}));
    EXPECT_TRUE(volumeRootsNeedingAccess({}).isEmpty());
}

TEST(GrantSnapshot, LongestCoveringRootWinsWithLetterCaseIgnored) {
    const QStringList roots{QStringLiteral("/Volumes/Media"), QStringLiteral("/Volumes/Media/Project")};
    EXPECT_EQ(grants::grantedRoot(roots, QStringLiteral("/Volumes/Media/Project/a/b.mov")),
              QStringLiteral("/Volumes/Media/Project"));
    EXPECT_EQ(grants::grantedRoot(roots, QStringLiteral("/Volumes/MediaX/a.mov")), std::nullopt);
    EXPECT_EQ(grants::grantedRoot(roots, QStringLiteral("/volumes/media/a.mov")),
              QStringLiteral("/Volumes/Media"));
    EXPECT_EQ(grants::grantedRoot(roots, QStringLiteral("/Volumes/Media")), QStringLiteral("/Volumes/Media"));
    EXPECT_EQ(grants::grantedRoot(roots, QStringLiteral("/Volumes/Media/../Other/a.mov")), std::nullopt);
    EXPECT_EQ(grants::grantedRoot({}, QStringLiteral("/a")), std::nullopt);
    EXPECT_EQ(grants::grantedRoot({QStringLiteral("/")}, QStringLiteral("/a")), QStringLiteral("/"));
}
