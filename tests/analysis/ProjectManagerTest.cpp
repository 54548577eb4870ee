#include "support/ProjectManagerHarness.h"

#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

TEST(ProjectManager, StartsWithTheInitialValues) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    EXPECT_EQ(pm.largeFileThreshold(), 104'857'600);
    EXPECT_EQ(pm.progress().currentTask, QString());
    EXPECT_EQ(pm.progress().analysisProgress, 0.0);
    EXPECT_TRUE(pm.projects().isEmpty() && pm.mediaFiles().isEmpty() && pm.recycleBin().isEmpty());
    EXPECT_EQ(pm.projectsVersion() + pm.mediaFilesVersion() + pm.recycleBinVersion(), 0);
    EXPECT_EQ(pm.summary(), AnalysisSummary{});
    EXPECT_TRUE(pm.progress().parseFractionByURL.isEmpty() && pm.aepLinkStatuses().isEmpty() &&
                pm.aepParseCache().isEmpty());
    EXPECT_TRUE(pm.filters().selectedProjectIDs.isEmpty() && pm.prompts().promptedVolumePaths.isEmpty());
    EXPECT_FALSE(pm.progress().errorMessage || pm.transcodeProgress().transcodeCompleteResult ||
                 pm.prompts().lastDaVinciImport);
    EXPECT_FALSE(pm.isBusy());
    EXPECT_EQ(pm.policy().sequenceRules, h.policy.rules());
    EXPECT_EQ(pm.options().protectedFolders, h.folders.folders());
}

struct SetterCase {
    const char* name;
    void (ProjectManager::*signal)();
    std::function<void(ProjectManager&)> set;
};

TEST(ProjectManager, NotifiesOncePerRealChangeAndNotForTheSameValue) {
    const SetterCase cases[] = {
        {"currentTask", &ProjectManager::progressChanged,
         [](auto& pm) { pm.updateProgress([](AnalysisProgress& p) { p.currentTask = "Scanning"; }); }},
        {"analysisProgress", &ProjectManager::progressChanged,
         [](auto& pm) { pm.updateProgress([](AnalysisProgress& p) { p.analysisProgress = 0.45; }); }},
        {"parseFractionByURL", &ProjectManager::progressChanged,
         [](auto& pm) {
             pm.updateProgress([](AnalysisProgress& p) {
                 p.parseFractionByURL = {{QUrl::fromLocalFile("/p/a.prproj"), 0.5}};
             });
         }},
        {"showOnlyUnused", &ProjectManager::filtersChanged,
         [](auto& pm) { pm.updateFilters([](FilterSettings& filters) { filters.showOnlyUnused = true; }); }},
        {"filterText", &ProjectManager::filtersChanged,
         [](auto& pm) { pm.updateFilters([](FilterSettings& filters) { filters.filterText = "a001"; }); }},
        {"selectedProjectIDs", &ProjectManager::filtersChanged,
         [](auto& pm) {
             pm.updateFilters([](FilterSettings& filters) {
                 filters.selectedProjectIDs = {QUuid("{6b1f0e0c-5b0b-4c8c-9e5c-1f6e0a2b3c4d}")};
             });
         }},
        {"sequenceRules", &ProjectManager::policyChanged,
         [](auto& pm) { pm.updatePolicy([](UsagePolicyState& policy) { policy.sequenceRules = {}; }); }},
        {"effectiveUsedCount", &ProjectManager::policyChanged,
         [](auto& pm) {
             pm.updatePolicy([](UsagePolicyState& policy) {
                 policy.effectiveUsedCountByProjectID = {{QUuid(), 3}};
             });
         }},
        {"hasPromptedForScan", &ProjectManager::promptsChanged,
         [](auto& pm) { pm.updatePrompts([](PromptState& prompts) { prompts.hasPromptedForScan = true; }); }},
        {"volumesNeedingAccess", &ProjectManager::promptsChanged,
         [](auto& pm) {
             pm.updatePrompts([](PromptState& prompts) {
                 prompts.volumesNeedingAccess = {QUrl::fromLocalFile("/Volumes/A")};
             });
         }},
        {"writeTraceFiles", &ProjectManager::optionsChanged,
         [](auto& pm) { pm.updateOptions([](CleanupOptions& options) { options.writeTraceFiles = true; }); }},
        {"moveCurrentFile", &ProjectManager::moveProgressChanged,
         [](auto& pm) { pm.updateMoveProgress([](MoveProgress& move) { move.moveCurrentFile = "a.mov"; }); }},
        {"transcodeSpaceSaved", &ProjectManager::transcodeProgressChanged,
         [](auto& pm) {
             pm.updateTranscodeProgress(
                 [](TranscodeRunProgress& transcode) { transcode.transcodeSpaceSaved = 42; });
         }},
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

TEST(ProjectManager, KeepsTheProgressFractionWithinZeroAndOne) {
    ProjectManagerHarness h;
    h.pm().updateProgress([](AnalysisProgress& p) { p.analysisProgress = 1.5; });
    EXPECT_EQ(h.pm().progress().analysisProgress, 1.0);
    AnalysisProgress below;
    below.analysisProgress = -0.2;
    h.pm().setProgress(below);
    EXPECT_EQ(h.pm().progress().analysisProgress, 0.0);
}

TEST(ProjectManager, CoalescesOneTurnsChangesButCountsEveryListChange) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    QSignalSpy progress(&pm, &ProjectManager::progressChanged);
    QSignalSpy mediaSpy(&pm, &ProjectManager::mediaFilesChanged);
    QSignalSpy any(&pm, &ProjectManager::changed);
    pm.updateProgress([](AnalysisProgress& p) {
        p.currentTask = "a";
        p.currentTask = "b";
        p.analysisProgress = 0.5;
    });
    const QList<MediaFile> list{media("/m/a.mov")};
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(list);
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(list); // equal list: still a change
    pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& files) {
        files.append(media("/m/b.mov"));
    });
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
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(list);
    drainEvents();
    EXPECT_EQ(mediaSpy.count(), 2) << "assigning the same list again still notifies";
    EXPECT_EQ(pm.mediaFilesVersion(), 4);

    // Held, changes wait, also past a flush already on its way, and are told once when let go.
    pm.updateProgress([](AnalysisProgress& p) { p.currentTask = "c"; });
    {
        ProjectManager::NotificationHold outer(pm);
        pm.edit(ProjectManager::ListChange::none).setMediaFiles(list);
        { ProjectManager::NotificationHold inner(pm); }
        drainEvents();
        EXPECT_EQ(any.count(), 2);
    }
    EXPECT_EQ(any.count(), 2) << "told in a later turn";
    drainEvents();
    ASSERT_EQ(any.count(), 3);
    EXPECT_TRUE(any.at(2).at(0).value<ProjectManager::Changes>().testFlag(ProjectManager::Change::progress));
    EXPECT_EQ(mediaSpy.count(), 3);
}

