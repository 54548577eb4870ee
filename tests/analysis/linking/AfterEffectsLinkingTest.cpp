#include "analysis/AfterEffectsLinking.h"
#include "analysis/ProjectManager.h"

#include "support/AEPRifxBuilder.h"
#include "support/DiskFactsLogCapture.h"
#include "support/ImportTestHarness.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QString samplesDir() {
    const QString fromEnvironment = qEnvironmentVariable("TARNWICK_SAMPLES_DIR");
    return (fromEnvironment.isEmpty() ? QStringLiteral(TARNWICK_SAMPLES_DIR) : fromEnvironment) +
           QStringLiteral("/aep");
}

class AfterEffectsLinkingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath("Show");
        QDir().mkpath(folder);
        services.parse = [this](const QString& path) {
            ++parses;
            return AEPParseRequests::parseWithOwnReader(path);
        };
    }

    ProjectFile projectIn(const QString& projectFolder, const QString& name, const QStringList& media) {
        ProjectFile p;
        p.name = name;
        p.url = QUrl::fromLocalFile(projectFolder + "/" + name + ".prproj");
        p.mediaFiles = media;
        return p;
    }

    MediaFile entry(const QString& path, const QString& project, int usage = 0,
                    MediaFileStatus status = MediaFileStatus::online) {
        MediaFile file = media(path, usage, status);
        file.projectNames = {project};
        return file;
    }

    void link(QList<MediaFile>& list) {
        QCoro::waitFor(AfterEffectsLinking::linkAEPProjects(h.pm(), list, services));
    }

    ProjectManagerHarness h;
    QTemporaryDir dir;
    QString folder;
    std::atomic_int parses{0};
    AfterEffectsLinking::Services services;
};

TEST_F(AfterEffectsLinkingTest, NoLinkedAndNoNearbyProjectChangesNothingAndLogsNothing) {
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects({projectIn(folder, "Cut", {"/m/a.mov", "/Old/Comp.aep"})});
    h.pm().setAEPLinkStatuses({{"/Old/Comp.aep", AEPLinkStatus::missing("/Old/Comp.aep")}});
    QList<MediaFile> list{entry("/m/a.mov", "Cut")};
    const QList<MediaFile> before = list;
    test::DiskFactsLogCapture log;
    link(list);
    EXPECT_EQ(list, before); // the earlier missing link flags nothing in this run
    EXPECT_TRUE(log.messages().isEmpty());
    EXPECT_EQ(h.pm().aepLinkStatuses().size(), 1);
}

TEST_F(AfterEffectsLinkingTest, AProjectBesideTheImportIsParsedAndItsFootageMarked) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/Comp.aep",
                                      {"/Volumes/Media/clip.mov", "/Volumes/Other/b-roll.MOV"}));
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects({projectIn(folder, "Cut", {"/Volumes/Media/clip.mov"})});
    QList<MediaFile> list{entry("/Volumes/Media/clip.mov", "Cut"), entry("/New/B-Roll.mov", "Cut", 2)};
    list[1].usageType = MediaUsageType::videoOnly;
    test::DiskFactsLogCapture log;
    link(list);
    EXPECT_TRUE(log.contains("AEP detection: 0 media ref(s), 1 .aep file(s) near projects"));
    EXPECT_TRUE(log.contains("AEP Comp: found 2 footage references"));
    const AEPLinkStatus status = h.pm().aepLinkStatuses().value(folder + "/Comp.aep");
    ASSERT_EQ(status.kind, AEPLinkStatus::Kind::resolved);
    EXPECT_EQ(status.project.name, "Comp");
    EXPECT_EQ(list[0].usageType, MediaUsageType::usedInAfterEffects);
    EXPECT_TRUE(list[0].isAEFootage);
    EXPECT_EQ(list[0].linkedAEProjects, QStringList{"/Volumes/Media/clip.mov"});
    // By file name, and an entry used on a timeline keeps its usage type.
    EXPECT_TRUE(list[1].isAEFootage);
    EXPECT_EQ(list[1].usageType, MediaUsageType::videoOnly);
    EXPECT_EQ(parses, 1);
}

TEST_F(AfterEffectsLinkingTest, AnOfflineLinkIsReconnectedByNameAndParsedOnceForBothPaths) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/Comp.AEP", {"/Volumes/Media/clip.mov"}));
    const qint64 size = QFileInfo(folder + "/Comp.AEP").size();
    h.pm().edit(ProjectManager::ListChange::none).setProjects({projectIn(folder, "Cut", {"/Old/Comp.aep"})});
    QList<MediaFile> list{entry("/Old/Comp.aep", "Cut", 0, MediaFileStatus::offline)};
    test::DiskFactsLogCapture log;
    link(list);
    EXPECT_EQ(list[0].status, MediaFileStatus::matching);
    EXPECT_EQ(list[0].matchedPath, folder + "/Comp.AEP");
    EXPECT_EQ(list[0].size, size);
    EXPECT_TRUE(log.contains("AEP auto-reconnected on import: /Old/Comp.aep → " + folder + "/Comp.AEP"));
    EXPECT_EQ(parses, 1);
    EXPECT_EQ(h.pm().aepLinkStatuses().value("/Old/Comp.aep").kind, AEPLinkStatus::Kind::resolved);
    EXPECT_EQ(h.pm().aepLinkStatuses().value(folder + "/Comp.AEP").kind, AEPLinkStatus::Kind::resolved);
}

