#include "support/ProjectManagerHarness.h"

#include "analysis/MediaFilterIndex.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using S = MediaFileStatus;

class ProjectManagerFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ProjectManager& pm = h.pm();
        one = project("One", {});
        two = project("Two", {});
        twoAgain = project("Two", {});
        pm.edit(ProjectManager::ListChange::none).setProjects({one, two, twoAgain, project("Three", {})});
        auto entry = [](const char* path, int use, S status, qint64 size, QStringList projects) {
            MediaFile f = media(QString::fromUtf8(path), use, status, size);
            f.projectNames = projects;
            return f;
        };
        QList<MediaFile> files{
            entry("/Shots/Day 1/A001.mov", 1, S::online, 104'857'600, {"One"}),
            entry("/Shots/b002.MXF", 0, S::offline, 104'857'599, {"Two"}),
            entry("/Audio/track.wav", 2, S::matching, 10, {"One", "Two"}),
            entry("/Gone/deleted.mov", 0, S::deleted, 1, {"One"}),
            entry("/Moved/moved.mov", 1, S::moved, 1, {"Two"}),
            entry("/AE/comp.mov", 0, S::transcoded, 1, {"Three"}),
            entry("/Bin/staged.mov", 0, S::online, 1, {"One"}),
            entry("/Shots/noproject.mov", 0, S::online, 1, {}),
        };
        files[1].duplicateOfPath = QStringLiteral("/x/b002.MXF");
        files[2].usageType = MediaUsageType::audioOnly;
        files[5].isAEFootage = true;
        pm.edit(ProjectManager::ListChange::none).setMediaFiles(files);
        pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(files[6])});
    }

    QList<int> visible() {
        QList<int> rows;
        for (const MediaFile& f : h.pm().filteredMediaFiles()) {
            for (int i = 0; i < h.pm().mediaFiles().size(); ++i) {
                if (h.pm().mediaFiles()[i].id == f.id)
                    rows << i;
            }
        }
        return rows;
    }

    ProjectManagerHarness h;
    ProjectFile one, two, twoAgain;
};

TEST_F(ProjectManagerFilterTest, AppliesEachFilterOnItsOwnAndCombined) {
    const struct {
        const char* name;
        std::function<void(FilterSettings&)> set;
        QList<int> rows;
    } cases[] = {
        {"nothing set", [](auto&) {}, {0, 1, 2, 5, 7}},
        {"showDeleted", [](auto& f) { f.showDeleted = true; }, {0, 1, 2, 3, 4, 5, 7}},
        {"showOnlyUnused", [](auto& f) { f.showOnlyUnused = true; }, {1, 7}},
        {"showOnlyUsed", [](auto& f) { f.showOnlyUsed = true; }, {0, 2, 5}},
        {"showOnlyOnline", [](auto& f) { f.showOnlyOnline = true; }, {0, 2, 5, 7}},
        {"showOnlyAudioOnly", [](auto& f) { f.showOnlyAudioOnly = true; }, {2}},
        {"showDuplicates", [](auto& f) { f.showDuplicates = true; }, {1}},
        {"showLargeFilesOnly at 100 MiB", [](auto& f) { f.showLargeFilesOnly = true; }, {0}},
        {"one space", [](auto& f) { f.filterText = " "; }, {0}},
        {"extension, any case", [](auto& f) { f.filterText = "mxf"; }, {1}},
        {"folder name", [](auto& f) { f.filterText = "SHOTS"; }, {0, 1, 7}},
        {"unused and used", [](auto& f) { f.showOnlyUnused = f.showOnlyUsed = true; }, {}},
        {"deleted, used, text",
         [](auto& f) { f.showDeleted = f.showOnlyUsed = true, f.filterText = ".mov"; },
         {0, 4, 5}},
    };
    for (const auto& c : cases) {
        ProjectManagerFilterTest::TearDown();
        FilterSettings filters;
        c.set(filters);
        h.pm().setFilters(filters);
        EXPECT_EQ(visible(), c.rows) << c.name;
    }
}

