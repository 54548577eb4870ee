#include "actions/DeleteSafetyCheck.h"
#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

MediaFile used(const QString& path, int count, qint64 size, QStringList projects) {
    MediaFile file = media(path, count, MediaFileStatus::online, size);
    file.projectNames = std::move(projects);
    return file;
}

} // namespace

TEST(DeleteSafetyCheck, SameNameAndSizeIgnoringCaseIsAConflictButAnotherSizeIsNot) {
    const MediaFile copy = used("/Show/Day1/CLIP.MOV", 2, 100, {"Edit A", "Edit B"});
    const MediaFile staged = media("/Backup/clip.mov", 0, MediaFileStatus::online, 100);
    const MediaFile otherSize = media("/Backup2/clip.mov", 0, MediaFileStatus::online, 99);
    const QList<MediaFile> list{copy, staged, otherSize};

    const auto conflicts = DeleteSafetyCheck::findDeleteSafetyConflicts(list, {staged, otherSize});
    ASSERT_EQ(conflicts.size(), 1);
    EXPECT_EQ(conflicts[0].fileToDelete.path, staged.path);
    EXPECT_EQ(conflicts[0].usedFile.path, copy.path);
    EXPECT_EQ(conflicts[0].reason,
              QString::fromUtf8("clip.mov appears to be the same file used 2\u00D7 in \"Edit A, "
                                "Edit B\" at:\n/Show/Day1/CLIP.MOV"));
}

TEST(DeleteSafetyCheck, ConsolidatedPathsAndAfterEffectsLinksAreConflicts) {
    MediaFile aeOnly = used("/Show/gfx.mov", 0, 10, {"Promo"});
    aeOnly.isAEFootage = true;
    aeOnly.alternativePaths = {"/Old/GFX.mov"};
    MediaFile staged = media("/old/gfx.mov", 0, MediaFileStatus::online, 0);
    staged.hasUnresolvedAELink = true;
    const auto conflicts = DeleteSafetyCheck::findDeleteSafetyConflicts({aeOnly, staged}, {staged});
    ASSERT_EQ(conflicts.size(), 2);
    EXPECT_EQ(conflicts[0].reason,
              "gfx.mov may be referenced in a linked After Effects composition (.aep file not found)");
    EXPECT_EQ(conflicts[0].usedFile.path, staged.path);
    EXPECT_EQ(conflicts[1].reason, "gfx.mov is used in After Effects in \"Promo\" via a consolidated path");
}

// A used file staged by hand is its own conflict, before any copy of it; a moved or deleted entry
// is no longer used.
TEST(DeleteSafetyCheck, AFileThatIsItselfUsedIsAConflict) {
    const MediaFile twice = used("/Show/take.mov", 2, 5, {"Edit A", "Edit B"});
    const MediaFile copy = used("/Backup/take.mov", 1, 5, {"Old"});
    MediaFile aeOnly = used("/Show/gfx.mov", 0, 9, {"Promo"});
    aeOnly.isAEFootage = true;
    MediaFile gone = used("/Show/gone.mov", 3, 11, {"Edit A"});
    gone.status = MediaFileStatus::moved;
    const auto conflicts =
        DeleteSafetyCheck::findDeleteSafetyConflicts({twice, copy, aeOnly, gone}, {twice, aeOnly, gone});
    ASSERT_EQ(conflicts.size(), 3);
    EXPECT_EQ(conflicts[0].usedFile.path, twice.path);
    EXPECT_EQ(conflicts[0].reason, QString::fromUtf8("take.mov is used 2\u00D7 in \"Edit A, Edit B\""));
    EXPECT_EQ(conflicts[1].usedFile.path, copy.path);
    EXPECT_EQ(conflicts[2].reason, "gfx.mov is used in After Effects in \"Promo\"");
}

TEST(DeleteSafetyCheck, CandidatesComeInListOrderAndSkipTheSameEntryOrGoneOnes) {
    const MediaFile second = used("/B/take.mov", 1, 5, {"P2"});
    const MediaFile first = used("/A/take.mov", 3, 5, {"P1"});
    MediaFile moved = used("/C/take.mov", 1, 5, {"P3"});
    moved.status = MediaFileStatus::moved;
    const MediaFile sameEntry = used("/Z/TAKE.mov", 1, 5, {"P4"});
    const MediaFile staged = media("/z/take.mov", 0, MediaFileStatus::online, 5);
    const auto conflicts =
        DeleteSafetyCheck::findDeleteSafetyConflicts({first, second, moved, sameEntry, staged}, {staged});
    ASSERT_EQ(conflicts.size(), 2);
    EXPECT_EQ(conflicts[0].usedFile.path, "/A/take.mov");
    EXPECT_EQ(conflicts[1].usedFile.path, "/B/take.mov");
}

TEST(DeleteSafetyCheck, SafeUnusedFilesLeaveOutUsedOfflineReviewAndConflictingFiles) {
    MediaFile review = media("/r.mov");
    review.needsReview = true;
    MediaFile ae = media("/ae.mov");
    ae.isAEFootage = true;
    const QList<MediaFile> list{used("/Show/clip.mov", 1, 7, {"P"}),
                                media("/x/clip.mov", 0, MediaFileStatus::online, 7),
                                media("/free.mov", 0, MediaFileStatus::online, 1),
                                media("/off.mov", 0, MediaFileStatus::offline),
                                review,
                                ae,
                                media("/matched.mov", 0, MediaFileStatus::matching)};
    const QList<MediaFile> safe = DeleteSafetyCheck::safeUnusedFiles(list);
    QStringList paths;
    for (const MediaFile& file : safe)
        paths.append(file.path);
    EXPECT_EQ(paths, QStringList({"/free.mov", "/matched.mov"}));
}

