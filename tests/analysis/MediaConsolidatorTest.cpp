#include "analysis/MediaConsolidator.h"

#include "support/DiskFactsFakeProbe.h"
#include "support/DiskFactsLogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;

namespace {

QString writeFile(const QString& path, qint64 size, char fill = 'c') {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(size, fill));
    return path;
}

MediaFile entry(const QString& path, qint64 size, MediaFileStatus status = MediaFileStatus::online) {
    MediaFile file;
    file.path = path;
    file.size = size;
    file.status = status;
    file.usageCount = 1;
    file.projectNames = {QStringLiteral("P-") + path};
    return file;
}

} // namespace

TEST(MediaConsolidator, MergesCopiesWhoseFileAndFolderNamesAgree) {
    QTemporaryDir dir;
    const QString a = writeFile(dir.filePath(QStringLiteral("A/Day1/clip.mov")), 100);
    const QString b = writeFile(dir.filePath(QStringLiteral("B/Day1/clip.mov")), 100);
    const MediaConsolidator consolidator;
    test::DiskFactsLogCapture log;
    const QList<MediaFile> out =
        consolidator.consolidateCrossProjectDuplicates({entry(a, 100), entry(b, 100)});
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].path, a);
    EXPECT_EQ(out[0].alternativePaths, QStringList{b});
    EXPECT_EQ(out[0].usageCount, 2);
    EXPECT_EQ(out[0].projectNames, (QStringList{QStringLiteral("P-") + a, QStringLiteral("P-") + b}));
    EXPECT_TRUE(log.contains(QStringLiteral("Consolidating cross-project duplicate entries among 2 files")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("Consolidated: clip.mov — merged ") + b + QStringLiteral(" into ") + a));
    EXPECT_TRUE(log.contains(QStringLiteral("Consolidated 1 cross-project duplicate(s)")));
}

TEST(MediaConsolidator, KeepsApartWhatThePathAndSizeRuleRejects) {
    QTemporaryDir dir;
    const MediaConsolidator consolidator;
    struct Case {
        const char* a;
        qint64 sizeA;
        const char* b;
        qint64 sizeB;
    };
    const QList<Case> cases = {
        {"A/Day1/clip.mov", 100, "B/Day1/clip.mov", 101}, // sizes differ
        {"A/Day1/x.mov", 100, "B/Day2/x.mov", 100},       // only the file name agrees
    };
    for (const Case& c : cases) {
        const QString a = writeFile(dir.filePath(QString::fromLatin1(c.a)), c.sizeA);
        const QString b = writeFile(dir.filePath(QString::fromLatin1(c.b)), c.sizeB);
        EXPECT_EQ(
            consolidator.consolidateCrossProjectDuplicates({entry(a, c.sizeA), entry(b, c.sizeB)}).size(), 2)
            << c.a;
    }
    // Neither on disk: never compared. A missing file of size 0: never merged.
    const QList<MediaFile> offline = {entry(QStringLiteral("/x/Day1/c.mov"), 5, MediaFileStatus::offline),
                                      entry(QStringLiteral("/y/Day1/c.mov"), 5, MediaFileStatus::offline)};
    EXPECT_EQ(consolidator.consolidateCrossProjectDuplicates(offline).size(), 2);
    const QString present = writeFile(dir.filePath(QStringLiteral("C/Day1/d.mov")), 5);
    EXPECT_EQ(
        consolidator
            .consolidateCrossProjectDuplicates(
                {entry(QStringLiteral("/gone/Day1/d.mov"), 0, MediaFileStatus::offline), entry(present, 5)})
            .size(),
        2);
}

