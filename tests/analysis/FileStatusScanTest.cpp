#include "analysis/FileStatusScan.h"

#include "analysis/FileStatusChecker.h"
#include "support/DiskFactsFakeMountTable.h"
#include "support/DiskFactsFakeProbe.h"
#include "support/DiskFactsLogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tarnwick;
using namespace std::chrono_literals;

namespace {

QStringList makeFiles(const QString& folder, int count) {
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/clip%1.mov").arg(i);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(i + 1, 'x'));
        paths.append(path);
    }
    return paths;
}

QHash<QString, FileStatusResult> byPath(const QList<FileStatusResult>& results) {
    QHash<QString, FileStatusResult> map;
    for (const FileStatusResult& r : results)
        map.insert(r.path, r);
    return map;
}

} // namespace

TEST(FileStatusScan, ChecksEveryPathReportingEveryHundredResults) {
    QTemporaryDir dir;
    const QStringList paths = makeFiles(dir.path(), 250);
    FileStatusScan scan;
    QList<qsizetype> batchSizes;
    const QList<FileStatusResult> results = scan.checkAll(
        paths, {}, {}, [&](const QList<FileStatusResult>& batch) { batchSizes.append(batch.size()); });
    EXPECT_EQ(batchSizes, (QList<qsizetype>{100, 100, 50}));
    const auto map = byPath(results);
    ASSERT_EQ(map.size(), 250);
    EXPECT_EQ(map[paths[7]].status, MediaFileStatus::online);
    EXPECT_EQ(map[paths[7]].size, 8);
    EXPECT_EQ(scan.checkBatch(paths.mid(0, 3), {}, {}).size(), 3);
}

TEST(FileStatusScan, StartsNoFurtherCheckOnceCancelled) {
    QTemporaryDir dir;
    const QStringList paths = makeFiles(dir.path(), 400);
    // Checks past the 200th wait for the cancel, so it always finds checks not yet started.
    struct Cancel {
        std::mutex mutex;
        std::condition_variable cv;
        std::atomic_bool flag{false};
        std::atomic<int> calls{0};
    };
    auto cancel = std::make_shared<Cancel>();
    class GatedProbe : public FileStatProbe {
    public:
        explicit GatedProbe(std::shared_ptr<Cancel> cancel) : m_cancel(std::move(cancel)) {}
        std::optional<FileFacts> stat(const QString& path) const override {
            if (++m_cancel->calls > 200) {
                std::unique_lock lock(m_cancel->mutex);
                m_cancel->cv.wait(lock, [this] { return m_cancel->flag.load(); });
            }
            return FileStatProbe::system()->stat(path);
        }

    private:
        std::shared_ptr<Cancel> m_cancel;
    };
    FileStatusScan scan(std::make_shared<FileStatusChecker>(std::make_shared<GatedProbe>(cancel)));
    const auto results = scan.checkAll(
        paths, {}, {},
        [&](const QList<FileStatusResult>&) {
            std::lock_guard lock(cancel->mutex);
            cancel->flag = true;
            cancel->cv.notify_all();
        },
        &cancel->flag);
    EXPECT_GE(results.size(), 100);
    EXPECT_LE(results.size(), 300); // the first 200 and at most a window of checks in flight
    for (const FileStatusResult& r : results)
        EXPECT_EQ(r.status, MediaFileStatus::online);
}

