#include "analysis/FileNameGroups.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

MediaFile at(const char* path, MediaFileStatus status = MediaFileStatus::offline) {
    MediaFile file;
    file.path = QString::fromUtf8(path);
    file.status = status;
    return file;
}

quint64 sameForAll(QStringView) {
    return 7;
}

using Groups = std::vector<FileNameGroups::Group>;

} // namespace

TEST(FileNameGroups, GroupsNamesThatDifferOnlyByCaseInOrderOfTheirFirstEntry) {
    const QList<MediaFile> files = {at("/a/x.mov"),     at("/b/CLIP.MOV"),   at("/c/X.mov"),
                                    at("/d/alone.mov"), at("/e/clip.mov/"),  at("/f/Ärger.mov"),
                                    at("/g/ärger.MOV"), at("/h/Day1/x.mov"), at("/")};
    const Groups expected = {{0, 2, 7}, {1, 4}, {5, 6}};
    EXPECT_EQ(FileNameGroups::of(files), expected);
    // Every name on one hash: the texts still tell the groups apart.
    EXPECT_EQ(FileNameGroups::of(files, {}, &sameForAll), expected);
}

TEST(FileNameGroups, KeepsOnlyNamesASeedCarriesAcrossLongLists) {
    // Long enough to be hashed on several threads; the name of entry 3 recurs at the end.
    QList<MediaFile> files;
    for (int i = 0; i < 40000; ++i)
        files.append(at(QStringLiteral("/v%1/n%2.mov").arg(i % 3).arg(i % 20000).toUtf8().constData()));
    files[3].status = MediaFileStatus::online;
    const auto onDisk = [](const MediaFile& file) { return file.isOnDisk(); };
    EXPECT_EQ(FileNameGroups::of(files, onDisk), (Groups{{3, 20003}}));
    // A seed sharing only the hash of other names gathers none of them.
    QList<MediaFile> collide = {at("/a/one.mov"), at("/b/two.mov"), at("/c/two.mov"),
                                at("/d/ONE.mov", MediaFileStatus::online)};
    EXPECT_EQ(FileNameGroups::of(collide, onDisk, &sameForAll), (Groups{{0, 3}}));
    EXPECT_EQ(FileNameGroups::of(files.mid(0, 3), onDisk).size(), 0u);
    EXPECT_EQ(FileNameGroups::of(files).size(), 20000u);
}
