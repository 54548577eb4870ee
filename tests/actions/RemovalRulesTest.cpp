#include "actions/RemovalRules.h"
#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tarnwick;
using namespace tarnwick::testing;

TEST(RemovalRules, LookupsFollowTheLiveListAfterItShrankOrReordered) {
    ProjectManagerHarness h;
    const MediaFile a = media("/m/a.mov");
    MediaFile b = media("/m/b.mov");
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({a, b, media("/m/c.mov")});
    const RemovalRules rules(h.pm());
    ASSERT_EQ(rules.indexOfEntry("/m/b.mov"), 1); // the tables are built now

    const MediaFile stagedB = b;
    b.usageCount = 1;
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({b});
    EXPECT_EQ(rules.indexOfEntry("/m/b.mov"), 0);
    EXPECT_EQ(rules.indexOfEntry("/m/c.mov"), -1);
    EXPECT_TRUE(rules.liveUseOf(a) == std::nullopt);
    ASSERT_TRUE(rules.liveUseOf(stagedB));
    EXPECT_EQ(rules.liveUseOf(stagedB)->path, "/m/b.mov");
}

// The guard is for files that became used after they were staged: a file the user staged knowingly
// while a timeline used it is acted on, unless its use grew since.
TEST(RemovalRules, AFileStagedWhileUsedIsInUseOnlyWhenItsUseGrew) {
    ProjectManagerHarness h;
    MediaFile staged = media("/m/a.mov", 2);
    staged.sequenceNames = {"Main"};
    const RemovalRules rules(h.pm());
    auto liveUseWhen = [&](const std::function<void(MediaFile&)>& change) {
        MediaFile live = staged;
        live.status = MediaFileStatus::inRecycleBin;
        change(live);
        h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({live});
        return rules.liveUseOf(staged).has_value();
    };
    EXPECT_FALSE(liveUseWhen([](MediaFile&) {}));
    EXPECT_FALSE(liveUseWhen([](MediaFile& f) { f.usageCount = 1; }));
    EXPECT_TRUE(liveUseWhen([](MediaFile& f) { f.usageCount = 3; }));
    EXPECT_TRUE(liveUseWhen([](MediaFile& f) { f.sequenceNames.append("Trailer"); }));
    EXPECT_TRUE(liveUseWhen([](MediaFile& f) { f.isAEFootage = true; }));
    EXPECT_FALSE(liveUseWhen([](MediaFile& f) {
        f.usageCount = 5;
        f.status = MediaFileStatus::deleted;
    }));
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({staged});
    EXPECT_TRUE(rules.liveUseOf(media("/m/a.mov")).has_value()); // staged unused, used now
}

TEST(RemovalRules, ContainerMembersAndProxiesInUse) {
    ProjectManagerHarness h;
    MediaFile used = media("/m/A001.RDC/A001_002.R3D", 1);
    MediaFile relocated = media("/old/B.RDC/B_001.R3D", 0);
    relocated.matchedPath = "/new/B.RDC/B_001.R3D";
    MediaFile proxyUser = media("/m/Proxies/clip_proxy.mov", 0);
    proxyUser.isAEFootage = true;
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/m/A001.RDC/A001_001.R3D"), used, relocated, proxyUser});
    const RemovalRules rules(h.pm());

    ASSERT_TRUE(rules.mediaFileInsideContainer("/m/a001.rdc"));
    EXPECT_EQ(rules.mediaFileInsideContainer("/m/a001.rdc")->path, used.path);
    EXPECT_FALSE(rules.mediaFileInsideContainer("/new/B.RDC"));
    EXPECT_EQ(rules.entriesInsideContainer("/new/B.RDC"), QList<qsizetype>{2});
    EXPECT_EQ(rules.entriesInsideContainer("/m/A001.RDC/").size(), 2);
    EXPECT_TRUE(rules.entryUsingProxy("/m/Proxies/CLIP_PROXY.mov"));
    EXPECT_FALSE(rules.entryUsingProxy("/m/Proxies/other.mov"));
    EXPECT_EQ(RemovalRules::workingPath(relocated), "/new/B.RDC/B_001.R3D");
    EXPECT_EQ(RemovalRules::nameOf(relocated), "B_001.R3D");
}
