#include "analysis/ProjectImporter.h"

#include "analysis/EntryCombiner.h"
#include "analysis/MediaRescanner.h"

#include "platform/PathText.h"
#include "support/ImportTestHarness.h"
#include "support/LinkedMediaTree.h"
#include "support/PeakGate.h"
#include "support/ProjectManagerHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::testing;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

QStringList projectNames(const ProjectManager& pm) {
    QStringList names;
    for (const ProjectFile& p : pm.projects())
        names << p.name;
    return names;
}

// A reader stand-in: each project lists the paths given for its file name and uses them all.
ParallelProjectParse::ParseFunction fakeReader(QHash<QString, QStringList> mediaByFile) {
    return [mediaByFile](const QUrl& url, const ParallelProjectParse::Progress& progress) {
        progress(QStringLiteral("Reading project…"), 0.5);
        ProjectParser::ParseResult r;
        r.projectName = path::deletingPathExtension(url.fileName());
        for (const QString& p : mediaByFile.value(url.fileName())) {
            r.allMediaPaths.insert(p);
            r.usedMediaPaths.insert(p);
            r.usageCountByPath.insert(p, 1);
        }
        return ProjectImporter::parsedProject(url, r);
    };
}

} // namespace

TEST(ProjectImporter, ImportsGeneratedProjectsWithUsageAcrossProjectsAndDiskStatus) {
    ImportTestHarness h;
    const QString shared = h.makeFile("media/shared.mov");
    const QString onlyA = h.makeFile("media/a.mov");
    const QString missing = h.dir.filePath("media/missing.mov");
    const QUrl a = h.makeProject("projects/A.prproj", {shared, onlyA});
    const QUrl b = h.makeProject("projects/B.prproj", {shared, missing});

    h.importNow({a, b});

    EXPECT_THAT(projectNames(h.pm()), UnorderedElementsAre("A", "B"));
    ASSERT_EQ(h.pm().mediaFiles().size(), 3);
    const MediaFile* s = h.entry(shared);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->status, MediaFileStatus::online);
    EXPECT_EQ(s->size, 64);
    EXPECT_GE(s->usageCount, 2);
    EXPECT_THAT(s->projectNames, UnorderedElementsAre("A", "B"));
    ASSERT_TRUE(h.entry(missing));
    EXPECT_EQ(h.entry(missing)->status, MediaFileStatus::offline);
    // Sorted by file name.
    EXPECT_EQ(path::lastPathComponent(h.pm().mediaFiles().first().path), "a.mov");

    EXPECT_FALSE(h.pm().progress().isAnalyzing);
    EXPECT_FALSE(h.pm().isBusy());
    EXPECT_DOUBLE_EQ(h.pm().progress().analysisProgress, 1.0);
    EXPECT_EQ(h.pm().progress().currentTask, "Analysis complete");
    EXPECT_EQ(h.pm().summary().offlineFiles, 1);
    EXPECT_TRUE(h.pm().prompts().shouldPromptForScan);
    EXPECT_EQ(h.stats.stats().projectsImported, 2);
    EXPECT_EQ(h.stats.stats().totalMediaFilesAnalyzed, 4);
    for (const char* stage : {"⏱ Parse: ", "⏱ Aggregate: ", "⏱ Scan: ", "⏱ Consolidate: ",
                              "⏱ Duplicate hashing: ", "⏱ Similar files: ", "⏱ Total import: "})
        EXPECT_EQ(h.logLinesStartingWith(stage).size(), 1) << stage;
    const QStringList scanLines = h.logLinesStartingWith("⏱ Scan: ");
    ASSERT_EQ(scanLines.size(), 1);
    EXPECT_TRUE(scanLines[0].endsWith("s (3 new file(s))")) << scanLines[0].toStdString();
}

TEST(ProjectImporter, ReimportReplacesTheProjectAndDropsMediaOnlyItsOldVersionUsed) {
    ImportTestHarness h;
    const QString kept = h.makeFile("media/kept.mov");
    const QString dropped = h.makeFile("media/dropped.mov");
    const QUrl a = h.makeProject("projects/A.prproj", {kept, dropped});
    h.importNow({a});
    ASSERT_EQ(h.pm().mediaFiles().size(), 2);
    const QUuid keptID = h.entry(kept)->id;

    h.makeProject("projects/A.prproj", {kept});
    h.importNow({a});
    ASSERT_EQ(h.pm().projects().size(), 1);
    ASSERT_EQ(h.pm().mediaFiles().size(), 1) << "the new version no longer lists dropped.mov";
    EXPECT_EQ(h.entry(kept)->id, keptID);

    // The same location written with other capitals names the same project and replaces it.
    h.importNow({QUrl::fromLocalFile(a.toLocalFile().replace("A.prproj", "a.PRPROJ"))});
    ASSERT_EQ(h.pm().projects().size(), 1);
    EXPECT_EQ(h.pm().projects()[0].name, "a");
}

