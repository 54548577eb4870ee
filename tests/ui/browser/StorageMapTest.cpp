#include "analysis/ProjectManager.h"
#include "support/ProjectManagerHarness.h"
#include "ui/browser/StorageMapCanvas.h"
#include "ui/browser/StorageMapView.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
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
    const MapTreemapItem item{"Doc", 2'000'000, 0, 0};
    EXPECT_EQ(StorageMap::projectTooltip(item, &footprint),
              QStringLiteral("Doc — 2 MB, 1 MB reclaimable · click to drill into clips"));
    const MapTreemapItem merged{"+3 more", 300, std::nullopt, 3};
    EXPECT_EQ(StorageMap::projectTooltip(merged, nullptr),
              QStringLiteral("+3 more — 300 bytes · click to drill into clips"));
    EXPECT_FALSE(StorageMap::showsProjectLabel(QRectF(0, 0, 64, 100)));
    EXPECT_FALSE(StorageMap::showsProjectLabel(QRectF(0, 0, 100, 30)));
    EXPECT_TRUE(StorageMap::showsProjectLabel(QRectF(0, 0, 65, 31)));
    EXPECT_FALSE(StorageMap::showsProjectReclaimableLine(QRectF(0, 0, 100, 52)));
    EXPECT_TRUE(StorageMap::showsProjectReclaimableLine(QRectF(0, 0, 100, 53)));
    EXPECT_FALSE(StorageMap::showsClipLabel(QRectF(0, 0, 100, 28)));
    EXPECT_TRUE(StorageMap::showsClipLabel(QRectF(0, 0, 100, 29)));
}

class StorageMapViewTest : public ::testing::Test {
protected:
    void load(QList<MediaFile> files, QList<ProjectFile> projects) {
        harness.pm().setProjects(std::move(projects));
        harness.pm().setMediaFiles(std::move(files));
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
    harness.pm().setFilterText("nothing-matches");
    testing::drainEvents();
    ASSERT_TRUE(view.drilledProject() != nullptr);
    EXPECT_TRUE(view.clips().clips.isEmpty());
    EXPECT_EQ(body->currentWidget()->findChild<QLabel*>("emptyTitle")->text(),
              "No on-disk clips to map for this project");

    // The drilled project disappears: project level again, the name is kept.
    harness.pm().setFilterText({});
    load({clip("/m/keep.mov", 500, {"P"})}, {});
    EXPECT_EQ(view.drilledProject(), nullptr);
    EXPECT_TRUE(view.drilledProjectName().has_value());
}

} // namespace
} // namespace tarnwick
