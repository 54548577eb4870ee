#include "analysis/ScanPlan.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

ProjectFile listing(const QString& name, const QStringList& paths) {
    ProjectFile p;
    p.name = name;
    p.mediaFiles = paths;
    return p;
}

MediaFile checked(const QString& path) {
    MediaFile file = newMediaEntry(path);
    file.status = MediaFileStatus::online;
    return file;
}

} // namespace

// The second project arrived first: it queued the shared path and its own; the first project
// queued only its own. Each new path takes the check made for it, found through where the usage
// map first met it or else by its key; a path checked with another candidate is left to check.
TEST(ScanPlan, NewPathsTakeTheirChecksByOriginOrKeyAndStaleCandidatesAreCheckedAgain) {
    const QString a = QStringLiteral("/m/a.mov");
    const QString b = QStringLiteral("/m/b.mov");
    const QString c = QStringLiteral("/m/c.mov");
    const QList<ProjectFile> projects = {listing(QStringLiteral("One"), {a, b}),
                                         listing(QStringLiteral("Two"), {b, c})};
    ImportAggregation::Result aggregation;
    aggregation.usage = aggregateProjects(projects, rawContributionRule());
    aggregation.newPaths = {a, b, c};
    aggregation.newIndices = {0, 1, 2};

    ScanPrefetch::Checked prefetched;
    auto second = std::make_shared<ScanPrefetch::ProjectChecks>();
    second->projectId = projects[1].id;
    second->checkAt = {0, 1};
    second->entries = {checked(b), checked(c)};
    second->candidates = {{}, {QStringLiteral("/old/c.mov")}};
    auto first = std::make_shared<ScanPrefetch::ProjectChecks>();
    first->projectId = projects[0].id;
    first->checkAt = {0, -1};
    first->entries = {checked(a)};
    first->candidates = {{}};
    prefetched.projects = {second, first};
    prefetched.byKey = {{UsageMap::key(b), {0, 0}}, {UsageMap::key(c), {0, 1}}, {UsageMap::key(a), {1, 0}}};
    const QUuid idA = first->entries[0].id;
    const QUuid idB = second->entries[0].id;

    const RelativeCandidates candidates = {{c, {QStringLiteral("/new/c.mov")}}};
    ScanPlan plan = ScanPlan::fromPrefetch(aggregation, prefetched, projects, candidates);
    ASSERT_EQ(plan.scanned.size(), 3u);
    ASSERT_TRUE(plan.scanned[0] && plan.scanned[1]);
    EXPECT_EQ(plan.scanned[0]->id, idA);
    EXPECT_EQ(plan.scanned[1]->id, idB);
    EXPECT_FALSE(plan.scanned[2]);
    EXPECT_EQ(plan.unchecked.value(0), QList<qsizetype>({2}));

    FileStatusResult result;
    result.path = c;
    result.resolvedPath = c;
    result.status = MediaFileStatus::online;
    result.facts = FileFacts{};
    plan.add(aggregation, 2, result);
    ASSERT_TRUE(plan.scanned[2]);
    EXPECT_EQ(plan.scanned[2]->path, c);
    EXPECT_TRUE(plan.facts.contains(c));
    const QList<MediaFile> list = buildMediaList(aggregation.usage, {}, std::move(plan.scanned));
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].id, idA);
    EXPECT_EQ(list[1].projectNames, QStringList({"One", "Two"}));
}
