#include "ui/cleanup/CleanupOperations.h"

#include "actions/MoveToFolderAction.h"
#include "actions/RemovalRun.h"
#include "support/ProjectManagerHarness.h"
#include "transcode/TranscodeAndReplace.h"
#include "ui/cleanup/CleanupTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>

using namespace tarnwick;

// The window reaches moving the unused files to a folder and the CSV export through the engine's operations.
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
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles({clip});
    const auto operations = makeCleanupOperations();

    const CSVExportResult csv = operations->exportUnusedFilesCSV(harness.pm());
    ASSERT_TRUE(csv);
    QFile exported(*csv);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_TRUE(exported.readAll().contains(path.toUtf8()));
    exported.remove();

    std::unique_ptr<CleanupRun> run =
        operations->makeRun(CleanupRunKind::unusedMove, harness.pm(), QUrl::fromLocalFile(archive.path()));
    run->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run->result().has_value(); }));
    const ActionResult& moved = run->result()->action;
    EXPECT_EQ(moved.succeeded, 1);
    EXPECT_EQ(moved.failed, 0);
    EXPECT_TRUE(QFileInfo::exists(archive.path() + path));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(harness.pm().mediaFiles().first().status, MediaFileStatus::moved);
}

// The one factory makes each kind's engine run, waiting, named for the busy line.
TEST(EngineCleanupOperations, TheFactoryMakesEachKindsRun) {
    tarnwick::testing::ProjectManagerHarness harness;
    const auto operations = makeCleanupOperations();
    const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/archive"));
    const auto made = [&](CleanupRunKind kind) {
        std::unique_ptr<CleanupRun> run = operations->makeRun(kind, harness.pm(), folder);
        EXPECT_EQ(run->kind(), kind);
        EXPECT_EQ(run->state(), CleanupRun::State::waiting);
        EXPECT_EQ(run->description(), CleanupTexts::waitingText(kind, folder));
        return run;
    };
    EXPECT_NE(dynamic_cast<RemovalRun*>(made(CleanupRunKind::trash).get()), nullptr);
    EXPECT_NE(dynamic_cast<RemovalRun*>(made(CleanupRunKind::deletion).get()), nullptr);
    EXPECT_NE(dynamic_cast<MoveToFolderAction*>(made(CleanupRunKind::binMove).get()), nullptr);
    EXPECT_NE(dynamic_cast<MoveToFolderAction*>(made(CleanupRunKind::unusedMove).get()), nullptr);
    EXPECT_NE(dynamic_cast<TranscodeAndReplace*>(made(CleanupRunKind::transcode).get()), nullptr);
}
