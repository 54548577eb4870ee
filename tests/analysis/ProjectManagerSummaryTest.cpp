#include "support/ProjectManagerHarness.h"
#include "support/ProjectManagerSteps.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using S = MediaFileStatus;

TEST(ProjectManagerSummary, CountsEverySeventeenFieldsFromTheLists) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ProjectFile broken = project("Broken", {});
    broken.parseError = QStringLiteral("damaged");
    pm.edit(ProjectManager::ListChange::none).setProjects({project("A", {"/m/a.mov"}), broken});

    MediaFile a = media("/m/a.mov", 2, S::online, 100);
    a.usageType = MediaUsageType::audioOnly;
    MediaFile b = media("/m/b.mov", 0, S::online, 200);
    b.matchedPath = QStringLiteral("/n/b.mov");
    MediaFile c = media("/m/c.mov", 1, S::matching, 300);
    MediaFile d = media("/m/d.mov", 0, S::offline, 400);
    MediaFile e = media("/m/e.mov", 0, S::networkOffline, 50);
    MediaFile f = media("/m/f.mov", 0, S::inRecycleBin, 500);
    f.duplicateOfPath = QStringLiteral("/m/b.mov");
    MediaFile g = media("/m/g.mov", 0, S::needsAccess, 60);
    g.isAEFootage = true;
    MediaFile hh = media("/m/h.mov", 0, S::transcoded, 70);
    hh.hasUnresolvedAELink = true;
    MediaFile i = media("/m/i.mov", 1, S::deleted, 80);
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({a, b, c, d, e, f, g, hh, i});
    pm.edit(ProjectManager::ListChange::none)
        .setRecycleBin({binItem(f), binItem(media("/gone.mov", 0, S::offline, 7))});

    pm.edit(ProjectManager::ListChange::entries);
    AnalysisSummary expected;
    expected.totalProjects = 2;
    expected.totalMediaFiles = 9;
    expected.usedFiles = 4;   // a, c, g (After Effects), i
    expected.unusedFiles = 5; // b, d, e, f, h
    expected.audioOnlyFiles = 1;
    expected.onlineFiles = 2;
    expected.relocatedFiles = 1;
    expected.matchingFiles = 1;
    expected.offlineFiles = 1;
    expected.networkOfflineFiles = 1;
    expected.duplicateFiles = 1;
    expected.aeLinkedFiles = 1;
    expected.uncertainAEFiles = 1;
    expected.totalSize = 100 + 200 + 300 + 500 + 70; // online, matching, in the bin, transcoded
    expected.unusedSize = 200 + 500 + 70;
    expected.recycleBinSize = 507;
    expected.recycleBinCount = 2;
    EXPECT_EQ(pm.summary(), expected);
}

// A bulk operation's worker sums up the lists it makes: committed with them, that summary and the
// filter's facts are what the pass here would give; for any other lists, or when a review flag
// would change, the commit makes its own.
TEST(ProjectManagerSummary, ASummaryMadeAheadCountsAsThePassHereAndHoldsOnlyForItsLists) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none).setProjects({project("A", {"/m/a.mov"})});
    MediaFile a = media("/m/a.mov", 2, S::online, 100);
    a.usageType = MediaUsageType::audioOnly;
    MediaFile b = media("/m/b.mov", 0, S::inRecycleBin, 200'000'000);
    b.duplicateOfPath = QStringLiteral("/m/a.mov");
    MediaFile c = media("/m/c.mov", 0, S::deleted, 300);
    c.isFromDaVinciCSV = c.needsReview = true;
    const QList<MediaFile> files{a, b, c, media("/m/d.mov", 0, S::offline, 40)};
    const QList<RecycleBinItem> bin{binItem(b)};
    auto prepared = [&] {
        return prepareSummary(files, bin, pm.projects(), pm.projectsVersion(), pm.largeFileThreshold());
    };
    pm.updateFilters([](FilterSettings& filters) { filters.showDeleted = filters.showOnlyUnused = true; });

    pm.edit(ProjectManager::ListChange::entries).setMediaFiles(files).setRecycleBin(bin);
    const AnalysisSummary expected = pm.summary();
    const QList<qsizetype> expectedRows = pm.filteredMediaRows().sourceRows();
    ASSERT_EQ(expectedRows, (QList<qsizetype>{2, 3}));

    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files);
    pm.edit(ProjectManager::ListChange::none).setRecycleBin(bin);
    ProjectManagerSteps::setSummary(pm, {});
    const qint64 version = pm.mediaFilesVersion();
    pm.edit(ProjectManager::ListChange::entries).withPreparedSummary(prepared());
    EXPECT_EQ(pm.summary(), expected);
    EXPECT_GT(pm.mediaFilesVersion(), version) << "the list is written back as the pass here does";
    EXPECT_EQ(pm.filteredMediaRows().sourceRows(), expectedRows);

    // Made for other lists: the commit sums up its own.
    const auto stale = prepared();
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files.mid(0, 3));
    ProjectManagerSteps::setSummary(pm, {});
    pm.edit(ProjectManager::ListChange::entries).withPreparedSummary(stale);
    EXPECT_EQ(pm.summary().totalMediaFiles, 3);
    EXPECT_EQ(pm.summary().offlineFiles, 0);

    QList<MediaFile> unflagged = files;
    unflagged[2].needsReview = false;
    EXPECT_FALSE(prepareSummary(unflagged, bin, pm.projects(), pm.projectsVersion(), pm.largeFileThreshold()))
        << "a review flag to set is left to the GUI thread's pass";
}

