#include "support/ImportTestHarness.h"
#include "support/LinkedMediaTree.h"
#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QList<bool> flags(const ProjectManager& pm) {
    QList<bool> result;
    for (const MediaFile& file : pm.mediaFiles())
        result << file.isProtected;
    return result;
}

} // namespace

TEST(ProtectedFlagLinks, AFileReachedThroughALinkIntoAProtectedFolderIsFlagged) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    LinkedMediaTree tree;
    ASSERT_TRUE(tree.makeVolumeLink());
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media(tree.volumeLink() + "/Archive/a.mov"),
                        media(tree.volumeLink() + "/Other/b.mov"), media(tree.clipLink()),
                        media(tree.volume() + "/Archive/c.mov")});
    h.folders.add(tree.volume() + "/Archive");
    ASSERT_TRUE(pm.protectedFoldersDidChange());
    EXPECT_TRUE(pm.mediaFiles()[3].isProtected) << "the folder as written, at once";

    // The linked locations are resolved on a worker, then the flags follow.
    ASSERT_TRUE(spinUntil([&] { return pm.mediaFiles()[0].isProtected; }));
    // A link named as the file is only a link: removing it leaves the folder alone.
    EXPECT_EQ(flags(pm), (QList<bool>{true, false, false, true}));

    // Known locations need no second pass: lifting the protection clears every flag at once.
    ASSERT_TRUE(pm.removeProtectedFolder(h.folders.folders().constFirst()));
    EXPECT_EQ(flags(pm), (QList<bool>{false, false, false, false}));
}

TEST(ProtectedFlagLinks, AFolderWrittenThroughALinkProtectsWhatTheLinkLeadsTo) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    LinkedMediaTree tree;
    // Protected while the volume was not linked (so stored as written), linked since.
    h.folders.add(tree.volumeLink() + "/Archive");
    ASSERT_EQ(h.folders.folders(), QStringList{tree.volumeLink() + "/Archive"});
    ASSERT_TRUE(tree.makeVolumeLink());

    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media(tree.volume() + "/Archive/a.mov"), media(tree.volumeLink() + "/Archive/a.mov"),
                        media(tree.volume() + "/Other/b.mov")});
    MediaFile matched = media("/gone/a.mov");
    matched.matchedPath = tree.volume() + "/archive/a.mov";
    pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& list) {
        list.append(matched);
    });
    ASSERT_TRUE(pm.protectedFoldersDidChange());
    EXPECT_EQ(flags(pm), (QList<bool>{true, true, false, true}));
}

TEST(ProtectedFlagLinks, EntriesThatLeaveALinkedLocationAreResolvedAgain) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    LinkedMediaTree tree;
    ASSERT_TRUE(tree.makeVolumeLink());
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({media(tree.root + "/home/elsewhere/a.mov")});
    h.folders.add(tree.volume() + "/Archive");
    ASSERT_TRUE(pm.protectedFoldersDidChange());
    EXPECT_FALSE(pm.mediaFiles()[0].isProtected);

    // Relinked into the folder through the link: the old resolved location no longer counts.
    pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& list) {
        list[0].matchedPath = tree.volumeLink() + "/Archive/a.mov";
    });
    pm.refreshProtectedFlags();
    EXPECT_TRUE(spinUntil([&] { return pm.mediaFiles()[0].isProtected; }));
}
