#include "stores/SecurityScopedAccess.h"

#include "stores/StoreTestSupport.h"
#include "support/FakeAccessGrantBackend.h"

#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace tarnwick {
namespace {

using testing::LogCapture;
using testing::readJson;
using testing::writeBytes;

struct SecurityScopedAccessTest : ::testing::Test {
    QTemporaryDir store;
    QTemporaryDir disk;
    std::shared_ptr<FakeAccessGrantBackend> backend = std::make_shared<FakeAccessGrantBackend>();

    QString filePath() const { return store.filePath(QStringLiteral("granted_bookmarks.json")); }
    QString folder(const QString& relative) const {
        QDir(disk.path()).mkpath(relative);
        return QFileInfo(disk.filePath(relative)).canonicalFilePath();
    }
    QString touch(const QString& relative) const {
        const QString path = disk.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        testing::writeBytes(path, "x");
        return QFileInfo(path).canonicalFilePath();
    }
    std::unique_ptr<SecurityScopedAccess> make(bool sandboxed) const {
        return std::make_unique<SecurityScopedAccess>(store.path(), backend, sandboxed);
    }
};

TEST_F(SecurityScopedAccessTest, OutsideTheSandboxAFailedBookmarkStillGrantsButStoresNothing) {
    const QString media = folder("Media");
    backend->bookmarkFails.insert(media);
    auto access = make(false);
    LogCapture log;
    EXPECT_TRUE(access->grant(QUrl::fromLocalFile(media)));
    EXPECT_TRUE(access->bookmarkedPaths().isEmpty());
    EXPECT_FALSE(QFile::exists(filePath()));
    EXPECT_EQ(backend->stopped, QStringList{media});
    EXPECT_EQ(log.messages(AppLog::Level::info),
              QStringList{"Bookmark not created for " + media +
                          " (sandboxed=false): The file couldn't be opened."});
}

struct SandboxFailure {
    const char* name;
    void (*arrange)(FakeAccessGrantBackend&, const QString&);
    const char* errorPrefix; // nullptr: logged at info level
    bool stopsAccess;
};

class SandboxedGrantFailure : public SecurityScopedAccessTest,
                              public ::testing::WithParamInterface<SandboxFailure> {};

TEST_P(SandboxedGrantFailure, ReturnsFalseLogsAndWritesNothing) {
    const QString media = folder("Media");
    GetParam().arrange(*backend, media);
    auto access = make(true);
    LogCapture log;
    EXPECT_FALSE(access->grant(QUrl::fromLocalFile(media)));
    EXPECT_FALSE(QFile::exists(filePath()));
    EXPECT_TRUE(access->bookmarkedPaths().isEmpty());
    EXPECT_TRUE(access->sessionPaths().isEmpty());
    EXPECT_EQ(backend->stopped.size(), GetParam().stopsAccess ? 1 : 0);
    if (GetParam().errorPrefix)
        EXPECT_EQ(log.messages(AppLog::Level::error), QStringList{GetParam().errorPrefix + media});
    else
        EXPECT_EQ(log.messages(AppLog::Level::info),
                  QStringList{"Bookmark not created for " + media +
                              " (sandboxed=true): The file couldn't be opened."});
    EXPECT_FALSE(access->ensureAccess(media + "/a.mov").has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Branches, SandboxedGrantFailure,
    ::testing::Values(
        SandboxFailure{"StartDenied",
                       [](FakeAccessGrantBackend& b, const QString& p) { b.deniedStart.insert(p); },
                       "Security-scoped access was denied for ", false},
        SandboxFailure{"BookmarkFails",
                       [](FakeAccessGrantBackend& b, const QString& p) { b.bookmarkFails.insert(p); },
                       nullptr, true},
        SandboxFailure{"Unreadable",
                       [](FakeAccessGrantBackend& b, const QString& p) { b.unreadable.insert(p); },
                       "Granted item is not readable: ", true},
        SandboxFailure{"Missing", [](FakeAccessGrantBackend& b, const QString& p) { b.missing.insert(p); },
                       "Granted item is not readable: ", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SecurityScopedAccessTest, SandboxedGrantStoresTheBookmarkAndLogsIt) {
    const QString media = folder("Media");
    auto access = make(true);
    LogCapture log;
    EXPECT_TRUE(access->grant(QUrl::fromLocalFile(media)));
    EXPECT_EQ(log.messages(AppLog::Level::info),
              QStringList{"Grant for " + media + ": held=true, readable=true"});
    access->flush();
    const QJsonObject object = readJson(filePath()).object();
    EXPECT_EQ(object.keys(), QStringList{media});
    EXPECT_EQ(QByteArray::fromBase64(object.value(media).toString().toLatin1()),
              FakeAccessGrantBackend::dataFor(media));
    EXPECT_TRUE(testing::readBytes(filePath()).contains(QString(media).replace("/", "\\/").toUtf8()));
    EXPECT_EQ(access->sessionPaths(), access->bookmarkedPaths());
}

TEST_F(SecurityScopedAccessTest, GrantingAListReturnsTheFailuresInOrder) {
    const QUrl a = QUrl::fromLocalFile(folder("A"));
    const QUrl b = QUrl::fromLocalFile(folder("B"));
    const QUrl c = QUrl::fromLocalFile(folder("C"));
    backend->deniedStart = {a.toLocalFile(), c.toLocalFile()};
    auto access = make(true);
    LogCapture quiet;
    EXPECT_EQ(access->grant(QList<QUrl>{a, b, c}), (QList<QUrl>{a, c}));
    EXPECT_EQ(access->bookmarkedPaths(), QStringList{b.toLocalFile()});
}

// Counts the saves of the grants file and the threads they ran on; the first save can be held.
struct SaveWatch {
    std::mutex mutex;
    std::condition_variable released;
    bool holdFirst = false;
    bool held = false;
    bool open = false;
    int saves = 0;
    QSet<QThread*> threads;

    SaveWatch() {
        StoreFile::setSaveFaultForTesting([this](StoreFile::SaveStep step) {
            if (step != StoreFile::SaveStep::rename)
                return 0;
            std::unique_lock lock(mutex);
            ++saves;
            threads.insert(QThread::currentThread());
            if (holdFirst && saves == 1) {
                held = true;
                released.notify_all();
                released.wait(lock, [this] { return open; });
            }
            return 0;
        });
    }
    ~SaveWatch() { StoreFile::setSaveFaultForTesting({}); }
    void waitUntilHeld() {
        std::unique_lock lock(mutex);
        released.wait(lock, [this] { return held; });
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        released.notify_all();
    }
};

TEST_F(SecurityScopedAccessTest, GrantsAreSavedOffTheCallersThreadOncePerBatchAndCoalesced) {
    QList<QUrl> batch;
    QStringList keys;
    for (int i = 0; i < 40; ++i) {
        keys.append(touch(QStringLiteral("Projects/p%1.prproj").arg(i, 2, 10, QLatin1Char('0'))));
        batch.append(QUrl::fromLocalFile(keys.last()));
    }
    auto access = make(false);
    LogCapture quiet;
    SaveWatch watch;
    watch.holdFirst = true;
    EXPECT_TRUE(access->grant(batch).isEmpty());
    EXPECT_EQ(access->bookmarkedPaths(), keys); // in memory at once
    // While that save is held, single grants pile up into one more save.
    watch.waitUntilHeld();
    const QString x = folder("X");
    const QString y = folder("Y");
    EXPECT_TRUE(access->grant(QUrl::fromLocalFile(x)));
    EXPECT_TRUE(access->grant(QUrl::fromLocalFile(y)));
    watch.release();
    access->flush();
    EXPECT_EQ(watch.saves, 2);
    EXPECT_FALSE(watch.threads.contains(QThread::currentThread()));
    EXPECT_EQ(readJson(filePath()).object().keys(), (keys + QStringList{x, y}));
}

TEST_F(SecurityScopedAccessTest, GrantsMadeRightBeforeTheStoreEndsAreOnDisk) {
    QList<QUrl> batch;
    QStringList keys;
    for (int i = 0; i < 5; ++i) {
        keys.append(folder(QStringLiteral("Drive%1").arg(i)));
        batch.append(QUrl::fromLocalFile(keys.last()));
    }
    LogCapture quiet;
    make(false)->grant(batch);
    EXPECT_EQ(readJson(filePath()).object().keys(), keys);
    EXPECT_EQ(make(false)->bookmarkedPaths(), keys);
}

TEST_F(SecurityScopedAccessTest, RegrantingThroughAnotherURLStopsTheOlderOne) {
    const QString media = folder("Media");
    const QString link = disk.filePath("Link");
    ASSERT_TRUE(QFile::link(media, link));
    auto access = make(false);
    LogCapture quiet;
    ASSERT_TRUE(access->grant(QUrl::fromLocalFile(link)));
    ASSERT_TRUE(access->grant(QUrl::fromLocalFile(media)));
    EXPECT_EQ(access->bookmarkedPaths(), QStringList{media}); // one key: links resolved
    EXPECT_EQ(backend->stopped, QStringList{link});
    EXPECT_EQ(access->ensureAccess(media + "/x.mov"), QUrl::fromLocalFile(media + "/x.mov"));
}

TEST_F(SecurityScopedAccessTest, GrantedRootPicksTheLongestCoveringRootIgnoringCase) {
    auto access = make(false);
    LogCapture quiet;
    ASSERT_TRUE(access->grant(QUrl::fromLocalFile("/Volumes/Media")));
    ASSERT_TRUE(access->grant(QUrl::fromLocalFile("/Volumes/Media/Project")));
    const struct {
        const char* path;
        std::optional<QString> root;
    } cases[] = {
        {"/Volumes/Media/Project/Day 1/a.mov", QString("/Volumes/Media/Project")},
        {"/Volumes/Media/b.mov", QString("/Volumes/Media")},
        {"/Volumes/MediaX/a.mov", std::nullopt},
        {"/volumes/media/a.mov", QString("/Volumes/Media")},
        {"/Volumes/Media", QString("/Volumes/Media")},
        {"/Volumes/Media/Project/../c.mov", QString("/Volumes/Media")},
        {"/Volumes", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(access->grantedRoot(QString::fromUtf8(c.path)), c.root) << c.path;
}

TEST_F(SecurityScopedAccessTest, SandboxedRootsAreOnlyThoseStartedInThisRun) {
    const QString media = folder("Media");
    writeBytes(filePath(),
               "{\"" + media.toUtf8() + "\":\"" + FakeAccessGrantBackend::dataFor(media).toBase64() + "\"}");
    auto access = make(true);
    EXPECT_EQ(access->bookmarkedPaths(), QStringList{media});
    EXPECT_FALSE(access->grantedRoot(media + "/a.mov").has_value());
    LogCapture quiet;
    access->restoreGrants();
    EXPECT_EQ(access->grantedRoot(media + "/a.mov"), media);
}

TEST_F(SecurityScopedAccessTest, EnsureAccessAppendsTheRestToTheSessionURL) {
    const QString media = folder("Media");
    auto access = make(false);
    LogCapture quiet;
    ASSERT_TRUE(access->grant(QUrl::fromLocalFile(media)));
    EXPECT_EQ(access->ensureAccess(media + "/Day 1/Cam A/clip.mov"),
              QUrl::fromLocalFile(media + "/Day 1/Cam A/clip.mov"));
    EXPECT_EQ(access->ensureAccess(media), QUrl::fromLocalFile(media));
    EXPECT_EQ(access->ensureAccess(media + "//Day 1/./clip.mov"),
              QUrl::fromLocalFile(media + "/Day 1/clip.mov"));
    EXPECT_FALSE(access->ensureAccess(disk.path() + "/Other/clip.mov").has_value());

    ASSERT_TRUE(access->grant(QUrl::fromLocalFile("/")));
    EXPECT_EQ(access->grantedRoot("/srv/x.mov"), "/");
    EXPECT_EQ(access->ensureAccess("/srv/x.mov"), QUrl::fromLocalFile("/srv/x.mov"));

    access->flush();
    auto relaunched = make(false); // bookmarks stored, access not started yet
    EXPECT_EQ(relaunched->grantedRoot(media + "/a.mov"), media);
    EXPECT_FALSE(relaunched->ensureAccess(media + "/a.mov").has_value());
}

// Names differing only in letter case are different files here: rewriting into the granted
// root would hand a transcode another file to replace.
TEST_F(SecurityScopedAccessTest, EnsureAccessRewritesCaseVariantsOnlyForTheSameFile) {
    const QString root = folder("Media");
    touch("Media/clip.mov");
    const QString otherFolder = folder("media");
    touch("media/clip.mov");
    ASSERT_NE(root, otherFolder);
    auto access = make(false);
    LogCapture quiet;
    ASSERT_TRUE(access->grant(QUrl::fromLocalFile(root)));

    EXPECT_EQ(access->grantedRoot(otherFolder + "/clip.mov"), root); // still covered
    EXPECT_FALSE(access->ensureAccess(otherFolder + "/clip.mov").has_value());
    EXPECT_FALSE(access->ensureAccess(otherFolder).has_value());
    EXPECT_FALSE(access->ensureAccess(otherFolder + "/absent.mov").has_value());

    // A case variant that reaches the same file on disk is rewritten.
    const QString alias = disk.filePath("MEDIA");
    ASSERT_TRUE(QFile::link(root, alias));
    EXPECT_EQ(access->ensureAccess(alias + "/clip.mov"), QUrl::fromLocalFile(root + "/clip.mov"));
    EXPECT_EQ(access->ensureAccess(alias), QUrl::fromLocalFile(root));
}

TEST_F(SecurityScopedAccessTest, RestoreDropsUnresolvableRefreshesStaleAndCounts) {
    const QString good = folder("Good");
    const QString stale = folder("Stale");
    writeBytes(filePath(), "{\"" + good.toUtf8() + "\":\"" +
                               FakeAccessGrantBackend::dataFor(good).toBase64() + "\",\"" + stale.toUtf8() +
                               "\":\"" + FakeAccessGrantBackend::dataFor(stale).toBase64() +
                               "\",\"\\/gone\":\"" + QByteArray("garbage").toBase64() + "\"}");
    backend->stale.insert(stale);
    auto access = make(false);
    LogCapture log;
    access->restoreGrants();
    EXPECT_EQ(log.messages(AppLog::Level::error),
              QStringList{"Could not resolve bookmark for /gone; dropping"});
    EXPECT_EQ(log.messages(AppLog::Level::info), QStringList{"Restored 2/3 security-scoped grant(s)"});
    EXPECT_EQ(backend->bookmarksCreated, 1); // the stale one, refreshed
    access->flush();
    EXPECT_EQ(readJson(filePath()).object().keys(), (QStringList{good, stale}));
    EXPECT_EQ(access->sessionPaths(), (QStringList{good, stale}));
}

TEST_F(SecurityScopedAccessTest, SandboxedRestoreKeepsBookmarksItCannotUseNow) {
    const QString denied = folder("Denied");
    const QString unreadable = folder("Unreadable");
    const QString offline = "/mnt/unmounted-drive";
    QByteArray json = "{";
    for (const QString& key : {denied, unreadable, offline})
        json += "\"" + key.toUtf8() + "\":\"" + FakeAccessGrantBackend::dataFor(key).toBase64() + "\",";
    json.chop(1);
    writeBytes(filePath(), json + "}");
    backend->deniedStart.insert(denied);
    backend->unreadable.insert(unreadable);
    auto access = make(true);
    LogCapture log;
    access->restoreGrants();
    QStringList errors = log.messages(AppLog::Level::error);
    errors.sort();
    // Sorted alike: the temporary folder's path may sort before the offline one or after it.
    QStringList expected{"Restored grant is not currently readable for " + offline,
                         "Restored grant is not currently readable for " + unreadable,
                         "startAccessingSecurityScopedResource denied for " + denied};
    expected.sort();
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(log.messages(AppLog::Level::info), QStringList{"Restored 0/3 security-scoped grant(s)"});
    EXPECT_EQ(backend->stopped.size(), 2);
    EXPECT_EQ(access->bookmarkedPaths().size(), 3);
    EXPECT_TRUE(access->sessionPaths().isEmpty());
}

TEST_F(SecurityScopedAccessTest, UndecodableFileMeansNoGrantsAndIsKept) {
    for (const QByteArray& contents : {QByteArray(R"({"\/a":"not base64!"})"), QByteArray(R"({"\/a":1})"),
                                       QByteArray(R"(["\/a"])"), QByteArray("{")}) {
        QTemporaryDir dir;
        writeBytes(dir.filePath("granted_bookmarks.json"), contents);
        SecurityScopedAccess access(dir.path(), backend, false);
        EXPECT_TRUE(access.bookmarkedPaths().isEmpty()) << contents.constData();
        EXPECT_TRUE(access.fileWasDamaged());
        LogCapture quiet;
        ASSERT_TRUE(access.grant(QUrl::fromLocalFile("/srv/a")));
        access.flush();
        EXPECT_EQ(testing::movedAside(dir.path(), "granted_bookmarks.json").size(), 1);
    }
}

} // namespace
} // namespace tarnwick
