#include "analysis/MediaRescanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tarnwick;
using ::testing::ElementsAre;

namespace {

MediaFile entry(const QString& path, MediaFileStatus status) {
    MediaFile f = newMediaEntry(path);
    f.status = status;
    f.size = 5;
    f.usageCount = 9;
    f.usageType = MediaUsageType::videoAndAudio;
    f.projectNames = {"Old"};
    return f;
}

FileStatusResult result(const QString& path, MediaFileStatus status, const QString& resolved, qint64 size,
                        StorageType storage = StorageType::local) {
    return {path, status, resolved, size, storage};
}

} // namespace

TEST(MediaRescanner, CleanUpStatesStayWhileDiskFactsRefresh) {
    const MediaFileStatus kept[] = {MediaFileStatus::deleted, MediaFileStatus::moved, MediaFileStatus::inRecycleBin};
    for (MediaFileStatus status : kept) {
        SCOPED_TRACE(text(status).toStdString());
        MediaFile f = entry("/m/a.mov", status);
        MediaRescanner::applyStatus(f, result(f.path, MediaFileStatus::matching, "/n/a.mov", 42, StorageType::network));
        EXPECT_EQ(f.status, status);
        EXPECT_EQ(f.matchedPath, QString("/n/a.mov"));
        EXPECT_EQ(f.size, 42);
        EXPECT_EQ(f.storageType, StorageType::network);
    }
    MediaFile found = entry("/m/a.mov", MediaFileStatus::matching);
    found.matchedPath = QStringLiteral("/n/a.mov");
    MediaRescanner::applyStatus(found, result(found.path, MediaFileStatus::online, found.path, 7));
    EXPECT_EQ(found.status, MediaFileStatus::online);
    EXPECT_FALSE(found.matchedPath.has_value());
}

TEST(MediaRescanner, UsageComesFromProjectsOrStaysWhenNoProjectListsThePath) {
    UsageMap usage;
    usage.add("/m/used.mov", "P", {2, true, {"B", "A"}});
    usage.add("/m/ae.mov", "P", {0, false, {}});
    MediaFile used = entry("/m/used.mov", MediaFileStatus::online);
    MediaFile ae = entry("/m/ae.mov", MediaFileStatus::online);
    ae.isAEFootage = true;
    MediaFile orphan = entry("/m/orphan.mov", MediaFileStatus::online);
    QList<MediaFile> list = {used, ae, orphan};
    MediaRescanner::apply(list, {}, usage);
    EXPECT_EQ(list[0].usageType, MediaUsageType::audioOnly);
    EXPECT_THAT(list[0].sequenceNames, ElementsAre("A", "B"));
    EXPECT_EQ(list[1].usageType, MediaUsageType::usedInAfterEffects);
    EXPECT_EQ(list[1].usageCount, 0);
    EXPECT_EQ(list[2].usageCount, 9);
    EXPECT_THAT(list[2].projectNames, ElementsAre("Old"));
}

TEST(MediaRescanner, AppliesResultsByEntryEvenAfterTheListChanged) {
    MediaFile a = entry("/m/a.mov", MediaFileStatus::offline);
    MediaFile b = entry("/m/b.mov", MediaFileStatus::online);
    QHash<QUuid, FileStatusResult> results;
    for (const auto& check : MediaRescanner::checksFor({a, b}))
        results.insert(check.id, result(check.path, MediaFileStatus::online, check.path, 100));
    results[b.id].status = MediaFileStatus::offline;
    results[b.id].size = 0;

    // Meanwhile the list was reordered and gained an entry the checks never saw.
    const MediaFile added = entry("/m/new.mov", MediaFileStatus::checking);
    QList<MediaFile> list = {b, added, a};
    EXPECT_EQ(MediaRescanner::apply(list, results, {}), 2);
    EXPECT_EQ(list[0].status, MediaFileStatus::offline);
    EXPECT_EQ(list[1].status, MediaFileStatus::checking);
    EXPECT_EQ(list[2].status, MediaFileStatus::online);
    EXPECT_EQ(list[2].size, 100);
}
