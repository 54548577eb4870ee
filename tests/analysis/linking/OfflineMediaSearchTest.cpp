#include "analysis/OfflineMediaSearch.h"
#include "analysis/ProjectManager.h"
#include "platform/FileStatProbe.h"

#include "support/DiskFactsLogCapture.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

void write(const QString& path, qsizetype bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
}

MediaFile offline(const QString& path, qint64 size = 0) {
    return media(path, 0, MediaFileStatus::offline, size);
}

class CountingProbe : public FileStatProbe {
public:
    std::optional<FileFacts> stat(const QString& path) const override {
        ++calls;
        return FileStatProbe::system()->stat(path);
    }
    mutable std::atomic<int> calls{0};
};

// ---- Scoring ---------------------------------------------------------------------------------

TEST(OfflineMatchScore, ComponentsSizeAndExtensionParts) {
    const MediaFile file = offline("/Volumes/Media/Shoot/A001.mov", 100);
    const QString moved = "/Volumes/Media 2/Shoot/A001.mov";
    const MatchScore sameSize = OfflineMediaSearch::score(file, moved, 100, false);
    EXPECT_EQ(sameSize.score, 0.1 + ((2.0 / 4.0) * 0.6 + 0.3));
    EXPECT_EQ(sameSize.matchingComponents, 2);
    EXPECT_EQ(sameSize.totalOriginalComponents, 4);
    EXPECT_TRUE(sameSize.sizeMatched);
    EXPECT_TRUE(sameSize.extensionMatched);
    const MatchScore otherSize = OfflineMediaSearch::score(file, moved, 99, false);
    EXPECT_EQ(otherSize.score, 0.1 + ((2.0 / 4.0) * 0.6 + 0.0));
    EXPECT_FALSE(otherSize.sizeMatched);
    const MatchScore unknownSize = OfflineMediaSearch::score(file, moved, std::nullopt, false);
    EXPECT_EQ(unknownSize.score, 0.1 + ((2.0 / 4.0) * 0.6 + 0.15));
    EXPECT_FALSE(unknownSize.sizeMatched);
    const MatchScore zeroRecorded = OfflineMediaSearch::score(offline(file.path, 0), moved, 100, false);
    EXPECT_EQ(zeroRecorded.score, unknownSize.score);
    EXPECT_FALSE(zeroRecorded.sizeMatched);
}

TEST(OfflineMatchScore, APerfectCandidateStaysJustUnderOne) {
    const MediaFile file = offline("/Volumes/Media/Shoot/A001.mov", 100);
    const MatchScore perfect = OfflineMediaSearch::score(file, "/volumes/media/shoot/a001.MOV", 100, false);
    EXPECT_EQ(perfect.score, 0.9999999999999999);
    EXPECT_EQ(perfect.matchingComponents, perfect.totalOriginalComponents);
}

TEST(OfflineMatchScore, IgnoredExtensionsScoreHalfTheExtensionPartWhateverTheyAre) {
    const MediaFile file = offline("/Volumes/Media/Shoot/A001.mov", 100);
    const MatchScore other = OfflineMediaSearch::score(file, "/Volumes/Media/Shoot/A001.mxf", 100, true);
    EXPECT_EQ(other.matchingComponents, 0); // the names keep their extensions in the comparison
    EXPECT_FALSE(other.extensionMatched);
    EXPECT_EQ(other.score, 0.05 + (0.0 + 0.3));
    const MatchScore same = OfflineMediaSearch::score(file, "/Volumes/Media/Shoot/A001.mov", 100, true);
    EXPECT_TRUE(same.extensionMatched);
    EXPECT_EQ(same.score, 0.05 + (0.6 + 0.3));
    EXPECT_EQ(OfflineMediaSearch::score(offline("/", 0), "/x.mov", std::nullopt, false).score,
              0.0 + (0.0 + 0.15));
}

TEST(OfflineMatchScore, NamesCompareInCanonicalFormOnBothSides) {
    const MediaFile file = offline(QString::fromUtf8("/Old/Caf\u00e9/Intro.mov"), 0);
    const MatchScore s =
        OfflineMediaSearch::score(file, QString::fromUtf8("/New/Cafe\u0301/Intro.mov"), 5, false);
    EXPECT_EQ(s.matchingComponents, 2);
    EXPECT_EQ(OfflineMediaSearch::nameKey(QString::fromUtf8("/a/CAFE\u0301.MOV"), false),
              OfflineMediaSearch::nameKey(QString::fromUtf8("/b/caf\u00e9.mov"), false));
}