// On Linux names that differ only in letter case are two files: each is parsed and marks its own footage.
TEST_F(AfterEffectsLinkingTest, ProjectsWhoseNamesDifferOnlyInCaseAreParsedApart) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/Comp.aep", {"/Volumes/Media/upper.mov"}));
    ASSERT_TRUE(aeptest::writeProject(folder + "/comp.aep", {"/Volumes/Media/lower.mov"}));
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects({projectIn(folder, "Cut", {folder + "/Comp.aep", folder + "/comp.aep"})});
    QList<MediaFile> list{entry(folder + "/Comp.aep", "Cut"), entry(folder + "/comp.aep", "Cut"),
                          entry("/Volumes/Media/upper.mov", "Cut"), entry("/Volumes/Media/lower.mov", "Cut")};
    link(list);
    EXPECT_EQ(parses, 2);
    const AEPLinkStatus upper = h.pm().aepLinkStatuses().value(folder + "/Comp.aep");
    const AEPLinkStatus lower = h.pm().aepLinkStatuses().value(folder + "/comp.aep");
    ASSERT_EQ(upper.kind, AEPLinkStatus::Kind::resolved);
    ASSERT_EQ(lower.kind, AEPLinkStatus::Kind::resolved);
    EXPECT_EQ(upper.project.footagePaths, QSet<QString>{"/Volumes/Media/upper.mov"});
    EXPECT_EQ(lower.project.footagePaths, QSet<QString>{"/Volumes/Media/lower.mov"});
    EXPECT_TRUE(list[2].isAEFootage);
    EXPECT_TRUE(list[3].isAEFootage); // used only by the second: not left unused
    EXPECT_NE(AEPParseRequests::cacheKey(folder + "/Comp.aep"),
              AEPParseRequests::cacheKey(folder + "/comp.aep"));
    EXPECT_EQ(h.pm().aepParseCache().size(), 2);
}

TEST_F(AfterEffectsLinkingTest, ADecomposedNameOnDiskReconnectsAComposedLink) {
    const QString onDisk = folder + QString::fromUtf8("/Cafe\u0301 Titles.aep");
    ASSERT_TRUE(aeptest::writeProject(onDisk, {"/Volumes/Media/clip.mov"}));
    const QString linked = QString::fromUtf8("/Old/CAF\u00c9 Titles.aep");
    h.pm().edit(ProjectManager::ListChange::none).setProjects({projectIn(folder, "Cut", {linked})});
    QList<MediaFile> list{entry(linked, "Cut", 0, MediaFileStatus::offline)};
    link(list);
    EXPECT_EQ(list[0].matchedPath, onDisk);
    EXPECT_EQ(h.pm().aepLinkStatuses().value(linked).kind, AEPLinkStatus::Kind::resolved);
}

TEST_F(AfterEffectsLinkingTest, ALinkStillBeingCheckedSearchesTwoLevelsDeep) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/AE/Comp.aep", {"/Volumes/Media/clip.mov"}));
    ASSERT_TRUE(aeptest::writeProject(folder + "/AE/Old/Deeper.aep", {"/Volumes/Media/x.mov"}));
    h.pm().edit(ProjectManager::ListChange::none).setProjects({projectIn(folder, "Cut", {"/Old/Comp.aep"})});
    QList<MediaFile> list{entry("/Old/Comp.aep", "Cut", 0, MediaFileStatus::checking),
                          entry("/Old/Deeper.aep", "Cut", 0, MediaFileStatus::offline)};
    test::DiskFactsLogCapture log;
    link(list);
    EXPECT_EQ(list[0].matchedPath, folder + "/AE/Comp.aep");
    EXPECT_EQ(list[0].status, MediaFileStatus::matching);
    EXPECT_FALSE(list[1].matchedPath); // three levels down: not searched
    EXPECT_TRUE(log.contains("Linked AEP file not found: /Old/Deeper.aep"));
    EXPECT_TRUE(log.contains("AEP detection: 2 media ref(s), 1 .aep file(s) near projects"));
}

