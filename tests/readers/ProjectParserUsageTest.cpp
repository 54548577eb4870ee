#include "readers/PrprojUsageResolver.h"

#include "support/ProjectParserLogCapture.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

using namespace tarnwick;
using namespace tarnwick::prproj;
using tarnwick::testing::ProjectParserLogCapture;

namespace {

struct Project {
    MediaTables media;
    std::deque<std::string> texts; // what `names` views
    IdMap<Id> names;
    QList<ProjectSequence> timelines{{QStringLiteral("seqA"), QStringLiteral("Edit A")}};
    MasterClipMapping mapping;
    QHash<QString, QStringList> chainMap;
    ReferenceChain chain{0, [this](const QString& id) { return chainMap.value(id); }, {}, {}, {}};
    qsizetype videoKeys = 1;

    void addMedia(const QString& title, const QString& path) {
        addUnique(media.pathsByTitle[MediaTables::titleKey(title)], media.accept(path));
    }
    void nameMasterClip(const QString& id, const QString& name) {
        const Id key = texts.emplace_back(id.toStdString());
        names[key] = texts.emplace_back(name.toStdString());
    }
    void useMasterClip(const QString& id, const QString& name, qint64 uses = 1) {
        if (!name.isNull())
            nameMasterClip(id, name);
        mapping.usedMasterClipRefs.insert(id);
        mapping.usageCountByMasterClip.insert(id, uses);
    }
    UsageResult resolve(QStringList& warnings) const {
        const UsageInputs in{media, names,  qsizetype(timelines.size()), videoKeys, 0, timelines, mapping,
                             chain, nullptr};
        return UsageResolver(in).resolve(warnings);
    }
    std::optional<QSet<QString>> match(const QString& id) const {
        const UsageInputs in{media, names, 1, 1, 0, timelines, mapping, chain, nullptr};
        const std::optional<QStringList> paths = UsageResolver(in).matchClipNameToMedia(id);
        if (!paths)
            return std::nullopt;
        return QSet<QString>(paths->begin(), paths->end());
    }
};

} // namespace

TEST(ProjectParserUsage, MatchesMasterClipNamesByTheNameRules) {
    Project p;
    p.addMedia(QStringLiteral("Interview.MOV"), QStringLiteral("/m/interview.mov"));
    p.addMedia(QStringLiteral("Dad's Cut.mov"), QStringLiteral("/m/dads.mov"));
    p.addMedia(QStringLiteral("Cam A "), QStringLiteral("/m/cam-a-blank.mov"));
    p.addMedia(QStringLiteral("Cam A"), QStringLiteral("/m/cam-a.mov"));
    p.addMedia(QStringLiteral("Wedding.mxf"), QStringLiteral("/m/wedding.mxf"));
    p.addMedia(QStringLiteral("Reel/Clip.mov"), QStringLiteral("/m/reel-clip.mov"));
    p.addMedia(QStringLiteral("A_very_long_clip_name_take_01.mov"), QStringLiteral("/m/long.mov"));
    p.addMedia(QStringLiteral("Sunrise_over_water_v2.mov"), QStringLiteral("/m/sunrise.mov"));
    struct Case {
        const char* name;
        const char* expected; // nullptr: no match
    };
    const Case cases[] = {
        {"interview.mov", "/m/interview.mov"},                // letter case
        {"Dad\u2019s Cut.mov", "/m/dads.mov"},                // typographic apostrophe
        {"Interview", "/m/interview.mov"},                    // title without extension
        {"Cam A Multicam", "/m/cam-a-blank.mov"},             // text before "multicam", blank kept
        {"MC - Wedding", "/m/wedding.mxf"},                   // "mc - " prefix
        {"Reel", "/m/reel-clip.mov"},                         // a title inside a folder of that name
        {"A_very_long_clip_name_take_02.mov", "/m/long.mov"}, // first 25 characters
        {"Sunrise_over_wat.mov", "/m/sunrise.mov"},           // base name of at least 11 characters
        {"Something else", nullptr},
    };
    for (const Case& c : cases) {
        const QString id = QString::fromUtf8(c.name);
        p.nameMasterClip(id, id);
        const std::optional<QSet<QString>> m = p.match(id);
        if (!c.expected)
            EXPECT_FALSE(m.has_value()) << c.name;
        else
            EXPECT_EQ(m, QSet<QString>{QString::fromUtf8(c.expected)}) << c.name;
    }
}

