#include "ui/tools/SearchOfflineFilesSheet.h"

#include "platform/ByteCountText.h"
#include "ui/tools/MatchRows.h"
#include "ui/tools/ToolSheetFixture.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {
ScoredMatch candidate(const QString& offlinePath, const QString& found, double score, int components = 1,
                      qint64 size = 0, bool sizeMatched = false) {
    ScoredMatch m;
    m.offlineFile = media(offlinePath, 0, MediaFileStatus::offline, size);
    m.foundPath = found;
    m.matchScore.score = score;
    m.matchScore.matchingComponents = components;
    m.matchScore.sizeMatched = sizeMatched;
    return m;
}

struct FakeOps {
    QList<ScoredMatch> result;
    bool missingAEP = false;
    int resolved = 0;
    QList<QList<ScoredMatch>> applied;
    QStringList scannedFolders;
    QList<bool> ignoreFlags;
    int aepSearches = 0;

    OfflineSearchOperations ops() {
        OfflineSearchOperations o;
        o.scan = [this](QString folder, bool ignore,
                        OfflineSearchOperations::Progress progress) -> QCoro::Task<QList<ScoredMatch>> {
            scannedFolders << folder;
            ignoreFlags << ignore;
            progress(QStringLiteral("Scanned 500 files..."));
            co_return result;
        };
        o.hasMissingAEPLinks = [this] { return missingAEP; };
        o.searchMissingAEP = [this](QString, OfflineSearchOperations::Progress) -> QCoro::Task<int> {
            ++aepSearches;
            co_return resolved;
        };
        o.apply = [this](QList<ScoredMatch> matches) -> QCoro::Task<void> {
            applied << matches;
            co_return;
        };
        return o;
    }
};

QList<QUuid> ids(const QList<ScoredMatch>& matches) {
    QList<QUuid> out;
    for (const ScoredMatch& m : matches)
        out << m.id;
    return out;
}
} // namespace

// The percentage is truncated from the same double the label compares, so the two always agree:
// 0.29 × 100 is 28.999…, and 0.15 + 0.3 falls just below the "Medium" threshold.
TEST(MatchRows, ConfidenceThresholdsAndTruncatedPercentages) {
    const QList<std::tuple<double, QString, QString>> table{
        {0.75, "High", "75%"},   {0.7499, "Medium", "74%"}, {0.45, "Medium", "45%"},
        {0.4499, "Low", "44%"},  {1.0, "High", "100%"},     {0.29, "Low", "28%"},
        {0.58, "Medium", "57%"}, {0.15 + 0.3, "Low", "44%"}};
    for (const auto& [score, label, percent] : table) {
        MatchScore s;
        s.score = score;
        EXPECT_EQ(confidenceOf(score).label, label) << score;
        EXPECT_EQ(s.percentText(), percent) << score;
        EXPECT_EQ(confidenceText(s), label + QLatin1Char(' ') + percent);
    }
    EXPECT_EQ(confidenceOf(0.8).color, QColor(0x34, 0xC7, 0x59));
    EXPECT_EQ(confidenceOf(0.5).color, QColor(0xFF, 0x95, 0x00));
    EXPECT_EQ(confidenceOf(0.1).color, QColor(0xFF, 0x3B, 0x30));
}

TEST(MatchRows, RowTextsHighlightTheMatchingFoldersAndCheckTheSize) {
    const ScoredMatch m = candidate(QStringLiteral("/Volumes/Media/Shoot/Day1/a.mov"),
                                    QStringLiteral("/Backup/Shoot/Day1/a.mov"), 0.9, 3, 2048, true);
    const MatchRowTexts t = matchRowTexts(m);
    EXPECT_EQ(t.fileName, QStringLiteral("a.mov"));
    EXPECT_EQ(t.segmentsText, QStringLiteral("3 path segments match"));
    ASSERT_EQ(t.original.size(), 2);
    EXPECT_EQ(t.original.at(0).text, QStringLiteral("/Volumes/Media/"));
    EXPECT_NEAR(t.original.at(0).color.alphaF(), 0.4, 0.01);
    EXPECT_EQ(t.original.at(1).text, QStringLiteral("Shoot/Day1"));
    EXPECT_TRUE(t.original.at(1).bold);
    EXPECT_EQ(t.original.at(1).color, QColor(0xFF, 0x3B, 0x30));
    ASSERT_EQ(t.found.size(), 2);
    EXPECT_EQ(t.found.at(1).color, QColor(0x34, 0xC7, 0x59));
    EXPECT_TRUE(t.showsSize);
    EXPECT_EQ(t.sizeText, formatFileByteCount(2048));
    EXPECT_TRUE(t.sizeMatched);

    const MatchRowTexts root =
        matchRowTexts(candidate(QStringLiteral("/a.mov"), QStringLiteral("/x/a.mov"), 0.5, 1));
    EXPECT_TRUE(root.segmentsText.isEmpty());
    ASSERT_EQ(root.original.size(), 1);
    EXPECT_EQ(root.original.first().text, QStringLiteral("/"));
    EXPECT_NEAR(root.original.first().color.alphaF(), 0.6, 0.01);
    EXPECT_FALSE(root.showsSize);
    EXPECT_EQ(folderOf(QStringLiteral("/a//b/c.mov")), QStringLiteral("/a//b"));
}

