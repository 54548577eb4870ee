#include "analysis/UsageAggregator.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace tarnwick;
using ::testing::ElementsAre;

namespace {

ProjectFile project(const QString& name, const QStringList& media, const QHash<QString, int>& counts,
                    const QStringList& audioOnly = {}, const QHash<QString, QSet<QString>>& timelines = {}) {
    ProjectFile p;
    p.name = name;
    p.mediaFiles = media;
    p.usageCountByPath = counts;
    p.usedFiles = QStringList(counts.keyBegin(), counts.keyEnd());
    p.audioOnlyFiles = audioOnly;
    p.sequenceNamesByPath = timelines;
    return p;
}

MediaFile entry(const QString& path) {
    MediaFile f = newMediaEntry(path);
    f.status = MediaFileStatus::online;
    f.size = 10;
    return f;
}

} // namespace

TEST(UsageAggregator, SumsUsageAcrossProjectsWithTheAudioOnlyRule) {
    struct Case {
        const char* name;
        bool firstAudioOnly;
        bool secondAudioOnly;
        MediaUsageType expected;
    };
    const Case cases[] = {
        {"audio and video", true, false, MediaUsageType::videoAndAudio},
        {"audio in both", true, true, MediaUsageType::audioOnly},
        {"video in both", false, false, MediaUsageType::videoAndAudio},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString clip = QStringLiteral("/m/clip.mov");
        const QList<ProjectFile> projects = {
            project("A", {clip}, {{clip, 2}}, c.firstAudioOnly ? QStringList{clip} : QStringList{}),
            project("B", {clip}, {{clip, 3}}, c.secondAudioOnly ? QStringList{clip} : QStringList{}),
        };
        const UsageMap usage = aggregateProjects(projects, rawContributionRule());
        ASSERT_EQ(usage.size(), 1);
        EXPECT_EQ(usage.usageAt(0).usageCount, 5);
        EXPECT_EQ(usageTypeFor(usage.usageAt(0)), c.expected);
        EXPECT_THAT(usage.usageAt(0).projectNames, ElementsAre("A", "B"));
    }
}

TEST(UsageAggregator, ListedButUnusedPathAddsTheNameNotTheCount) {
    const QString clip = QStringLiteral("/m/clip.mov");
    const QList<ProjectFile> projects = {
        project("A", {clip}, {{clip, 1}}, {clip}),
        project("B", {clip}, {}),
        project("A", {clip}, {}),
    };
    const UsageMap usage = aggregateProjects(projects, rawContributionRule());
    EXPECT_EQ(usage.usageAt(0).usageCount, 1);
    EXPECT_TRUE(usage.usageAt(0).isAudioOnly); // a zero contribution keeps the flag
    EXPECT_THAT(usage.usageAt(0).projectNames, ElementsAre("A", "B"));
}

TEST(UsageAggregator, TimelineNamesAreUnitedAndSortedByScalars) {
    const QString clip = QStringLiteral("/m/clip.mov");
    const QList<ProjectFile> projects = {
        project("A", {clip}, {{clip, 1}}, {}, {{clip, {"b cut", "Main"}}}),
        project("B", {clip}, {{clip, 1}}, {}, {{clip, {"Main", "Alt"}}}),
    };
    const UsageMap usage = aggregateProjects(projects, rawContributionRule());
    EXPECT_THAT(sortedSequenceNames(usage.usageAt(0).sequenceNames), ElementsAre("Alt", "Main", "b cut"));
}

