#include "analysis/ProjectManager.h"
#include "support/ProjectManagerHarness.h"
#include "ui/browser/StorageMapCanvas.h"
#include "ui/browser/StorageMapView.h"
#include "ui/common/ElidedLabel.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::media;
using testing::ProjectManagerHarness;

MediaFile clip(const QString& path, qint64 size, QStringList projects, int usage = 0,
               MediaFileStatus status = MediaFileStatus::online) {
    MediaFile file = media(path, usage, status, size);
    file.projectNames = std::move(projects);
    return file;
}

ProjectFile namedProject(const QString& name) {
    ProjectFile project;
    project.name = name;
    return project;
}

TEST(StorageMapFootprints, CountOnDiskBytesPerProjectNameInFull) {
    MediaFile aeFootage = clip("/m/ae.mov", 50, {"A"});
    aeFootage.isAEFootage = true;
    const QList<MediaFile> files{
        clip("/m/shared.mov", 100, {"A", "B"}), // counted fully in both, reclaimable
        clip("/m/used.mov", 300, {"A"}, 2),     // used
        aeFootage,                              // not reclaimable
        clip("/m/offline.mov", 999, {"B"}, 0, MediaFileStatus::offline),
        clip("/m/orphan.mov", 999, {}),
    };
    const QList<ProjectFile> projects{namedProject("B"), namedProject("A"), namedProject("Empty"),
                                      namedProject("A")};
    const auto result = StorageMap::footprints(files, projects);
    ASSERT_EQ(result.size(), 3);
    EXPECT_EQ(result[0].project.name, "A");
    EXPECT_EQ(result[0].totalBytes, 450);
    EXPECT_EQ(result[0].reclaimableBytes, 100);
    EXPECT_EQ(result[1].project.name, "A"); // same name, same numbers
    EXPECT_EQ(result[1].totalBytes, 450);
    EXPECT_EQ(result[2].project.name, "B");
    EXPECT_EQ(result[2].totalBytes, 100);
    EXPECT_EQ(result[2].reclaimableBytes, 100);
}

TEST(StorageMapFootprints, ClipLevelIgnoresStatusButNeedsASize) {
    const QList<MediaFile> files{clip("/m/a.mov", 10, {"P"}, 0, MediaFileStatus::offline),
                                 clip("/m/b.mov", 30, {"P"}, 1), clip("/m/zero.mov", 0, {"P"}),
                                 clip("/m/other.mov", 70, {"Q"})};
    const ProjectClips clips = StorageMap::clipsOf(files, "P");
    ASSERT_EQ(clips.clips.size(), 2);
    EXPECT_EQ(clips.clips[0].path, "/m/b.mov");
    EXPECT_EQ(clips.totalBytes, 40);
    EXPECT_EQ(clips.reclaimableBytes, 10);
    EXPECT_EQ(StorageMap::clipTooltip(clips.clips[1]), QStringLiteral("a.mov — 10 bytes — Unused"));
    EXPECT_EQ(StorageMap::clipTileColor(clips.clips[0]), QColor("#6BCB77"));
    EXPECT_EQ(StorageMap::clipTileColor(clips.clips[1]), QColor("#E8A944"));
}

TEST(StorageMapFootprints, TileColourBlendsFromUsedToReclaimable) {
    ProjectFootprint footprint{namedProject("P"), 100, 0};
    EXPECT_EQ(StorageMap::projectTileColor(footprint), QColor("#6BCB77"));
    footprint.reclaimableBytes = 100;
    EXPECT_EQ(StorageMap::projectTileColor(footprint), QColor("#E8A944"));
    footprint.reclaimableBytes = 50;
    const QColor half = StorageMap::projectTileColor(footprint);
    EXPECT_NEAR(half.redF(), (107 + 62.5) / 255, 1e-3);
    EXPECT_NEAR(half.greenF(), (203 - 17) / 255.0, 1e-3);
    EXPECT_NEAR(half.blueF(), (119 - 25.5) / 255, 1e-3);
    footprint.reclaimableBytes = 500; // clamped
    EXPECT_EQ(StorageMap::projectTileColor(footprint), QColor("#E8A944"));
}