// ---- The scan --------------------------------------------------------------------------------

class OfflineScan : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
    }
    OfflineMediaSearch::ScanResult scan(const QList<MediaFile>& list, bool ignoreExtension = false,
                                        const std::function<void(qint64)>& progress = {}) {
        return OfflineMediaSearch::scan(list, root, ignoreExtension, progress, nullptr, &probe);
    }
    QTemporaryDir dir;
    QString root;
    CountingProbe probe;
};

TEST_F(OfflineScan, CaseIsFoldedAndOtherExtensionsCountOnlyWhenIgnored) {
    write(root + "/Shoot/A001.MOV", 10);
    write(root + "/Shoot/A001.mxf", 10);
    write(root + "/.Hidden/A001.mov", 10);
    const QList<MediaFile> list{offline("/Old/Shoot/a001.mov", 10), media("/Online/A001.mov")};
    const auto plain = scan(list);
    ASSERT_EQ(plain.matches.size(), 1);
    EXPECT_EQ(plain.matches[0].foundPath, root + "/Shoot/A001.MOV");
    EXPECT_EQ(plain.matches[0].offlineFile.path, "/Old/Shoot/a001.mov");
    const auto ignoring = scan(list, true);
    ASSERT_EQ(ignoring.matches.size(), 2);
    EXPECT_EQ(ignoring.matches[0].foundPath, root + "/Shoot/A001.MOV"); // two components agree
    EXPECT_EQ(ignoring.matches[1].foundPath, root + "/Shoot/A001.mxf");
}

TEST_F(OfflineScan, FoldersAreNeverCandidates) {
    QDir().mkpath(root + "/Interview");
    QDir().mkpath(root + "/Cuts/Interview.mov");
    write(root + "/Audio/Interview.wav", 5);
    const QList<MediaFile> list{offline("/Old/Interview.mov", 5)};
    const auto result = scan(list, true);
    ASSERT_EQ(result.matches.size(), 1);
    EXPECT_EQ(result.matches[0].foundPath, root + "/Audio/Interview.wav");
    EXPECT_EQ(probe.calls, 1); // one stat per candidate; folders cost none
    EXPECT_TRUE(scan(list, false).matches.isEmpty());
}

TEST_F(OfflineScan, SameNamedOfflineEntriesEachGetEveryCandidateBestFirstEqualScoresInWalkOrder) {
    write(root + "/Day1/Cam/C001.mov", 7);
    write(root + "/Day2/Cam/C001.mov", 7);
    const QList<MediaFile> list{offline("/Old/Day2/Cam/C001.mov", 7), offline("/Old/Day9/Cam/C001.mov", 7)};
    const auto result = scan(list);
    ASSERT_EQ(result.matches.size(), 4);
    EXPECT_EQ(result.matches[0].foundPath, root + "/Day2/Cam/C001.mov");
    EXPECT_EQ(result.matches[0].offlineFile.path, "/Old/Day2/Cam/C001.mov");
    // The other three score alike (two trailing components): walk order, then list order.
    EXPECT_EQ(result.matches[1].foundPath, root + "/Day1/Cam/C001.mov");
    EXPECT_EQ(result.matches[1].offlineFile.path, "/Old/Day2/Cam/C001.mov");
    EXPECT_EQ(result.matches[2].foundPath, root + "/Day1/Cam/C001.mov");
    EXPECT_EQ(result.matches[2].offlineFile.path, "/Old/Day9/Cam/C001.mov");
    EXPECT_EQ(result.matches[3].foundPath, root + "/Day2/Cam/C001.mov");
    EXPECT_EQ(probe.calls, 2); // each candidate's size read once
}

TEST_F(OfflineScan, ProgressEveryFiveHundredItemsAndDecomposedNamesOnDisk) {
    for (int i = 0; i < 1233; ++i)
        write(root + QStringLiteral("/Many/f%1.mov").arg(i), 0);
    QList<qint64> counts;
    const QList<MediaFile> list{offline(QString::fromUtf8("/Old/Caf\u00e9.mov"))};
    write(root + QString::fromUtf8("/Many/Cafe\u0301.mov"), 1);
    const auto result = scan(list, false, [&](qint64 n) { counts.append(n); });
    EXPECT_EQ(result.itemsScanned, 1235); // the folder, its 1,234 files
    EXPECT_EQ(counts, (QList<qint64>{500, 1000}));
    ASSERT_EQ(result.matches.size(), 1);
}