TEST_F(ProjectManagerFilterTest, SelectsProjectsByTheirNames) {
    ProjectManager& pm = h.pm();
    pm.updateFilters([&](FilterSettings& filters) { filters.selectedProjectIDs = {one.id}; });
    EXPECT_EQ(visible(), (QList<int>{0, 2}));
    pm.updateFilters([&](FilterSettings& filters) { filters.selectedProjectIDs = {twoAgain.id}; });
    EXPECT_EQ(visible(), (QList<int>{1, 2})) << "a project with the same name selects the same files";
    pm.updateFilters([&](FilterSettings& filters) { filters.selectedProjectIDs = {QUuid::createUuid()}; });
    EXPECT_TRUE(visible().isEmpty()) << "only projects no longer loaded";
    pm.updateFilters([&](FilterSettings& filters) { filters.selectedProjectIDs = {one.id}; });
    pm.edit(ProjectManager::ListChange::none).modifyProjects([](QList<ProjectFile>& projects) {
        projects[0].name = QStringLiteral("Renamed");
    });
    EXPECT_TRUE(visible().isEmpty()) << "a change of the projects invalidates the cache";
}

TEST_F(ProjectManagerFilterTest, ReusesTheCachedListUntilAnInputChanges) {
    ProjectManager& pm = h.pm();
    pm.updateFilters([](FilterSettings& filters) { filters.showOnlyOnline = true; });
    const MediaFile* first = pm.filteredMediaFiles().constData();
    EXPECT_EQ(pm.filteredMediaFiles().constData(), first) << "a hit returns the stored list";

    const std::pair<const char*, std::function<void()>> invalidations[] = {
        {"media list", [&] { pm.edit(ProjectManager::ListChange::none).setMediaFiles(pm.mediaFiles()); }},
        {"bin", [&] { pm.edit(ProjectManager::ListChange::none).setRecycleBin({}); }},
        {"projects", [&] { pm.edit(ProjectManager::ListChange::none).setProjects(pm.projects()); }},
        {"summary", [&] { pm.edit(ProjectManager::ListChange::entries); }},
        {"flag off and on",
         [&] {
             pm.updateFilters([](FilterSettings& filters) { filters.showOnlyOnline = false; });
             pm.filteredMediaFiles();
             pm.updateFilters([](FilterSettings& filters) { filters.showOnlyOnline = true; });
         }},
    };
    for (const auto& [name, invalidate] : invalidations) {
        const QList<MediaFile> before = pm.filteredMediaFiles(); // kept alive: its address stays taken
        invalidate();
        EXPECT_NE(pm.filteredMediaFiles().constData(), before.constData()) << name;
    }
    EXPECT_EQ(visible(), (QList<int>{0, 2, 5, 6, 7})) << "the emptied bin shows its file again";
}

// The bin's membership made on a worker matches paths as the filter does (in NFC), and is taken
// only for the lists it was made for.
TEST_F(ProjectManagerFilterTest, BinMembershipMadeAheadIsTakenForItsOwnListsOnly) {
    ProjectManager& pm = h.pm();
    MediaFile decomposed = media(QStringLiteral("/Shots/Cafe\u0301.mov"));
    pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& files) {
        files.append(decomposed);
    });
    MediaFile composed = decomposed;
    composed.path = QStringLiteral("/Shots/Caf\u00e9.mov");
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(pm.mediaFiles()[6]), binItem(composed)});
    std::vector<quint8> rows = MediaFilterIndex::binnedRows(pm.mediaFiles(), pm.recycleBin());
    EXPECT_EQ(rows, (std::vector<quint8>{0, 0, 0, 0, 0, 0, 1, 0, 1}));
    EXPECT_EQ(visible(), (QList<int>{0, 1, 2, 5, 7}));

    rows[7] = 1; // marks a row the bin does not hold: shows whose rows the filter takes
    pm.setBinnedRows(rows);
    pm.edit(ProjectManager::ListChange::none).setRecycleBin(pm.recycleBin());
    EXPECT_EQ(visible(), (QList<int>{0, 1, 2, 5, 7})) << "made for the bin before";
    pm.edit(ProjectManager::ListChange::none).setRecycleBin(pm.recycleBin());
    pm.setBinnedRows(rows);
    EXPECT_EQ(visible(), (QList<int>{0, 1, 2, 5})) << "made for these lists";
}