// Long enough that the index is filled on several threads: the map must be the one add() makes
// path by path, repeats within and across projects and canonically equal spellings included.
TEST(UsageAggregator, LongProjectsAreSummedAsPathByPathInTheSameOrder) {
    const QString decomposed = QStringLiteral("/m/Cafe\u0301.mov");
    const QString composed = QStringLiteral("/m/Caf\u00e9.mov");
    QList<ProjectFile> projects;
    for (int p = 0; p < 3; ++p) {
        QStringList media;
        QHash<QString, int> counts;
        for (int i = 0; i < 20000; ++i) {
            const QString path = QStringLiteral("/m/%1.mov").arg((i * (p + 3)) % 45000);
            media.append(path);
            if (i % 7 == p)
                counts.insert(path, 1 + i % 3);
        }
        media.insert(100 * p + 5, p == 1 ? composed : decomposed);
        projects.append(project(QStringLiteral("P%1").arg(p), media, counts, {media[9]}));
    }
    const ContributionRule rule = rawContributionRule();
    UsageMap expected;
    for (int p = 0; p < projects.size(); ++p) {
        const ProjectContribution contribution = rule(projects[p]);
        for (qsizetype k = 0; k < projects[p].mediaFiles.size(); ++k) {
            const QString& path = projects[p].mediaFiles[k];
            expected.add(path, projects[p].name, contribution(path), {p, k});
        }
    }
    const UsageMap usage = aggregateProjects(projects, rule);
    ASSERT_EQ(usage.size(), expected.size());
    for (qsizetype i = 0; i < usage.size(); ++i) {
        ASSERT_EQ(usage.pathAt(i), expected.pathAt(i)) << i;
        ASSERT_EQ(usage.originAt(i).project, expected.originAt(i).project) << i;
        ASSERT_EQ(usage.originAt(i).index, expected.originAt(i).index) << i;
        const PathUsage& u = usage.usageAt(i);
        const PathUsage& e = expected.usageAt(i);
        ASSERT_EQ(u.usageCount, e.usageCount) << i;
        ASSERT_EQ(u.isAudioOnly, e.isAudioOnly) << i;
        ASSERT_EQ(u.projectNames, e.projectNames) << i;
        ASSERT_EQ(usage.find(usage.pathAt(i)), &u) << i;
    }
    ASSERT_NE(usage.find(composed), nullptr);
    EXPECT_EQ(usage.find(composed), usage.find(decomposed));
    EXPECT_THAT(usage.find(composed)->projectNames, ElementsAre("P0", "P1", "P2"));
    EXPECT_FALSE(usage.contains(QStringLiteral("/m/45001.mov")));
}

TEST(UsageAggregator, CrossReferencesNewPathToKnownEntryByLowerCasedMatchedPath) {
    MediaFile known = entry(QStringLiteral("/Volumes/B/clip.mov"));
    known.matchedPath = QStringLiteral("/volumes/a/CLIP.mov");
    const QList<MediaFile> media = {known};
    const QList<ProjectFile> loaded = {project("Old", {known.path}, {{known.path, 1}})};

    UsageMap usage = aggregateProjects(loaded, rawContributionRule());
    KnownPathIndex index(media);
    const QString newPath = QStringLiteral("/Volumes/A/clip.mov");
    EXPECT_EQ(addProjectWithCrossReference(usage, index, project("New", {newPath}, {{newPath, 2}}),
                                           rawContributionRule()),
              1);
    ASSERT_EQ(usage.size(), 1);
    EXPECT_EQ(usage.usageAt(0).usageCount, 3);
    EXPECT_THAT(usage.usageAt(0).projectNames, ElementsAre("Old", "New"));

    // Another spelling through a further project finds the same entry through the grown index.
    const QString other = QStringLiteral("/VOLUMES/A/CLIP.MOV");
    addProjectWithCrossReference(usage, index, project("Third", {other}, {{other, 1}}),
                                 rawContributionRule());
    EXPECT_EQ(usage.size(), 1);
    EXPECT_EQ(usage.usageAt(0).usageCount, 4);
}

TEST(UsageAggregator, KnownEntryNoLoadedProjectReferencesGetsNoCrossReference) {
    MediaFile known = entry(QStringLiteral("/Volumes/B/clip.mov"));
    known.alternativePaths = {QStringLiteral("/Volumes/A/clip.mov")};
    UsageMap usage;
    KnownPathIndex index({known});
    const QString newPath = QStringLiteral("/Volumes/A/clip.mov");
    EXPECT_EQ(addProjectWithCrossReference(usage, index, project("New", {newPath}, {{newPath, 1}}),
                                           rawContributionRule()),
              0);
    ASSERT_EQ(usage.size(), 1);
    EXPECT_EQ(usage.pathAt(0), newPath);
}

TEST(UsageAggregator, PathsOfArrivingProjectsRecordTheProjectAndPositionTheyWereFirstMetAt) {
    const QString a = QStringLiteral("/m/a.mov");
    const QString b = QStringLiteral("/m/b.mov");
    const QString c = QStringLiteral("/m/c.mov");
    UsageMap usage;
    KnownPathIndex index({});
    const ProjectFile one = project("One", {a, b}, {{a, 1}});
    const ProjectFile two = project("Two", {b, c}, {{b, 2}});
    addProjectWithCrossReference(usage, index, one, rawContributionRule()(one), 3);
    addProjectWithCrossReference(usage, index, two, rawContributionRule()(two), 4);
    ASSERT_EQ(usage.size(), 3);
    const auto origin = [&](qsizetype i) {
        return std::make_pair(usage.originAt(i).project, usage.originAt(i).index);
    };
    EXPECT_EQ(origin(0), std::make_pair(3, qsizetype(0)));
    EXPECT_EQ(origin(1), std::make_pair(3, qsizetype(1))); // met again in Two: the first place stays
    EXPECT_EQ(origin(2), std::make_pair(4, qsizetype(1)));
    EXPECT_EQ(usage.usageAt(1).usageCount, 2);
    EXPECT_EQ(usage.usageAt(1).projectNames, QStringList({"One", "Two"}));
}