// A hard-mounted share that went away blocks stat forever: the scan must not.
TEST(FileStatusScan, RecordsAPathThatDoesNotAnswerOfflineAndGoesOn) {
    QTemporaryDir dir;
    const QStringList local = makeFiles(dir.filePath(QStringLiteral("local")), 5);
    const QString share = dir.filePath(QStringLiteral("share"));
    const QStringList stuck = makeFiles(share, 30);
    auto probe = std::make_shared<test::HangingStatProbe>(share);
    FileStatusChecking::Options options;
    // The share is a CIFS mount, the rest local.
    options.mountTable = std::make_shared<const MountTable>(QList<MountEntry>{
        {1, QStringLiteral("/"), QStringLiteral("ext4"), {}}, {2, share, QStringLiteral("cifs"), {}}});
    test::DiskFactsLogCapture log;
    FileStatusScan scan(std::make_shared<FileStatusChecker>(probe), 300ms);
    const auto results = byPath(scan.checkAll(local + stuck, {}, options));
    // Returning at all shows the stuck call was not waited for: it is let go only below.

    ASSERT_EQ(results.size(), 35);
    for (const QString& path : local)
        EXPECT_EQ(results[path].status, MediaFileStatus::online);
    for (const QString& path : stuck) {
        EXPECT_EQ(results[path].status, MediaFileStatus::networkOffline) << path.toStdString();
        EXPECT_EQ(results[path].storageType, StorageType::network);
        EXPECT_EQ(results[path].resolvedPath, path);
        EXPECT_EQ(results[path].size, 0);
    }
    EXPECT_TRUE(log.contains(QStringLiteral("Network drive offline: ") + stuck.first()));

    // Later scans do not touch the dead mount again.
    const int hungBefore = probe->hungCalls();
    const auto again = byPath(scan.checkAll(stuck.mid(0, 3), {}, options));
    EXPECT_EQ(again[stuck[0]].status, MediaFileStatus::networkOffline);
    EXPECT_EQ(probe->hungCalls(), hungBefore);

    // Once a hung check answers, the mount is checked again.
    probe->release();
    MediaFileStatus status = MediaFileStatus::networkOffline;
    for (int attempt = 0; attempt < 100 && status != MediaFileStatus::online; ++attempt) {
        std::this_thread::sleep_for(20ms);
        status = scan.checkAll(stuck.mid(0, 1), {}, options).first().status;
    }
    EXPECT_EQ(status, MediaFileStatus::online);
}

TEST(FileStatusScan, UnansweredPathOffANetworkMountIsPlainOffline) {
    FileStatusChecking::Options options;
    options.mountTable = test::fakeMountTable(QStringLiteral("/"), QStringLiteral("ext4"));
    const FileStatusResult result = FileStatusScan::unansweredResult(QStringLiteral("/data/a.mov"), options);
    EXPECT_EQ(result.status, MediaFileStatus::offline);
    EXPECT_EQ(result.storageType, StorageType::local);
    EXPECT_EQ(FileStatusScan::unansweredResult(QStringLiteral("/x/Dropbox/a.mov"), {}).storageType,
              StorageType::dropbox);
}

// The check of a missing local file can hang on its relative-path candidate on a dead share: the
// local disk must not be written off with it.
TEST(FileStatusScan, AHangOnAnotherPathDoesNotWriteOffALocalMount) {
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QStringList present = makeFiles(home, 2);
    const QString missing = home + QStringLiteral("/gone.mov");
    const QString share = dir.filePath(QStringLiteral("share"));
    const QString candidate = makeFiles(share, 1).first();
    auto probe = std::make_shared<test::HangingStatProbe>(share);
    FileStatusChecking::Options options;
    options.mountTable = std::make_shared<const MountTable>(
        QList<MountEntry>{{1, QStringLiteral("/"), QStringLiteral("ext4"), {}},
                          {2, home, QStringLiteral("ext4"), {}},
                          {3, share, QStringLiteral("nfs4"), {}}});
    FileStatusScan scan(std::make_shared<FileStatusChecker>(probe), 300ms);

    const auto first = byPath(scan.checkAll({missing}, {{missing, {candidate}}}, options));
    EXPECT_EQ(first[missing].status, MediaFileStatus::offline);
    const auto later = byPath(scan.checkAll(present, {}, options));
    for (const QString& path : present)
        EXPECT_EQ(later[path].status, MediaFileStatus::online) << path.toStdString();
    probe->releaseAndAwaitAnswers();
}