TEST_F(ProjectManagerFilterTest, SortsStablyByTheComparatorsInOrder) {
    ProjectManager& pm = h.pm();
    pm.updateFilters([](FilterSettings& filters) { filters.showDeleted = true; });
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/a/clip10.mov", 0, S::online, 5), media("/b/Clip2.mov", 0, S::offline, 7),
                        media("/c/clip2.mov", 0, S::online, 7), media("/d/alpha.mov", 0, S::online, 1)});
    auto names = [](const MediaRows& files) {
        QStringList out;
        for (const MediaFile& f : files)
            out << f.path;
        return out;
    };
    const MediaSortOrder byName{{MediaSortKey::fileName, true}};
    EXPECT_EQ(names(pm.sortedFilteredMediaRows(byName)),
              (QStringList{"/d/alpha.mov", "/b/Clip2.mov", "/c/clip2.mov", "/a/clip10.mov"}))
        << "case-insensitive, digits by value, ties keep the list order";
    const MediaSortOrder bySizeThenStatus{{MediaSortKey::size, false}, {MediaSortKey::status, true}};
    EXPECT_EQ(names(pm.sortedFilteredMediaRows(bySizeThenStatus)),
              (QStringList{"/b/Clip2.mov", "/c/clip2.mov", "/a/clip10.mov", "/d/alpha.mov"}))
        << "\"Offline\" before \"Online\" among the 7-byte files";
    EXPECT_EQ(names(pm.sortedFilteredMediaRows({})), names(pm.filteredMediaRows()));

    const qsizetype* filtered = pm.filteredMediaRows().sourceRows().constData();
    const qsizetype* sorted = pm.sortedFilteredMediaRows(byName).sourceRows().constData();
    EXPECT_EQ(pm.sortedFilteredMediaRows(byName).sourceRows().constData(), sorted) << "same order: cached";
    pm.sortedFilteredMediaRows(bySizeThenStatus);
    EXPECT_EQ(pm.filteredMediaRows().sourceRows().constData(), filtered)
        << "a new order sorts the cached filter result";
}

