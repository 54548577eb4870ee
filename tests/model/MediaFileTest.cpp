#include "model/MediaFile.h"

#include <QSet>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace tarnwick;

namespace {

MediaFile sample() {
    MediaFile f;
    f.path = QStringLiteral("/Volumes/Media/Caf\u00e9/a.mov");
    f.size = 1200;
    f.usageCount = 2;
    f.usageType = MediaUsageType::videoAndAudio;
    f.status = MediaFileStatus::online;
    f.projectNames = {QStringLiteral("P1")};
    f.matchedPath = QStringLiteral("/Volumes/Other/a.mov");
    return f;
}

MediaFile at(const QString& path, StorageType storage = StorageType::local) {
    MediaFile f;
    f.path = path;
    f.storageType = storage;
    return f;
}

} // namespace

TEST(MediaFile, CopyWithNewIdIsEqualAndHashesAlike) {
    const MediaFile a = sample();
    MediaFile b = a;
    b.id = QUuid::createUuid();
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    b.needsReview = true;
    EXPECT_NE(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
}

TEST(MediaFile, EveryFieldButIdTakesPartInEquality) {
    const MediaFile base = sample();
    const std::vector<std::function<void(MediaFile&)>> changes = {
        [](MediaFile& f) { f.path += "x"; },
        [](MediaFile& f) { f.size += 1; },
        [](MediaFile& f) { f.usageCount += 1; },
        [](MediaFile& f) { f.usageType = MediaUsageType::audioOnly; },
        [](MediaFile& f) { f.status = MediaFileStatus::offline; },
        [](MediaFile& f) { f.storageType = StorageType::network; },
        [](MediaFile& f) { f.lastKnownPath = "/x"; },
        [](MediaFile& f) { f.projectNames.append("P2"); },
        [](MediaFile& f) { f.sequenceNames = {"S"}; },
        [](MediaFile& f) { f.hasUnattributedSequenceUsage = true; },
        [](MediaFile& f) { f.matchedPath.reset(); },
        [](MediaFile& f) { f.movedToPath = QString(); }, // present-but-empty differs from absent
        [](MediaFile& f) { f.alternativePaths = {"/y"}; },
        [](MediaFile& f) { f.duplicateOfPath = "/d"; },
        [](MediaFile& f) { f.similarFiles = {"/s"}; },
        [](MediaFile& f) { f.fileHash = "abc"; },
        [](MediaFile& f) { f.transcodedPath = "/t"; },
        [](MediaFile& f) { f.transcodedSize = 0; },
        [](MediaFile& f) { f.linkedAEProjects = {"/p.aep"}; },
        [](MediaFile& f) { f.isAEFootage = true; },
        [](MediaFile& f) { f.hasUnresolvedAELink = true; },
        [](MediaFile& f) { f.isFromDaVinciCSV = true; },
        [](MediaFile& f) { f.needsReview = true; },
        [](MediaFile& f) { f.proxyPath = "/proxy.mov"; },
        [](MediaFile& f) { f.characterAnimatorProject = "/Scene/Scene.chproj"; },
        [](MediaFile& f) { f.isProtected = true; },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        MediaFile changed = base;
        changes[i](changed);
        EXPECT_NE(base, changed) << "change #" << i;
    }
}

TEST(MediaFile, TextsCompareByCanonicalEquivalence) {
    const MediaFile a = sample();
    MediaFile b = a;
    b.path = QStringLiteral("/Volumes/Media/Cafe\u0301/a.mov");
    b.projectNames = {QStringLiteral("P1")};
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    QSet<MediaFile> set{a};
    EXPECT_TRUE(set.contains(b));
}

TEST(MediaFile, DiskAndOfflineStates) {
    for (MediaFileStatus s :
         {MediaFileStatus::online, MediaFileStatus::matching, MediaFileStatus::transcoded}) {
        MediaFile f;
        f.status = s;
        EXPECT_TRUE(f.isOnDisk()) << text(s).toStdString();
        EXPECT_FALSE(f.isOffline());
    }
    for (MediaFileStatus s :
         {MediaFileStatus::checking, MediaFileStatus::offline, MediaFileStatus::networkOffline,
          MediaFileStatus::needsAccess, MediaFileStatus::inRecycleBin, MediaFileStatus::deleted,
          MediaFileStatus::moved, MediaFileStatus::error}) {
        MediaFile f;
        f.status = s;
        EXPECT_FALSE(f.isOnDisk()) << text(s).toStdString();
    }
    MediaFile offline;
    offline.status = MediaFileStatus::networkOffline;
    EXPECT_TRUE(offline.isOffline());
    offline.matchedPath = "/found/a.mov";
    EXPECT_FALSE(offline.isOffline());
}

TEST(MediaFile, NamesAreListedInScalarOrder) {
    MediaFile f;
    EXPECT_EQ(f.projectNamesText(), QString());
    f.projectNames = {"b", "B", "a"};
    EXPECT_EQ(f.projectNamesText(), "B, a, b");
    f.sequenceNames = {"\u00e9", "z", "Z"};
    EXPECT_EQ(f.sequenceNamesText(), "Z, z, \u00e9");
    EXPECT_EQ(at("/a/b/clip.mov/").fileName(), "clip.mov");
}

TEST(MediaFile, DisplayPathFollowsTheLocationRules) {
    struct Row {
        QString path;
        StorageType storage;
        QString label;
    };
    const Row rows[] = {
        {"/Volumes/Media RAID/Clips/a.mov", StorageType::local, "Media RAID"},
        {"/Volumes/Solo", StorageType::local, "Solo"},
        {"/Volumes/", StorageType::local, ""},
        {"/Users/ana/Movies/x/a.mov", StorageType::local, "Movies"},
        {"/Users/ana/movies/a.mov", StorageType::local, "Macintosh HD"},
        {"/Users/ana", StorageType::local, "Macintosh HD"},
        {"/Users/ana/Developer/a.mov", StorageType::local, "Developer"},
        {"/Users/ana/Videos/a.mov", StorageType::local, "Macintosh HD"},
        {"c:\\Users\\ana\\Videos\\a.mov", StorageType::local, "C: Videos"},
        {"D:\\Footage\\a.mov", StorageType::local, "D: Drive"},
        {"e:/users/ana/DOCUMENTS/a.mov", StorageType::local, "E: Documents"},
        {"C:\\Users\\ana\\Movies\\a.mov", StorageType::local, "C: Drive"},
        {"//nas/share/a.mov", StorageType::local, "nas"},
        {"//nas", StorageType::local, "Network"},
        {"///a.mov", StorageType::local, "Network"},
        {"clips/a.mov", StorageType::local, "Local"},
        {"clips/a.mov", StorageType::network, "Network"},
        {"clips/a.mov", StorageType::unknown, "Unknown"},
        {"/Volumes/X/a.mov", StorageType::dropbox, "Dropbox"},
        {"/home/ana/a.mov", StorageType::iCloud, "iCloud"},
        {"a.mov", StorageType::oneDrive, "OneDrive"},
        {"a.mov", StorageType::googleDrive, "Google Drive"},
        // Linux locations
        {"/media/ana/CARD 01/DCIM/a.mov", StorageType::local, "CARD 01"},
        {"/run/media/ana/Backup/a.mov", StorageType::local, "Backup"},
        {"/mnt/raid/a.mov", StorageType::local, "raid"},
        {"/home/ana/Videos/x/a.mov", StorageType::local, "Videos"},
        {"/home/ana/Movies/a.mov", StorageType::local, "Movies"},
        {"/home/ana/videos/a.mov", StorageType::local, "Computer"},
        {"/home/ana", StorageType::local, "Computer"},
        {"/tmp/a.mov", StorageType::local, "Computer"},
        {"/media/ana", StorageType::local, "Computer"},
        {"/private/var/a.mov", StorageType::local, "Macintosh HD"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(at(row.path, row.storage).displayPath(), row.label) << row.path.toStdString();
}

TEST(MediaFile, RedClipFolderOnlyForR3dInsideRdc) {
    MediaFile f = at("/Volumes/Card/A001.RDC/A001_001.R3D");
    EXPECT_EQ(f.redClipFolder(), QStringLiteral("/Volumes/Card/A001.RDC"));
    EXPECT_EQ(at("/Volumes/Card/A001/A001_001.R3D").redClipFolder(), std::nullopt);
    EXPECT_EQ(at("/Volumes/Card/A001.RDC/A001_001.mov").redClipFolder(), std::nullopt);
    EXPECT_EQ(at("/Volumes/Card/a001.rdc/a.r3d").redClipFolder(), QStringLiteral("/Volumes/Card/a001.rdc"));
    f.matchedPath = "/Volumes/New/B.RDC/A001_001.R3D";
    EXPECT_EQ(f.redClipFolder(), QStringLiteral("/Volumes/New/B.RDC"));
    f.matchedPath = "/Volumes/New/Plain/A001_001.R3D";
    EXPECT_EQ(f.redClipFolder(), std::nullopt);
}

// Records made on several threads at once get version 4 identifiers that never repeat.
TEST(FreshId, GivesDistinctVersionFourIdentifiersOnEveryThread) {
    constexpr int perThread = 20000;
    std::vector<std::vector<QUuid>> made(4);
    std::vector<std::thread> threads;
    for (auto& ids : made)
        threads.emplace_back([&ids] {
            for (int i = 0; i < perThread; ++i)
                ids.push_back(MediaFile().id);
        });
    for (std::thread& t : threads)
        t.join();
    QSet<QUuid> all;
    for (const auto& ids : made) {
        for (const QUuid& id : ids) {
            EXPECT_EQ(id.version(), QUuid::Random);
            EXPECT_EQ(id.variant(), QUuid::DCE);
            all.insert(id);
        }
    }
    EXPECT_EQ(all.size(), 4 * perThread);
}