// The rebuild reads each result at its path's position: a late or unanswered check must land there.
TEST(FileStatusScan, InOrderPutsEachResultAtItsPathsPosition) {
    QTemporaryDir dir;
    const QString share = dir.filePath(QStringLiteral("share"));
    const QStringList stuck = makeFiles(share, 2);
    QStringList paths = makeFiles(dir.filePath(QStringLiteral("local")), 300);
    paths.insert(150, stuck[0]);
    paths.append(stuck[1]);
    auto probe = std::make_shared<test::HangingStatProbe>(share);
    FileStatusChecking::Options options;
    options.mountTable = std::make_shared<const MountTable>(QList<MountEntry>{
        {1, QStringLiteral("/"), QStringLiteral("ext4"), {}}, {2, share, QStringLiteral("cifs"), {}}});
    FileStatusScan scan(std::make_shared<FileStatusChecker>(probe), 300ms);
    const QList<FileStatusResult> results = scan.checkAllInOrder(paths, {}, options);
    ASSERT_EQ(results.size(), paths.size());
    for (qsizetype i = 0; i < paths.size(); ++i)
        EXPECT_EQ(results[i].path, paths[i]) << i;
    EXPECT_EQ(results[150].status, MediaFileStatus::networkOffline);
    EXPECT_EQ(results.last().status, MediaFileStatus::networkOffline);
    EXPECT_EQ(results[151].size, 151); // clip150.mov, after the inserted path
    probe->releaseAndAwaitAnswers();

    // Cancelled before it starts: every position is left unchecked (no path).
    const std::atomic_bool cancelled{true};
    for (const FileStatusResult& r : scan.checkAllInOrder(paths.mid(0, 3), {}, {}, &cancelled))
        EXPECT_TRUE(r.path.isEmpty());
}

// A folder that cannot be reached is looked at once for the paths that follow in it; every result
// is the one the path's own check gives, whatever stands in the folder's place.
TEST(FileStatusScan, PathsInOneFolderAnswerAsTheirOwnChecksWithoutAStatEachWhenItIsGone) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QStringList present = makeFiles(root + QStringLiteral("/present"), 40);
    makeFiles(root + QStringLiteral("/locked"), 2);
    QFile(root + QStringLiteral("/file.mov")).open(QIODevice::WriteOnly);
    QFile::link(root + QStringLiteral("/present"), root + QStringLiteral("/link"));
    QFile::link(root + QStringLiteral("/nowhere"), root + QStringLiteral("/dangling"));
    QFile::setPermissions(root + QStringLiteral("/locked"), QFileDevice::Permissions());
    QStringList paths;
    for (const char* folder : {"present", "gone", "file.mov", "link", "dangling", "locked", "gone/deeper"}) {
        for (int i = 0; i < 120; ++i) // found and missing names side by side
            paths.append(root + QLatin1Char('/') + QLatin1String(folder) +
                         QStringLiteral("/clip%1.mov").arg(i % 2 == 0 ? i / 2 : 1000 + i));
    }
    paths.append({root + QStringLiteral("/"), QStringLiteral("relative/clip.mov"), QStringLiteral("/")});
    const RelativeCandidates candidates{{paths[130], {present[3]}}, {paths[131], {paths[133]}}};
    const auto checker = std::make_shared<FileStatusChecker>();
    FileStatusScan scan(checker);
    for (const bool ignoreExtension : {false, true}) {
        FileStatusChecking::Options options;
        options.ignoreFileExtension = ignoreExtension;
        const QList<FileStatusResult> results = scan.checkAllInOrder(paths, candidates, options);
        ASSERT_EQ(results.size(), paths.size());
        for (qsizetype i = 0; i < paths.size(); ++i)
            EXPECT_EQ(results[i], checker->makeFileStatusResult(paths[i], candidates, options))
                << qPrintable(paths[i]);
        EXPECT_EQ(results[130].status, MediaFileStatus::matching); // a gone folder's path found elsewhere
    }
    QFile::setPermissions(root + QStringLiteral("/locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QStringList gone;
    for (int i = 0; i < 4000; ++i)
        gone.append(root + QStringLiteral("/gone/clip%1.mov").arg(i));
    auto probe = std::make_shared<test::CountingStatProbe>();
    FileStatusScan counted(std::make_shared<FileStatusChecker>(probe));
    for (const FileStatusResult& r : counted.checkAllInOrder(gone, {}, {}))
        ASSERT_EQ(r.status, MediaFileStatus::offline);
    EXPECT_LE(probe->calls(), 1000); // a stat of one path and of the folder per job of ten
}