TEST(UsageAggregator, LongMediaListIsBuiltInTheMapsOrderFromTheScannedEntries) {
    // Long enough to be built in several ranges at once.
    constexpr int count = 40000;
    UsageMap usage;
    QHash<QString, MediaFile> scanned;
    QHash<QString, QUuid> scannedIds;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("/m/%1.mov").arg(count - i);
        usage.add(path, QStringLiteral("P"), PathContribution{i % 3, false, {}});
        if (i % 2 == 0) {
            const MediaFile file = entry(path);
            scanned.insert(UsageMap::key(path), file);
            scannedIds.insert(path, file.id);
        }
    }
    const QList<MediaFile> copied = buildMediaList(usage, {}, scanned);
    const QList<MediaFile> moved = buildMediaList(usage, {}, std::move(scanned));
    for (const QList<MediaFile>* list : {&copied, &moved}) {
        ASSERT_EQ(list->size(), count);
        for (int i = 0; i < count; ++i) {
            const MediaFile& file = list->at(i);
            ASSERT_EQ(file.path, usage.pathAt(i));
            ASSERT_EQ(file.usageCount, i % 3);
            ASSERT_EQ(file.status, i % 2 == 0 ? MediaFileStatus::online : MediaFileStatus::checking);
            if (i % 2 == 0) {
                ASSERT_EQ(file.id, scannedIds.value(file.path));
            }
        }
    }
}

TEST(UsageAggregator, MediaListKeepsKnownEntriesUsesScannedOnesAndDropsUnreferenced) {
    MediaFile kept = entry(QStringLiteral("/m/kept.mov"));
    kept.storageType = StorageType::network;
    kept.size = 77;
    const MediaFile gone = entry(QStringLiteral("/m/gone.mov"));
    const QString added = QStringLiteral("/m/added.mov");
    const QString unchecked = QStringLiteral("/m/unchecked.mov");

    UsageMap usage;
    usage.add(kept.path, "P", {1, true, {}});
    usage.add(added, "P", {0, false, {}});
    usage.add(unchecked, "P", {2, false, {"T"}});
    const auto existing = entriesByPath({kept, gone});
    EXPECT_THAT(newPaths(usage, existing), ElementsAre(added, unchecked));

    MediaFile scanned = newMediaEntry(added);
    scanned.status = MediaFileStatus::offline;
    const QList<MediaFile> list = buildMediaList(usage, existing, {{UsageMap::key(added), scanned}});
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].id, kept.id);
    EXPECT_EQ(list[0].size, 77);
    EXPECT_EQ(list[0].storageType, StorageType::network);
    EXPECT_EQ(list[0].usageType, MediaUsageType::audioOnly);
    EXPECT_EQ(list[1].status, MediaFileStatus::offline);
    EXPECT_EQ(list[1].usageType, MediaUsageType::unused);
    EXPECT_EQ(list[2].status, MediaFileStatus::checking);
    EXPECT_EQ(list[2].usageType, MediaUsageType::videoAndAudio);
    EXPECT_THAT(list[2].sequenceNames, ElementsAre("T"));
}

TEST(UsageAggregator, ExactPathsCompareByCanonicalEquivalence) {
    const QString composed = QString::fromUtf8("/m/caf\u00e9.mov");
    const QString decomposed = QString::fromUtf8("/m/cafe\u0301.mov");
    UsageMap usage;
    usage.add(composed, "A", {1, false, {}});
    usage.add(decomposed, "B", {1, false, {}});
    EXPECT_EQ(usage.size(), 1);
    usage.add(QStringLiteral("/m/CAFE.mov"), "C", {1, false, {}});
    EXPECT_EQ(usage.size(), 2); // letter case stays apart
}

TEST(UsageAggregator, SortsByFileNameCaseInsensitivelyAndStably) {
    QList<MediaFile> list = {entry("/z/b.mov"), entry("/a/C.mov"), entry("/y/A.mov"), entry("/x/a.mov")};
    const QUuid firstA = list[2].id;
    sortByFileName(list);
    EXPECT_EQ(path::lastPathComponent(list[0].path).toLower(), "a.mov");
    EXPECT_EQ(list[0].id, firstA);
    EXPECT_EQ(list[2].path, "/z/b.mov");
    EXPECT_EQ(list[3].path, "/a/C.mov");
}