// Paths compare by their lower-cased composed form, whichever form and case each side was written
// in, also when the input is large enough that most of the list is turned away unread.
TEST(DeleteSafetyCheck, AccentedPathsMatchAcrossCaseAndCompositionAmongManyFiles) {
    MediaFile consolidated = used(QString::fromUtf8("/Show/Caf\u00E9.mov"), 1, 40, {"Doc"});
    consolidated.alternativePaths = {QString::fromUtf8("/Old/Caf\u00E9.mov")};
    const MediaFile staged =
        media(QString::fromUtf8("/old/CAFE\u0301.MOV"), 0, MediaFileStatus::online, 41); // decomposed
    MediaFile withAlternative = media("/Cards/b.mov", 0, MediaFileStatus::online, 42);
    withAlternative.alternativePaths = {QString::fromUtf8("/SHOW/\u00C9T\u00C9.mov")};
    const MediaFile summer = used(QString::fromUtf8("/Show/E\u0301te\u0301.mov"), 2, 43, {"Doc"});
    const MediaFile nameAndSize = used(QString::fromUtf8("/Show/\u00D6L.mov"), 1, 44, {"Doc"});
    const MediaFile copy = media(QString::fromUtf8("/Copy/o\u0308l.MOV"), 0, MediaFileStatus::online, 44);

    QList<MediaFile> list{consolidated, staged, withAlternative, summer, nameAndSize, copy};
    QList<MediaFile> input{staged, withAlternative, copy};
    for (int i = 0; i < 3000; ++i) {
        list.append(used(QStringLiteral("/Show/Day/clip%1.mov").arg(i), 1, 1000 + i, {"Doc"}));
        input.append(
            media(QStringLiteral("/Unused/other%1.mov").arg(i), 0, MediaFileStatus::online, 9000 + i));
    }
    const auto conflicts = DeleteSafetyCheck::findDeleteSafetyConflicts(list, input);
    ASSERT_EQ(conflicts.size(), 3);
    EXPECT_EQ(conflicts[0].usedFile.path, consolidated.path);
    EXPECT_TRUE(conflicts[0].reason.endsWith("via a consolidated path"));
    EXPECT_EQ(conflicts[1].fileToDelete.path, withAlternative.path);
    EXPECT_EQ(conflicts[1].usedFile.path, summer.path);
    EXPECT_EQ(conflicts[2].fileToDelete.path, copy.path);
    EXPECT_EQ(conflicts[2].usedFile.path, nameAndSize.path);
    EXPECT_TRUE(conflicts[2].reason.contains("appears to be the same file"));
}

// The data Character Animator keeps in the folder it makes for a scene stays out of one-click
// clean-up while a timeline uses the scene; an unused scene, or one saved loose in a folder of
// another name, claims nothing.
TEST(DeleteSafetyCheck, TheDataFolderOfAUsedCharacterAnimatorSceneNeedsReviewAndConflicts) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setProjects({project("Cut",
                              {"/s/Puppet/Puppet.chproj", "/s/Puppet/Ch Data/art.psd",
                               "/s/Puppet/Ch Media/take.wav", "/s/Idle/Idle.chproj",
                               "/s/Idle/Ch Media/idle.wav", "/s/Busy/Loose.chproj", "/s/Busy/neighbour.mov"},
                              {"/s/Puppet/Puppet.chproj", "/s/Busy/Loose.chproj"})});
    QList<MediaFile> list;
    for (const ProjectFile& p : pm.projects()) {
        for (const QString& path : p.mediaFiles)
            list.append(media(path, 0, MediaFileStatus::online, 10 + list.size()));
    }
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(list);
    pm.edit(ProjectManager::ListChange::usage);

    const auto entry = [&](const QString& path) {
        for (const MediaFile& file : pm.mediaFiles()) {
            if (file.path == path)
                return file;
        }
        return MediaFile{};
    };
    const MediaFile take = entry("/s/Puppet/Ch Media/take.wav");
    EXPECT_TRUE(take.needsReview);
    EXPECT_EQ(take.characterAnimatorProject, QStringLiteral("/s/Puppet/Puppet.chproj"));
    EXPECT_TRUE(entry("/s/Puppet/Ch Data/art.psd").needsReview);
    const MediaFile scene = entry("/s/Puppet/Puppet.chproj");
    EXPECT_EQ(scene.usageCount, 1);
    EXPECT_FALSE(scene.needsReview);

    QStringList safe;
    for (const MediaFile& file : DeleteSafetyCheck::safeUnusedFiles(pm))
        safe.append(file.path);
    EXPECT_EQ(safe,
              QStringList({"/s/Idle/Idle.chproj", "/s/Idle/Ch Media/idle.wav", "/s/Busy/neighbour.mov"}));

    const auto conflicts = DeleteSafetyCheck::findDeleteSafetyConflicts(pm, {take});
    ASSERT_EQ(conflicts.size(), 1);
    EXPECT_EQ(conflicts[0].usedFile.path, scene.path);
    EXPECT_EQ(
        conflicts[0].reason,
        QStringLiteral("take.wav is part of the Character Animator project “Puppet”, which a timeline uses"));

    // The claim follows the scene's usage.
    pm.edit(ProjectManager::ListChange::none).modifyProjects([](QList<ProjectFile>& projects) {
        projects[0].usedFiles.removeAll(QStringLiteral("/s/Puppet/Puppet.chproj"));
        projects[0].usageCountByPath.remove(QStringLiteral("/s/Puppet/Puppet.chproj"));
    });
    pm.edit(ProjectManager::ListChange::usage);
    EXPECT_FALSE(entry("/s/Puppet/Ch Media/take.wav").needsReview);
    EXPECT_FALSE(entry("/s/Puppet/Ch Media/take.wav").characterAnimatorProject);
}