TEST_F(AfterEffectsLinkingTest, AMissingOrUnreadableProjectFlagsTheUnusedMediaOfTheProjectsLinkingIt) {
    {
        QFile bad(folder + "/Broken.aep");
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("not a project at all");
    }
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects(
            {projectIn(folder, "Cut", {"/Old/Gone.aep", "/m/unused.mov", "/m/used.mov"}),
             projectIn(dir.filePath("Elsewhere"), "Other", {"/m/other.mov"}),
             projectIn(dir.filePath("Elsewhere"), "Graphics", {folder + "/Broken.aep", "/m/g.mov"})});
    QList<MediaFile> list{entry("/Old/Gone.aep", "Cut", 0, MediaFileStatus::offline),
                          entry("/m/unused.mov", "Cut"),
                          entry("/m/used.mov", "Cut", 1),
                          entry("/m/other.mov", "Other"),
                          entry(folder + "/Broken.aep", "Graphics"),
                          entry("/m/g.mov", "Graphics")};
    test::DiskFactsLogCapture log;
    link(list);
    EXPECT_TRUE(log.contains("Linked AEP file not found: /Old/Gone.aep"));
    EXPECT_TRUE(log.contains("Failed to parse AEP: " + folder + "/Broken.aep — Invalid AEP format: "));
    EXPECT_TRUE(log.contains("2 AEP file(s) missing — flagged uncertain files in 2 project(s)"));
    EXPECT_EQ(h.pm().aepLinkStatuses().value("/Old/Gone.aep").kind, AEPLinkStatus::Kind::missing);
    const AEPLinkStatus broken = h.pm().aepLinkStatuses().value(folder + "/Broken.aep");
    EXPECT_EQ(broken.kind, AEPLinkStatus::Kind::parseError);
    EXPECT_TRUE(broken.error.startsWith("Invalid AEP format: "));
    EXPECT_TRUE(list[1].hasUnresolvedAELink);
    EXPECT_FALSE(list[2].hasUnresolvedAELink); // used
    EXPECT_FALSE(list[3].hasUnresolvedAELink); // another project's
    EXPECT_FALSE(list[4].hasUnresolvedAELink); // an .aep itself
    EXPECT_TRUE(list[5].hasUnresolvedAELink);
}

TEST_F(AfterEffectsLinkingTest, AMissingProjectFlagsTheFilesOfTheProjectLinkingItNotOfItsNamesakes) {
    // Two projects with the editor's default name; only the first links an .aep, which is gone.
    const QList<ProjectFile> projects{
        projectIn(dir.filePath("A"), "Untitled", {"/Old/Gone.aep", "/a/take.mov", "/a/Merged.mov"}),
        projectIn(dir.filePath("B"), "Untitled", {"/b/take.mov"})};
    QList<MediaFile> list{entry("/Old/Gone.aep", "Untitled", 0, MediaFileStatus::offline),
                          entry("/a/take.mov", "Untitled"), entry("/b/take.mov", "Untitled"),
                          entry("/c/merged.mov", "Untitled")};
    // Consolidated with the linking project's file: that path is one of its alternatives.
    list[3].alternativePaths = {"/a/merged.MOV"};
    const QHash<QString, AEPLinkStatus> statuses{{"/Old/Gone.aep", AEPLinkStatus::missing("/Old/Gone.aep")}};
    test::DiskFactsLogCapture log;
    AfterEffectsLinking::flagMediaOfProjectsWithMissingAEP(list, projects, statuses);
    EXPECT_TRUE(log.contains("1 AEP file(s) missing — flagged uncertain files in 1 project(s)"));
    EXPECT_TRUE(list[1].hasUnresolvedAELink);
    EXPECT_FALSE(list[2].hasUnresolvedAELink) << "listed only by the other project named Untitled";
    EXPECT_TRUE(list[3].hasUnresolvedAELink);
}

TEST_F(AfterEffectsLinkingTest, AWarmImportAnswersFromTheCacheUntilTheFileChanges) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/Comp.aep", {"/Volumes/Media/clip.mov"}));
    h.pm().edit(ProjectManager::ListChange::none).setProjects({projectIn(folder, "Cut", {})});
    QList<MediaFile> list{entry("/Volumes/Media/clip.mov", "Cut")};
    link(list);
    ASSERT_EQ(parses, 1);
    test::DiskFactsLogCapture log;
    QList<MediaFile> again{entry("/Volumes/Media/clip.mov", "Cut")};
    link(again);
    EXPECT_EQ(parses, 1);
    EXPECT_TRUE(log.contains("AEP cache hit: Comp.aep"));
    EXPECT_TRUE(again[0].isAEFootage);
    ASSERT_TRUE(
        aeptest::writeProject(folder + "/Comp.aep", {"/Volumes/Media/clip.mov", "/Volumes/Media/new.mov"}));
    link(again);
    EXPECT_EQ(parses, 2);
    EXPECT_EQ(h.pm()
                  .aepParseCache()
                  .value(AEPParseRequests::cacheKey(folder + "/Comp.aep"))
                  .result.footagePaths.size(),
              2);
}