TEST(ProjectImporter, ProjectThatFailsToReadBecomesAProjectWithItsError) {
    ImportTestHarness h;
    const QString clip = h.makeFile("media/clip.mov");
    const QUrl good = h.makeProject("projects/Good.prproj", {clip});
    const QString badPath = h.makeFile("projects/Broken Cut.prproj", "<?xml version=\"1.0\"?><Project/>");
    h.importNow({good, QUrl::fromLocalFile(badPath)});

    ASSERT_EQ(h.pm().progress().parseErrors.size(), 1);
    EXPECT_EQ(h.pm().progress().parseErrors[0].projectName, "Broken Cut.prproj");
    EXPECT_THAT(h.pm().progress().parseErrors[0].error.toStdString(), ::testing::HasSubstr("decompress"));
    const auto broken = std::find_if(h.pm().projects().cbegin(), h.pm().projects().cend(),
                                     [](const ProjectFile& p) { return p.name == "Broken Cut"; });
    ASSERT_NE(broken, h.pm().projects().cend());
    EXPECT_TRUE(broken->parseError.has_value());
    EXPECT_TRUE(broken->mediaFiles.isEmpty());
    EXPECT_EQ(h.stats.stats().projectsImported, 1);
    EXPECT_TRUE(h.logged("1 project(s) had parse errors"));
    EXPECT_EQ(h.pm().mediaFiles().size(), 1);
}

TEST(ProjectImporter, OfflinePromptIsRaisedOnceAndOnlyWhenOfflineMediaExist) {
    ImportTestHarness h;
    const QString here = h.makeFile("media/here.mov");
    h.importNow({h.makeProject("projects/A.prproj", {here})});
    EXPECT_FALSE(h.pm().prompts().hasPromptedForScan);

    h.importNow({h.makeProject("projects/B.prproj", {h.dir.filePath("media/gone.mov")})});
    EXPECT_TRUE(h.pm().prompts().shouldPromptForScan);
    // The window dismissed it.
    h.pm().updatePrompts([](PromptState& prompts) { prompts.shouldPromptForScan = false; });

    h.importNow({h.makeProject("projects/C.prproj", {h.dir.filePath("media/gone2.mov")})});
    EXPECT_FALSE(h.pm().prompts().shouldPromptForScan);
}

TEST(ProjectImporter, ProVideoFormatsPromptFollowsMxfSandboxAndInstalledFormats) {
    struct Case {
        const char* name;
        bool sandboxed;
        bool installed;
        bool expected;
    };
    for (const Case& c : {Case{"outside, not installed", false, false, true},
                          Case{"installed", false, true, false}, Case{"sandboxed", true, false, false}}) {
        SCOPED_TRACE(c.name);
        ImportTestHarness h(true);
        h.sandboxed = c.sandboxed;
        h.formatsInstalled = c.installed;
        h.importServices.parse = fakeReader({{"A.prproj", {"/m/A001.MXF"}}});
        h.importNow({QUrl::fromLocalFile("/p/A.prproj")});
        EXPECT_EQ(h.pm().prompts().shouldPromptForProVideoFormats, c.expected);
        EXPECT_EQ(h.pm().prompts().hasPromptedForProVideoFormats, c.expected);
    }
}

TEST(ProjectImporter, UnlinkedAfterEffectsProjectFlagsUnusedMediaAsUncertain) {
    ImportTestHarness h(true);
    h.importServices.parse = [](const QUrl& url, const ParallelProjectParse::Progress&) {
        ProjectParser::ParseResult r;
        r.projectName = "Show";
        r.allMediaPaths = {"/m/Titles.aep", "/m/unused.mov", "/m/used.mov"};
        r.usedMediaPaths = {"/m/used.mov"};
        r.usageCountByPath = {{"/m/used.mov", 1}};
        return ProjectImporter::parsedProject(url, r);
    };
    h.importNow({QUrl::fromLocalFile("/p/Show.prproj")});
    ASSERT_TRUE(h.pm().aepLinkStatuses().contains("/m/Titles.aep"));
    EXPECT_EQ(h.pm().aepLinkStatuses().value("/m/Titles.aep").kind, AEPLinkStatus::Kind::missing);
    EXPECT_TRUE(h.entry("/m/unused.mov")->hasUnresolvedAELink);
    EXPECT_TRUE(h.entry("/m/unused.mov")->needsReview);
    EXPECT_FALSE(h.entry("/m/used.mov")->hasUnresolvedAELink);
    EXPECT_EQ(h.pm().summary().uncertainAEFiles, 1);
    EXPECT_TRUE(h.pm().prompts().shouldPromptForMissingAEP);
}

