#include "support/ProjectManagerHarness.h"
#include "support/ProjectManagerSteps.h"

#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using S = MediaFileStatus;

// Projects and a list covering letter case, alternative and matched paths, audio-only use,
// ignored timelines, After Effects footage and staged files that become used.
struct Scene {
    QList<ProjectFile> projects;
    QList<MediaFile> media;
    QList<RecycleBinItem> bin;
};

Scene scene() {
    ProjectFile one = project("One", {"/Media/A.mov", "/m/select.mov"}, {"/Media/A.mov", "/m/select.mov"});
    one.sequences = {{"s1", "Stringout"}, {"s2", "Edit"}};
    SequenceUsageAttribution onStringout;
    onStringout.occurrencesBySequenceID.insert(QStringLiteral("s1"), 1);
    one.sequenceUsageByPath.insert(QStringLiteral("/m/select.mov"), onStringout);
    ProjectFile two = project("Two", {"/media/a.mov", "/media/b.wav", "/c/clip.mov"},
                              {"/media/a.mov", "/media/b.wav", "/c/clip.mov"});
    two.usageCountByPath[QStringLiteral("/media/a.mov")] = 2;
    two.audioOnlyFiles = {QStringLiteral("/media/b.wav")};

    MediaFile merged = media("/a/clip.mov", 0, S::online, 10);
    merged.alternativePaths = {QStringLiteral("/b/clip.mov")};
    merged.matchedPath = QStringLiteral("/C/Clip.mov");
    MediaFile ae = media("/m/ae.mov", 0, S::inRecycleBin);
    ae.isAEFootage = true;
    const MediaFile staged = media("/m/select.mov", 0, S::inRecycleBin);
    const MediaFile unused = media("/m/unused.mov", 0, S::inRecycleBin);
    return {{one, two},
            {media("/Media/A.mov"), media("/media/b.wav"), merged, ae, staged, unused},
            {binItem(ae), binItem(staged), binItem(unused)}};
}

void load(ProjectManager& pm, const Scene& s) {
    pm.edit(ProjectManager::ListChange::none).setProjects(s.projects);
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(s.media);
    pm.edit(ProjectManager::ListChange::none).setRecycleBin(s.bin);
}

struct Versions {
    qint64 media;
    qint64 bin;
};

Versions versions(const ProjectManager& pm) {
    return {pm.mediaFilesVersion(), pm.recycleBinVersion()};
}

TEST(PreparedUsageRecount, MatchesTheRecountDoneOnTheGuiThread) {
    for (const bool ignoreStringout : {false, true}) {
        ProjectManagerHarness full;
        ProjectManagerHarness split;
        if (ignoreStringout) {
            ASSERT_TRUE(full.pm().addSequenceRule("stringout", SequenceRuleAction::ignore));
            ASSERT_TRUE(split.pm().addSequenceRule("stringout", SequenceRuleAction::ignore));
        }
        const Scene s = scene();
        load(full.pm(), s);
        load(split.pm(), s);
        const Versions fullBefore = versions(full.pm());
        full.pm().edit(ProjectManager::ListChange::usage);

        // The import's way: prepared on a worker on the list it then sets.
        const Versions splitBefore = versions(split.pm());
        const auto inputs = split.pm().usageRecountInputs();
        QList<MediaFile> list = s.media;
        auto prepared =
            QtConcurrent::run([&] { return ProjectManager::prepareUsageRecount(list, inputs); }).result();
        split.pm().edit(ProjectManager::ListChange::none).setMediaFiles(list);
        split.pm().adoptLowerPathKeys(prepared.lowerPaths);
        ASSERT_TRUE(ProjectManagerSteps::finishPreparedUsageRecount(split.pm(), prepared));

        const auto& a = full.pm().mediaFiles();
        const auto& b = split.pm().mediaFiles();
        ASSERT_EQ(a.size(), b.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].usageCount, b[i].usageCount) << i << ignoreStringout;
            EXPECT_EQ(a[i].projectNames, b[i].projectNames) << i;
            EXPECT_EQ(a[i].sequenceNames, b[i].sequenceNames) << i;
            EXPECT_EQ(a[i].hasUnattributedSequenceUsage, b[i].hasUnattributedSequenceUsage) << i;
            EXPECT_EQ(a[i].usageType, b[i].usageType) << i;
            EXPECT_EQ(a[i].status, b[i].status) << i;
        }
        ASSERT_EQ(full.pm().recycleBin().size(), split.pm().recycleBin().size());
        for (qsizetype i = 0; i < full.pm().recycleBin().size(); ++i)
            EXPECT_EQ(full.pm().recycleBin()[i].mediaFile.path, split.pm().recycleBin()[i].mediaFile.path);
        EXPECT_EQ(full.pm().policy().effectiveUsedCountByProjectID,
                  split.pm().policy().effectiveUsedCountByProjectID);
        EXPECT_EQ(full.pm().summary(), split.pm().summary());
        // The same changes, plus the one setMediaFiles of the split way.
        EXPECT_EQ(versions(full.pm()).media - fullBefore.media + 1,
                  versions(split.pm()).media - splitBefore.media);
        EXPECT_EQ(versions(full.pm()).bin - fullBefore.bin, versions(split.pm()).bin - splitBefore.bin);
        // The known answers, so both ways cannot be wrong together.
        EXPECT_EQ(b[0].usageCount, 3);
        EXPECT_EQ(b[0].projectNames, (QStringList{"One", "Two"}));
        EXPECT_EQ(b[1].usageType, MediaUsageType::audioOnly);
        EXPECT_EQ(b[2].usageCount, 1) << "the matched path is one of the entry's keys";
        EXPECT_EQ(b[3].usageType, MediaUsageType::usedInAfterEffects);
        EXPECT_EQ(b[4].usageCount, ignoreStringout ? 0 : 1);
        EXPECT_EQ(b[4].status, ignoreStringout ? S::inRecycleBin : S::online);
        EXPECT_EQ(split.pm().recycleBin().size(), ignoreStringout ? 2 : 1);
    }
}

TEST(PreparedUsageRecount, IsRefusedWhenThePolicyOrProjectsChangedSince) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    const Scene s = scene();
    load(pm, s);
    for (const bool policyChange : {true, false}) {
        const auto inputs = pm.usageRecountInputs();
        QList<MediaFile> list = s.media;
        const auto prepared = ProjectManager::prepareUsageRecount(list, inputs);
        if (policyChange)
            ASSERT_TRUE(pm.addSequenceRule("edit", SequenceRuleAction::ignore));
        else
            pm.edit(ProjectManager::ListChange::none).setProjects({s.projects[0]});
        const Versions before = versions(pm);
        const QList<MediaFile> listBefore = pm.mediaFiles();
        EXPECT_FALSE(ProjectManagerSteps::finishPreparedUsageRecount(pm, prepared)) << policyChange;
        EXPECT_EQ(versions(pm).media, before.media) << "nothing applied";
        EXPECT_EQ(versions(pm).bin, before.bin);
        EXPECT_EQ(pm.mediaFiles()[0].usageCount, listBefore[0].usageCount);
    }
}

} // namespace