TEST_F(AfterEffectsLinkingTest, RealProjectsBesideAnImportAreEachLinkedAndCached) {
    const QString samples = samplesDir();
    const QStringList files = QDir(samples).entryList({"*.aep"}, QDir::Files);
    if (files.isEmpty())
        GTEST_SKIP() << "no After Effects samples";
    h.pm().edit(ProjectManager::ListChange::none).setProjects({projectIn(samples, "Samples", {})});
    QList<MediaFile> list;
    link(list);
    EXPECT_EQ(parses, files.size());
    int resolved = 0;
    for (const QString& name : files) {
        ASSERT_TRUE(h.pm().aepLinkStatuses().contains(samples + "/" + name)) << name.toStdString();
        resolved +=
            h.pm().aepLinkStatuses().value(samples + "/" + name).kind == AEPLinkStatus::Kind::resolved;
    }
    EXPECT_GT(resolved, 0);
    // The footage a real project names is marked in a second, warm import.
    QSet<QString> footage;
    for (const AEPLinkStatus& status : h.pm().aepLinkStatuses())
        footage.unite(status.project.footagePaths);
    for (const QString& path : std::as_const(footage))
        list.append(entry(path, "Samples"));
    link(list);
    EXPECT_EQ(parses, files.size()); // every resolved one from the cache
    for (const MediaFile& file : std::as_const(list))
        EXPECT_TRUE(file.isAEFootage) << file.path.toStdString();
}

TEST(AfterEffectsCrossReference, PathKeysNameFallbackAndTheLaterEntryForOnePath) {
    QList<MediaFile> list{
        media("d:/shoot/a001.mov"),    media("D:/Shoot/A001.MOV"), media("/Volumes/New/Shoot/b.mov"),
        media("/Volumes/Other/B.mov"), media("/x/c.mov"),          media("/x/e.mov")};
    list[4].alternativePaths = {"/Alt/C.mov"};
    list[5].matchedPath = "/Found/e.mov";
    AfterEffectsLinking::crossReferenceAEFootage(list, {"D:\\Shoot\\A001.mov", "/Volumes/Old/Shoot/b.mov",
                                                        "/alt/c.mov", "/found/E.mov", "C:\\Shoot\\b.mov"});
    EXPECT_FALSE(list[0].isAEFootage); // one path: only the later entry
    EXPECT_EQ(list[1].linkedAEProjects, QStringList{"D:\\Shoot\\A001.mov"});
    EXPECT_TRUE(list[2].isAEFootage); // by name, every entry of that name
    EXPECT_TRUE(list[3].isAEFootage);
    EXPECT_EQ(list[2].linkedAEProjects,
              QStringList{"/Volumes/Old/Shoot/b.mov"}); // not the Windows path's name
    EXPECT_TRUE(list[4].isAEFootage);
    EXPECT_TRUE(list[5].isAEFootage);
}

TEST(AfterEffectsCrossReference, DecomposedAndComposedNamesAreOneName) {
    const QString composed = QString::fromUtf8("/Media/Caf\u00e9.mov");
    const QString decomposed = QString::fromUtf8("/Old/Cafe\u0301.MOV");
    QList<MediaFile> list{media(composed)};
    AfterEffectsLinking::crossReferenceAEFootage(list, {decomposed});
    EXPECT_TRUE(list[0].isAEFootage);
}

TEST(AfterEffectsCrossReference, FramesOfASequenceInItsFolderOrInAMovedFolderOfItsName) {
    ImageSequence stills;
    stills.folder = "/Volumes/Shoot/Stills";
    stills.prefix = "DSC_";
    stills.suffix = ".JPG";
    stills.digits = 4;
    stills.firstFrame = 1;
    stills.lastFrame = 26;
    ImageSequence plates; // no range stored: every number
    plates.folder = "E:/Old/Plates";
    plates.prefix = "p_";
    plates.suffix = ".exr";
    QList<MediaFile> list{
        media("/volumes/shoot/stills/dsc_0005.jpg"),     media("/Volumes/Shoot/Stills/DSC_0027.JPG"),
        media("/Volumes/Shoot/Stills/DSC_0005.JPG.xmp"), media("/Volumes/Shoot/Other/DSC_0005.JPG"),
        media("/Volumes/New/Plates/p_17.exr"),           media("/Volumes/New/Elsewhere/p_17.exr")};
    AfterEffectsLinking::crossReferenceAEFootage(list, {}, {stills, plates});
    EXPECT_TRUE(list[0].isAEFootage);
    EXPECT_EQ(list[0].usageType, MediaUsageType::usedInAfterEffects);
    EXPECT_EQ(list[0].linkedAEProjects, QStringList{"/Volumes/Shoot/Stills/DSC_[0001-0026].JPG"});
    EXPECT_FALSE(list[1].isAEFootage); // past the range
    EXPECT_FALSE(list[2].isAEFootage); // a sidecar, not a frame
    EXPECT_FALSE(list[3].isAEFootage); // the sequence's own folder holds its frames
    EXPECT_TRUE(list[4].isAEFootage);  // nothing in the old folder: a folder of its name
    EXPECT_EQ(list[4].linkedAEProjects, QStringList{"E:/Old/Plates/p_[#].exr"});
    EXPECT_FALSE(list[5].isAEFootage);
}

