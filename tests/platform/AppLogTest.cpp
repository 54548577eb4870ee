#include "platform/AppLog.h"

#include <QFile>
#include <QList>
#include <QMutex>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

using tarnwick::AppLog;
using Category = AppLog::Category;
using Level = AppLog::Level;

namespace {

class AppLogCapture : public ::testing::Test {
protected:
    void SetUp() override {
        AppLog::setSink([this](const AppLog::Record& r) {
            QMutexLocker lock(&m_mutex);
            m_records.append(r);
        });
    }
    void TearDown() override { AppLog::setSink({}); }

    AppLog::Record last() {
        QMutexLocker lock(&m_mutex);
        return m_records.isEmpty() ? AppLog::Record{} : m_records.last();
    }
    qsizetype size() {
        QMutexLocker lock(&m_mutex);
        return m_records.size();
    }

private:
    QMutex m_mutex;
    QList<AppLog::Record> m_records;
};

struct Expected {
    Category category;
    Level level;
    QString message;
    QString printed;
};

void expectRecord(const AppLog::Record& r, const Expected& e) {
    EXPECT_EQ(r.category, e.category) << e.message.toStdString();
    EXPECT_EQ(r.level, e.level) << e.message.toStdString();
    EXPECT_EQ(r.message, e.message);
    EXPECT_EQ(r.printed, e.printed);
}

} // namespace

TEST(AppLogNames, SubsystemAndCategories) {
    EXPECT_EQ(AppLog::subsystem(), "com.Orlent");
    EXPECT_EQ(AppLog::categoryName(Category::fileOperations), "FileOperations");
    EXPECT_EQ(AppLog::categoryLabel(Category::fileOperations), "FileOps");
    EXPECT_EQ(AppLog::categoryLabel(Category::parser), "Parser");
    EXPECT_EQ(AppLog::categoryName(Category::ui), "UI");
    EXPECT_EQ(AppLog::categoryName(Category::network), "Network");
    EXPECT_EQ(AppLog::categoryName(Category::general), "General");
}

TEST_F(AppLogCapture, GeneralAndUserHelpers) {
    AppLog::userAction("Clicked Analyze");
    expectRecord(last(),
                 {Category::ui, Level::info, "👆 User: Clicked Analyze", "[UI] 👆 User: Clicked Analyze"});
    AppLog::info("");
    expectRecord(last(), {Category::general, Level::info, "ℹ️ ", "[General] ℹ️ "});
    AppLog::warning("careful");
    expectRecord(last(), {Category::general, Level::error, "⚠️ careful", "[General] ⚠️ careful"});
    AppLog::error("broken");
    expectRecord(last(), {Category::general, Level::error, "❌ broken", "[General] ❌ broken"});
    AppLog::debug("internals");
    expectRecord(last(), {Category::general, Level::debug, "🔧 internals", ""});
}

TEST_F(AppLogCapture, FileOperationHelpersUseFileNamesAndFolders) {
    AppLog::fileDeleted("/a/b/clip.mov", true);
    expectRecord(last(), {Category::fileOperations, Level::info, "🗑️ Deleted to Trash: clip.mov",
                          "[FileOps] 🗑️ Deleted to Trash: clip.mov"});
    AppLog::fileDeleted("/a/b/clip.mov/", false);
    EXPECT_EQ(last().printed, "[FileOps] 🗑️ Deleted permanently: clip.mov");
    AppLog::deleteFailed("/a/b/clip.mov", "Permission denied");
    expectRecord(last(),
                 {Category::fileOperations, Level::error, "❌ Delete failed: clip.mov - Permission denied",
                  "[FileOps] ❌ Delete failed: clip.mov - Permission denied"});
    AppLog::trashFailed("/a/b/clip.mov", "Permission denied");
    expectRecord(last(), {Category::fileOperations, Level::error,
                          "❌ Move to Trash failed: clip.mov - Permission denied",
                          "[FileOps] ❌ Move to Trash failed: clip.mov - Permission denied"});
    AppLog::fileMoved("/a/b/clip.mov", "/x/y/clip.mov");
    expectRecord(last(), {Category::fileOperations, Level::info, "📦 Moved: clip.mov → /x/y",
                          "[FileOps] 📦 Moved: clip.mov → /x/y"});
    AppLog::moveFailed("/a/clip.mov", "No space");
    EXPECT_EQ(last().printed, "[FileOps] ❌ Move failed: clip.mov - No space");
    AppLog::scanStarted(12);
    EXPECT_EQ(last().printed, "[FileOps] 🔍 Scanning 12 media files...");
    AppLog::scanComplete(3, -1, 0);
    EXPECT_EQ(last().printed, "[FileOps] ✅ Scan complete: 3 online, -1 matching, 0 offline");
    AppLog::detail("/a/b/clip.mov", "Size checked");
    expectRecord(last(), {Category::fileOperations, Level::debug, "📄 Size checked: clip.mov", ""});
}