TEST(ProjectImporter, ReadsAsManyProjectsAtOnceAsTheProcessorsButAtLeastFour) {
    for (const auto& [processors, expected] : {std::pair{2, 4}, std::pair{8, 8}}) {
        SCOPED_TRACE(processors);
        ImportTestHarness h(true);
        test::PeakGate gate(expected);
        h.importServices.processorCount = [p = processors] { return p; };
        h.importServices.parse = [&](const QUrl& url, const ParallelProjectParse::Progress&) {
            gate.enter();
            gate.leave();
            ProjectParser::ParseResult r;
            r.projectName = url.fileName();
            return ProjectImporter::parsedProject(url, r);
        };
        QList<QUrl> urls;
        for (int i = 0; i < 12; ++i)
            urls << QUrl::fromLocalFile(QStringLiteral("/p/%1.prproj").arg(i));
        h.importNow(urls);
        EXPECT_EQ(gate.peak(), expected);
        EXPECT_EQ(h.pm().projects().size(), 12);
    }
}

TEST(ProjectImporter, ShowsProgressMessagesInOrder) {
    ImportTestHarness h(true);
    QStringList media;
    for (int i = 0; i < 250; ++i)
        media << QStringLiteral("/m/clip%1.mov").arg(i);
    // Project k finishes only once the window has shown "Parsed k/3", so no two finishes share a turn.
    QSemaphore shown[3];
    const auto reader = fakeReader(
        {{"0.prproj", media.mid(0, 100)}, {"1.prproj", media.mid(100, 100)}, {"2.prproj", media.mid(200)}});
    h.importServices.parse = [&](const QUrl& url, const ParallelProjectParse::Progress& progress) {
        const int k = url.fileName().left(1).toInt();
        if (k > 0)
            shown[k].tryAcquire(1, 5000);
        return reader(url, progress);
    };
    QStringList tasks;
    QList<double> progress;
    QObject::connect(h.manager.get(), &ProjectManager::progressChanged, [&] {
        const QString task = h.pm().progress().currentTask;
        if (tasks.isEmpty() || tasks.last() != task)
            tasks << task;
        progress << h.pm().progress().analysisProgress;
        for (int k = 1; k < 3; ++k) {
            if (task == QStringLiteral("Parsed %1/3 projects…").arg(k))
                shown[k].release();
        }
    });
    h.importNow({QUrl::fromLocalFile("/p/0.prproj"), QUrl::fromLocalFile("/p/1.prproj"),
                 QUrl::fromLocalFile("/p/2.prproj")});
    spinUntil([&] { return !tasks.isEmpty() && tasks.last() == "Analysis complete"; });

    // Messages set within one event-loop turn reach the window as one change, so what it sees is an
    // ordered selection of the full sequence, always including these.
    const QStringList sequence = {"Preparing to analyze projects...",
                                  "Parsing 3 projects in parallel...",
                                  "Parsed 1/3 projects…",
                                  "Parsed 2/3 projects…",
                                  "Parsed 3/3 projects…",
                                  "Aggregating media usage…",
                                  "Scanning file system…",
                                  "Scanning files… 100/250",
                                  "Scanning files… 200/250",
                                  "Scanning files… 250/250",
                                  "Checking for After Effects links…",
                                  "Consolidating cross-project files…",
                                  "Detecting duplicates…",
                                  "Finding similar files…",
                                  "Calculating summary…",
                                  "Analysis complete"};
    qsizetype at = 0;
    for (const QString& task : tasks) {
        while (at < sequence.size() && sequence[at] != task)
            ++at;
        ASSERT_LT(at, sequence.size()) << "out of order: " << tasks.join(" | ").toStdString();
    }
    for (const char* anchor : {"Parsing 3 projects in parallel...", "Parsed 1/3 projects…",
                               "Parsed 2/3 projects…", "Analysis complete"})
        EXPECT_TRUE(tasks.contains(anchor)) << anchor << ": " << tasks.join(" | ").toStdString();
    EXPECT_TRUE(std::is_sorted(progress.cbegin(), progress.cend())) << "progress only rises";
    EXPECT_EQ(h.pm().progress().totalFilesToScan, 250);
    EXPECT_EQ(h.pm().progress().currentFileIndex, 250);
}

// Beside each step the window shows that step's figures: a file count only in the file scan, where
// the step's fraction is the count's; a second import shows nothing of the first one's count.
TEST(ProjectImporter, EachStepCarriesOnlyItsOwnFigures) {
    ImportTestHarness h(true);
    QStringList media;
    for (int i = 0; i < 250; ++i)
        media << QStringLiteral("/m/clip%1.mov").arg(i);
    h.importServices.parse = fakeReader({{"A.prproj", media.mid(0, 150)}, {"B.prproj", media.mid(150)}});
    QList<AnalysisProgress> seen;
    QObject::connect(h.manager.get(), &ProjectManager::progressChanged, [&] {
        if (h.pm().progress().isAnalyzing)
            seen << h.pm().progress();
    });
    const QList<QUrl> projects{QUrl::fromLocalFile("/p/A.prproj"), QUrl::fromLocalFile("/p/B.prproj")};
    h.importNow(projects);
    int counted = 0;
    for (const AnalysisProgress& p : std::as_const(seen)) {
        ASSERT_TRUE(p.step.has_value()) << p.currentTask.toStdString();
        if (p.step->countsFiles && p.totalFilesToScan > 0) {
            ++counted;
            EXPECT_DOUBLE_EQ(*p.step->fraction, double(p.currentFileIndex) / double(p.totalFilesToScan));
        } else {
            EXPECT_FALSE(p.step->countsFiles) << p.currentTask.toStdString();
        }
        if (p.currentTask.startsWith(QStringLiteral("Parsed "))) {
            EXPECT_GT(p.step->fraction.value_or(0), 0.0);
        }
    }
    EXPECT_GT(counted, 0);

    seen.clear();
    h.importNow(projects);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first().totalFilesToScan, 250); // the first import's, not this step's
    EXPECT_FALSE(seen.first().step->countsFiles);
}

