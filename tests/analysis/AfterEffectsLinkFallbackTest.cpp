#include "analysis/AfterEffectsLinkFallback.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

MediaFile entry(const QString& path, const QStringList& projects, int usage = 0) {
    MediaFile f;
    f.path = path;
    f.projectNames = projects;
    f.usageCount = usage;
    return f;
}

ProjectFile project(const QString& name, const QStringList& media) {
    ProjectFile p;
    p.name = name;
    p.mediaFiles = media;
    return p;
}

} // namespace

TEST(AfterEffectsLinkFallback, RecordsEveryAepAmongTheMediaAsMissing) {
    const QList<MediaFile> media = {entry("/m/Comp.AEP", {"A"}), entry("/m/clip.mov", {"A"})};
    const auto links = AfterEffectsLinkFallback::unresolvedLinks(media);
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links.value("/m/Comp.AEP").kind, AEPLinkStatus::Kind::missing);
    EXPECT_EQ(links.value("/m/Comp.AEP").path, "/m/Comp.AEP");
}

TEST(AfterEffectsLinkFallback, FlagsOnlyUnusedMediaOfProjectsThatLinkAnUnresolvedProject) {
    QList<MediaFile> media = {
        entry("/m/comp.aep", {"A"}),         // the link itself
        entry("/m/unused.mov", {"A"}),       // flagged
        entry("/m/used.mov", {"A"}, 2),      // used: not flagged
        entry("/m/other.mov", {"B"}),        // another project: not flagged
        entry("/m/footage.mov", {"A", "B"}), // after effects footage: not flagged
    };
    media[4].isAEFootage = true;
    const QList<ProjectFile> projects = {project("A", {"/M/Comp.aep", "/m/unused.mov"}),
                                         project("B", {"/m/other.mov"})};
    QHash<QString, AEPLinkStatus> links = {{"/m/comp.aep", AEPLinkStatus::parseError("/m/comp.aep", "bad")}};
    EXPECT_EQ(AfterEffectsLinkFallback::flagMediaOfProjectsWithMissingAEP(media, projects, links), 1);
    EXPECT_FALSE(media[0].hasUnresolvedAELink);
    EXPECT_TRUE(media[1].hasUnresolvedAELink);
    EXPECT_FALSE(media[2].hasUnresolvedAELink);
    EXPECT_FALSE(media[3].hasUnresolvedAELink);
    EXPECT_FALSE(media[4].hasUnresolvedAELink);

    // A resolved link flags nothing.
    QList<MediaFile> fresh = {entry("/m/unused.mov", {"A"})};
    links = {{"/m/comp.aep", AEPLinkStatus::resolved({})}};
    EXPECT_EQ(AfterEffectsLinkFallback::flagMediaOfProjectsWithMissingAEP(fresh, projects, links), 0);
    EXPECT_FALSE(fresh[0].hasUnresolvedAELink);
}
