#include "stores/StatsManager.h"

#include "platform/JsonForm.h"
#include "stores/StoreTestSupport.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using testing::movedAside;
using testing::readJson;
using testing::writeBytes;

struct StatsManagerTest : ::testing::Test {
    QTemporaryDir dir;
    QString filePath() const { return dir.filePath(QStringLiteral("all_time_stats.json")); }
};

TEST_F(StatsManagerTest, RecordsAnalysesAndKeepsTheFirstDate) {
    const QDateTime start = QDateTime::currentDateTimeUtc();
    StatsManager manager(dir.path());
    EXPECT_FALSE(QFile::exists(filePath()));
    manager.recordAnalysis(120, 80);
    const auto firstDate = manager.stats().firstUsedDate;
    ASSERT_TRUE(firstDate.has_value());
    EXPECT_GE(*firstDate, start.addMSecs(-1));
    manager.recordAnalysis(30, 10);
    EXPECT_EQ(manager.stats().firstUsedDate, firstDate);

    const QJsonObject object = readJson(filePath()).object();
    EXPECT_EQ(object.value("projectsImported").toInteger(), 2);
    EXPECT_EQ(object.value("totalMediaFilesAnalyzed").toInteger(), 150);
    EXPECT_EQ(object.value("totalUsedFiles").toInteger(), 90);
    EXPECT_EQ(json::toDate(object.value("firstUsedDate").toDouble()), *firstDate);
}

TEST_F(StatsManagerTest, DeletionsAndMovesAddToTheirCountersAndSavedSpace) {
    StatsManager manager(dir.path());
    manager.recordDeletion(3, 3000);
    EXPECT_EQ(manager.stats().filesDeleted, 3);
    EXPECT_EQ(manager.stats().spaceSavedBytes, 3000);
    EXPECT_EQ(manager.stats().filesMoved, 0);
    manager.recordMove(2, 500);
    EXPECT_EQ(manager.stats().filesMoved, 2);
    EXPECT_EQ(manager.stats().spaceSavedBytes, 3500);
    EXPECT_FALSE(manager.stats().firstUsedDate.has_value());

    const QJsonObject object = readJson(filePath()).object();
    EXPECT_FALSE(object.contains("firstUsedDate"));
    StatsManager reloaded(dir.path());
    EXPECT_EQ(reloaded.stats(), manager.stats());
}

TEST_F(StatsManagerTest, ReloadsEveryField) {
    AllTimeStats stats;
    {
        StatsManager manager(dir.path());
        manager.recordAnalysis(7, 5);
        manager.recordDeletion(1, 1LL << 40);
        manager.recordMove(4, 44);
        stats = manager.stats();
    }
    StatsManager reloaded(dir.path());
    EXPECT_EQ(reloaded.stats(), stats);
}

TEST_F(StatsManagerTest, LoadsAFileWithoutFirstDateAndIgnoresUnknownKeys) {
    writeBytes(filePath(), R"({"filesDeleted":4,"filesMoved":1,"spaceSavedBytes":9,"projectsImported":0,)"
                           R"("totalMediaFilesAnalyzed":0,"totalUsedFiles":0,"addedLater":{"x":1}})");
    StatsManager manager(dir.path());
    EXPECT_EQ(manager.stats().filesDeleted, 4);
    EXPECT_FALSE(manager.stats().firstUsedDate.has_value());
    EXPECT_FALSE(manager.fileWasDamaged());
}

TEST_F(StatsManagerTest, AFileMissingACounterStartsFromZeroAndIsKeptAside) {
    const QByteArray old = R"({"filesDeleted":4,"spaceSavedBytes":9,"projectsImported":2,)"
                           R"("totalMediaFilesAnalyzed":3,"totalUsedFiles":1,"firstUsedDate":100})";
    writeBytes(filePath(), old);
    testing::LogCapture log;
    StatsManager manager(dir.path());
    EXPECT_EQ(manager.stats(), AllTimeStats{});
    EXPECT_TRUE(manager.fileWasDamaged());
    manager.recordMove(1, 10);
    const QStringList aside = movedAside(dir.path(), "all_time_stats.json");
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(testing::readBytes(dir.filePath(aside.front())), old);
    EXPECT_EQ(readJson(filePath()).object().value("filesMoved").toInteger(), 1);
}

// Two processes counting at once: each change reads the file afresh under the lock, so none is lost.
TEST_F(StatsManagerTest, TwoProcessesCountingAtOnceLoseNoCount) {
    constexpr int perProcess = 150;
    pid_t children[2] = {};
    for (pid_t& child : children) {
        child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            StatsManager manager(dir.path());
            for (int i = 0; i < perProcess; ++i)
                manager.recordDeletion(1, 10);
            ::_exit(0);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const StatsManager reread(dir.path());
    EXPECT_EQ(reread.stats().filesDeleted, 2 * perProcess);
    EXPECT_EQ(reread.stats().spaceSavedBytes, 2 * perProcess * 10);
}

TEST(AllTimeStats, DaysSinceFirstUseCountsWholeDaysAndAtLeastOne) {
    AllTimeStats stats;
    EXPECT_EQ(stats.daysSinceFirstUse(), 0);
    const QDateTime first = QDateTime::currentDateTime().addDays(-10);
    stats.firstUsedDate = first;
    EXPECT_EQ(stats.daysSinceFirstUse(first), 1);
    EXPECT_EQ(stats.daysSinceFirstUse(first.addSecs(36 * 3600)), 1);
    EXPECT_EQ(stats.daysSinceFirstUse(first.addSecs(49 * 3600)), 2);
    EXPECT_EQ(stats.daysSinceFirstUse(first.addSecs(-3600)), 1); // clock set back
    EXPECT_GE(stats.daysSinceFirstUse(), 9);
}

} // namespace
} // namespace tarnwick