TEST(ProjectImporter, SingleProjectShowsTheReadersMessages) {
    ImportTestHarness h(true);
    QSemaphore shown;
    const auto reader = fakeReader({{"A.prproj", {"/m/a.mov"}}});
    h.importServices.parse = [&](const QUrl& url, const ParallelProjectParse::Progress& progress) {
        progress(QStringLiteral("Resolving references…"), 0.92);
        shown.tryAcquire(1, 5000);
        return reader(url, progress);
    };
    QStringList tasks;
    QObject::connect(h.manager.get(), &ProjectManager::progressChanged, [&] {
        tasks << h.pm().progress().currentTask;
        if (h.pm().progress().currentTask == "Resolving references…") {
            EXPECT_DOUBLE_EQ(h.pm().progress().analysisProgress, 0.45 * 0.92);
            shown.release();
        }
    });
    h.importNow({QUrl::fromLocalFile("/p/A.prproj")});
    EXPECT_TRUE(tasks.contains("Resolving references…")) << tasks.join(" | ").toStdString();
    EXPECT_FALSE(tasks.contains("Parsed 1/1 projects…"));
}

TEST(ProjectImporter, EmptySelectionStillRunsEveryStep) {
    ImportTestHarness h(true);
    h.importNow({});
    EXPECT_EQ(h.pm().progress().currentTask, "Analysis complete");
    EXPECT_TRUE(h.logged("Starting analysis of 0 project(s)"));
    EXPECT_EQ(h.logLinesStartingWith("⏱ Total import: ").size(), 1);
}

namespace {

// Runs an operation as the window would (not awaited) and notes when it ends.
struct Started {
    bool done = false;
    QCoro::Task<void> task;
};

QCoro::Task<void> noteWhenDone(QCoro::Task<void> operation, bool* done) {
    co_await std::move(operation);
    *done = true;
}

// A reader whose projects wait until the test lets them finish.
struct HeldReader {
    QSemaphore release;
    std::atomic_int started{0};
    ParallelProjectParse::ParseFunction function(QHash<QString, QStringList> media) {
        return [this, reader = fakeReader(std::move(media))](const QUrl& url,
                                                             const ParallelProjectParse::Progress& p) {
            ++started;
            release.tryAcquire(1, 10000);
            return reader(url, p);
        };
    }
};

} // namespace

// The sidebar lists projects in the order they were given, whatever order their reads finish in:
// the same six projects imported ten times, their reads finishing in a different order each time.
TEST(ProjectImporter, ProjectsKeepTheOrderTheyWereGivenInWhateverOrderTheReadsFinish) {
    constexpr int count = 6;
    QList<QUrl> made;
    QStringList given;
    for (int i = 0; i < count; ++i) {
        made << QUrl::fromLocalFile(QStringLiteral("/p/Show %1.prproj").arg(i));
        given << QStringLiteral("Show %1").arg(i);
    }
    // Read by the reader threads while this one waits: a const list is never detached under them.
    const QList<QUrl> urls = made;
    std::mt19937 rng(6);
    for (int run = 0; run < 10; ++run) {
        SCOPED_TRACE(run);
        ImportTestHarness h(true);
        h.importServices.processorCount = [] { return count; }; // every read starts at once
        std::array<QSemaphore, count> go;
        const auto reader = fakeReader({});
        h.importServices.parse = [&](const QUrl& url, const ParallelProjectParse::Progress& p) {
            go[std::size_t(urls.indexOf(url))].tryAcquire(1, 10000);
            return reader(url, p);
        };
        bool done = false;
        auto import = noteWhenDone(ProjectImporter::analyzeProjects(h.pm(), urls, h.importServices), &done);
        std::vector<int> finishing(count);
        std::iota(finishing.begin(), finishing.end(), 0);
        if (run == 0)
            std::reverse(finishing.begin(), finishing.end());
        else
            std::shuffle(finishing.begin(), finishing.end(), rng);
        for (const int i : finishing) { // one read finishes, and is taken in, before the next
            go[std::size_t(i)].release();
            ASSERT_TRUE(
                spinUntil([&] { return h.pm().progress().parseFractionByURL.value(urls[i]) == 1.0; }));
        }
        ASSERT_TRUE(spinUntil([&] { return done; }));
        EXPECT_EQ(projectNames(h.pm()), given);
    }
}