TEST(ProjectManager, ClearAllEmptiesContentAndKeepsPromptsFiltersAndCaches) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.clearAll();
    EXPECT_EQ(pm.projectsVersion(), 1);
    EXPECT_EQ(pm.mediaFilesVersion(), 1);
    EXPECT_EQ(pm.recycleBinVersion(), 1) << "counted even when the lists were empty";

    pm.edit(ProjectManager::ListChange::none).appendProject(project("A", {"/m/a.mov"}));
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/m/a.mov", 1, MediaFileStatus::online, 10)});
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(media("/m/b.mov"))});
    pm.updateProgress([](AnalysisProgress& p) {
        p.parseErrors.append(ParseErrorRecord{"B.prproj", "damaged"});
    });
    pm.edit(ProjectManager::ListChange::entries);
    pm.updatePrompts([](PromptState& prompts) { prompts.hasPromptedForScan = true; });
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = "a"; });
    pm.updatePolicy([&](UsagePolicyState& policy) {
        policy.effectiveUsedCountByProjectID = {{pm.projects()[0].id, 1}};
    });
    pm.aepParseCache().insert("/x.aep", CachedAEPParse{});

    EXPECT_TRUE(pm.clearAll());
    EXPECT_TRUE(pm.projects().isEmpty() && pm.mediaFiles().isEmpty() && pm.recycleBin().isEmpty());
    EXPECT_TRUE(pm.progress().parseErrors.isEmpty());
    EXPECT_EQ(pm.summary(), AnalysisSummary{});
    EXPECT_TRUE(pm.prompts().hasPromptedForScan);
    EXPECT_EQ(pm.filters().filterText, QStringLiteral("a"));
    EXPECT_EQ(pm.policy().effectiveUsedCountByProjectID.size(), 1);
    EXPECT_EQ(pm.aepParseCache().size(), 1);
}

TEST(ProjectManager, RaisesTheProVideoFormatsPromptOnce) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.requestProVideoFormatsPrompt();
    EXPECT_TRUE(pm.prompts().shouldPromptForProVideoFormats && pm.prompts().hasPromptedForProVideoFormats);
    // The window dismissed it.
    pm.updatePrompts([](PromptState& prompts) { prompts.shouldPromptForProVideoFormats = false; });
    pm.requestProVideoFormatsPrompt();
    EXPECT_FALSE(pm.prompts().shouldPromptForProVideoFormats);
}