// A folder of the sequence's folder's name is looked in only while no frame is in the sequence's own
// folder; its name is compared whole, whatever the separators.
TEST(AfterEffectsCrossReference, AMovedFolderOfTheSameNameOnlyForASequenceWithoutFramesInItsOwn) {
    ImageSequence stills;
    stills.folder = "/Volumes/Shoot/Stills";
    stills.prefix = "DSC_";
    stills.suffix = ".JPG";
    ImageSequence plates;
    plates.folder = "E:/Old/Plates";
    plates.prefix = "p_";
    plates.suffix = ".exr";
    QList<MediaFile> list{media("/Volumes/Shoot/Stills/DSC_0001.JPG"),
                          media("/Volumes/Moved/Stills/DSC_0002.JPG"),
                          media("D:\\Moved\\Plates\\p_18.exr"),
                          media("/Volumes/New/Platez/p_19.exr"),
                          media("/p_20.exr"),
                          media("p_21.exr")};
    AfterEffectsLinking::crossReferenceAEFootage(list, {}, {stills, plates});
    EXPECT_TRUE(list[0].isAEFootage);
    EXPECT_FALSE(list[1].isAEFootage); // the sequence has a frame in its own folder
    EXPECT_TRUE(list[2].isAEFootage);
    EXPECT_FALSE(list[3].isAEFootage); // a name as long, not the same
    EXPECT_FALSE(list[4].isAEFootage);
    EXPECT_FALSE(list[5].isAEFootage);
}

// ---- The search for missing projects ---------------------------------------------------------

class MissingAEPSearch : public AfterEffectsLinkingTest {
protected:
    int search(const QString& where) {
        return QCoro::waitFor(AfterEffectsLinking::searchForMissingAEPFiles(
            h.pm(), where, [this](const QString& m) { messages.append(m); }, {}, services));
    }
    QStringList messages;
};

TEST_F(MissingAEPSearch, AnEmptyFolderReportsNothingFoundAndChangesNothing) {
    aeptest::writeProject(folder + "/.Hidden.aep", {"/a.mov"});
    aeptest::writeProject(folder + "/Show.app/Inside.aep", {"/a.mov"});
    const qint64 summaryVersion = h.pm().mediaFilesVersion();
    EXPECT_EQ(search(folder), 0);
    EXPECT_EQ(messages, (QStringList{"Scanning for .aep files...", "No .aep files found"}));
    EXPECT_EQ(h.pm().mediaFilesVersion(), summaryVersion);
}

TEST_F(MissingAEPSearch, ResolvesEveryMissingLinkOfThatNameAndClearsTheUncertainFlags) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/Sub/Comp.AEP", {"/Volumes/A/clip.mov"}));
    ASSERT_TRUE(aeptest::writeProject(folder + "/Other.aep", {"/Volumes/A/x.mov"}));
    h.pm().setAEPLinkStatuses(
        {{"/Old/Drive/comp.aep", AEPLinkStatus::missing("/Old/Drive/comp.aep")},
         {"/Older/Comp.aep", AEPLinkStatus::parseError("/Older/Comp.aep", "Read error: x")}});
    MediaFile clip = media("/Volumes/A/clip.mov");
    clip.hasUnresolvedAELink = true;
    MediaFile unrelated = media("/Volumes/A/unrelated.mov");
    unrelated.hasUnresolvedAELink = true;
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({clip, unrelated});
    test::DiskFactsLogCapture log;
    EXPECT_EQ(search(folder), 2);
    EXPECT_EQ(messages, (QStringList{"Scanning for .aep files...", "Found 2 .aep file(s), parsing...",
                                     "Parsing 1/2: Other.aep", "Parsing 2/2: Comp.AEP"}));
    EXPECT_EQ(parses, 1); // only the file that matches a missing link
    EXPECT_TRUE(log.contains("Resolved missing AEP: Comp with 1 footage paths"));
    for (const AEPLinkStatus& status : h.pm().aepLinkStatuses())
        EXPECT_EQ(status.kind, AEPLinkStatus::Kind::resolved);
    EXPECT_TRUE(h.pm().mediaFiles()[0].isAEFootage);
    EXPECT_EQ(h.pm().mediaFiles()[0].usageType, MediaUsageType::usedInAfterEffects);
    EXPECT_FALSE(h.pm().mediaFiles()[1].hasUnresolvedAELink); // the last link resolved
    EXPECT_EQ(h.pm().summary().aeLinkedFiles, 1);
}