TEST(ProjectManagerSummary, EmptyListsGiveZeroAndStillWriteTheMediaListBack) {
    ProjectManagerHarness h;
    const qint64 before = h.pm().mediaFilesVersion();
    h.pm().edit(ProjectManager::ListChange::entries);
    EXPECT_EQ(h.pm().summary(), AnalysisSummary{});
    EXPECT_EQ(h.pm().mediaFilesVersion(), before + 1);
}

TEST(ProjectManagerSummary, FlagsForReviewWhatAnUncertainProjectListsIgnoringCase) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ProjectFile warned = project("Warned", {"/M/A.MOV", "/Alt/X.mov", "/found/Y.mov"});
    warned.parseWarnings = {QStringLiteral("Flagged for review; excluded from one-click cleanup.")};
    pm.edit(ProjectManager::ListChange::none).setProjects({warned, project("Clean", {"/m/z.mov"})});

    MediaFile byPath = media("/m/a.mov");
    MediaFile byAlternative = media("/m/x.mov");
    byAlternative.alternativePaths = {QStringLiteral("/alt/x.MOV")};
    MediaFile byMatched = media("/m/y.mov");
    byMatched.matchedPath = QStringLiteral("/FOUND/y.mov");
    MediaFile fromCSV = media("/m/csv.mov");
    fromCSV.isFromDaVinciCSV = true;
    MediaFile aeLink = media("/m/ae.mov");
    aeLink.hasUnresolvedAELink = true;
    MediaFile clean = media("/m/z.mov");
    clean.needsReview = true; // left over from an earlier state
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({byPath, byAlternative, byMatched, fromCSV, aeLink, clean});

    pm.edit(ProjectManager::ListChange::entries);
    QList<bool> flags;
    for (const MediaFile& file : pm.mediaFiles())
        flags << file.needsReview;
    EXPECT_EQ(flags, (QList<bool>{true, true, true, true, true, false}));

    pm.edit(ProjectManager::ListChange::none).modifyProjects([](QList<ProjectFile>& projects) {
        projects[0].parseWarnings.clear();
    });
    pm.edit(ProjectManager::ListChange::entries);
    EXPECT_FALSE(pm.mediaFiles()[0].needsReview) << "the flag follows the projects";
    EXPECT_TRUE(pm.mediaFiles()[3].needsReview);
}

TEST(ProjectManagerSummary, ListsVolumesNeedingAccessOnlyInTheSandboxAndPromptsOncePerVolume) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::entries)
        .setMediaFiles({media("/Volumes/Media/a.mov", 0, S::needsAccess),
                        media("/Volumes/Media/b/c.mov", 0, S::needsAccess),
                        media("/home/me/d.mov", 0, S::needsAccess),
                        media("/Volumes/Other/e.mov", 0, S::online)});
    EXPECT_TRUE(pm.prompts().volumesNeedingAccess.isEmpty()) << "outside the sandbox nothing changes";
    EXPECT_FALSE(pm.prompts().shouldPromptForVolumeAccess);

    h.sandboxed = true;
    pm.edit(ProjectManager::ListChange::entries);
    EXPECT_EQ(pm.prompts().volumesNeedingAccess,
              (QList<QUrl>{QUrl::fromLocalFile("/Volumes/Media"), QUrl::fromLocalFile("/home/me")}));
    EXPECT_TRUE(pm.prompts().shouldPromptForVolumeAccess);
    EXPECT_EQ(pm.prompts().promptedVolumePaths, (QSet<QString>{"/Volumes/Media", "/home/me"}));
    // The window showed the prompt.
    pm.updatePrompts([](PromptState& prompts) { prompts.shouldPromptForVolumeAccess = false; });
    pm.edit(ProjectManager::ListChange::entries);
    EXPECT_FALSE(pm.prompts().shouldPromptForVolumeAccess) << "a volume is asked about once";
    pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& files) {
        files[3].status = S::needsAccess;
    });
    pm.edit(ProjectManager::ListChange::entries);
    EXPECT_TRUE(pm.prompts().shouldPromptForVolumeAccess) << "a new volume raises the prompt again";
}

} // namespace