TEST(ProjectParserUsage, CountsTheReferenceChainTogetherWithTheNameRules) {
    Project p;
    p.addMedia(QStringLiteral("B.mov"), QStringLiteral("/m/b.mov"));
    p.addMedia(QStringLiteral("A.mov"), QStringLiteral("/m/a.mov"));
    // A master clip renamed to another file's title: its own chain says it shows a.mov.
    p.nameMasterClip(QStringLiteral("renamed"), QStringLiteral("B.mov"));
    p.chainMap.insert(QStringLiteral("renamed"), {QStringLiteral("/m/a.mov")});
    EXPECT_EQ(p.match(QStringLiteral("renamed")),
              (QSet<QString>{QStringLiteral("/m/a.mov"), QStringLiteral("/m/b.mov")}));
    // A name that matches nothing still resolves through the chain.
    p.nameMasterClip(QStringLiteral("odd"), QStringLiteral("Selects (edited)"));
    p.chainMap.insert(QStringLiteral("odd"), {QStringLiteral("/m/a.mov")});
    EXPECT_EQ(p.match(QStringLiteral("odd")), QSet<QString>{QStringLiteral("/m/a.mov")});
    // Without a name the master clip stays unresolved, chain or not.
    p.chainMap.insert(QStringLiteral("nameless"), {QStringLiteral("/m/a.mov")});
    EXPECT_FALSE(p.match(QStringLiteral("nameless")).has_value());
}

TEST(ProjectParserUsage, AddsUsageCountsAndReconcilesAttribution) {
    ProjectParserLogCapture log;
    Project p;
    p.addMedia(QStringLiteral("a.mov"), QStringLiteral("/m/a.mov"));
    p.addMedia(QStringLiteral("b.mov"), QStringLiteral("/m/b.mov"));
    p.addMedia(QStringLiteral("c.mov"), QStringLiteral("/m/c.mov"));
    p.useMasterClip(QStringLiteral("1"), QStringLiteral("a.mov"), 3);
    p.useMasterClip(QStringLiteral("2"), QStringLiteral("a.mov"));
    p.mapping.usageCountByMasterClip.remove(QStringLiteral("2")); // no count: 1
    p.mapping.attributionByMasterClip.insert(QStringLiteral("1"), {{{QStringLiteral("seqA"), 2}}, 1});
    p.useMasterClip(QStringLiteral("3"), QStringLiteral("b.mov"), 2); // no attribution at all
    p.useMasterClip(QStringLiteral("4"), QStringLiteral("c.mov"), 1);
    p.mapping.attributionByMasterClip.insert(QStringLiteral("4"), {{{QStringLiteral("seqA"), 3}}, 0});
    p.useMasterClip(QStringLiteral("5"), QString());
    p.mapping.unmatchedClipCount = 2;
    QStringList warnings;
    const UsageResult r = p.resolve(warnings);
    const QString a = QStringLiteral("/m/a.mov");
    const QString b = QStringLiteral("/m/b.mov");
    const QString c = QStringLiteral("/m/c.mov");
    EXPECT_EQ(r.usageCountByPath, (QHash<QString, int>{{a, 4}, {b, 2}, {c, 1}}));
    EXPECT_EQ(r.sequenceUsageByPath.value(a), (SequenceUsageAttribution{{{QStringLiteral("seqA"), 2}}, 2}));
    EXPECT_EQ(r.sequenceUsageByPath.value(b), (SequenceUsageAttribution{{}, 2}));
    EXPECT_EQ(r.sequenceUsageByPath.value(c), (SequenceUsageAttribution{{{QStringLiteral("seqA"), 3}}, 1}));
    EXPECT_EQ(r.sequenceNamesByPath.value(a), QSet<QString>{QStringLiteral("Edit A")});
    EXPECT_EQ(
        warnings,
        (QStringList{
            QStringLiteral("1 timeline clip(s) could not be matched to a media file — some media in this "
                           "project may appear unused. Flagged for review; excluded from one-click "
                           "cleanup."),
            QStringLiteral("2 timeline clip(s) couldn't be linked to their source — used media here may "
                           "appear unused. Flagged for review; excluded from one-click cleanup."),
            QStringLiteral("2 used media path(s) have timeline occurrences whose sequence could not be "
                           "identified — those occurrences remain protected from sequence-ignore "
                           "rules.")}));
    EXPECT_EQ(log.messages().size(), 3); // each warning is logged as it arises
}

TEST(ProjectParserUsage, TreatsEverythingAsUsedWhenTimelineClipsResolveToNothing) {
    Project p;
    p.addMedia(QStringLiteral("a.mov"), QStringLiteral("/m/a.mov"));
    p.addMedia(QStringLiteral("b.mov"), QStringLiteral("/m/b.mov"));
    p.useMasterClip(QStringLiteral("x"), QStringLiteral("nothing like it"));
    QStringList warnings;
    const UsageResult r = p.resolve(warnings);
    EXPECT_EQ(r.usedMediaPaths, p.media.allPaths);
    EXPECT_EQ(r.usageCountByPath.value(QStringLiteral("/m/a.mov")), 1);
    EXPECT_EQ(r.sequenceUsageByPath.value(QStringLiteral("/m/b.mov")), (SequenceUsageAttribution{{}, 1}));
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_EQ(warnings[1],
              QStringLiteral("Found 1 sequence(s) with 1 timeline clip(s) but resolved 0 used media — "
                             "treating all 2 file(s) as USED to avoid mis-deleting in-use media "
                             "(suspected parse failure)."));
    p.timelines.clear(); // without sequences nothing is used and nothing is said
    QStringList none;
    EXPECT_TRUE(p.resolve(none).usedMediaPaths.isEmpty());
    EXPECT_EQ(none.size(), 1);
}