TEST_F(MissingAEPSearch, FootageTakenOutOfTheRecycleBinWhenItTurnsOutUsedInAfterEffects) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/Comp.aep", {"/Volumes/A/clip.mov"}));
    h.pm().setAEPLinkStatuses({{"/Old/Comp.aep", AEPLinkStatus::missing("/Old/Comp.aep")}});
    MediaFile clip = media("/Volumes/A/clip.mov", 0, MediaFileStatus::inRecycleBin);
    MediaFile other = media("/Volumes/A/other.mov", 0, MediaFileStatus::inRecycleBin);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({clip, other});
    h.pm().edit(ProjectManager::ListChange::none).setRecycleBin({binItem(clip), binItem(other)});
    EXPECT_EQ(search(folder), 1);
    ASSERT_EQ(h.pm().recycleBin().size(), 1);
    EXPECT_EQ(h.pm().recycleBin()[0].mediaFile.path, "/Volumes/A/other.mov");
    EXPECT_EQ(h.pm().mediaFiles()[0].status, MediaFileStatus::online);
    EXPECT_EQ(h.pm().mediaFiles()[1].status, MediaFileStatus::inRecycleBin);
    // Leaving the bin is a restore, and recorded as one.
    ASSERT_EQ(h.audit.entries().size(), 1);
    EXPECT_EQ(h.audit.entries()[0].action, AuditAction::restored);
    EXPECT_EQ(h.audit.entries()[0].filePath, "/Volumes/A/clip.mov");
}

TEST_F(MissingAEPSearch, HoldsTheManagerWhileItWaitsAndSurvivesAListChangedBehindItsBack) {
    ASSERT_TRUE(aeptest::writeProject(folder + "/Comp.aep", {"/Volumes/A/clip.mov"}));
    h.pm().setAEPLinkStatuses({{"/Old/Comp.aep", AEPLinkStatus::missing("/Old/Comp.aep")}});
    QList<MediaFile> many;
    for (int i = 0; i < 50; ++i)
        many.append(media(QStringLiteral("/Volumes/A/f%1.mov").arg(i)));
    many.append(media("/Volumes/A/clip.mov"));
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(many);
    bool clearRefused = false;
    services.parse = [this, &clearRefused](const QString& path) {
        // While the search waits for this parse, the window tries to change the list.
        QMetaObject::invokeMethod(
            &h.pm(),
            [&] {
                clearRefused = !h.pm().clearAll();
                h.pm()
                    .edit(ProjectManager::ListChange::none)
                    .setMediaFiles({media("/Volumes/A/clip.mov")}); // a caller that ignores the gate
            },
            Qt::BlockingQueuedConnection);
        return AEPParseRequests::parseWithOwnReader(path);
    };
    EXPECT_EQ(search(folder), 1);
    EXPECT_TRUE(clearRefused);
    ASSERT_EQ(h.pm().mediaFiles().size(), 1);
    EXPECT_TRUE(h.pm().mediaFiles()[0].isAEFootage);
    EXPECT_FALSE(h.pm().isBusy());
}

} // namespace

namespace {

TEST(AfterEffectsImport, AnImportLinksTheAfterEffectsProjectsItsProjectsList) {
    ImportTestHarness h;
    const QString clip = h.makeFile("Media/clip.mov");
    const QString other = h.makeFile("Media/other.mov");
    const QString comp = h.dir.filePath("Show/AE/Comp.aep");
    ASSERT_TRUE(aeptest::writeProject(comp, {clip}));
    const QUrl cut = h.makeProject("Show/Cut.prproj", {comp, clip, other}, 0.0);
    h.importNow({cut});
    ASSERT_TRUE(h.entry(clip));
    EXPECT_TRUE(h.entry(clip)->isAEFootage);
    EXPECT_EQ(h.entry(clip)->usageType, MediaUsageType::usedInAfterEffects);
    EXPECT_FALSE(h.entry(other)->hasUnresolvedAELink);
    EXPECT_EQ(h.pm().aepLinkStatuses().value(comp).kind, AEPLinkStatus::Kind::resolved);
    EXPECT_EQ(h.pm().summary().aeLinkedFiles, 1);
    EXPECT_EQ(h.pm().summary().uncertainAEFiles, 0);
}

TEST(AfterEffectsImport, AFrameOfASequenceTheCompositionUsesIsUsedInAfterEffects) {
    ImportTestHarness h;
    const QString frame = h.makeFile("Stills/DSC_0003.JPG");
    const QString other = h.makeFile("Stills/DSC_0300.JPG");
    const QString comp = h.dir.filePath("Show/AE/Comp.aep");
    ASSERT_TRUE(aeptest::writeRifx(
        comp, aeptest::sequenceFootage(h.dir.filePath("Stills"), "DSC_", ".JPG", 1, 120, 4)));
    const QUrl cut = h.makeProject("Show/Cut.prproj", {comp, frame, other}, 0.0);
    h.importNow({cut});
    ASSERT_TRUE(h.entry(frame) && h.entry(other));
    EXPECT_TRUE(h.entry(frame)->isAEFootage);
    EXPECT_EQ(h.entry(frame)->usageType, MediaUsageType::usedInAfterEffects);
    EXPECT_FALSE(h.entry(other)->isAEFootage);
    EXPECT_EQ(h.pm().summary().aeLinkedFiles, 1);
}

} // namespace

