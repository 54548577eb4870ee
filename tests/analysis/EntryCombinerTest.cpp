#include "analysis/EntryCombiner.h"

#include "support/ImportTestHarness.h"
#include "support/ProjectManagerHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tarnwick;
using ::testing::ElementsAre;

namespace {

MediaFile entry(const QString& path, int usage = 0) {
    MediaFile f;
    f.path = path;
    f.usageCount = usage;
    f.status = MediaFileStatus::online;
    return f;
}

// A merge that records what it merged, standing in for the consolidation's rule.
EntryCombiner recordingCombiner(QStringList& merged) {
    return EntryCombiner([&merged](const MediaFile& source, MediaFile& target) {
        merged.append(source.path);
        target.usageCount += source.usageCount;
        target.alternativePaths.append(source.path);
    });
}

QStringList paths(const QList<MediaFile>& list) {
    QStringList out;
    for (const MediaFile& f : list)
        out << f.path;
    return out;
}

} // namespace

TEST(EntryCombiner, MergesIntoTheTargetAndDropsTheOthersFromListAndBin) {
    QList<MediaFile> media = {entry("/a/x.mov", 1), entry("/b/y.mov", 2), entry("/c/z.mov", 4),
                              entry("/d/w.mov", 8)};
    QList<RecycleBinItem> bin = {{QUuid::createUuid(), media[2], {}}, {QUuid::createUuid(), media[3], {}}};
    QStringList merged;
    // The table's order: the target first, the others wherever they stand in the list.
    const auto outcome = recordingCombiner(merged).combine({media[1], media[2], media[0]}, media, bin);
    EXPECT_TRUE(outcome.combined);
    EXPECT_EQ(outcome.removedEntries, 2);
    EXPECT_EQ(outcome.removedBinItems, 1);
    EXPECT_THAT(merged, ElementsAre("/c/z.mov", "/a/x.mov"));
    EXPECT_THAT(paths(media), ElementsAre("/b/y.mov", "/d/w.mov"));
    EXPECT_EQ(media[0].usageCount, 7);
    ASSERT_EQ(bin.size(), 1);
    EXPECT_EQ(bin[0].mediaFile.path, "/d/w.mov");
    EXPECT_EQ(EntryCombiner::combinedMessage(3, outcome.targetPath, media), "Combined 3 entries into: y.mov");
}

TEST(EntryCombiner, SelectedEntrySharingTheTargetPathNeverRemovesTheTarget) {
    QList<MediaFile> media = {entry("/a/x.mov", 1), entry("/a/x.mov", 5), entry("/b/y.mov", 2)};
    QList<RecycleBinItem> bin;
    QStringList merged;
    const auto outcome = recordingCombiner(merged).combine({media[0], media[1], media[2]}, media, bin);
    EXPECT_TRUE(outcome.combined);
    EXPECT_THAT(merged, ElementsAre("/b/y.mov"));
    EXPECT_THAT(paths(media), ElementsAre("/a/x.mov", "/a/x.mov"));
    EXPECT_EQ(media[0].usageCount, 3);
    EXPECT_EQ(EntryCombiner::combinedMessage(3, outcome.targetPath, media), "Combined 3 entries into: x.mov");
}

TEST(EntryCombiner, DoesNothingForOneEntryOrAMissingTarget) {
    QList<MediaFile> media = {entry("/a/x.mov"), entry("/b/y.mov")};
    const QList<MediaFile> before = media;
    QList<RecycleBinItem> bin;
    QStringList merged;
    EXPECT_FALSE(recordingCombiner(merged).combine({media[0]}, media, bin).combined);
    EXPECT_FALSE(recordingCombiner(merged).combine({entry("/gone.mov"), media[0]}, media, bin).combined);
    EXPECT_TRUE(merged.isEmpty());
    EXPECT_EQ(media, before);
    EXPECT_EQ(EntryCombiner::combinedMessage(2, "/gone.mov", media), "Combined 2 entries into: unknown");
}

TEST(EntryCombiner, CombineThroughTheManagerMergesRefreshesAndKeepsTheTarget) {
    tarnwick::testing::ImportTestHarness h;
    const QString a = h.makeFile("one/clip.mov", QByteArray(100, 'a'));
    const QString b = h.makeFile("two/clip copy.mov", QByteArray(100, 'a'));
    MediaFile target = tarnwick::testing::media(a, 1, MediaFileStatus::online, 100);
    MediaFile sameAsTarget = tarnwick::testing::media(a, 0, MediaFileStatus::online, 100);
    MediaFile other = tarnwick::testing::media(b, 0, MediaFileStatus::online, 100);
    other.projectNames = {"B"};
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({target, other});
    h.pm().edit(ProjectManager::ListChange::none).setRecycleBin({tarnwick::testing::binItem(other)});

    ASSERT_TRUE(QCoro::waitFor(EntryCombiner::combineEntries(h.pm(), {target, sameAsTarget, other})));
    ASSERT_EQ(h.pm().mediaFiles().size(), 1);
    const MediaFile& merged = h.pm().mediaFiles()[0];
    EXPECT_EQ(merged.path, a);
    EXPECT_EQ(merged.alternativePaths, QStringList{b});
    EXPECT_THAT(merged.projectNames, ElementsAre("B"));
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    EXPECT_EQ(h.pm().summary().totalMediaFiles, 1);
    EXPECT_TRUE(h.logged("Manually combining 3 files: clip.mov, clip.mov, clip copy.mov"));
    EXPECT_TRUE(h.logged("Combined 3 entries into: clip.mov"));
    EXPECT_FALSE(h.pm().isBusy());
}

TEST(EntryCombiner, DuplicateMarksAreWrittenIntoTheCurrentEntries) {
    MediaFile a = tarnwick::testing::media("/m/a.mov", 1);
    MediaFile b = tarnwick::testing::media("/m/b.mov");
    QList<MediaFile> detected = {a, b};
    detected[1].duplicateOfPath = QStringLiteral("/m/a.mov");
    detected[1].fileHash = QStringLiteral("abc");
    detected[0].fileHash = QStringLiteral("abc");
    // Meanwhile b was moved to the Trash and a new entry arrived: those states stay.
    b.status = MediaFileStatus::deleted;
    QList<MediaFile> current = {tarnwick::testing::media("/m/new.mov"), b, a};
    EXPECT_EQ(EntryCombiner::applyDuplicateMarks(current, detected), 2);
    EXPECT_EQ(current[1].status, MediaFileStatus::deleted);
    EXPECT_EQ(current[1].duplicateOfPath, QString("/m/a.mov"));
    EXPECT_EQ(current[2].fileHash, QString("abc"));
    EXPECT_FALSE(current[0].fileHash.has_value());
}
