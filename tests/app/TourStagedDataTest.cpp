#include "analysis/ProjectManager.h"
#include "app/tour/TourLibraries.h"
#include "app/tour/TourOutcomes.h"
#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

QList<RecycleBinItem> binOf(const QStringList& names) {
    QList<RecycleBinItem> bin;
    for (const QString& name : names) {
        RecycleBinItem item;
        item.mediaFile =
            testing::media(QStringLiteral("/media/editor/Footage/") + name, 0, MediaFileStatus::inRecycleBin);
        item.mediaFile.size = 1'000'000;
        bin.append(item);
    }
    return bin;
}

// What the tour shows of a library must be what the app would show of it: each project's count
// of used files agrees with the files' own usage, and nothing is left in the bin.
TEST(TourStagedData, StagedLibrariesAgreeWithTheirProjectsUsage) {
    for (auto stage : {&tourLibraries::stageLargeLibrary, &tourLibraries::stageLongTailLibrary}) {
        testing::ProjectManagerHarness harness;
        ProjectManager& pm = harness.pm();
        stage(pm);
        testing::drainEvents();
        EXPECT_TRUE(pm.recycleBin().isEmpty());
        QHash<QString, int> usedByProject;
        int usedFiles = 0;
        for (const MediaFile& file : pm.mediaFiles()) {
            usedFiles += file.usageCount > 0 ? 1 : 0;
            for (const QString& name : file.projectNames)
                usedByProject[name] += file.usageCount > 0 ? 1 : 0;
        }
        ASSERT_GT(usedFiles, 0);
        EXPECT_LT(usedFiles, pm.mediaFiles().size());
        for (const ProjectFile& project : pm.projects())
            EXPECT_EQ(pm.effectiveUsedFileCount(project), usedByProject.value(project.name))
                << project.name.toStdString();
    }
}

// Each run's outcome counts the bin's own files and gives reasons that run can give.
TEST(TourStagedData, OutcomesAreRunsOverTheBinAsItStands) {
    const QList<RecycleBinItem> bin = binOf({"A.mp4", "B.mov", "C.wav", "D.mov", "E.png", "F.mp4"});
    EXPECT_EQ(tourOutcomes::deletion(bin).succeeded, 6);
    for (const ActionResult& result :
         {tourOutcomes::moveWithErrors(bin), tourOutcomes::trashWithFailures(bin)}) {
        EXPECT_EQ(result.succeeded + result.failed, bin.size());
        ASSERT_EQ(result.errors.size(), result.failed);
        EXPECT_GE(result.failed, 1);
        const QList<RecycleBinItem> kept = tourOutcomes::lastItems(bin, result.failed);
        for (qsizetype i = 0; i < kept.size(); ++i) {
            EXPECT_TRUE(result.errors[i].startsWith(kept[i].mediaFile.fileName() + QStringLiteral(": ")))
                << result.errors[i].toStdString();
            EXPECT_FALSE(result.errors[i].contains(QStringLiteral("encod")))
                << result.errors[i].toStdString();
        }
    }
    EXPECT_EQ(tourOutcomes::trashWithFailures(bin).failedItems.size(),
              tourOutcomes::trashWithFailures(bin).failed);
    EXPECT_EQ(tourOutcomes::moveWithErrors(binOf({"A.mp4"})).failed, 0); // nothing to fail beside a success

    const TranscodeCompleteResult transcode = tourOutcomes::transcodeWithErrors(bin);
    // The files the confirmation counts: the four videos, the sound and the still (no video track).
    EXPECT_EQ(transcode.transcoded + transcode.skipped + transcode.failed, 6);
    EXPECT_EQ(transcode.failed, 2);
    EXPECT_EQ(transcode.errors.size(), transcode.failed);
    EXPECT_EQ(transcode.errors.last(), QStringLiteral("E.png: No video track"));
    EXPECT_LE(transcode.spaceSaved, tourOutcomes::bytesOf(tourOutcomes::videos(bin)));
    EXPECT_EQ(tourOutcomes::transcodeDone(bin).transcoded, 4);
}

} // namespace
} // namespace tarnwick