TEST(MediaConsolidator, EntryNotOnDiskThatComesFirstTakesTheOthersStatus) {
    QTemporaryDir dir;
    const QString present = writeFile(dir.filePath(QStringLiteral("new/Day1/clip.mov")), 70);
    MediaFile missing = entry(QStringLiteral("/old/Day1/clip.mov"), 70, MediaFileStatus::offline);
    const QList<MediaFile> out =
        MediaConsolidator().consolidateCrossProjectDuplicates({missing, entry(present, 70)});
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].path, QStringLiteral("/old/Day1/clip.mov"));
    EXPECT_EQ(out[0].status, MediaFileStatus::online);
    EXPECT_EQ(out[0].matchedPath, present);
}

// A link under another name is the very file another entry names: trashing "the unused one"
// would destroy the used clip.
TEST(MediaConsolidator, MergesSymbolicAndHardLinksUnderOtherNames) {
    QTemporaryDir dir;
    const QString clip = writeFile(dir.filePath(QStringLiteral("media/A001.mov")), 300);
    const QString hard = dir.filePath(QStringLiteral("export/final.mov"));
    const QString soft = dir.filePath(QStringLiteral("links/shot.mov"));
    QDir().mkpath(dir.filePath(QStringLiteral("export")));
    QDir().mkpath(dir.filePath(QStringLiteral("links")));
    ASSERT_EQ(::link(QFile::encodeName(clip).constData(), QFile::encodeName(hard).constData()), 0);
    ASSERT_TRUE(QFile::link(clip, soft));
    const QString other = writeFile(dir.filePath(QStringLiteral("other/B.mov")), 300);

    MediaFile unused = entry(hard, 300);
    unused.usageCount = 0;
    const QList<MediaFile> out = MediaConsolidator().consolidateCrossProjectDuplicates(
        {unused, entry(other, 300), entry(clip, 300), entry(soft, 300)});
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0].path, hard);
    EXPECT_EQ(out[0].usageCount, 2);
    EXPECT_EQ(out[0].alternativePaths, (QStringList{clip, soft}));
    EXPECT_EQ(out[1].path, other);
    EXPECT_TRUE(MediaConsolidator().isSamePhysicalFile(entry(clip, 1), entry(soft, 2)));
}

TEST(MediaConsolidator, StatsEachEntryAtMostOnce) {
    QTemporaryDir dir;
    QList<MediaFile> files;
    for (int i = 0; i < 30; ++i) {
        const QString folder = QStringLiteral("v%1/Day%2/").arg(i).arg(i % 3);
        files.append(
            entry(writeFile(dir.filePath(folder + QStringLiteral("clip.mov")), 10 + i % 2), 10 + i % 2));
    }
    auto probe = std::make_shared<test::CountingStatProbe>();
    const QList<MediaFile> out = MediaConsolidator(probe).consolidateCrossProjectDuplicates(files);
    EXPECT_LE(probe->calls(), 30);
    EXPECT_EQ(out.size(), 6); // three folder names × two sizes
}

TEST(MediaConsolidator, ComparesWithTheSurvivorAsItIsAtThatMoment) {
    // b matches a only through c's path, which a gains after b was compared.
    MediaFile a = entry(QStringLiteral("/p/X/clip.mov"), 9, MediaFileStatus::offline);
    a.alternativePaths = {QStringLiteral("/q/Y/other.mov")};
    MediaFile b = entry(QStringLiteral("/r/Z/clip.mov"), 9);
    MediaFile c = entry(QStringLiteral("/s/X/clip.mov"), 9);
    c.alternativePaths = {QStringLiteral("/t/Z/clip.mov")};
    const auto out = MediaConsolidator(std::make_shared<test::CountingStatProbe>())
                         .consolidateCrossProjectDuplicates({a, b, c});
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0].path, a.path);
    EXPECT_EQ(out[1].path, b.path);
}