TEST(MatchRows, GroupsPutTheBestFirstAndTheBestRuleIncludesThreeQuarters) {
    const ScoredMatch a1 = candidate(QStringLiteral("/o/a.mov"), QStringLiteral("/f/1/a.mov"), 0.5);
    const ScoredMatch b1 = candidate(QStringLiteral("/o/b.mov"), QStringLiteral("/f/1/b.mov"), 0.7499);
    const ScoredMatch a2 = candidate(QStringLiteral("/o/a.mov"), QStringLiteral("/f/2/a.mov"), 0.75);
    const ScoredMatch a3 = candidate(QStringLiteral("/o/a.mov"), QStringLiteral("/f/3/a.mov"), 0.5);
    const QList<OfflineMatchGroup> groups = groupMatches({a1, b1, a2, a3});
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups.at(0).offlineFilePath, QStringLiteral("/o/a.mov"));
    EXPECT_EQ(ids(groups.at(0).candidates), (QList<QUuid>{a2.id, a1.id, a3.id}));
    EXPECT_EQ(bestSelection(groups), QList<QUuid>{a2.id});
}

TEST(SearchOfflineFilesSheet, HeaderCountsFollowTheManager) {
    EXPECT_EQ(offlineCountTexts(0, 0), QStringList{QStringLiteral("No offline files")});
    EXPECT_EQ(offlineCountTexts(1, 0), QStringList{QStringLiteral("1 offline media file")});
    EXPECT_EQ(offlineCountTexts(2, 1),
              (QStringList{QStringLiteral("2 offline media files"), QStringLiteral("1 missing AE project")}));
    ToolSheetFixture f;
    f.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({media(QStringLiteral("/o/a.mov"), 0, MediaFileStatus::offline),
                        media(QStringLiteral("/o/b.mov"), 0, MediaFileStatus::networkOffline),
                        media(QStringLiteral("/o/c.mov"))});
    FakeOps fake;
    SearchOfflineFilesSheet sheet(f.pm(), f.panel, f.grants, fake.ops());
    EXPECT_EQ(sheet.headerTexts(), QStringList{QStringLiteral("2 offline media files")});
    EXPECT_EQ(sheet.page(), SearchOfflineFilesSheet::Page::start);
}

