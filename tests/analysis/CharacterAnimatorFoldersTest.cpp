#include "analysis/CharacterAnimatorFolders.h"
#include "analysis/LowerPathCache.h"

#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::testing::media;

// One scene reached by two paths (a share mounted twice) is one entry holding the other path: the
// data listed under either path belongs to it.
TEST(CharacterAnimatorFolders, TheDataUnderAnyPathOfAMergedSceneBelongsToIt) {
    MediaFile scene = media("/Volumes/Show/Puppet/Puppet.chproj", 1);
    scene.alternativePaths = {"/mnt/show/Puppet/Puppet.chproj"};
    const CharacterAnimatorFolders folders({scene});
    LowerPathCache keys;
    EXPECT_EQ(folders.projectHolding(media("/mnt/show/Puppet/Ch Media/take.wav"), keys), scene.path);
    EXPECT_EQ(folders.projectHolding(media("/Volumes/Show/Puppet/Ch Data/art.png"), keys), scene.path);
    EXPECT_FALSE(folders.projectHolding(media("/mnt/show/other.mov"), keys));
}

// An entry is in a used scene's folder by any of its paths, whatever their case or Unicode form;
// a folder as long as the scene's but of another name holds nothing of it.
TEST(CharacterAnimatorFolders, AnEntryIsInTheFolderByAnyOfItsPathsInAnySpelling) {
    const QString cafe = QStringLiteral("/Show/Caf\u00e9/Caf\u00e9.chproj");
    const QList<MediaFile> scenes{media("/Show/Puppet/Puppet.chproj", 1), media(cafe, 1)};
    const CharacterAnimatorFolders folders(scenes);
    LowerPathCache keys;
    const auto holding = [&](const MediaFile& file) { return folders.projectHolding(file, keys); };

    EXPECT_EQ(holding(media("/SHOW/puppet/Ch Data/art.png")), "/Show/Puppet/Puppet.chproj");
    MediaFile moved = media("/elsewhere/take.wav");
    moved.alternativePaths = {"/other/take.wav", "/Show/Puppet/Ch Media/take.wav"};
    EXPECT_EQ(holding(moved), "/Show/Puppet/Puppet.chproj");
    MediaFile matched = media("/gone/art.png");
    matched.matchedPath = "/show/PUPPET/art.png";
    EXPECT_EQ(holding(matched), "/Show/Puppet/Puppet.chproj");
    // Not ASCII: read through the keys, decomposed and in capitals.
    EXPECT_EQ(holding(media(QStringLiteral("/show/CAFE\u0301/art.png"))), cafe);
    MediaFile mixed = media(QStringLiteral("/n\u00e4/art.png"));
    mixed.alternativePaths = {"/Show/Puppet/art.png"};
    EXPECT_EQ(holding(mixed), "/Show/Puppet/Puppet.chproj");

    EXPECT_FALSE(holding(media("/Show/Puppes/art.png")));
    EXPECT_FALSE(holding(media("/Show/Puppet")));
    EXPECT_FALSE(holding(media("/Show/Puppet.png")));
    EXPECT_FALSE(holding(scenes.first())); // the scene itself
}
