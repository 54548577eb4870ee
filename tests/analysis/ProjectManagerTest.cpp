#include "support/ProjectManagerHarness.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <functional>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

TEST(ProjectManager, StartsWithTheInitialValues) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    EXPECT_EQ(pm.largeFileThreshold(), 104'857'600);
    EXPECT_EQ(pm.currentTask(), QString());
    EXPECT_EQ(pm.analysisProgress(), 0.0);
    EXPECT_TRUE(pm.projects().isEmpty() && pm.mediaFiles().isEmpty() && pm.recycleBin().isEmpty());
    EXPECT_EQ(pm.projectsVersion() + pm.mediaFilesVersion() + pm.recycleBinVersion(), 0);
    EXPECT_EQ(pm.summary(), AnalysisSummary{});
    EXPECT_TRUE(pm.parseFractionByURL().isEmpty() && pm.aepLinkStatuses().isEmpty() &&
                pm.aepParseCache().isEmpty());
    EXPECT_TRUE(pm.selectedProjectIDs().isEmpty() && pm.promptedVolumePaths().isEmpty());
    EXPECT_FALSE(pm.errorMessage() || pm.transcodeCompleteResult() || pm.lastDaVinciImport());
    EXPECT_FALSE(pm.isBusy());
    EXPECT_EQ(pm.sequenceRules(), h.policy.rules());
    EXPECT_EQ(pm.protectedFolders(), h.folders.folders());
}

struct SetterCase {
    const char* name;
    void (ProjectManager::*signal)();
    std::function<void(ProjectManager&)> set;
};

TEST(ProjectManager, NotifiesOncePerRealChangeAndNotForTheSameValue) {
    const SetterCase cases[] = {
        {"currentTask", &ProjectManager::progressChanged, [](auto& pm) { pm.setCurrentTask("Scanning"); }},
        {"analysisProgress", &ProjectManager::progressChanged,
         [](auto& pm) { pm.setAnalysisProgress(0.45); }},
        {"parseFractionByURL", &ProjectManager::progressChanged,
         [](auto& pm) {
             pm.setParseFractionByURL({{QUrl::fromLocalFile("/p/a.prproj"), 0.5}});
         }},
        {"showOnlyUnused", &ProjectManager::filtersChanged, [](auto& pm) { pm.setShowOnlyUnused(true); }},
        {"filterText", &ProjectManager::filtersChanged, [](auto& pm) { pm.setFilterText("a001"); }},
        {"selectedProjectIDs", &ProjectManager::filtersChanged,
         [](auto& pm) { pm.setSelectedProjectIDs({QUuid("{6b1f0e0c-5b0b-4c8c-9e5c-1f6e0a2b3c4d}")}); }},
        {"sequenceRules", &ProjectManager::policyChanged, [](auto& pm) { pm.setSequenceRules({}); }},
        {"effectiveUsedCount", &ProjectManager::policyChanged,
         [](auto& pm) {
             pm.setEffectiveUsedCountByProjectID({{QUuid(), 3}});
         }},
        {"hasPromptedForScan", &ProjectManager::promptsChanged,
         [](auto& pm) { pm.setHasPromptedForScan(true); }},
        {"volumesNeedingAccess", &ProjectManager::promptsChanged,
         [](auto& pm) { pm.setVolumesNeedingAccess({QUrl::fromLocalFile("/Volumes/A")}); }},
        {"writeTraceFiles", &ProjectManager::optionsChanged, [](auto& pm) { pm.setWriteTraceFiles(true); }},
        {"moveCurrentFile", &ProjectManager::moveProgressChanged,
         [](auto& pm) { pm.setMoveCurrentFile("a.mov"); }},
        {"transcodeSpaceSaved", &ProjectManager::transcodeProgressChanged,
         [](auto& pm) { pm.setTranscodeSpaceSaved(42); }},
    };
    for (const SetterCase& c : cases) {
        ProjectManagerHarness h;
        QSignalSpy group(h.manager.get(), c.signal);
        QSignalSpy any(h.manager.get(), &ProjectManager::changed);
        c.set(h.pm());
        drainEvents();
        EXPECT_EQ(group.count(), 1) << c.name;
        c.set(h.pm());
        drainEvents();
        EXPECT_EQ(group.count(), 1) << c.name << ": the same value again must not notify";
        EXPECT_EQ(any.count(), 1) << c.name;
    }
}

TEST(ProjectManager, CoalescesOneTurnsChangesButCountsEveryListChange) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    QSignalSpy progress(&pm, &ProjectManager::progressChanged);
    QSignalSpy mediaSpy(&pm, &ProjectManager::mediaFilesChanged);
    QSignalSpy any(&pm, &ProjectManager::changed);
    pm.setCurrentTask("a");
    pm.setCurrentTask("b");
    pm.setAnalysisProgress(0.5);
    const QList<MediaFile> list{media("/m/a.mov")};
    pm.setMediaFiles(list);
    pm.setMediaFiles(list); // equal list: still a change
    pm.modifyMediaFiles([](QList<MediaFile>& files) { files.append(media("/m/b.mov")); });
    EXPECT_EQ(pm.mediaFilesVersion(), 3);
    EXPECT_EQ(progress.count(), 0) << "nothing is emitted inside the turn";
    drainEvents();
    EXPECT_EQ(progress.count(), 1);
    EXPECT_EQ(mediaSpy.count(), 1);
    ASSERT_EQ(any.count(), 1);
    const auto groups = any.at(0).at(0).value<ProjectManager::Changes>();
    EXPECT_TRUE(groups.testFlag(ProjectManager::Change::progress));
    EXPECT_TRUE(groups.testFlag(ProjectManager::Change::mediaFiles));
    EXPECT_FALSE(groups.testFlag(ProjectManager::Change::summary));
    pm.setMediaFiles(list);
    drainEvents();
    EXPECT_EQ(mediaSpy.count(), 2) << "assigning the same list again still notifies";
    EXPECT_EQ(pm.mediaFilesVersion(), 4);
}

