#include "ui/cleanup/CleanupOperations.h"

#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>

using namespace tarnwick;

// The window reaches moving to a folder and the CSV export through the engine's operations.
TEST(EngineCleanupOperations, MoveFilesToAFolderAndExportTheUnusedOnes) {
    tarnwick::testing::ProjectManagerHarness harness;
    QTemporaryDir media;
    QTemporaryDir archive;
    const QString path = media.filePath("Day 1/A001.mov");
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("clip");
    file.close();
    const MediaFile clip = tarnwick::testing::media(path, 0, MediaFileStatus::online, 4);
    harness.pm().setMediaFiles({clip});
    const auto operations = makeCleanupOperations();

    const CSVExportResult csv = operations->exportUnusedFilesCSV(harness.pm());
    ASSERT_TRUE(csv);
    QFile exported(*csv);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_TRUE(exported.readAll().contains(path.toUtf8()));
    exported.remove();

    const ActionResult moved = QCoro::waitFor(
        operations->moveFilesToFolder(harness.pm(), {clip}, QUrl::fromLocalFile(archive.path())));
    EXPECT_EQ(moved.succeeded, 1);
    EXPECT_EQ(moved.failed, 0);
    EXPECT_TRUE(QFileInfo::exists(archive.path() + path));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(harness.pm().mediaFiles().first().status, MediaFileStatus::moved);
}