TEST_F(AppLogCapture, NetworkHelpers) {
    AppLog::networkDriveDetected("/Volumes/NAS", "smbfs");
    expectRecord(last(), {Category::network, Level::info, "🌐 Network drive detected: smbfs at NAS",
                          "[Network] 🌐 Network drive detected: smbfs at NAS"});
    AppLog::cloudDriveDetected("/home/ana/Dropbox/a.mov", "Dropbox");
    EXPECT_EQ(last().printed, "[Network] ☁️ Cloud drive detected: Dropbox at /home/ana/Dropbox/a.mov");
    AppLog::networkDriveOffline("/mnt/nas/a.mov");
    expectRecord(last(), {Category::network, Level::error, "⚠️ Network drive offline: /mnt/nas/a.mov",
                          "[Network] ⚠️ Network drive offline: /mnt/nas/a.mov"});
}

TEST_F(AppLogCapture, ParserHelpers) {
    AppLog::parseStarted("Feature.prproj");
    EXPECT_EQ(last().printed, "[Parser] 📂 Starting parse: Feature.prproj");
    AppLog::parseDetail("12 clips");
    expectRecord(last(), {Category::parser, Level::debug, "  → 12 clips", "[Parser]   → 12 clips"});
    AppLog::parserWarning("odd block");
    expectRecord(last(), {Category::parser, Level::error, "⚠️ odd block", "[Parser] ⚠️ odd block"});
    AppLog::parseFailed("Feature", "Not a project");
    EXPECT_EQ(last().printed, "[Parser] ❌ Parse failed: Feature - Not a project");
    AppLog::parseComplete("Feature", 10, 7, 3);
    expectRecord(last(), {Category::parser, Level::info, "✅ Complete: Feature - 10 files, 7 used, 3 unused",
                          "[Parser] ✅ Complete: Feature - 10 files, 7 used, 3 unused"});
}

TEST_F(AppLogCapture, HelpersAreSafeFromManyThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i)
                AppLog::parseDetail(QString::number(i));
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(size(), 8 * 200);
}

TEST(AppLogOutput, PrintsOneLinePerMessageAndNothingForDebugOnlyHelpers) {
    QTemporaryFile capture;
    ASSERT_TRUE(capture.open());
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ::dup2(capture.handle(), STDOUT_FILENO);

    AppLog::userAction("Opened");
    AppLog::debug("quiet");
    AppLog::detail("/a/b.mov", "quiet too");
    AppLog::parseDetail("");
    AppLog::fileMoved("/a/b/clip.mov", "/x/y/clip.mov");

    AppLog::flush();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QFile written(capture.fileName());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()),
              "[UI] 👆 User: Opened\n[Parser]   → \n[FileOps] 📦 Moved: clip.mov → /x/y\n");
}

TEST(AppLogOutput, LinesFromSeveralThreadsNeverInterleave) {
    QTemporaryFile capture;
    ASSERT_TRUE(capture.open());
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ::dup2(capture.handle(), STDOUT_FILENO);

    // Long lines (beyond what one pipe write keeps whole) make a torn line likely if writes split.
    constexpr int threadCount = 6;
    constexpr int linesPerThread = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([t] {
            const QString text = QString(8000, QChar(u'a' + t));
            for (int i = 0; i < linesPerThread; ++i)
                AppLog::parserWarning(text);
        });
    for (std::thread& t : threads)
        t.join();

    AppLog::flush();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QFile written(capture.fileName());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = written.readAll().split('\n');
    ASSERT_EQ(lines.size(), threadCount * linesPerThread + 1); // the last piece follows the final newline
    EXPECT_TRUE(lines.last().isEmpty());
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]);
        const QString prefix = QStringLiteral("[Parser] ⚠️ ");
        ASSERT_TRUE(line.startsWith(prefix)) << i;
        const QString body = line.mid(prefix.size());
        ASSERT_EQ(body.size(), 8000) << "line " << i << " was torn";
        ASSERT_EQ(body, QString(8000, body.front())) << "line " << i << " was torn";
    }
}

TEST(AppLogOutput, SurvivesAStandardOutputWithoutReader) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[1]);

    AppLog::info("nobody reads this"); // would die of SIGPIPE without protection
    AppLog::parseDetail("nor this");
    AppLog::flush();

    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

// Logging never waits for a slow reader: 20,000 lines (far beyond what a pipe holds) are queued
// while nobody reads, then come out whole and in order.
TEST(AppLogOutput, QueuesLinesWhileTheOutputIsNotReadAndWritesThemInOrder) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[1]);

    constexpr int count = 20000;
    for (int i = 0; i < count; ++i)
        AppLog::info(QStringLiteral("restored clip %1").arg(i)); // returns at once: nothing reads yet

    QByteArray read;
    std::thread reader([&] {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            read.append(buffer, qsizetype(n));
        }
    });
    AppLog::flush();
    ::dup2(saved, STDOUT_FILENO); // the pipe's last writer goes: the reader sees its end
    ::close(saved);
    reader.join();
    ::close(fds[0]);
    const QList<QByteArray> lines = read.split('\n');
    ASSERT_EQ(lines.size(), count + 1);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(QString::fromUtf8(lines[i]), QStringLiteral("[General] ℹ️ restored clip %1").arg(i));
}