TEST(ProjectManager, ClearAllEmptiesContentAndKeepsPromptsFiltersAndCaches) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.clearAll();
    EXPECT_EQ(pm.projectsVersion(), 1);
    EXPECT_EQ(pm.mediaFilesVersion(), 1);
    EXPECT_EQ(pm.recycleBinVersion(), 1) << "counted even when the lists were empty";

    pm.appendProject(project("A", {"/m/a.mov"}));
    pm.setMediaFiles({media("/m/a.mov", 1, MediaFileStatus::online, 10)});
    pm.setRecycleBin({binItem(media("/m/b.mov"))});
    pm.appendParseError({"B.prproj", "damaged"});
    pm.updateSummary();
    pm.setHasPromptedForScan(true);
    pm.setFilterText("a");
    pm.setEffectiveUsedCountByProjectID({{pm.projects()[0].id, 1}});
    pm.aepParseCache().insert("/x.aep", CachedAEPParse{});

    EXPECT_TRUE(pm.clearAll());
    EXPECT_TRUE(pm.projects().isEmpty() && pm.mediaFiles().isEmpty() && pm.recycleBin().isEmpty());
    EXPECT_TRUE(pm.parseErrors().isEmpty());
    EXPECT_EQ(pm.summary(), AnalysisSummary{});
    EXPECT_TRUE(pm.hasPromptedForScan());
    EXPECT_EQ(pm.filterText(), QStringLiteral("a"));
    EXPECT_EQ(pm.effectiveUsedCountByProjectID().size(), 1);
    EXPECT_EQ(pm.aepParseCache().size(), 1);
}

TEST(ProjectManager, RaisesTheProVideoFormatsPromptOnce) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.requestProVideoFormatsPrompt();
    EXPECT_TRUE(pm.shouldPromptForProVideoFormats() && pm.hasPromptedForProVideoFormats());
    pm.setShouldPromptForProVideoFormats(false); // the window dismissed it
    pm.requestProVideoFormatsPrompt();
    EXPECT_FALSE(pm.shouldPromptForProVideoFormats());
}

TEST(ProjectManager, ReportsAfterEffectsLinkIssuesWhenAnyLinkIsMissingOrDamaged) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    EXPECT_FALSE(pm.hasAEPLinkIssues());
    QHash<QString, AEPLinkStatus> statuses;
    for (int i = 0; i < 5; ++i)
        statuses.insert(QString::number(i), AEPLinkStatus::resolved(AEPProject{}));
    pm.setAepLinkStatuses(statuses);
    EXPECT_FALSE(pm.hasAEPLinkIssues());
    statuses.insert("m", AEPLinkStatus::missing("/a.aep"));
    pm.setAepLinkStatuses(statuses);
    EXPECT_TRUE(pm.hasAEPLinkIssues());
    statuses.remove("m");
    statuses.insert("e", AEPLinkStatus::parseError("/b.aep", "bad"));
    pm.setAepLinkStatuses(statuses);
    EXPECT_TRUE(pm.hasAEPLinkIssues());
}

TEST(ProjectManager, RefusesChangesWhileAnotherOperationRuns) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.appendProject(project("A", {"/m/a.mov"}));
    QSignalSpy progress(&pm, &ProjectManager::progressChanged);
    auto scope = pm.tryBeginOperation("Importing projects…");
    ASSERT_TRUE(scope);
    EXPECT_TRUE(pm.isBusy());
    EXPECT_EQ(pm.busyReason(), QStringLiteral("Importing projects…"));
    EXPECT_FALSE(pm.tryBeginOperation("Rescanning"));
    const qint64 revision = pm.sequencePolicyRevision();
    EXPECT_FALSE(pm.clearAll());
    EXPECT_FALSE(pm.addSequenceRule("dailies", SequenceRuleAction::ignore));
    EXPECT_FALSE(pm.removeProtectedFolder("/m"));
    EXPECT_FALSE(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    EXPECT_FALSE(QCoro::waitFor(pm.removeProject(pm.projects()[0])));
    EXPECT_EQ(pm.projects().size(), 1);
    EXPECT_EQ(pm.sequencePolicyRevision(), revision);
    EXPECT_EQ(h.policy.rules().size(), 1) << "the refused rule was not stored";
    scope->release();
    EXPECT_FALSE(pm.isBusy());
    drainEvents();
    EXPECT_GE(progress.count(), 1) << "the window sees the busy state change";
    EXPECT_TRUE(pm.clearAll());
}

} // namespace