// ---- Two people's "Untitled Project.aep" -----------------------------------------------------

namespace {

const QString untitled = QStringLiteral("Untitled Project.aep");
const QString aComp = QStringLiteral("A Linked Comp 05");

// A found .aep: where it lies below the temporary folder, its compositions and footage.
struct PlacedAEP {
    QString at;
    QStringList compositions;
    QStringList footage;
};

// Two projects in two folders, each linking an "Untitled Project.aep" gone from where it was saved;
// A names the composition it links. Only the files placed are on disk.
TEST(AEPRelocation, AFileOfTheLinkedNameIsTakenOnlyWhereItIsTiedToTheProjectLinkingIt) {
    const QString aLink = "D:/pr/ae/" + untitled;
    const QString bLink = "E:/work/" + untitled;
    struct Case {
        const char* what;
        QList<PlacedAEP> placed;
        QString aFoundAt; // empty: A's link stays missing
    };
    const QList<Case> cases{
        {"only B's is on disk", {{"B/" + untitled, {"Comp 1"}, {"/b/fx.mov"}}}, {}},
        {"A's own moved beside it",
         {{"B/" + untitled, {"Comp 1"}, {"/b/fx.mov"}}, {"A/" + untitled, {aComp}, {"/a/fx.mov"}}},
         "A/" + untitled},
        {"a namesake elsewhere holds A's composition",
         {{"B/" + untitled, {"Comp 1"}, {"/b/fx.mov"}}, {"C/" + untitled, {aComp}, {"/a/fx.mov"}}},
         "C/" + untitled},
        {"someone else's in A's own folder, its compositions all others",
         {{"B/" + untitled, {"Comp 1"}, {"/b/fx.mov"}},
          {"A/Downloads/" + untitled, {"Comp 1"}, {"/x/y.mov"}}},
         {}},
        {"a file in B's folder holding a composition of A's name is B's",
         {{"B/" + untitled, {"Comp 1", aComp}, {"/b/fx.mov"}}},
         {}},
        {"two of A's own tied alike: neither, whatever the search order",
         {{"B/" + untitled, {"Comp 1"}, {"/b/fx.mov"}},
          {"A/" + untitled, {aComp}, {"/a/fx.mov"}},
          {"A/AE/" + untitled, {aComp}, {"/a/fx.mov"}}},
         {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProjectManagerHarness h;
        QTemporaryDir dir;
        for (const PlacedAEP& aep : c.placed)
            ASSERT_TRUE(aeptest::writeCompositions(dir.filePath(aep.at), aep.compositions, aep.footage));
        const auto projectAt = [&](const char* folder, const QStringList& media) {
            ProjectFile p;
            p.name = "Untitled";
            p.url = QUrl::fromLocalFile(dir.filePath(QString::fromLatin1(folder) + "/Untitled.prproj"));
            p.mediaFiles = media;
            return p;
        };
        ProjectFile a = projectAt("A", {aLink, "/a/bin1.mov", "/a/bin2.mov", "/a/fx.mov"});
        a.linkedCompositions.insert(aLink, {aComp.toLower()});
        ProjectFile b = projectAt("B", {bLink, "/b/fx.mov"});
        b.linkedCompositions.insert(bLink, {"comp 1"});
        h.pm().edit(ProjectManager::ListChange::none).setProjects({a, b, projectAt("C", {"/c/c.mov"})});
        QList<MediaFile> list;
        for (const ProjectFile& p : h.pm().projects()) {
            for (const QString& path : p.mediaFiles) {
                list.append(media(
                    path, 0, path.endsWith(".aep") ? MediaFileStatus::offline : MediaFileStatus::online));
                list.last().projectNames = {p.name};
            }
        }
        test::DiskFactsLogCapture log;
        QCoro::waitFor(AfterEffectsLinking::linkAEPProjects(h.pm(), list));

        const AEPLinkStatus aStatus = h.pm().aepLinkStatuses().value(aLink);
        if (c.aFoundAt.isEmpty()) {
            EXPECT_EQ(list[0].matchedPath, std::nullopt);
            EXPECT_EQ(aStatus.kind, AEPLinkStatus::Kind::missing);
            EXPECT_TRUE(log.contains("Linked AEP file not found: " + aLink));
        } else {
            EXPECT_EQ(list[0].matchedPath, dir.filePath(c.aFoundAt));
            EXPECT_EQ(list[0].status, MediaFileStatus::matching);
            EXPECT_EQ(aStatus.kind, AEPLinkStatus::Kind::resolved);
            EXPECT_TRUE(list[3].isAEFootage);
        }
        // A's files no timeline uses are flagged for review exactly while its project is missing.
        for (const qsizetype bin : {1, 2})
            EXPECT_EQ(list[bin].hasUnresolvedAELink, c.aFoundAt.isEmpty()) << list[bin].path.toStdString();
        // B's own beside it is B's, whatever A's fate.
        EXPECT_EQ(list[4].matchedPath, dir.filePath("B/" + untitled));
        EXPECT_TRUE(list[5].isAEFootage);
        EXPECT_FALSE(list[5].hasUnresolvedAELink);
    }
}

// The same pair as the window imports it: Premiere projects whose media title the composition they
// link, the .aep files on disk.
TEST(AEPRelocation, AnImportKeepsTheFirstProjectsFilesFlaggedUntilItsOwnProjectIsFound) {
    struct Case {
        const char* what;
        QString aFoundAt; // where A's .aep is placed; empty: nowhere
        bool found;
    };
    for (const Case& c :
         {Case{"only B's is on disk", {}, false}, Case{"A's own moved beside it", "A/" + untitled, true},
          Case{"a namesake elsewhere holds A's composition", "C/" + untitled, true}}) {
        SCOPED_TRACE(c.what);
        ImportTestHarness h;
        const QString aLink = "D:\\pr\\ae\\" + untitled;
        const QString bLink = "E:\\work\\" + untitled;
        const QStringList bins{h.makeFile("A/media/bin1.mov"), h.makeFile("A/media/bin2.mov"),
                               h.makeFile("A/media/bin3.mov")};
        // Names of their own: files of one name, folder name and size would be taken for one file.
        const QString aFx = h.makeFile("A/media/a-fx.mov");
        const QString bFx = h.makeFile("B/media/b-fx.mov");
        const auto write = [&](const QString& at, const QList<TimelineMedia>& media) {
            const QString path = h.dir.filePath(at);
            QDir().mkpath(QFileInfo(path).absolutePath());
            EXPECT_TRUE(ProjectGenerator::writeProject(path, mediaTimeline(media)));
            return QUrl::fromLocalFile(path);
        };
        QList<TimelineMedia> aMedia{fileMedia(aLink, aComp + "/" + untitled, true),
                                    fileMedia(h.makeFile("A/media/a-cut.mov"), "a-cut.mov", true),
                                    fileMedia(aFx, "a-fx.mov", false)};
        for (const QString& bin : bins)
            aMedia.append(fileMedia(bin, QFileInfo(bin).fileName(), false));
        QList<QUrl> urls{write("A/A.prproj", aMedia),
                         write("B/B.prproj", {fileMedia(bLink, "Comp 1/" + untitled, true),
                                              fileMedia(h.makeFile("B/media/b-cut.mov"), "b-cut.mov", true),
                                              fileMedia(bFx, "b-fx.mov", false)})};
        ASSERT_TRUE(aeptest::writeCompositions(h.dir.filePath("B/" + untitled), {"Comp 1"}, {bFx}));
        if (!c.aFoundAt.isEmpty()) {
            ASSERT_TRUE(aeptest::writeCompositions(h.dir.filePath(c.aFoundAt), {aComp}, {aFx}));
        }
        if (c.aFoundAt.startsWith("C/"))
            urls.append(write("C/C.prproj", {fileMedia(h.makeFile("C/media/c.mov"), "c.mov", true)}));
        h.importNow(urls);

        const QString aPath = QString(aLink).replace(u'\\', u'/');
        ASSERT_TRUE(h.entry(aPath));
        EXPECT_EQ(h.pm().aepLinkStatuses().value(aPath).kind,
                  c.found ? AEPLinkStatus::Kind::resolved : AEPLinkStatus::Kind::missing);
        EXPECT_EQ(h.entry(aPath)->matchedPath,
                  c.found ? std::optional(h.dir.filePath(c.aFoundAt)) : std::nullopt);
        // Flagged, the delete-safety check holds them back from Add All Unused.
        for (const QString& bin : bins) {
            ASSERT_TRUE(h.entry(bin));
            EXPECT_EQ(h.entry(bin)->hasUnresolvedAELink, !c.found) << bin.toStdString();
        }
        EXPECT_EQ(h.pm().summary().uncertainAEFiles, c.found ? 0 : 4);
        EXPECT_EQ(h.entry(aFx)->isAEFootage, c.found);
        EXPECT_EQ(h.entry(QString(bLink).replace(u'\\', u'/'))->matchedPath, h.dir.filePath("B/" + untitled));
        EXPECT_TRUE(h.entry(bFx)->isAEFootage);
    }
}

} // namespace