TEST(MediaConsolidator, MergeRuleCombinesFieldByField) {
    MediaFile target = entry(QStringLiteral("/a/Day1/clip.mov"), 0, MediaFileStatus::offline);
    target.usageType = MediaUsageType::audioOnly;
    target.alternativePaths = {QStringLiteral("/z/Day1/CLIP.mov")};
    target.sequenceNames = {QStringLiteral("S1")};
    MediaFile source = entry(QStringLiteral("/A/DAY1/Clip.MOV"), 55);
    source.usageType = MediaUsageType::videoOnly;
    source.alternativePaths = {QStringLiteral("/z/day1/clip.MOV"), QStringLiteral("/n/Day1/clip.mov")};
    source.sequenceNames = {QStringLiteral("S2"), QStringLiteral("S1")};
    source.isProtected = true;
    source.storageType = StorageType::network;
    source.proxyPath = QStringLiteral("/proxy.mov");
    MediaConsolidator::mergeEntry(source, target);
    EXPECT_EQ(target.alternativePaths,
              (QStringList{QStringLiteral("/z/Day1/CLIP.mov"), QStringLiteral("/n/Day1/clip.mov")}));
    EXPECT_EQ(target.usageType, MediaUsageType::videoOnly);
    EXPECT_EQ(target.usageCount, 2);
    EXPECT_EQ(target.sequenceNames, (QStringList{QStringLiteral("S1"), QStringLiteral("S2")}));
    EXPECT_TRUE(target.isProtected);
    EXPECT_EQ(target.status, MediaFileStatus::online);
    // The source's path equals the target's ignoring case: no matched path.
    EXPECT_EQ(target.matchedPath, std::nullopt);
    EXPECT_EQ(target.size, 55);
    EXPECT_EQ(target.storageType, StorageType::network);
    EXPECT_EQ(target.proxyPath, QStringLiteral("/proxy.mov"));

    MediaFile binned = entry(QStringLiteral("/b/x.mov"), 4, MediaFileStatus::inRecycleBin);
    binned.usageType = MediaUsageType::unused;
    MediaFile ae = entry(QStringLiteral("/c/x.mov"), 4);
    ae.usageType = MediaUsageType::usedInAfterEffects;
    MediaConsolidator::mergeEntry(ae, binned);
    EXPECT_EQ(binned.status, MediaFileStatus::inRecycleBin);
    EXPECT_EQ(binned.matchedPath, QStringLiteral("/c/x.mov"));
    EXPECT_EQ(binned.usageType, MediaUsageType::usedInAfterEffects);
}

// A share that went away blocks stat forever: consolidation must not hang the import with it.
TEST(MediaConsolidator, AStatThatDoesNotAnswerLeavesTheNameAndSizeRuleToDecide) {
    QTemporaryDir dir;
    const QString clip = writeFile(dir.filePath(QStringLiteral("media/A001.mov")), 300);
    const QString hard = dir.filePath(QStringLiteral("export/final.mov"));
    QDir().mkpath(dir.filePath(QStringLiteral("export")));
    ASSERT_EQ(::link(QFile::encodeName(clip).constData(), QFile::encodeName(hard).constData()), 0);
    const QString share = dir.filePath(QStringLiteral("share"));
    const QString stuck = writeFile(share + QStringLiteral("/Day1/clip.mov"), 40);
    const QString copy = writeFile(dir.filePath(QStringLiteral("local/Day1/clip.mov")), 40);
    auto probe = std::make_shared<test::HangingStatProbe>(share);
    MediaFile onShare = entry(stuck, 40);
    onShare.storageType = StorageType::network;
    test::DiskFactsLogCapture log;
    const QList<MediaFile> out = MediaConsolidator(probe, std::chrono::milliseconds(200))
                                     .consolidateCrossProjectDuplicates(
                                         {entry(clip, 300), entry(hard, 300), onShare, entry(copy, 40)});
    // Returning at all shows the stuck call was not waited for: it is let go only below.
    EXPECT_EQ(probe->hungCalls(), 1);
    ASSERT_EQ(out.size(), 2);
    // Stat'ed before the hang: the link under another name is still recognised.
    EXPECT_EQ(out[0].alternativePaths, QStringList{hard});
    // The stuck entry is compared by its names and size alone.
    EXPECT_EQ(out[1].path, stuck);
    EXPECT_EQ(out[1].alternativePaths, QStringList{copy});
    EXPECT_TRUE(log.contains(QStringLiteral("Network drive offline: ") + stuck));
    probe->releaseAndAwaitAnswers();
}