TEST(ProjectImporter, SecondImportWaitsForTheFirstAndKeepsBothProjectsMedia) {
    ImportTestHarness h(true);
    HeldReader held;
    h.importServices.parse = held.function({{"A.prproj", {"/m/a.mov"}}, {"B.prproj", {"/m/b.mov"}}});
    bool firstDone = false;
    bool secondDone = false;
    auto first = noteWhenDone(
        ProjectImporter::analyzeProjects(h.pm(), {QUrl::fromLocalFile("/p/A.prproj")}, h.importServices),
        &firstDone);
    ASSERT_TRUE(spinUntil([&] { return held.started.load() == 1; }));
    auto second = noteWhenDone(
        ProjectImporter::analyzeProjects(h.pm(), {QUrl::fromLocalFile("/p/B.prproj")}, h.importServices),
        &secondDone);
    spinUntil([] { return false; }, 50);
    EXPECT_EQ(held.started.load(), 1) << "the second import starts reading only after the first ends";
    EXPECT_TRUE(h.pm().isBusy());
    EXPECT_FALSE(h.pm().busyReason().isEmpty());

    held.release.release(2);
    ASSERT_TRUE(spinUntil([&] { return firstDone && secondDone; }));
    EXPECT_THAT(projectNames(h.pm()), ElementsAre("A", "B"));
    ASSERT_EQ(h.pm().mediaFiles().size(), 2);
    EXPECT_TRUE(h.entry("/m/a.mov"));
    EXPECT_TRUE(h.entry("/m/b.mov"));
    EXPECT_FALSE(h.pm().isBusy());
}

// Refused or, for the user's requests (combine), queued until the import ends.
TEST(ProjectImporter, OtherOperationsAreRefusedWhileAnImportRuns) {
    ImportTestHarness h(true);
    h.importNow({});
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({media("/m/x.mov"), media("/m/y.mov")});
    HeldReader held;
    h.importServices.parse = held.function({{"A.prproj", {"/m/a.mov"}}});
    bool done = false;
    auto import = noteWhenDone(
        ProjectImporter::analyzeProjects(h.pm(), {QUrl::fromLocalFile("/p/A.prproj")}, h.importServices),
        &done);
    ASSERT_TRUE(spinUntil([&] { return held.started.load() == 1; }));

    EXPECT_FALSE(h.pm().clearAll());
    EXPECT_FALSE(QCoro::waitFor(EntryCombiner::combineEntries(h.pm(), h.pm().mediaFiles())));
    EXPECT_FALSE(QCoro::waitFor(MediaRescanner::rescanAll(h.pm())));
    EXPECT_FALSE(QCoro::waitFor(h.pm().rebuildMediaFilesFromProjects()));
    EXPECT_TRUE(h.logged("Combine 2 files: queued until the running operation ends: "));
    EXPECT_TRUE(h.logged("Rescanning refused: "));

    held.release.release();
    ASSERT_TRUE(spinUntil([&] { return done; }));
    EXPECT_EQ(projectNames(h.pm()), QStringList{"A"});
}

TEST(ProjectImporter, ChangesMadeWhileAnImportRunsHoldForWhatItAdds) {
    ImportTestHarness h(true);
    h.checker->setOnline("/m/a.mov", 10);
    h.checker->setOnline("/other/b.mov", 10);
    HeldReader held;
    h.importServices.parse = held.function({{"A.prproj", {"/m/a.mov", "/other/b.mov"}}});
    bool done = false;
    auto import = noteWhenDone(
        ProjectImporter::analyzeProjects(h.pm(), {QUrl::fromLocalFile("/p/A.prproj")}, h.importServices),
        &done);
    ASSERT_TRUE(spinUntil([&] { return held.started.load() == 1; }));

    // The protected folders sheet adds a folder; the timeline sheet adds a rule.
    h.folders.add("/m");
    EXPECT_TRUE(h.pm().protectedFoldersDidChange());
    EXPECT_EQ(h.pm().options().protectedFolders, QStringList{"/m"});
    EXPECT_TRUE(h.pm().addSequenceRule("dailies", SequenceRuleAction::ignore));
    EXPECT_EQ(h.policy.rules().size(), 2) << "the rule is stored at once";
    EXPECT_FALSE(QCoro::waitFor(h.pm().rescanAll())) << "queued, not run inside the import";
    EXPECT_TRUE(h.pm().hasDeferredChanges());

    held.release.release();
    ASSERT_TRUE(spinUntil([&] { return done; }));
    ASSERT_TRUE(h.entry("/m/a.mov") && h.entry("/other/b.mov"));
    EXPECT_TRUE(h.entry("/m/a.mov")->isProtected) << "the new protection covers the import's files";
    EXPECT_FALSE(h.entry("/other/b.mov")->isProtected);
    ASSERT_TRUE(spinUntil([&] { return !h.pm().hasDeferredChanges() && !h.pm().isBusy(); }));
    EXPECT_TRUE(spinUntil([&] { return h.logged("Rescan complete"); })) << "the queued rescan ran";
    EXPECT_TRUE(h.entry("/m/a.mov")->isProtected);
}