TEST(UsageAggregator, AppliesAnOrderInPlaceAcrossCyclesAndFixedPoints) {
    // Fixed points, a 2-cycle, a 4-cycle and a permutation drawn at random.
    std::vector<std::vector<qsizetype>> orders = {{0, 1, 2}, {1, 0, 2}, {3, 0, 1, 2}, {2, 3, 0, 1, 4}};
    std::vector<qsizetype> shuffled(40);
    std::iota(shuffled.begin(), shuffled.end(), 0);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    orders.push_back(shuffled);
    for (const std::vector<qsizetype>& order : orders) {
        QList<MediaFile> list;
        for (size_t i = 0; i < order.size(); ++i)
            list.append(entry(QStringLiteral("/m/%1.mov").arg(i)));
        const QList<MediaFile> before = list;
        applyOrder(list, order);
        ASSERT_EQ(list.size(), before.size());
        for (size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(list[qsizetype(i)].id, before[order[i]].id) << i;
            EXPECT_EQ(list[qsizetype(i)].path, before[order[i]].path) << i;
        }
    }
}

TEST(UsageAggregator, FileNameSortAgreesWithTheLocalizedComparisonInEveryLocale) {
    const QStringList names = {"b.mov",  "A.mov",  "a_2.mov", "a.MOV",     "Ä.mov",     "z.mov",
                               "_x.mov", "10.mov", "9.mov",   "école.mov", "Zebra.mov", "a-1.mov"};
    const QLocale before;
    for (const char* name : {"C", "en_US", "de_DE", "sv_SE"}) {
        SCOPED_TRACE(name);
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        QList<MediaFile> list;
        for (const QString& n : names)
            list.append(entry("/m/" + n));
        sortByFileName(list);
        for (qsizetype i = 1; i < list.size(); ++i)
            EXPECT_LE(text::localizedCaseInsensitiveCompare(path::lastPathComponent(list[i - 1].path),
                                                            path::lastPathComponent(list[i].path)),
                      0)
                << list[i - 1].path.toStdString() << " before " << list[i].path.toStdString();
    }
    QLocale::setDefault(before);
}

TEST(UsageAggregator, LongListSortedInRangesStaysInOrderAndStable) {
    // Long enough to be sorted in ranges on threads: a few names repeated, so equal names meet
    // across the ranges and must keep their first order.
    const QStringList names = {"b.mov", "A.mov", "a.MOV", "Ä.mov", "z.mov", "10.mov", "9.mov", "école.mov"};
    const QLocale before;
    for (const char* name : {"C", "en_US"}) {
        SCOPED_TRACE(name);
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        QStringList paths;
        for (int i = 0; i < 40000; ++i)
            paths.append(QStringLiteral("/m/%1/").arg(i) + names[(i * 7919) % names.size()]);
        const std::vector<qsizetype> order = fileNameOrder(paths);
        ASSERT_EQ(qsizetype(order.size()), paths.size());
        std::vector<bool> seen(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            ASSERT_FALSE(seen[std::size_t(order[i])]);
            seen[std::size_t(order[i])] = true;
            if (i == 0)
                continue;
            const int c = text::localizedCaseInsensitiveCompare(path::lastPathComponent(paths[order[i - 1]]),
                                                                path::lastPathComponent(paths[order[i]]));
            ASSERT_LE(c, 0) << i;
            ASSERT_TRUE(c < 0 || order[i - 1] < order[i]) << "equal names keep their order, at " << i;
        }
    }
    QLocale::setDefault(before);
}

TEST(UsageAggregator, MergedCandidatesKeepEveryProjectsCandidateInProjectOrder) {
    ProjectFile a = project("A", {"/m/x.mov"}, {});
    a.relativeCandidates = {{"/m/x.mov", "/a/x.mov"}};
    ProjectFile b = project("B", {"/m/x.mov", "/m/y.mov"}, {});
    b.relativeCandidates = {{"/m/x.mov", "/b/x.mov"}, {"/m/y.mov", "/b/y.mov"}};
    ProjectFile c = project("C", {"/m/x.mov"}, {});
    c.relativeCandidates = {{"/m/x.mov", "/a/x.mov"}};
    const RelativeCandidates merged = mergedRelativeCandidates({a, b, c});
    EXPECT_EQ(merged.value("/m/x.mov"), RelativeCandidateList({"/a/x.mov", "/b/x.mov"}));
    EXPECT_EQ(merged.value("/m/y.mov"), RelativeCandidateList({"/b/y.mov"}));
    EXPECT_EQ(merged.size(), 2);
}