// A large list's texts are collated on a worker: until its keys are back, a text order is refused
// here (numbers still sort at once) while the GUI thread keeps answering; then every order gives
// what collating on the spot gives, filtered or not.
TEST(ProjectManagerSortKeys, LargeListsCollateOnAWorkerAndSortLikeTheDirectSort) {
    QSemaphore gate;
    std::atomic<QThread*> worker = nullptr;
    ProjectManagerHarness h([&](ProjectManagerServices& services) {
        services.backgroundSortRows = 40;
        services.beforeSortKeys = [&] {
            worker = QThread::currentThread();
            gate.acquire();
        };
    });
    ProjectManager& pm = h.pm();
    QList<MediaFile> files;
    for (int i = 0; i < 60; ++i) {
        MediaFile f = media(QStringLiteral("/Vol/%1/Clip%2 %3.mov")
                                .arg(QChar(u'a' + i % 5))
                                .arg(i % 13)
                                .arg(QStringList{"b", "B", "é", "e"}[i % 4]),
                            i % 3, i % 4 ? MediaFileStatus::online : MediaFileStatus::offline, 100 + i % 7);
        f.projectNames = {QStringLiteral("P%1").arg(i % 3)};
        files.append(f);
    }
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files);
    const MediaSortOrder byName{{MediaSortKey::fileName, true}};
    const MediaSortOrder byStorageThenStatus{{MediaSortKey::storage, false}, {MediaSortKey::status, true}};
    QSignalSpy ready(&pm, &ProjectManager::sortKeysReady);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker != nullptr && ticks >= 3; }, 10000))
        << "the GUI thread answers while the worker holds";
    EXPECT_NE(worker.load(), QThread::currentThread());
    EXPECT_FALSE(pm.canSortNow(byName));
    EXPECT_TRUE(pm.canSortNow({{MediaSortKey::size, false}})) << "numbers sort at once";
    EXPECT_EQ(ready.count(), 0);

    gate.release();
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_TRUE(pm.canSortNow(byName));
    EXPECT_TRUE(pm.canSortNow(byStorageThenStatus));
    auto paths = [](const MediaRows& rows) {
        QStringList out;
        for (const MediaFile& f : rows)
            out << f.path;
        return out;
    };
    auto direct = [&](const MediaSortOrder& order, const std::function<bool(const MediaFile&)>& keep) {
        QStringList out;
        for (qsizetype row : MediaFilterIndex::sortedRows(files, order)) {
            if (keep(files[row]))
                out << files[row].path;
        }
        return out;
    };
    const auto all = [](const MediaFile&) { return true; };
    for (const MediaSortOrder& order : {byName, byStorageThenStatus}) {
        EXPECT_EQ(paths(pm.sortedFilteredMediaRows(order)), direct(order, all));
        pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("clip1"); });
        EXPECT_EQ(paths(pm.sortedFilteredMediaRows(order)),
                  direct(order, [](const MediaFile& f) { return f.path.contains(QStringLiteral("/Clip1")); }))
            << "the worker's search keys find what the filter finds";
        pm.updateFilters([](FilterSettings& filters) { filters.filterText.clear(); });
    }
    const qint64 version = pm.mediaFilesVersion();
    pm.edit(ProjectManager::ListChange::entries);
    EXPECT_GT(pm.mediaFilesVersion(), version);
    EXPECT_TRUE(pm.canSortNow(byName)) << "the list written back as it was keeps its keys";
    EXPECT_EQ(paths(pm.sortedFilteredMediaRows(byName)), direct(byName, all));
}

// An import's lists get no keys until it ends; changes while a worker makes keys queue none of their
// own: the newest list's are made once the worker is back, and the list's next change is made in
// place, not on a copy.
TEST(ProjectManagerSortKeys, KeysWaitForTheImportAndTheWorkerWithoutCopyingTheList) {
    QSemaphore gate;
    std::atomic<int> makings = 0;
    ProjectManagerHarness h([&](ProjectManagerServices& services) {
        services.backgroundSortRows = 4;
        services.beforeSortKeys = [&] {
            ++makings;
            gate.acquire();
        };
    });
    // Whatever fails below, no worker is left waiting when the manager goes.
    const std::unique_ptr<QSemaphore, void (*)(QSemaphore*)> opener(&gate,
                                                                    [](QSemaphore* g) { g->release(64); });
    ProjectManager& pm = h.pm();
    auto files = [](int count) { // a list of its own each time: only the manager holds it
        QList<MediaFile> list;
        for (int i = 0; i < count; ++i)
            list.append(media(QStringLiteral("/Vol/clip%1.mov").arg(7 - i), 1, MediaFileStatus::online, i));
        return list;
    };
    pm.updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = true; });
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files(9));
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files(8));
    EXPECT_FALSE(QTest::qWaitFor([&] { return makings > 0; }, 100))
        << "no keys while the import replaces the list";
    pm.updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return makings == 1; }, 10000));
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files(7));
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files(6));
    QCoreApplication::processEvents();
    const MediaFile* records = pm.mediaFiles().constData();
    pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list[0].isFromDaVinciCSV = true;
    });
    EXPECT_EQ(pm.mediaFiles().constData(), records) << "no queued worker holds the list";

    QSignalSpy ready(&pm, &ProjectManager::sortKeysReady);
    gate.release(2);
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_EQ(makings, 2) << "the first list's, then the newest's";
    const MediaSortOrder byName{{MediaSortKey::fileName, true}};
    EXPECT_TRUE(pm.canSortNow(byName));
    const MediaRows rows = pm.sortedFilteredMediaRows(byName);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0].path, QStringLiteral("/Vol/clip2.mov"));
    EXPECT_TRUE(rows[5].isFromDaVinciCSV);
}

} // namespace
