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