TEST(ProjectImporter, AFolderProtectedWhileAnImportRunsCoversWhatItAddsThroughALink) {
    ImportTestHarness h(true);
    LinkedMediaTree tree;
    ASSERT_TRUE(tree.makeVolumeLink());
    const QString linked = tree.volumeLink() + "/Archive/a.mov";
    const QString other = tree.volumeLink() + "/Other/b.mov";
    h.checker->setOnline(linked, 10);
    h.checker->setOnline(other, 10);
    HeldReader held;
    h.importServices.parse = held.function({{"A.prproj", {linked, other}}});
    bool done = false;
    auto import = noteWhenDone(
        ProjectImporter::analyzeProjects(h.pm(), {QUrl::fromLocalFile("/p/A.prproj")}, h.importServices),
        &done);
    ASSERT_TRUE(spinUntil([&] { return held.started.load() == 1; }));
    h.folders.add(tree.volume() + "/Archive");
    EXPECT_TRUE(h.pm().protectedFoldersDidChange());

    held.release.release();
    ASSERT_TRUE(spinUntil([&] { return done; }));
    ASSERT_TRUE(h.entry(linked) && h.entry(other));
    EXPECT_TRUE(h.entry(linked)->isProtected) << "the import resolved the link on its worker";
    EXPECT_FALSE(h.entry(other)->isProtected);
}

// Real projects are full of titles, mattes, black video and adjustment layers, often with rendered
// audio previews listed between their media; they must not put the project's unused media under
// review (and so out of one-click clean-up).
TEST(ProjectImporter, GeneratedMediaOnTimelinesDoNotFlagTheProjectForReview) {
    for (const auto& [unclassifiable, previews] : {std::pair{0, false}, {0, true}, {1, true}}) {
        SCOPED_TRACE(previews ? "with audio previews" : "without audio previews");
        ImportTestHarness h;
        const QString used = h.makeFile("media/used.mov");
        const QString unused = h.makeFile("media/unused.mov");
        ProjectGeneratorOptions o;
        o.mediaPaths = {used, unused};
        o.usedFraction = 0.5;
        o.seed = 4;
        o.generatedClipCount = 14;
        o.unclassifiableClipCount = unclassifiable;
        o.audioPreviewsBeforeGenerated = previews;
        const GeneratedProject g = ProjectGenerator::generate(o);
        ASSERT_EQ(g.usedPaths.size(), 1);
        const QString path = h.dir.filePath("projects/Titles.prproj");
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(ProjectGenerator::writeProject(path, g.xml));
        h.importNow({QUrl::fromLocalFile(path)});
        ASSERT_EQ(h.pm().mediaFiles().size(), 2) << "generated media add no entries";
        const QString unusedPath = g.usedPaths.contains(used) ? unused : used;
        ASSERT_TRUE(h.entry(unusedPath));
        EXPECT_EQ(h.entry(unusedPath)->usageCount, 0);
        EXPECT_EQ(h.entry(unusedPath)->needsReview, unclassifiable > 0)
            << "only a clip that cannot be classified withholds the project's media";
        EXPECT_EQ(h.entry(g.usedPaths.values().first())->needsReview, unclassifiable > 0);
        EXPECT_EQ(h.pm().projects()[0].parseWarnings.isEmpty(), unclassifiable == 0);
    }
}

TEST(ProjectImporter, WindowClosingMidImportLeavesNothingDangling) {
    ImportTestHarness h(true);
    HeldReader held;
    h.importServices.parse = held.function({{"A.prproj", {"/m/a.mov"}}});
    bool done = false;
    auto import = noteWhenDone(
        ProjectImporter::analyzeProjects(h.pm(), {QUrl::fromLocalFile("/p/A.prproj")}, h.importServices),
        &done);
    ASSERT_TRUE(spinUntil([&] { return held.started.load() == 1; }));
    h.manager.reset();
    held.release.release();
    EXPECT_TRUE(spinUntil([&] { return done; }));
}

TEST(ProjectImporter, ImportsTheRealSampleProjects) {
    const QDir samples(QStringLiteral(TARNWICK_SAMPLES_DIR "/prproj"));
    const QStringList files = samples.entryList({QStringLiteral("*.prproj")}, QDir::Files);
    if (!samples.exists() || files.isEmpty())
        GTEST_SKIP() << "no sample projects";
    ImportTestHarness h;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls << QUrl::fromLocalFile(samples.filePath(file));
    h.importNow(urls);
    EXPECT_TRUE(h.pm().progress().parseErrors.isEmpty());
    EXPECT_EQ(h.pm().projects().size(), files.size());
    EXPECT_FALSE(h.pm().mediaFiles().isEmpty());
    // Their media live on the author's machines: nothing is on this disk.
    EXPECT_EQ(h.pm().summary().offlineFiles + h.pm().summary().matchingFiles, h.pm().mediaFiles().size());
    EXPECT_EQ(h.stats.stats().projectsImported, files.size());
}

