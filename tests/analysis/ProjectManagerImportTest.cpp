#include "analysis/ProjectManager.h"
#include "model/RecycleBinItem.h"
#include "support/ImportTestHarness.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

// A staged file that a later import finds to be the same physical file as a used clip (a hard link
// under another name) must leave the bin: emptying the bin would otherwise remove the used clip.
TEST(ProjectManagerImport, StagedFileMergedIntoAUsedClipLeavesTheBin) {
    ImportTestHarness h;
    const QString clip = h.makeFile("media/clip.mov", QByteArray(4096, 'c'));
    const QString link = h.dir.filePath("media/other-name.mov");
    ASSERT_EQ(::link(QFile::encodeName(clip).constData(), QFile::encodeName(link).constData()), 0);

    QCoro::waitFor(h.pm().analyzeProjects({h.makeProject("projects/B.prproj", {link}, 0.0)}));
    const MediaFile* staged = h.entry(link);
    ASSERT_TRUE(staged);
    ASSERT_EQ(staged->usageCount, 0);
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setRecycleBin({RecycleBinItem{QUuid::createUuid(), *staged, QDateTime::currentDateTimeUtc()}});

    QCoro::waitFor(h.pm().analyzeProjects({h.makeProject("projects/A.prproj", {clip}, 1.0)}));

    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    for (const MediaFile& f : h.pm().mediaFiles())
        EXPECT_NE(f.status, MediaFileStatus::inRecycleBin) << f.path.toStdString();
    EXPECT_TRUE(QFile::exists(clip));
}

TEST(ProjectManagerImport, RescanAndCombineAreReachedThroughTheManager) {
    ImportTestHarness h;
    const QString a = h.makeFile("media/a.mov");
    const QString b = h.dir.filePath("media/b.mov");
    QCoro::waitFor(h.pm().analyzeProjects({h.makeProject("projects/A.prproj", {a, b})}));
    ASSERT_EQ(h.entry(b)->status, MediaFileStatus::offline);

    h.makeFile("media/b.mov");
    EXPECT_TRUE(QCoro::waitFor(h.pm().rescanAll()));
    EXPECT_EQ(h.entry(b)->status, MediaFileStatus::online);

    EXPECT_TRUE(QCoro::waitFor(h.pm().combineEntries({*h.entry(a), *h.entry(b)})));
    EXPECT_EQ(h.pm().mediaFiles().size(), 1);
}