TEST(StorageMapFootprints, TooltipsAndLabelThresholds) {
    const ProjectFootprint footprint{namedProject("Doc"), 2'000'000, 1'000'000};
    const MapTreemapItem item{"Doc", 2'000'000, 0, 0, {}};
    EXPECT_EQ(StorageMap::projectTooltip(item, &footprint),
              QStringLiteral("Doc — 2 MB, 1 MB reclaimable · click to drill into clips"));
    const MapTreemapItem merged{"+3 more", 300, std::nullopt, 3, {4, 5, 6}};
    EXPECT_EQ(StorageMap::projectTooltip(merged, nullptr),
              QStringLiteral("+3 more — 300 bytes · click to see these projects"));
    EXPECT_FALSE(StorageMap::showsProjectLabel(QRectF(0, 0, 64, 100)));
    EXPECT_FALSE(StorageMap::showsProjectLabel(QRectF(0, 0, 100, 30)));
    EXPECT_TRUE(StorageMap::showsProjectLabel(QRectF(0, 0, 65, 31)));
    EXPECT_FALSE(StorageMap::showsProjectReclaimableLine(QRectF(0, 0, 100, 52)));
    EXPECT_TRUE(StorageMap::showsProjectReclaimableLine(QRectF(0, 0, 100, 53)));
    EXPECT_FALSE(StorageMap::showsClipLabel(QRectF(0, 0, 100, 28)));
    EXPECT_TRUE(StorageMap::showsClipLabel(QRectF(0, 0, 100, 29)));
}

QList<MapTreemapItem> similarItems(int count) {
    QList<MapTreemapItem> items;
    for (int i = 0; i < count; ++i)
        items.append(
            {QStringLiteral("P%1").arg(i), 360'000'000'000 + qint64(i % 9) * 7'000'000'000, i, 0, {}});
    return items;
}

TEST(StorageMapLayout, TwoHundredSimilarProjectsEachKeepATile) {
    // About 2900 square points each in an 850 × 680 map: small, but not too small to read. In the
    // smallest window's map they would be, but merging them would only hide them in one block.
    for (const QSizeF map : {QSizeF(850, 680), QSizeF(700, 480)}) {
        const auto tiles = StorageMap::layoutTiles(similarItems(200), map, StorageMap::projectMergeRule);
        ASSERT_EQ(tiles.size(), 200);
        for (const MapTreemapTile& tile : tiles)
            EXPECT_TRUE(tile.item.payloadIndex.has_value());
    }
}

TEST(StorageMapLayout, OnlyTilesTooSmallToReadMergeAndTheLargestDozenStay) {
    // One large project and a tail of small ones: the tail merges, the larger ones keep tiles.
    QList<MapTreemapItem> items{{QStringLiteral("Feature"), 8'000'000, 0, 0, {}}};
    for (int i = 1; i <= 40; ++i)
        items.append({QStringLiteral("Spot %1").arg(i), i <= 4 ? 400'000 : 1'000, i, 0, {}});
    const QSizeF map(800, 500);
    const auto tiles = StorageMap::layoutTiles(items, map, StorageMap::projectMergeRule);
    const MapTreemapTile* merged = nullptr;
    for (const MapTreemapTile& tile : tiles)
        if (!tile.item.payloadIndex)
            merged = &tile;
    ASSERT_NE(merged, nullptr);
    // The tiny ones (about 40 square points each) merge, but Feature, the four spots and the first
    // seven tiny ones make the dozen that always stay.
    EXPECT_EQ(tiles.size(), 13);
    EXPECT_EQ(merged->item.label, QStringLiteral("+29 more"));
    EXPECT_EQ(merged->item.mergedPayloads.size(), 29);
    // In a small map the share that counts as too small grows, but never past the 2 % of a level.
    EXPECT_DOUBLE_EQ(StorageMap::projectMergeRule.thresholdFor(QSizeF(100, 100)), 0.02);
    EXPECT_NEAR(StorageMap::projectMergeRule.thresholdFor(QSizeF(1024, 1000)), 0.001, 1e-12);
}

TEST(StorageMapTotals, ASharedFileCountsInEachProjectAndOnceOnDisk) {
    const QList<MediaFile> files{clip("/m/shared.mov", 100, {"A", "B"}), clip("/m/a.mov", 50, {"A"}, 1),
                                 clip("/m/other.mov", 999, {"C"})};
    const QList<ProjectFile> projects{namedProject("A"), namedProject("B")};
    const auto footprints = StorageMap::footprints(files, projects);
    const StorageMap::MapTotals totals = StorageMap::totals(files, footprints);
    EXPECT_EQ(totals.totalBytes, 250);
    EXPECT_EQ(totals.reclaimableBytes, 200);
    EXPECT_EQ(totals.onDiskBytes, 150);
    EXPECT_TRUE(totals.countsSharedFiles());
    EXPECT_FALSE(StorageMap::totals(files, footprints.mid(0, 1)).countsSharedFiles());
}