TEST(ProjectManager, ReportsAfterEffectsLinkIssuesWhenAnyLinkIsMissingOrDamaged) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    EXPECT_FALSE(pm.hasAEPLinkIssues());
    QHash<QString, AEPLinkStatus> statuses;
    for (int i = 0; i < 5; ++i)
        statuses.insert(QString::number(i), AEPLinkStatus::resolved(AEPProject{}));
    pm.setAEPLinkStatuses(statuses);
    EXPECT_FALSE(pm.hasAEPLinkIssues());
    statuses.insert("m", AEPLinkStatus::missing("/a.aep"));
    pm.setAEPLinkStatuses(statuses);
    EXPECT_TRUE(pm.hasAEPLinkIssues());
    statuses.remove("m");
    statuses.insert("e", AEPLinkStatus::parseError("/b.aep", "bad"));
    pm.setAEPLinkStatuses(statuses);
    EXPECT_TRUE(pm.hasAEPLinkIssues());
}

TEST(ProjectManager, RefusesChangesWhileAnotherOperationRuns) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none).appendProject(project("A", {"/m/a.mov"}));
    QSignalSpy progress(&pm, &ProjectManager::progressChanged);
    auto scope = pm.tryBeginOperation("Importing projects…");
    ASSERT_TRUE(scope);
    EXPECT_TRUE(pm.isBusy());
    EXPECT_EQ(pm.busyReason(), QStringLiteral("Importing projects…"));
    EXPECT_FALSE(pm.tryBeginOperation("Rescanning"));
    EXPECT_FALSE(pm.clearAll());
    EXPECT_FALSE(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    scope->release();
    EXPECT_FALSE(pm.isBusy());
    drainEvents();
    EXPECT_GE(progress.count(), 1) << "the window sees the busy state change";
    EXPECT_TRUE(pm.clearAll());
}

// "Remove Project" while something runs waits for it, shows that it waits, then happens; a request
// for a project that left meanwhile does nothing.
TEST(ProjectManager, ARemovalAskedWhileBusyRunsWhenTheOperationEnds) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setProjects({project("A", {"/m/a.mov"}), project("B", {"/m/b.mov"})});
    auto scope = pm.tryBeginOperation("Refreshing file status…");
    ASSERT_TRUE(scope);
    QSignalSpy progress(&pm, &ProjectManager::progressChanged);
    EXPECT_FALSE(QCoro::waitFor(pm.removeProject(pm.projects()[0])));
    EXPECT_FALSE(QCoro::waitFor(pm.removeProject(pm.projects()[0]))); // asked twice
    EXPECT_EQ(pm.projects().size(), 2);
    EXPECT_EQ(pm.queuedRequests(), (QStringList{"Remove project A", "Remove project A"}));
    drainEvents();
    EXPECT_GE(progress.count(), 1) << "the window learns that something waits";
    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pm.isBusy() && pm.queuedRequests().isEmpty(); }));
    ASSERT_EQ(pm.projects().size(), 1);
    EXPECT_EQ(pm.projects()[0].name, "B");
}

// The removal is of what the user pointed at, the project's file: read again while the removal
// waits, the project has a new identity and still goes.
TEST(ProjectManager, ARemovalAskedWhileTheProjectIsReadAgainRemovesItsNewReading) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setProjects({project("A", {"/m/a.mov"}), project("B", {"/m/b.mov"})});
    auto scope = pm.tryBeginOperation("Importing projects…");
    ASSERT_TRUE(scope);
    EXPECT_FALSE(QCoro::waitFor(pm.removeProject(pm.projects()[0])));
    ProjectFile reread = pm.projects()[0];
    reread.id = QUuid::createUuid();
    pm.edit(ProjectManager::ListChange::none).setProjects({reread, pm.projects()[1]});
    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pm.isBusy() && pm.queuedRequests().isEmpty(); }));
    ASSERT_EQ(pm.projects().size(), 1);
    EXPECT_EQ(pm.projects()[0].name, "B");
}

// "Combine N Files" while something runs waits for it like the other requests, then merges the
// entries still listed; the caller hears once it happened.
TEST(ProjectManager, ACombineAskedWhileBusyRunsWhenTheOperationEnds) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/m/a.mov", 1), media("/m/b.mov", 0), media("/m/c.mov", 0)});
    auto scope = pm.tryBeginOperation("Refreshing file status…");
    ASSERT_TRUE(scope);
    int done = 0;
    EXPECT_FALSE(
        QCoro::waitFor(pm.combineEntries({pm.mediaFiles()[0], pm.mediaFiles()[1]}, [&] { ++done; })));
    EXPECT_EQ(pm.queuedRequests(), QStringList{"Combine 2 files"});
    EXPECT_EQ(pm.mediaFiles().size(), 3);
    EXPECT_EQ(done, 0);
    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return done == 1; }));
    ASSERT_EQ(pm.mediaFiles().size(), 2);
    EXPECT_EQ(pm.mediaFiles()[0].path, "/m/a.mov");
    EXPECT_TRUE(pm.queuedRequests().isEmpty());
}

