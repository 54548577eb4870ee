// The filtered and sorted rows against a direct evaluation of the same rules on randomised lists,
// through changes of the media list, the bin, the projects and the settings in between reads.
#include "analysis/NameCollation.h"
#include "platform/TextKey.h"
#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

#include <QCollator>

#include <algorithm>
#include <numeric>
#include <random>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using S = MediaFileStatus;

// The rules one entry at a time, straight from the settings: what the cached rows must equal.
QList<qsizetype> keptByRules(const ProjectManager& pm) {
    QSet<QString> binPaths;
    for (const RecycleBinItem& item : pm.recycleBin())
        binPaths.insert(text::nfc(item.mediaFile.path));
    QSet<QString> selectedNames;
    for (const ProjectFile& p : pm.projects()) {
        if (pm.filters().selectedProjectIDs.contains(p.id))
            selectedNames.insert(p.name);
    }
    const QString search = text::nfc(text::lowered(pm.filters().filterText));
    QList<qsizetype> rows;
    for (qsizetype i = 0; i < pm.mediaFiles().size(); ++i) {
        const MediaFile& f = pm.mediaFiles()[i];
        const bool used = f.usageCount > 0 || f.isAEFootage;
        const bool onDisk = f.status == S::online || f.status == S::matching || f.status == S::transcoded;
        const QString lowerPath = text::nfc(text::lowered(f.path));
        const qsizetype slash = lowerPath.lastIndexOf(QLatin1Char('/'));
        const QString name = lowerPath.mid(slash + 1);
        const QString folder =
            slash > 0 ? lowerPath.left(slash) : (slash == 0 ? QStringLiteral("/") : QString());
        if (binPaths.contains(text::nfc(f.path)) ||
            (!pm.filters().showDeleted && (f.status == S::deleted || f.status == S::moved)) ||
            (pm.filters().showOnlyUnused && used) || (pm.filters().showOnlyUsed && !used) ||
            (pm.filters().showOnlyOnline && !onDisk) ||
            (pm.filters().showOnlyAudioOnly && f.usageType != MediaUsageType::audioOnly) ||
            (pm.filters().showDuplicates && !f.duplicateOfPath) ||
            (pm.filters().showLargeFilesOnly && f.size < pm.largeFileThreshold()))
            continue;
        if (!pm.filters().selectedProjectIDs.isEmpty() &&
            std::none_of(f.projectNames.cbegin(), f.projectNames.cend(),
                         [&](const QString& n) { return selectedNames.contains(n); }))
            continue;
        if (!search.isEmpty() && !name.contains(search) && !folder.contains(search))
            continue;
        rows.append(i);
    }
    return rows;
}

// `rows` stably sorted by collating per comparison: the order the table must show.
QList<qsizetype> sortedByComparing(const QList<MediaFile>& files, QList<qsizetype> rows,
                                   const MediaSortOrder& order) {
    QCollator collator = nameCollator(true);
    std::stable_sort(rows.begin(), rows.end(), [&](qsizetype a, qsizetype b) {
        for (const MediaSortComparator& c : order) {
            const MediaFile& x = files[a];
            const MediaFile& y = files[b];
            int r = 0;
            if (c.key == MediaSortKey::size)
                r = x.size < y.size ? -1 : (x.size > y.size ? 1 : 0);
            else if (c.key == MediaSortKey::usageCount)
                r = x.usageCount < y.usageCount ? -1 : (x.usageCount > y.usageCount ? 1 : 0);
            else
                r = collator.compare(text::nfc(sortText(x, c.key)), text::nfc(sortText(y, c.key)));
            if (r != 0)
                return c.ascending ? r < 0 : r > 0;
        }
        return false;
    });
    return rows;
}