TEST(SearchOfflineFilesSheet, AScanSelectsTheBestAndAppliesTheChosenMatches) {
    ToolSheetFixture f;
    FakeOps fake;
    const ScoredMatch a1 = candidate(QStringLiteral("/o/a.mov"), QStringLiteral("/f/1/a.mov"), 0.9, 2);
    const ScoredMatch a2 = candidate(QStringLiteral("/o/a.mov"), QStringLiteral("/f/2/a.mov"), 0.6);
    const ScoredMatch b1 = candidate(QStringLiteral("/o/b.mov"), QStringLiteral("/f/1/b.mov"), 0.4);
    fake.result = {a1, b1, a2};
    SearchOfflineFilesSheet sheet(f.pm(), f.panel, f.grants, fake.ops());
    sheet.ignoreExtensionToggle()->setChecked(true);
    f.panel.choice = {QUrl::fromLocalFile(QStringLiteral("/Volumes/Backup"))};
    QSignalSpy finished(&sheet, &SearchOfflineFilesSheet::scanFinished);
    sheet.chooseFolder();
    ASSERT_TRUE(finished.count() == 1 || finished.wait(5000));
    ASSERT_EQ(f.panel.requests.size(), 1);
    EXPECT_EQ(f.panel.requests.first().prompt, QStringLiteral("Search"));
    EXPECT_EQ(f.panel.requests.first().message,
              QStringLiteral("Select a folder to search for offline files"));
    EXPECT_EQ(fake.scannedFolders, QStringList{QStringLiteral("/Volumes/Backup")});
    EXPECT_EQ(fake.ignoreFlags, QList<bool>{true});
    EXPECT_EQ(fake.aepSearches, 0);
    EXPECT_EQ(sheet.page(), SearchOfflineFilesSheet::Page::results);
    EXPECT_EQ(sheet.summaryText(), QStringLiteral("Found 3 potential matches"));
    EXPECT_EQ(sheet.summaryDetailText(), QStringLiteral("for 2 offline files"));
    EXPECT_TRUE(sheet.bannerText().isEmpty());
    EXPECT_EQ(sheet.selectedMatches(), QSet<QUuid>{a1.id});
    EXPECT_EQ(sheet.applyBestButton()->text(), QStringLiteral("Apply Best 2"));
    EXPECT_EQ(sheet.applySelectedButton()->text(), QStringLiteral("Apply 1 Selected"));
    // The list shows the groups, alternatives collapsed under their best candidate.
    ASSERT_EQ(sheet.list()->model()->rowCount(), 2);
    EXPECT_EQ(sheet.list()->model()->rowCount(sheet.list()->model()->index(0, 0)), 1);
    EXPECT_FALSE(sheet.list()->isExpanded(sheet.list()->model()->index(0, 0)));
    EXPECT_EQ(sheet.list()->selectionModel()->selectedIndexes().size(), 1);

    sheet.selectNone();
    EXPECT_FALSE(sheet.applySelectedButton()->isEnabled());
    sheet.selectAll();
    EXPECT_EQ(sheet.applySelectedButton()->text(), QStringLiteral("Apply 3 Selected"));
    QSignalSpy applied(&sheet, &SearchOfflineFilesSheet::applyFinished);
    sheet.applySelectedButton()->click();
    ASSERT_TRUE(applied.count() == 1 || applied.wait(5000));
    ASSERT_EQ(fake.applied.size(), 1);
    EXPECT_EQ(ids(fake.applied.first()), (QList<QUuid>{a1.id, b1.id, a2.id}));
}

TEST(SearchOfflineFilesSheet, ApplyBestTakesEveryGroupsTopAndTheAESearchShowsItsBanner) {
    ToolSheetFixture f;
    FakeOps fake;
    const ScoredMatch a1 = candidate(QStringLiteral("/o/a.mov"), QStringLiteral("/f/1/a.mov"), 0.5);
    const ScoredMatch b1 = candidate(QStringLiteral("/o/b.mov"), QStringLiteral("/f/1/b.mov"), 0.3);
    fake.result = {b1, a1};
    fake.missingAEP = true;
    fake.resolved = 1;
    SearchOfflineFilesSheet sheet(f.pm(), f.panel, f.grants, fake.ops());
    QSignalSpy finished(&sheet, &SearchOfflineFilesSheet::scanFinished);
    sheet.startScan(QStringLiteral("/x"));
    ASSERT_TRUE(finished.count() == 1 || finished.wait(5000));
    EXPECT_EQ(fake.aepSearches, 1);
    EXPECT_EQ(sheet.bannerText(), QStringLiteral("Resolved 1 After Effects project"));
    EXPECT_TRUE(sheet.summaryDetailText().isEmpty());
    EXPECT_TRUE(sheet.selectedMatches().isEmpty());
    EXPECT_FALSE(sheet.applySelectedButton()->isEnabled());
    QSignalSpy applied(&sheet, &SearchOfflineFilesSheet::applyFinished);
    sheet.applyBest();
    ASSERT_TRUE(applied.count() == 1 || applied.wait(5000));
    EXPECT_EQ(ids(fake.applied.first()), (QList<QUuid>{a1.id, b1.id}));
}

TEST(SearchOfflineFilesSheet, NothingFoundShowsTheNoMatchPage) {
    ToolSheetFixture f;
    FakeOps fake;
    SearchOfflineFilesSheet sheet(f.pm(), f.panel, f.grants, fake.ops());
    QSignalSpy finished(&sheet, &SearchOfflineFilesSheet::scanFinished);
    sheet.startScan(QStringLiteral("/x"));
    ASSERT_TRUE(finished.count() == 1 || finished.wait(5000));
    EXPECT_TRUE(sheet.showsNoMatchPage());
    sheet.chooseFolder(); // cancelled
    EXPECT_EQ(sheet.page(), SearchOfflineFilesSheet::Page::results);
}