TEST(ProjectImporter, PathCheckedEarlyIsCheckedAgainWhenALaterProjectGivesItACandidate) {
    ImportTestHarness h(true);
    h.checker->setOnline("/n/x.mov", 7);
    QSemaphore firstDone;
    h.importServices.parse = [&](const QUrl& url, const ParallelProjectParse::Progress&) {
        ProjectParser::ParseResult r;
        r.projectName = path::deletingPathExtension(url.fileName());
        r.allMediaPaths = {"/m/x.mov"};
        if (r.projectName == "B") {
            firstDone.tryAcquire(1, 5000);
            QThread::msleep(50);
            r.relativeCandidates = {{"/m/x.mov", "/n/x.mov"}};
        }
        ParsedProject parsed = ProjectImporter::parsedProject(url, r);
        if (r.projectName == "A")
            firstDone.release();
        return parsed;
    };
    h.importNow({QUrl::fromLocalFile("/p/A.prproj"), QUrl::fromLocalFile("/p/B.prproj")});
    EXPECT_THAT(projectNames(h.pm()), ElementsAre("A", "B"));
    ASSERT_TRUE(h.entry("/m/x.mov"));
    EXPECT_EQ(h.entry("/m/x.mov")->status, MediaFileStatus::matching);
    EXPECT_EQ(h.entry("/m/x.mov")->matchedPath, QString("/n/x.mov"));
    EXPECT_EQ(h.entry("/m/x.mov")->size, 7);
}

namespace {

// A project copied with its media to a new folder while the old copy is loaded too: both name the
// same gone absolute path (`gone` as the old one spells it, `goneInCopy` as the copy does), and only
// the later one's relative candidate exists. A third project lists the file at its real path, which
// is then the used medium, not an unused file.
void expectTheCopysCandidateIsTaken(const QString& gone, const QString& goneInCopy) {
    ImportTestHarness h;
    const QString real = h.makeFile("New/Media/x.mov", QByteArray(300, 'x'));
    h.importServices.parse = [&](const QUrl& url, const ParallelProjectParse::Progress&) {
        ProjectParser::ParseResult r;
        r.projectName = path::deletingPathExtension(url.fileName());
        const QString listed = r.projectName == "Third" ? real : r.projectName == "Old" ? gone : goneInCopy;
        r.allMediaPaths = {listed};
        if (r.projectName != "Third") {
            r.usedMediaPaths = {listed};
            r.usageCountByPath = {{listed, 1}};
            r.relativeCandidates = {{listed, h.dir.filePath(r.projectName + "/Media/x.mov")}};
        }
        return ProjectImporter::parsedProject(url, r);
    };
    h.importNow({QUrl::fromLocalFile(h.dir.filePath("Old/Old.prproj")),
                 QUrl::fromLocalFile(h.dir.filePath("New/New.prproj")),
                 QUrl::fromLocalFile(h.dir.filePath("Third.prproj"))});
    const MediaFile* used = h.entry(gone);
    ASSERT_TRUE(used);
    EXPECT_EQ(used->status, MediaFileStatus::matching);
    EXPECT_EQ(used->matchedPath, real);
    EXPECT_EQ(used->usageCount, 2);
    for (const MediaFile& file : h.pm().mediaFiles()) {
        if (file.path == real || file.alternativePaths.contains(real)) {
            EXPECT_GE(file.usageCount, 1) << "the real path is the used medium";
        }
    }
}

} // namespace

TEST(ProjectImporter, TheFirstRelativeCandidateThatExistsIsTakenWhicheverProjectGaveIt) {
    expectTheCopysCandidateIsTaken(QStringLiteral("/gone/Media/x.mov"), QStringLiteral("/gone/Media/x.mov"));
}

// The copy spells the medium's folder decomposed where the old project spells it composed: one
// entry, and the candidate that exists is found whichever spelling gave it.
TEST(ProjectImporter, TheRelativeCandidateOfAProjectSpellingThePathOtherwiseIsTriedToo) {
    const QString composed = QStringLiteral("/gone/Caf\u00e9/x.mov");
    expectTheCopysCandidateIsTaken(composed, composed.normalized(QString::NormalizationForm_D));
}