class FilterCacheTest : public ::testing::Test {
protected:
    template <class T> const T& pick(const QList<T>& values) {
        return values[std::uniform_int_distribution<qsizetype>(0, values.size() - 1)(rng)];
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng); }

    MediaFile randomEntry() {
        // Few distinct values, so sorts meet many ties; decomposed and composed accents alike.
        static const QList<QString> folders{"/Shots/Day 1",
                                            "/Shots/Day 2",
                                            "/shots/day 10",
                                            "/Audio",
                                            QString::fromUtf8("/Cafe\xcc\x81"),
                                            QString::fromUtf8("/Caf\xc3\xa9")};
        static const QList<QString> names{"clip", "Clip", "CLIP", "a", "take"};
        static const QList<QString> numbers{"1", "2", "02", "10", ""};
        static const QList<QString> extensions{".mov", ".MXF", ".wav"};
        static const QList<qint64> sizes{
            0, 1, 7, 7, 104'857'599, 104'857'600, 300'000'000, 70'000'000'000, 70'000'065'536};
        static const QList<S> statuses{S::online,  S::online, S::offline,    S::matching,
                                       S::deleted, S::moved,  S::transcoded, S::networkOffline};
        MediaFile f = media(pick(folders) + QLatin1Char('/') + pick(names) + pick(numbers) + pick(extensions),
                            int(std::uniform_int_distribution<int>(0, 2)(rng)), pick(statuses), pick(sizes));
        if (f.usageCount > 0 && chance(0.3))
            f.usageType = MediaUsageType::audioOnly;
        f.isAEFootage = chance(0.1);
        if (chance(0.2))
            f.duplicateOfPath = QStringLiteral("/elsewhere/") + f.fileName();
        // Where the file is now, which gives its row a line more.
        if (chance(0.1))
            f.matchedPath = QStringLiteral("/found/") + f.fileName();
        if (chance(0.3))
            f.movedToPath = QStringLiteral("/archive/") + f.fileName();
        if (chance(0.3))
            f.transcodedPath = QStringLiteral("/hevc/") + f.fileName();
        for (const QString& p : {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")}) {
            if (chance(0.4))
                f.projectNames.append(p);
        }
        if (chance(0.5))
            f.sequenceNames = {pick(QList<QString>{"Edit 1", "Edit 2", "edit 10", "Selects"})};
        return f;
    }

    void randomSettings() {
        ProjectManager& pm = h.pm();
        static const QList<QString> texts{"",  "",    "clip", "CLIP1", "day 1",
                                          "a", "mov", ".",    " ",     QString::fromUtf8("caf\xc3\xa9")};
        pm.updateFilters([&](FilterSettings& filters) {
            // Now and then type on, so a read narrows the last result.
            if (!filters.filterText.isEmpty() && chance(0.4))
                filters.filterText += pick(QList<QString>{"1", "p", "/", "e"});
            else
                filters.filterText = pick(texts);
            filters.showDeleted = chance(0.3);
            filters.showOnlyUnused = chance(0.15);
            filters.showOnlyUsed = chance(0.15);
            filters.showOnlyOnline = chance(0.15);
            filters.showOnlyAudioOnly = chance(0.1);
            filters.showDuplicates = chance(0.1);
            filters.showLargeFilesOnly = chance(0.1);
            filters.selectedProjectIDs.clear();
            if (chance(0.3)) {
                for (const ProjectFile& p : pm.projects()) {
                    if (chance(0.5))
                        filters.selectedProjectIDs.insert(p.id);
                }
            }
        });
    }

    MediaSortOrder randomOrder() {
        MediaSortOrder order;
        const int columns = std::uniform_int_distribution<int>(0, 3)(rng);
        for (int c = 0; c < columns; ++c)
            order.append({MediaSortKey(std::uniform_int_distribution<int>(0, 6)(rng)), chance(0.5)});
        return order;
    }

    std::mt19937 rng{20261207};
    ProjectManagerHarness h;
};

TEST_F(FilterCacheTest, RowsEqualTheRulesAndTheComparedOrderThroughChanges) {
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setProjects({project("One", {}), project("Two", {}), project("Three", {})});
    QList<MediaFile> files;
    for (int i = 0; i < 300; ++i)
        files.append(randomEntry());
    files.append(files[5]); // the same path twice: a bin item hides both
    files.last().id = QUuid::createUuid();
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files);
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(files[5]), binItem(files[40])});

    const QList<MediaSortOrder> tableOrders{{{MediaSortKey::size, false}},
                                            {{MediaSortKey::fileName, true}, {MediaSortKey::size, false}}};
    for (int step = 0; step < 150; ++step) {
        switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
        case 0: // one entry changes: a new version of the list
            pm.edit(ProjectManager::ListChange::none)
                .setMediaFile(std::uniform_int_distribution<qsizetype>(0, pm.mediaFiles().size() - 1)(rng),
                              randomEntry());
            break;
        case 1: { // the bin takes one more entry, or gives all back
            if (chance(0.7))
                pm.edit(ProjectManager::ListChange::none).modifyRecycleBin([&](QList<RecycleBinItem>& bin) {
                    bin.append(binItem(pick(pm.mediaFiles())));
                });
            else
                pm.edit(ProjectManager::ListChange::none).setRecycleBin({});
            break;
        }
        case 2: // a project renamed: its files are no longer selected through it
            pm.edit(ProjectManager::ListChange::none).modifyProjects([&](QList<ProjectFile>& projects) {
                ProjectFile& p =
                    projects[std::uniform_int_distribution<qsizetype>(0, projects.size() - 1)(rng)];
                p.name = pick(QList<QString>{"One", "Two", "Three", "Four"});
            });
            break;
        case 3: // entries appended and removed
            pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& list) {
                list.append(randomEntry());
                list.removeAt(std::uniform_int_distribution<qsizetype>(0, list.size() - 1)(rng));
            });
            break;
        case 4: // statuses change, names and sizes stay (staging): orders by them carry over
            pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& list) {
                for (int k = 0; k < 5; ++k) {
                    MediaFile& f = list[std::uniform_int_distribution<qsizetype>(0, list.size() - 1)(rng)];
                    f.status = pick(QList<S>{S::online, S::inRecycleBin, S::offline, S::deleted});
                }
            });
            // As the actions commit: the summary's pass makes the filter's facts for the new list.
            if (chance(0.5))
                pm.edit(ProjectManager::ListChange::entries);
            break;
        case 5: // the list written back as it was
            pm.edit(ProjectManager::ListChange::entries);
            break;
        default:
            randomSettings();
        }
        const QList<qsizetype> expected = keptByRules(pm);
        // As vectors: Qt's own comparison of two empty lists hands memcmp a null pointer.
        const auto rows = [](const QList<qsizetype>& list) {
            return std::vector<qsizetype>(list.begin(), list.end());
        };
        ASSERT_EQ(rows(pm.filteredMediaRows().sourceRows()), rows(expected)) << "step " << step;
        // The table's orders (sorted once per version) and a fresh one.
        for (const MediaSortOrder& order : {tableOrders[step % 2], randomOrder()}) {
            const MediaRows sorted = pm.sortedFilteredMediaRows(order);
            ASSERT_EQ(rows(sorted.sourceRows()), rows(sortedByComparing(pm.mediaFiles(), expected, order)))
                << "step " << step << ", " << order.size() << " columns";
            QList<int> withLine;
            for (qsizetype i = 0; i < sorted.size(); ++i) {
                const MediaFile& f = sorted[i];
                if (f.matchedPath || (f.status == S::moved && f.movedToPath) ||
                    (f.status == S::transcoded && f.transcodedPath))
                    withLine.append(int(i));
            }
            ASSERT_EQ(pm.relocationLinePositions(sorted), withLine) << "step " << step;
        }
        QList<MediaFile> records;
        for (qsizetype row : expected)
            records.append(pm.mediaFiles()[row]);
        ASSERT_EQ(pm.filteredMediaFiles(), records) << "step " << step;
    }
}