TEST(StorageMapLabels, ClipNamesBreakBetweenWordsOrAreElidedNeverCutInAWord) {
    QFont font;
    font.setPixelSize(10);
    const QFontMetricsF metrics(font);
    const QString camera = QStringLiteral("B1384_C047.mp4");
    // Fits: one line as it is.
    EXPECT_EQ(StorageMap::tileNameLines(camera, metrics, 1000, 2), QStringList{camera});
    // Narrower: broken after the underscore, not inside "C047.mp4".
    const qreal head = metrics.horizontalAdvance(QStringLiteral("B1384_"));
    const qreal tail = metrics.horizontalAdvance(QStringLiteral("C047.mp4"));
    EXPECT_EQ(StorageMap::tileNameLines(camera, metrics, std::max(head, tail) + 1, 2),
              (QStringList{QStringLiteral("B1384_"), QStringLiteral("C047.mp4")}));
    // Narrower still: no break fits, so one line elided in its middle, the extension kept.
    const QStringList tight = StorageMap::tileNameLines(camera, metrics, head - 4, 2);
    ASSERT_EQ(tight.size(), 1);
    EXPECT_TRUE(tight[0].contains(QChar(0x2026)));
    EXPECT_TRUE(tight[0].endsWith(QStringLiteral("4")));
    EXPECT_LE(metrics.horizontalAdvance(tight[0]), head - 4);
    // More words than two lines hold: the second line is elided.
    const QStringList long_ =
        StorageMap::tileNameLines(QStringLiteral("Interview Camera A Wide Shot Take 12.mov"), metrics, 90, 2);
    ASSERT_EQ(long_.size(), 2);
    EXPECT_TRUE(long_[1].contains(QChar(0x2026)));
    for (const QString& line : long_)
        EXPECT_LE(metrics.horizontalAdvance(line), 90);
}

TEST(StorageMapLayout, ARowsPartsGiveWayInTurnUntilItFits) {
    const QList<StorageMap::RowPart> parts{{100, 0}, {80, 30}};
    EXPECT_EQ(StorageMap::partsGivingWay(480, 300, parts), 0);
    EXPECT_EQ(StorageMap::partsGivingWay(479, 300, parts), 1);
    EXPECT_EQ(StorageMap::partsGivingWay(380, 300, parts), 1);
    EXPECT_EQ(StorageMap::partsGivingWay(379, 300, parts), 2);
    EXPECT_EQ(StorageMap::partsGivingWay(200, 300, parts), 2); // too wide all the same: all of them
    EXPECT_EQ(StorageMap::partsGivingWay(200, 300, {}), 0);
}

class StorageMapViewTest : public ::testing::Test {
protected:
    void load(QList<MediaFile> files, QList<ProjectFile> projects) {
        harness.pm().edit(ProjectManager::ListChange::none).setProjects(std::move(projects));
        harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(std::move(files));
        testing::drainEvents();
    }
    QString headerText(const StorageMapView& view) const {
        QStringList texts;
        const auto* stack = view.findChild<QStackedWidget*>();
        for (const QLabel* label : stack->currentWidget()->findChildren<QLabel*>())
            if (label->isVisibleTo(stack->currentWidget()))
                texts << label->text();
        return texts.join('|');
    }
    ProjectManagerHarness harness;
    QList<QUuid> isolated;
};

TEST_F(StorageMapViewTest, DrillsIntoAProjectAndIsolatesIt) {
    ProjectFile a = namedProject("Alpha");
    ProjectFile b = namedProject("Beta");
    load({clip("/m/a1.mov", 6'000'000, {"Alpha"}), clip("/m/a2.mov", 2'000'000, {"Alpha"}, 1),
          clip("/m/b1.mov", 4'000'000, {"Beta"}, 3)},
         {a, b});
    StorageMapView view(harness.pm(), [this](const QUuid& id) { isolated.append(id); });
    view.resize(800, 500);
    view.show();
    ASSERT_EQ(view.footprints().size(), 2);
    EXPECT_EQ(headerText(view),
              QStringLiteral("Storage Map|· tile size = bytes on disk|6 MB|reclaimable of 12 MB"));
    ASSERT_EQ(view.tiles().size(), 2);

    const int computed = view.computeCount();
    view.resize(600, 400); // the layout changes, the footprints are reused
    EXPECT_EQ(view.computeCount(), computed);

    view.clickTile(0);
    ASSERT_TRUE(view.drilledProjectName().has_value());
    EXPECT_EQ(*view.drilledProjectName(), "Alpha");
    EXPECT_EQ(view.clips().clips.size(), 2);
    EXPECT_EQ(headerText(view), QStringLiteral("/|Alpha|6 MB|reclaimable of 8 MB"));

    view.clickTile(1);
    ASSERT_EQ(isolated.size(), 1);
    EXPECT_EQ(isolated[0], a.id);
    view.findChild<QPushButton*>("openInTable")->click();
    EXPECT_EQ(isolated.size(), 2);

    view.findChild<QPushButton*>("backButton")->click();
    EXPECT_FALSE(view.drilledProjectName().has_value());
}