TEST_F(OfflineScan, NoOfflineEntriesOrAnUnreadableFolderGiveNothing) {
    test::DiskFactsLogCapture log;
    EXPECT_TRUE(scan({media("/a.mov")}).matches.isEmpty());
    EXPECT_TRUE(log.messages().isEmpty());
    root = dir.filePath("gone");
    const auto result = scan({offline("/a.mov")});
    EXPECT_FALSE(result.folderReadable);
    EXPECT_TRUE(log.contains("Failed to enumerate directory: " + root));
}

TEST_F(OfflineScan, TheManagerSearchReportsOnTheGuiThreadAndCanBeCancelled) {
    ProjectManagerHarness h;
    for (int i = 0; i < 600; ++i)
        write(root + QStringLiteral("/f%1.mov").arg(i), 0);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({offline("/Old/f7.mov")});
    QStringList messages;
    const QList<ScoredMatch> matches = QCoro::waitFor(
        OfflineMediaSearch::smartScanForOfflineFiles(h.pm(), root, false, [&](const QString& m) {
            EXPECT_EQ(QThread::currentThread(), h.pm().thread());
            messages.append(m);
        }));
    drainEvents();
    EXPECT_EQ(matches.size(), 1);
    EXPECT_EQ(messages, QStringList{"Scanned 500 files..."});
    auto cancel = std::make_shared<std::atomic_bool>(true);
    EXPECT_TRUE(QCoro::waitFor(OfflineMediaSearch::smartScanForOfflineFiles(h.pm(), root, false, {}, cancel))
                    .isEmpty());
}

// ---- Applying matches ------------------------------------------------------------------------

class ApplyMatches : public ::testing::Test {
protected:
    ScoredMatch match(const MediaFile& file, const QString& found, double score = 0.7) {
        ScoredMatch m;
        m.offlineFile = file;
        m.foundPath = found;
        m.matchScore.score = score;
        return m;
    }
    void apply(const QList<ScoredMatch>& matches) {
        QCoro::waitFor(OfflineMediaSearch::applyMatches(h.pm(), matches));
    }
    ProjectManagerHarness h;
    QTemporaryDir dir;
};

TEST_F(ApplyMatches, RelinksTheEntryOnceAndNotesTheRest) {
    write(dir.filePath("New/A001.mov"), 42);
    const MediaFile a = offline("/Old/A001.mov", 10);
    MediaFile back = media("/Old/B.mov"); // came back online by a rescan
    const MediaFile gone = offline("/Removed/C.mov");
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({a, back});
    test::DiskFactsLogCapture log;
    apply({match(a, dir.filePath("New/A001.mov"), 0.71), match(a, "/Elsewhere/A001.mov"),
           match(back, "/New/B.mov"), match(gone, "/New/C.mov")});
    const MediaFile& relinked = h.pm().mediaFiles()[0];
    EXPECT_EQ(relinked.status, MediaFileStatus::online);
    EXPECT_EQ(relinked.matchedPath, dir.filePath("New/A001.mov"));
    EXPECT_EQ(relinked.size, 42);
    EXPECT_EQ(h.pm().mediaFiles()[1].matchedPath, "/New/B.mov");
    EXPECT_EQ(h.pm().mediaFiles()[1].status, MediaFileStatus::online);
    EXPECT_TRUE(
        log.contains("Matched: A001.mov [Offline -> Online] (71%) -> " + dir.filePath("New/A001.mov")));
    EXPECT_TRUE(log.contains("Already online: A001.mov (status: Online)"));
    EXPECT_TRUE(log.contains("Could not find file to update: /Removed/C.mov"));
    EXPECT_TRUE(log.contains("Applied 1/4 matches (not found: 1, already online: 2)"));
    EXPECT_FALSE(h.pm().progress().isApplyingMatches);
    EXPECT_FALSE(h.pm().isBusy());
    EXPECT_TRUE(h.pm().progress().currentTask.isEmpty());
}

TEST_F(ApplyMatches, TheExactPathIsLookedUpBeforeTheLowerCasedOne) {
    const MediaFile lower = offline("/M/clip.mov");
    const MediaFile upper = offline("/M/CLIP.mov");
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({lower, upper});
    apply({match(lower, "/New/clip.mov")});
    EXPECT_EQ(h.pm().mediaFiles()[0].matchedPath, "/New/clip.mov");
    EXPECT_FALSE(h.pm().mediaFiles()[1].matchedPath);
    // A path known only in another letter case still finds its entry.
    apply({match(offline("/m/Clip.MOV"), "/New/CLIP.mov")});
    EXPECT_EQ(h.pm().mediaFiles()[1].matchedPath, "/New/CLIP.mov");
}

