#include "model/ProjectFile.h"
#include "model/PathComponents.h"
#include "model/ScoredMatch.h"

#include <QSet>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tarnwick;

TEST(ProjectFile, IdentityIsTheIdAlone) {
    ProjectFile a;
    a.name = "One";
    ProjectFile b;
    b.id = a.id;
    b.name = "Other";
    b.mediaFiles = {"/a.mov"};
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    ProjectFile c = a;
    c.id = QUuid::createUuid();
    EXPECT_NE(a, c);
    EXPECT_EQ((QSet<ProjectFile>{a, b, c}).size(), 2);
}

TEST(ProjectFile, CountDerivedSumsUnattributedUses) {
    ProjectFile p;
    EXPECT_EQ(p.countDerived(), 0);
    SequenceUsageAttribution onTimeline;
    onTimeline.merge({{"s1", 4}}, 0);
    p.sequenceUsageByPath.insert("/a.mov", onTimeline);
    EXPECT_EQ(p.countDerived(), 0);
    SequenceUsageAttribution loose;
    loose.merge({{"s1", 1}}, 2);
    p.sequenceUsageByPath.insert("/b.mov", loose);
    SequenceUsageAttribution looser;
    looser.merge({}, 5);
    p.sequenceUsageByPath.insert("/c.mov", looser);
    EXPECT_EQ(p.countDerived(), 7);
}

TEST(MatchScore, PercentTextTruncates) {
    struct Row {
        double score;
        const char* text;
    };
    const Row rows[] = {{0.876, "87%"}, {1.0, "100%"}, {0.999, "99%"}, {0.0, "0%"},
                        {0.29, "28%"},  {0.58, "57%"}, {0.005, "0%"},  {0.15 + 0.3, "44%"}};
    for (const Row& row : rows)
        EXPECT_EQ((MatchScore{row.score, 0, 0, false, false}.percentText()), QString::fromUtf8(row.text))
            << row.score;
    // Far outside 0...1 there is no meaningful text, but it must not misbehave.
    EXPECT_TRUE((MatchScore{1e300, 0, 0, false, false}.percentText()).endsWith('%'));
    EXPECT_EQ((MatchScore{std::nan(""), 0, 0, false, false}.percentText()), "0%");
}

TEST(PathComponents, LowerCasedComponentsWithoutEmptyPieces) {
    struct Row {
        QString path;
        QStringList components;
    };
    const Row rows[] = {
        {"/Volumes/A/B.mov", {"volumes", "a", "b.mov"}},
        {"C:\\Users\\Ana\\B.mov", {"c:", "users", "ana", "b.mov"}},
        {"C:/Users/Ana/B.mov", {"c:", "users", "ana", "b.mov"}},
        {"/", {}},
        {"", {}},
        {"//", {}},
        {"/a//b/", {"a", "b"}},
        {"rel/Clip.MOV", {"rel", "clip.mov"}},
        {"/\u00c9t\u00e9/A", {"\u00e9t\u00e9", "a"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(pathComponentsHelper(row.path), row.components) << row.path.toStdString();
}