TEST_F(FilterCacheTest, SortsTheWholeListOnceAndFollowsItsChanges) {
    ProjectManager& pm = h.pm();
    QList<MediaFile> files;
    for (int i = 0; i < 64; ++i)
        files.append(media(QStringLiteral("/m/clip%1.mov").arg(i % 5), 0, S::online, 10 + i % 3));
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(files);
    const MediaSortOrder bySize{{MediaSortKey::size, true}};
    auto sizes = [](const MediaRows& rows) {
        QList<qint64> out;
        for (const MediaFile& f : rows)
            out << f.size;
        return out;
    };
    // Wide then narrow filters over one sorted list, then a change of a size the order depends on.
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("clip"); });
    ASSERT_EQ(pm.sortedFilteredMediaRows(bySize).size(), 64);
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("clip3"); });
    EXPECT_EQ(sizes(pm.sortedFilteredMediaRows(bySize)), QList<qint64>(5, 10)
                                                             << QList<qint64>(4, 11) << QList<qint64>(4, 12));
    const MediaRows before = pm.sortedFilteredMediaRows(bySize);
    MediaFile shrunk = pm.mediaFiles()[63]; // clip3, 10 bytes, the last of its size
    shrunk.size = 1;
    pm.edit(ProjectManager::ListChange::none).setMediaFile(63, shrunk);
    const MediaRows after = pm.sortedFilteredMediaRows(bySize);
    ASSERT_FALSE(after.isEmpty());
    EXPECT_EQ(after[0].id, shrunk.id) << "the changed size sorts first";
    EXPECT_EQ(after[0].size, 1);
    EXPECT_EQ(before[0].size, 10) << "a snapshot read before the change keeps its records";
    EXPECT_EQ(before.source()[63].size, 10);
}

TEST_F(FilterCacheTest, TypingOnNarrowsOnlyWhileTheOtherSettingsStay) {
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/a/clip1.mov", 1), media("/a/clip12.mov", 0), media("/a/clip2.mov", 0),
                        media("/b/other.mov", 0)});
    auto paths = [&] {
        QStringList out;
        for (const MediaFile& f : pm.filteredMediaRows())
            out << f.path;
        return out;
    };
    pm.updateFilters([](FilterSettings& filters) {
        filters.filterText = QStringLiteral("clip1");
        filters.showOnlyUsed = true;
    });
    EXPECT_EQ(paths(), QStringList{"/a/clip1.mov"});
    pm.updateFilters([](FilterSettings& filters) {
        filters.showOnlyUsed = false;
        filters.filterText = QStringLiteral("clip12");
    });
    EXPECT_EQ(paths(), QStringList{"/a/clip12.mov"}) << "a flag changed too: the whole list again";
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("clip"); });
    EXPECT_EQ(paths(), (QStringList{"/a/clip1.mov", "/a/clip12.mov", "/a/clip2.mov"})) << "erasing widens";
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("CLIP2"); });
    EXPECT_EQ(paths(), QStringList{"/a/clip2.mov"});
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({media("/a/clip2.mov"), media("/a/clip20.mov")});
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("clip20"); });
    EXPECT_EQ(paths(), QStringList{"/a/clip20.mov"}) << "a new list: its own rows, not the last result's";
}

} // namespace