// Two projects spell one name composed and decomposed: one entry, which reads the file under the
// spelling the disk holds, whichever of the two that is and whichever the entry keeps.
TEST(ProjectImporter, TwoSpellingsOfANameAreOneEntryOnlineUnderTheSpellingOnDisk) {
    for (const auto onDisk : {QString::NormalizationForm_D, QString::NormalizationForm_C}) {
        SCOPED_TRACE(int(onDisk));
        ImportTestHarness h;
        const QString present =
            h.makeFile(QStringLiteral("Cafe\u0301/take.mov").normalized(onDisk), QByteArray(40, 'x'));
        const QString composed = present.normalized(QString::NormalizationForm_C);
        const QString decomposed = present.normalized(QString::NormalizationForm_D);
        h.importServices.parse = fakeReader({{"A.prproj", {composed}}, {"B.prproj", {decomposed}}});
        h.importNow({QUrl::fromLocalFile("/p/A.prproj"), QUrl::fromLocalFile("/p/B.prproj")});
        ASSERT_EQ(h.pm().mediaFiles().size(), 1);
        const MediaFile& entry = h.pm().mediaFiles().first();
        EXPECT_EQ(entry.status, MediaFileStatus::online);
        EXPECT_EQ(entry.matchedPath.value_or(entry.path), present);
        EXPECT_EQ(entry.size, 40);
        EXPECT_EQ(entry.usageCount, 2);
    }
}

// Through the reader: a Character Animator scene on a timeline is used, and the data in the folder
// made for it, which an editor imported into bins, needs review instead of reading plainly unused.
TEST(ProjectImporter, TheDataOfACharacterAnimatorSceneOnATimelineNeedsReview) {
    ImportTestHarness h;
    const QString scene = h.makeFile("Show/Puppet/Puppet.chproj");
    const QString take = h.makeFile("Show/Puppet/Ch Media/Puppet Take 1.wav");
    const QString art = h.makeFile("Show/Puppet/Ch Data/art.png");
    const QString other = h.makeFile("Show/other.mov");
    h.importNow(
        {h.makeProject("Cut.prproj", {scene}, 1.0), h.makeProject("Bins.prproj", {take, art, other}, 0.0)});
    ASSERT_TRUE(h.entry(scene) && h.entry(take) && h.entry(art) && h.entry(other));
    EXPECT_GE(h.entry(scene)->usageCount, 1);
    EXPECT_FALSE(h.entry(scene)->needsReview);
    for (const QString& data : {take, art}) {
        EXPECT_EQ(h.entry(data)->usageCount, 0);
        EXPECT_TRUE(h.entry(data)->needsReview);
        EXPECT_EQ(h.entry(data)->characterAnimatorReason(),
                  QStringLiteral("part of the Character Animator project “Puppet”, which a timeline uses"));
    }
    EXPECT_FALSE(h.entry(other)->needsReview);
}

TEST(ProjectImporter, KnownEntriesKeepTheirFactsAndAreNotCheckedAgain) {
    ImportTestHarness h(true);
    MediaFile known = media("/m/known.mov", 0, MediaFileStatus::online, 99);
    known.storageType = StorageType::network;
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({known});
    h.importServices.parse = fakeReader({{"A.prproj", {"/m/known.mov", "/m/new.mov"}}});
    h.importNow({QUrl::fromLocalFile("/p/A.prproj")});
    EXPECT_EQ(h.checker->asked(), QSet<QString>{"/m/new.mov"});
    ASSERT_TRUE(h.entry("/m/known.mov"));
    EXPECT_EQ(h.entry("/m/known.mov")->id, known.id);
    EXPECT_EQ(h.entry("/m/known.mov")->size, 99);
    EXPECT_EQ(h.entry("/m/known.mov")->storageType, StorageType::network);
    EXPECT_EQ(h.entry("/m/known.mov")->usageCount, 1);
}

// Duplicates are looked for while entries are consolidated. When consolidation merges entries, that
// early search is thrown away unlogged and made again on the merged list: one run in the log, and
// the marks and digests of the merged list.
TEST(ProjectImporter, DuplicatesFollowConsolidationWhetherItMergesOrNot) {
    for (const bool merging : {false, true}) {
        SCOPED_TRACE(merging);
        ImportTestHarness h;
        const QByteArray bytes(3000, 'd');
        const QString a = h.makeFile("Card A/Day1/clip.mov", bytes);
        // The same file name and folder under another mount: one physical file to consolidation.
        const QString b = h.makeFile(merging ? "Card B/Day1/clip.mov" : "Card B/Day2/other.mov", bytes);
        const QString copy = h.makeFile("Copies/copy.mov", bytes);
        h.importNow({h.makeProject("projects/A.prproj", {a, copy}), h.makeProject("projects/B.prproj", {b})});

        ASSERT_EQ(h.pm().mediaFiles().size(), merging ? 2 : 3);
        QStringList runs;
        for (const QString& line : h.logLinesStartingWith(QStringLiteral("Detecting content-identical")))
            runs.append(line);
        EXPECT_EQ(runs, QStringList{QStringLiteral("Detecting content-identical duplicates among %1 files")
                                        .arg(merging ? 2 : 3)});
        const MediaFile* marked = h.entry(copy);
        ASSERT_TRUE(marked);
        EXPECT_EQ(marked->duplicateOfPath, a);
        EXPECT_TRUE(marked->fileHash.has_value());
    }
}