// A user's choice is never dropped because something else is running: it is stored at once and
// what depends on it follows when the operation ends.
TEST(ProjectManager, KeepsPolicyAndProtectionChangesMadeWhileBusy) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ProjectFile p = project("A", {"/m/a.mov", "/keep/b.mov"}, {"/m/a.mov", "/keep/b.mov"});
    p.sequences = {{"s1", "Dailies"}};
    SequenceUsageAttribution onDailies;
    onDailies.occurrencesBySequenceID.insert("s1", 1);
    p.sequenceUsageByPath.insert("/m/a.mov", onDailies);
    p.sequenceUsageByPath.insert("/keep/b.mov", onDailies);
    pm.edit(ProjectManager::ListChange::none).setProjects({p});
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({media("/m/a.mov", 1), media("/keep/b.mov", 1)});
    h.folders.add("/keep");
    ASSERT_TRUE(pm.protectedFoldersDidChange());
    pm.edit(ProjectManager::ListChange::usage);
    ASSERT_EQ(pm.mediaFiles()[0].usageCount, 1);
    ASSERT_TRUE(pm.mediaFiles()[1].isProtected);

    auto scope = pm.tryBeginOperation("Moving files…");
    ASSERT_TRUE(scope);
    const qint64 revision = pm.policy().sequencePolicyRevision;
    EXPECT_TRUE(pm.addSequenceRule("dailies", SequenceRuleAction::ignore));
    EXPECT_EQ(h.policy.rules().size(), 2) << "stored at once";
    EXPECT_EQ(pm.policy().sequencePolicyRevision, revision + 1);
    EXPECT_EQ(pm.mediaFiles()[0].usageCount, 1) << "no recount inside the running operation";
    EXPECT_TRUE(pm.removeProtectedFolder("/keep"));
    EXPECT_TRUE(h.folders.folders().isEmpty()) << "stored at once";
    EXPECT_TRUE(pm.mediaFiles()[1].isProtected) << "lifted only when the operation ends";
    h.folders.add("/m");
    EXPECT_TRUE(pm.protectedFoldersDidChange());
    EXPECT_TRUE(pm.mediaFiles()[0].isProtected) << "more protection takes effect at once";
    EXPECT_TRUE(pm.hasDeferredChanges());

    scope->release();
    drainEvents();
    EXPECT_FALSE(pm.hasDeferredChanges());
    EXPECT_EQ(pm.options().protectedFolders, QStringList{"/m"});
    EXPECT_TRUE(pm.mediaFiles()[0].isProtected);
    EXPECT_FALSE(pm.mediaFiles()[1].isProtected);
    EXPECT_EQ(pm.mediaFiles()[0].usageCount, 0) << "recounted under the new rule";
    EXPECT_EQ(pm.mediaFiles()[1].usageCount, 0);
}

QCoro::Task<void> protectionSeenByNextOperation(ProjectManager* pm, bool* seen) {
    auto turn = pm->beginOperation("Moving to Trash…");
    const OperationGate::Scope next = co_await std::move(turn);
    *seen = pm->mediaFiles()[0].isProtected && !pm->hasDeferredChanges();
}

TEST(ProjectManager, QueuedChangesLandBeforeTheNextWaitingOperationStarts) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({media("/m/a.mov")});
    auto scope = pm.tryBeginOperation("Importing projects…");
    ASSERT_TRUE(scope);
    h.folders.add("/m");
    ASSERT_TRUE(pm.protectedFoldersDidChange());
    bool sawProtection = false;
    auto waiting = protectionSeenByNextOperation(&pm, &sawProtection);
    scope->release();
    drainEvents();
    EXPECT_TRUE(sawProtection);
}

TEST(ProjectManager, UsesTheAuditLogAndStatisticsItIsGivenAndTheSharedOnesFromShared) {
    ProjectManagerHarness h;
    EXPECT_EQ(h.pm().auditLog(), &h.audit);
    EXPECT_EQ(h.pm().statsManager(), &h.stats);
    ProjectManagerServices services = ProjectManagerServices::shared();
    services.sequencePolicy = &h.policy;
    services.protectedFolders = &h.folders;
    const ProjectManager pm(services);
    EXPECT_EQ(pm.auditLog(), &AuditLogManager::shared());
    EXPECT_EQ(pm.statsManager(), &StatsManager::shared());
    EXPECT_EQ(pm.isSandboxed(), ProjectManagerServices::defaultIsSandboxed());
}

} // namespace