TEST_F(StorageMapViewTest, AMergedTileOpensOntoTheProjectsItHoldsAndBackLeadsOut) {
    QList<ProjectFile> projects{namedProject("Feature")};
    QList<MediaFile> files{clip("/m/feature.mov", 10'000'000, {"Feature"})};
    for (int i = 0; i < 30; ++i) {
        const QString name = QStringLiteral("Spot %1").arg(i, 2, 10, QLatin1Char('0'));
        projects.append(namedProject(name));
        files.append(clip(QStringLiteral("/m/spot%1.mov").arg(i), 1'000 + i, {name}));
    }
    load(files, projects);
    StorageMapView view(harness.pm(), {});
    view.resize(800, 500);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const auto& tiles = view.tiles();
    ASSERT_EQ(tiles.size(), 13); // the dozen largest and the rest merged
    int merged = -1;
    for (int i = 0; i < tiles.size(); ++i)
        if (!tiles[i].item.payloadIndex)
            merged = i;
    ASSERT_GE(merged, 0);
    EXPECT_EQ(tiles[merged].item.label, QStringLiteral("+19 more"));

    view.clickTile(merged);
    ASSERT_EQ(view.openedGroups().size(), 1);
    EXPECT_EQ(view.footprints().size(), 19);
    EXPECT_FALSE(view.drilledProjectName().has_value());
    EXPECT_TRUE(headerText(view).contains(QStringLiteral("19 smaller projects")));
    EXPECT_EQ(view.tiles().size(), 19); // each has room for its own tile now
    EXPECT_FALSE(view.findChild<QPushButton*>("openInTable")->isVisibleTo(&view));

    view.clickTile(0);
    ASSERT_TRUE(view.drilledProjectName().has_value());
    EXPECT_EQ(*view.drilledProjectName(), QStringLiteral("Spot 18"));
    view.findChild<QPushButton*>("backButton")->click();
    EXPECT_FALSE(view.drilledProjectName().has_value());
    EXPECT_EQ(view.openedGroups().size(), 1); // back to the merged projects
    view.findChild<QPushButton*>("backButton")->click();
    EXPECT_TRUE(view.openedGroups().isEmpty());
    EXPECT_EQ(view.tiles().size(), 13);
}

TEST_F(StorageMapViewTest, TheHeaderSaysWhenSharedFilesCountInEachProject) {
    load({clip("/m/own.mov", 4'000'000, {"A"}), clip("/m/b.mov", 3'000'000, {"B"}, 1)},
         {namedProject("A"), namedProject("B")});
    StorageMapView view(harness.pm(), {});
    view.resize(1000, 500);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_FALSE(headerText(view).contains(QStringLiteral("shared")));
    load({clip("/m/shared.mov", 4'000'000, {"A", "B"}), clip("/m/b.mov", 3'000'000, {"B"}, 1)},
         {namedProject("A"), namedProject("B")});
    EXPECT_EQ(view.totals().totalBytes, 11'000'000);
    EXPECT_EQ(view.totals().onDiskBytes, 7'000'000);
    EXPECT_EQ(headerText(view).toStdString(), "Storage Map|· tile size = bytes on disk|8 MB|reclaimable of "
                                              "11 MB|· shared files count in each project");
    EXPECT_TRUE(view.findChild<QLabel*>("sharedNote")->toolTip().contains(QStringLiteral("7 MB")));
}

// Over many rows the totals are worked out on the map's worker and taken in one step: the same
// footprints and totals as worked out in place.
TEST_F(StorageMapViewTest, TotalsWorkedOutOnAWorkerAreThoseWorkedOutInPlace) {
    load({clip("/m/a.mov", 1'000'000, {"A"})}, {namedProject("A"), namedProject("B")});
    StorageMapView inPlace(harness.pm(), {});
    StorageMapView worker(harness.pm(), {});
    worker.setBackgroundRows(1);
    load({clip("/m/shared.mov", 4'000'000, {"A", "B"}), clip("/m/b.mov", 3'000'000, {"B"}, 1)},
         {namedProject("A"), namedProject("B")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker.computeCount() == 2; }));
    EXPECT_EQ(inPlace.totals().totalBytes, 11'000'000);
    EXPECT_EQ(worker.totals().totalBytes, inPlace.totals().totalBytes);
    EXPECT_EQ(worker.totals().onDiskBytes, inPlace.totals().onDiskBytes);
    EXPECT_EQ(worker.totals().reclaimableBytes, inPlace.totals().reclaimableBytes);
    ASSERT_EQ(worker.footprints().size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(worker.footprints()[i].project.name, inPlace.footprints()[i].project.name);
        EXPECT_EQ(worker.footprints()[i].totalBytes, inPlace.footprints()[i].totalBytes);
    }
    EXPECT_EQ(headerText(worker), headerText(inPlace));
    testing::drainEvents(); // nothing more comes: the same list is not worked out twice
    EXPECT_EQ(worker.computeCount(), 2);
}

TEST_F(StorageMapViewTest, FollowsTheFilterAndShowsEmptyStates) {
    load({}, {});
    StorageMapView view(harness.pm(), {});
    view.resize(800, 500);
    EXPECT_EQ(headerText(view), QStringLiteral("Storage Map|· tile size = bytes on disk"));
    const auto* body = view.findChildren<QStackedWidget*>().last();
    EXPECT_EQ(body->currentWidget()->findChild<QLabel*>("emptyTitle")->text(), "No projects to map");

    load({clip("/m/keep.mov", 500, {"P"}), clip("/m/hide.mov", 700, {"P"})}, {namedProject("P")});
    ASSERT_EQ(view.footprints().size(), 1);
    EXPECT_EQ(view.footprints()[0].totalBytes, 1200);

    view.drillInto("P");
    harness.pm().updateFilters([](FilterSettings& filters) { filters.filterText = "nothing-matches"; });
    testing::drainEvents();
    ASSERT_TRUE(view.drilledProject() != nullptr);
    EXPECT_TRUE(view.clips().clips.isEmpty());
    EXPECT_EQ(body->currentWidget()->findChild<QLabel*>("emptyTitle")->text(),
              "No on-disk clips to map for this project");

    // The drilled project disappears: project level again, the name is kept.
    harness.pm().updateFilters([](FilterSettings& filters) { filters.filterText = {}; });
    load({clip("/m/keep.mov", 500, {"P"})}, {});
    EXPECT_EQ(view.drilledProject(), nullptr);
    EXPECT_TRUE(view.drilledProjectName().has_value());
}

// At 200 projects the tiles are too small for the whole label: each shows its name shortened in
// the middle (where "Episode 001" and "Episode 002" differ least), and its tooltip names it in full.
TEST_F(StorageMapViewTest, SmallTilesShowAShortenedNameAndTheWholeOneOnHover) {
    QList<ProjectFile> projects;
    QList<MediaFile> files;
    for (int i = 1; i <= 200; ++i) {
        const QString name = QStringLiteral("Episode %1").arg(i, 3, 10, QLatin1Char('0'));
        projects.append(namedProject(name));
        files.append(clip(QStringLiteral("/m/%1.mov").arg(i), 50'000'000 + i % 9 * 1'000'000, {name}, i % 2));
    }
    load(files, projects);
    StorageMapView view(harness.pm(), {});
    view.resize(780, 600);
    view.show();
    testing::drainEvents();
    auto* canvas = view.findChild<StorageMapCanvas*>();
    ASSERT_NE(canvas, nullptr);
    ASSERT_EQ(canvas->tiles().size(), 200);
    int shortened = 0;
    int unnamed = 0;
    for (int i = 0; i < canvas->tiles().size(); ++i) {
        const QRectF rect = canvas->tiles()[i].rect;
        const QString label = canvas->tiles()[i].item.label;
        const QString shown = canvas->shownName(i);
        if (shown.isEmpty()) {
            ++unnamed; // only a sliver too narrow for "E…01"
            EXPECT_LT(rect.width(), 36) << label.toStdString();
        } else if (shown != label) {
            ++shortened;
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
            EXPECT_EQ(shown.front(), label.front());
            EXPECT_TRUE(shown.endsWith(label.right(2))) << shown.toStdString(); // the number tells them apart
        }
        const QPoint centre = rect.center().toPoint() + QPoint(8, 8); // the canvas's padding
        QHelpEvent hover(QEvent::ToolTip, centre, canvas->mapToGlobal(centre));
        QApplication::sendEvent(canvas, &hover);
        EXPECT_TRUE(QToolTip::text().startsWith(label + QStringLiteral(" — ")))
            << QToolTip::text().toStdString();
    }
    EXPECT_LE(unnamed, 20);
    EXPECT_GT(shortened, 0);
    QToolTip::hideText();

    // The names worked out once are those of the tiles of that size: a larger map shows more.
    const QString small = canvas->shownName(0);
    view.resize(1560, 1200);
    testing::drainEvents();
    EXPECT_GT(canvas->shownName(0).size(), small.size());

    // A sliver holds nothing readable: no name at all rather than a lone ellipsis.
    const QFontMetricsF metrics(canvas->font());
    EXPECT_TRUE(
        StorageMap::shortTileName(QStringLiteral("Episode 001"), QRectF(0, 0, 14, 40), metrics).isEmpty());
    EXPECT_TRUE(
        StorageMap::shortTileName(QStringLiteral("Episode 001"), QRectF(0, 0, 60, 8), metrics).isEmpty());
}

// In a window of 1024 the map is about 520 wide, and 400 where the panes beside it are widened: its
// header and legend keep their figures, units and ends whole and inside the map, at both levels.
TEST_F(StorageMapViewTest, OnANarrowMapTheHeaderAndLegendKeepTheirFiguresWhole) {
    // Measured in the application's own faces where they were fetched (wider than those standing in).
    const QDir fonts(QStringLiteral(TARNWICK_FIXTURES_DIR "/../../.fonts"));
    for (const QString& file : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(file));
    const QString name = QStringLiteral("Harbour Lights Feature Documentary Director's Cut");
    load({clip("/m/a.mov", 300'000'000'000, {name}), clip("/m/b.mov", 174'000'000'000, {name}, 1)},
         {namedProject(name)});
    StorageMapView view(harness.pm(), {});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const auto rows = [&view] {
        const QList<QStackedWidget*> stacks = view.findChildren<QStackedWidget*>();
        return QList<QWidget*>{stacks.at(0)->currentWidget(), stacks.at(1)->currentWidget()};
    };
    for (const bool clipLevel : {false, true}) {
        for (const int width : {520, 400}) {
            SCOPED_TRACE(std::to_string(width) + (clipLevel ? " clips" : " projects"));
            view.resize(width, 400);
            testing::drainEvents();
            // Opened at that width, and the width kept: the map asks for no more.
            if (clipLevel)
                view.drillInto(name);
            testing::drainEvents();
            EXPECT_EQ(view.width(), width) << "it needs " << view.minimumSizeHint().width();
            QStringList texts;
            for (QWidget* row : rows()) {
                for (const QWidget* part : row->findChildren<QWidget*>()) {
                    if (!part->isVisibleTo(&view) || !part->findChildren<QWidget*>().isEmpty())
                        continue;
                    const QRect shown(part->mapTo(&view, QPoint()), part->size());
                    EXPECT_TRUE(view.rect().contains(shown)) << shown.right();
                    // Whole: every label but a name that is elided, every button.
                    const auto* label = qobject_cast<const QLabel*>(part);
                    if (qobject_cast<const QPushButton*>(part) ||
                        (label && !qobject_cast<const ElidedLabel*>(label))) {
                        EXPECT_GE(part->width(), part->sizeHint().width()) << part->metaObject()->className();
                    }
                    if (label)
                        texts << label->text();
                    const auto* name = qobject_cast<const ElidedLabel*>(part);
                    if (name && !name->text().isEmpty()) {
                        EXPECT_GE(name->shownText().size(), 8) << name->shownText().toStdString();
                    }
                }
            }
            EXPECT_TRUE(texts.join(u'|').contains(QStringLiteral("of 474 GB")))
                << texts.join(u'|').toStdString();
            EXPECT_TRUE(texts.contains(clipLevel ? QStringLiteral("Unused (reclaimable)")
                                                 : QStringLiteral("all reclaimable")));
            view.drillOut();
        }
    }
}

} // namespace
} // namespace tarnwick