TEST_F(ApplyMatches, BatchesOfFiftyWithTheManagerHeldThroughout) {
    QList<MediaFile> list;
    QList<ScoredMatch> matches;
    for (int i = 0; i < 120; ++i) {
        list.append(offline(QStringLiteral("/Old/f%1.mov").arg(i)));
        matches.append(match(list.last(), QStringLiteral("/New/f%1.mov").arg(i)));
    }
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(list);
    QStringList texts;
    int refused = 0;
    QObject::connect(&h.pm(), &ProjectManager::progressChanged, [&] {
        const QString task = h.pm().progress().currentTask;
        if (texts.isEmpty() || texts.last() != task)
            texts.append(task);
        if (task.startsWith("Applying matches (") && !h.pm().clearAll())
            ++refused;
    });
    apply(matches);
    drainEvents();
    // Batch texts may arrive within one turn of the window: the last one is always shown.
    EXPECT_TRUE(texts.contains("Applying matches (120/120)..."));
    EXPECT_GE(refused, 1);
    QList<MediaFile> copy = list;
    QList<qsizetype> batches;
    OfflineMediaSearch::applyToList(copy, matches, {}, [&](qsizetype done) { batches.append(done); });
    EXPECT_EQ(batches, (QList<qsizetype>{50, 100, 120}));
    ASSERT_EQ(h.pm().mediaFiles().size(), 120);
    for (const MediaFile& file : h.pm().mediaFiles())
        EXPECT_EQ(file.status, MediaFileStatus::online);
}

TEST_F(ApplyMatches, ARelinkedEntryThatIsAnotherEntryFileIsConsolidated) {
    write(dir.filePath("Shoot/A001.mov"), 64);
    MediaFile present = media(dir.filePath("Shoot/A001.mov"), 1, MediaFileStatus::online, 64);
    const MediaFile old = offline("/Old/Shoot/A001.mov", 64);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({present, old});
    test::DiskFactsLogCapture log;
    apply({match(old, dir.filePath("Shoot/A001.mov"))});
    EXPECT_EQ(h.pm().mediaFiles().size(), 1);
    EXPECT_TRUE(log.contains("Post-match consolidation merged 1 entry(ies)"));
}

TEST_F(ApplyMatches, NoMatchesLogsZerosAndRunsNoConsolidation) {
    test::DiskFactsLogCapture log;
    apply({});
    EXPECT_TRUE(log.contains("Applied 0/0 matches (not found: 0, already online: 0)"));
    EXPECT_FALSE(log.contains("Consolidat"));
    EXPECT_FALSE(h.pm().progress().isApplyingMatches);
}

} // namespace

namespace {

TEST_F(ApplyMatches, AListReplacedBehindTheGateIsAppliedAgainByPath) {
    QList<MediaFile> list;
    QList<ScoredMatch> matches;
    for (int i = 0; i < 120; ++i) {
        list.append(offline(QStringLiteral("/Old/f%1.mov").arg(i)));
        matches.append(match(list.last(), QStringLiteral("/New/f%1.mov").arg(i)));
    }
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(list);
    bool replaced = false;
    ApplyMatchesServices services;
    services.fileSizes = [&](const QStringList& paths) {
        // While the worker applies the matches to its copy, a caller that ignores the gate replaces the list.
        QMetaObject::invokeMethod(
            &h.pm(),
            [&] {
                if (replaced)
                    return;
                replaced = true;
                QList<MediaFile> reordered(list.crbegin(), list.crend());
                reordered.prepend(media("/Other/new.mov"));
                h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(reordered);
            },
            Qt::BlockingQueuedConnection);
        return OfflineMediaSearch::fileSizes(paths);
    };
    QCoro::waitFor(OfflineMediaSearch::applyMatches(h.pm(), matches, services));
    ASSERT_TRUE(replaced);
    ASSERT_EQ(h.pm().mediaFiles().size(), 121);
    EXPECT_FALSE(h.pm().mediaFiles()[0].matchedPath);
    for (qsizetype i = 1; i < h.pm().mediaFiles().size(); ++i) {
        const MediaFile& file = h.pm().mediaFiles()[i];
        EXPECT_EQ(file.status, MediaFileStatus::online);
        EXPECT_EQ(file.matchedPath, QString(file.path).replace("/Old/", "/New/"));
    }
}

} // namespace
