#include "model/ProjectSequence.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <algorithm>

using namespace tarnwick;

TEST(ProjectSequence, DisplayNameTrimsOrFallsBackToTheIdentifier) {
    struct Row {
        QString id;
        QString name;
        QString shown;
    };
    const Row rows[] = {
        {"x", "  Assembly\n", "Assembly"},
        {"a3c9e1f0-77b2-4d10-9c2e-5f1a2b3c4d5e", " \t\n", "Untitled Timeline \u2022 3c4d5e"},
        {"abc", "", "Untitled Timeline \u2022 abc"},
        {"", "", "Untitled Timeline"},
        {"", "  ", "Untitled Timeline"},
        {"012345e\u0301", "", "Untitled Timeline \u2022 12345e\u0301"}, // six characters, not six code units
        {"id", "Rough  Cut", "Rough  Cut"},
        {"id", "\u3000Assembly\u00a0\u2028", "Assembly"},
    };
    for (const Row& row : rows)
        EXPECT_EQ((ProjectSequence{row.id, row.name}.displayName()), row.shown) << row.id.toStdString();
}

TEST(ProjectSequence, EqualityAndHashCoverBothFields) {
    const ProjectSequence a{"1", "Caf\u00e9"};
    const ProjectSequence b{"1", "Cafe\u0301"};
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    EXPECT_NE(a, (ProjectSequence{"2", "Caf\u00e9"}));
    EXPECT_NE(a, (ProjectSequence{"1", "Cafe"}));
}

TEST(ProjectSequence, JsonNeedsBothKeys) {
    const ProjectSequence s{"42", "Edit/Final"};
    EXPECT_EQ(ProjectSequence::fromJson(s.toJson()), s);
    EXPECT_EQ(ProjectSequence::fromJson(QJsonObject{{"id", "1"}}), std::nullopt);
    EXPECT_EQ(ProjectSequence::fromJson(QJsonObject{{"id", 1}, {"name", "n"}}), std::nullopt);
    EXPECT_EQ(ProjectSequence::fromJson(QJsonObject{{"id", "1"}, {"name", QJsonValue::Null}}), std::nullopt);
}

TEST(ProjectSequence, ListedByNameIgnoringCaseThenByIdentifier) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QList<ProjectSequence> list{{"2", "b"}, {"3", "A"}, {"1", "a"}};
    std::sort(list.begin(), list.end(), sequenceListedBefore);
    EXPECT_EQ(list, (QList<ProjectSequence>{{"1", "a"}, {"3", "A"}, {"2", "b"}}));

    // Unnamed timelines sort by their display name, "Untitled Timeline • …".
    QList<ProjectSequence> unnamed{{"zz", ""}, {"Timeline", "Zebra"}, {"aa", " "}};
    std::sort(unnamed.begin(), unnamed.end(), sequenceListedBefore);
    EXPECT_EQ(unnamed, (QList<ProjectSequence>{{"aa", " "}, {"zz", ""}, {"Timeline", "Zebra"}}));
    EXPECT_FALSE(sequenceListedBefore({"1", "a"}, {"1", "A"}));
    EXPECT_FALSE(sequenceListedBefore({"1", "A"}, {"1", "a"}));
    QLocale::setDefault(previous);
}