TEST(MediaConsolidator, ChangesTheListInPlaceAndNeverCopiesOneThatNothingMerges) {
    QTemporaryDir dir;
    const QString a = writeFile(dir.filePath(QStringLiteral("A/Day1/clip.mov")), 100);
    const QString b = writeFile(dir.filePath(QStringLiteral("B/Day1/clip.mov")), 100);
    const MediaConsolidator consolidator;
    const QList<MediaFile> apart = {entry(QStringLiteral("/x/Day1/c.mov"), 5, MediaFileStatus::offline),
                                    entry(a, 100)};
    EXPECT_EQ(consolidator.consolidateCrossProjectDuplicates(apart).constData(), apart.constData());

    QList<MediaFile> files = {entry(QStringLiteral("/x/n.mov"), 1, MediaFileStatus::offline), entry(a, 100),
                              entry(b, 100), entry(QStringLiteral("/x/z.mov"), 1, MediaFileStatus::offline)};
    MediaConsolidator::Consolidation consolidation = consolidator.consolidationOf(files);
    EXPECT_TRUE(files[1].alternativePaths.isEmpty()); // found, not yet applied
    EXPECT_EQ(consolidation.mergedCount, 1);
    EXPECT_TRUE(consolidation.mergedAwayAt(2));
    // A list held elsewhere too is left as it is.
    QList<MediaFile> fromHeld;
    {
        const QList<MediaFile> held = files;
        fromHeld = consolidator.consolidateCrossProjectDuplicates(held);
        ASSERT_EQ(held.size(), 4);
        EXPECT_TRUE(held[1].alternativePaths.isEmpty());
    }
    const MediaFile* before = files.constData();
    std::move(consolidation).applyTo(files); // held no more: in place
    EXPECT_EQ(files.constData(), before);
    for (const QList<MediaFile>& out : {files, fromHeld}) {
        ASSERT_EQ(out.size(), 3);
        EXPECT_EQ(out[1].alternativePaths, QStringList{b});
        EXPECT_EQ(out[2].path, QStringLiteral("/x/z.mov"));
    }
}

TEST(MediaConsolidator, ManyFilesOnDiskAreStatedSideBySideEachOnce) {
    // More than one job's worth of files; the links under other names sit in a later job than
    // their files.
    QTemporaryDir dir;
    QList<MediaFile> files;
    QDir().mkpath(dir.filePath(QStringLiteral("a")));
    QDir().mkpath(dir.filePath(QStringLiteral("b")));
    for (int i = 0; i < 5000; ++i) {
        const QString path = dir.filePath(QStringLiteral("a/f%1.mov").arg(i));
        QFile(path).open(QIODevice::WriteOnly);
        files.append(entry(path, 3));
    }
    for (int i : {0, 1, 2}) {
        const QString link = dir.filePath(QStringLiteral("b/link%1.mov").arg(i));
        ASSERT_EQ(::link(QFile::encodeName(files[i].path).constData(), QFile::encodeName(link).constData()),
                  0);
        files.append(entry(link, 3));
    }
    auto probe = std::make_shared<test::CountingStatProbe>();
    const QList<MediaFile> out = MediaConsolidator(probe).consolidateCrossProjectDuplicates(files);
    EXPECT_EQ(probe->calls(), 5003);
    ASSERT_EQ(out.size(), 5000);
    for (int i : {0, 1, 2})
        EXPECT_EQ(out[i].alternativePaths, QStringList{dir.filePath(QStringLiteral("b/link%1.mov").arg(i))});
}
