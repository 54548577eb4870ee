#include "analysis/CharacterAnimatorFolders.h"
#include "analysis/LowerPathCache.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

MediaFile entry(const QString& path, int usageCount = 0) {
    MediaFile file;
    file.path = path;
    file.usageCount = usageCount;
    return file;
}

} // namespace

// An entry is in a used scene's folder by any of its paths, whatever their case or Unicode form;
// a folder as long as the scene's but of another name holds nothing of it.
TEST(CharacterAnimatorFolders, AnEntryIsInTheFolderByAnyOfItsPathsInAnySpelling) {
    const QString cafe = QStringLiteral("/Show/Caf\u00e9/Caf\u00e9.chproj");
    const QList<MediaFile> media{entry("/Show/Puppet/Puppet.chproj", 1), entry(cafe, 1)};
    const CharacterAnimatorFolders folders(media);
    LowerPathCache keys;
    const auto holding = [&](const MediaFile& file) { return folders.projectHolding(file, keys); };

    EXPECT_EQ(holding(entry("/SHOW/puppet/Ch Data/art.png")), "/Show/Puppet/Puppet.chproj");
    MediaFile moved = entry("/elsewhere/take.wav");
    moved.alternativePaths = {"/other/take.wav", "/Show/Puppet/Ch Media/take.wav"};
    EXPECT_EQ(holding(moved), "/Show/Puppet/Puppet.chproj");
    MediaFile matched = entry("/gone/art.png");
    matched.matchedPath = "/show/PUPPET/art.png";
    EXPECT_EQ(holding(matched), "/Show/Puppet/Puppet.chproj");
    // Not ASCII: read through the keys, decomposed and in capitals.
    EXPECT_EQ(holding(entry(QStringLiteral("/show/CAFE\u0301/art.png"))), cafe);
    MediaFile mixed = entry(QStringLiteral("/n\u00e4/art.png"));
    mixed.alternativePaths = {"/Show/Puppet/art.png"};
    EXPECT_EQ(holding(mixed), "/Show/Puppet/Puppet.chproj");

    EXPECT_FALSE(holding(entry("/Show/Puppes/art.png")));
    EXPECT_FALSE(holding(entry("/Show/Puppet")));
    EXPECT_FALSE(holding(entry("/Show/Puppet.png")));
    EXPECT_FALSE(holding(media.first())); // the scene itself
}
