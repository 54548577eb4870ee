#include "platform/Graphemes.h"

#include <gtest/gtest.h>

namespace graphemes = tarnwick::graphemes;

namespace {

struct Row {
    QString text;
    qsizetype clusters;
};

const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // one ZWJ sequence
const QString flag = QStringLiteral("\U0001F1E9\U0001F1EA"); // regional indicator pair
const QString eAcute = QStringLiteral("e\u0301");

} // namespace

TEST(Graphemes, CountsUserPerceivedCharacters) {
    const Row rows[] = {
        {QString(), 0},
        {QStringLiteral("abc"), 3},
        {QStringLiteral("a\r\nb"), 3},
        {QStringLiteral("\r\n\r\n"), 2},
        {QStringLiteral("\n\r"), 2},
        {eAcute, 1},
        {QStringLiteral("caf\u00e9\r\n\u00ad"), 6}, // Latin-1: one cluster per character but CR LF
        {QStringLiteral("caf") + eAcute, 4},
        {family, 1},
        {flag + flag, 2},
        {QStringLiteral("\U0001F44D\U0001F3FD"), 1}, // emoji with skin tone
    };
    for (const Row& row : rows) {
        EXPECT_EQ(graphemes::count(row.text), row.clusters) << row.text.toStdString();
        EXPECT_EQ(graphemes::countUtf8(row.text.toStdString()), row.clusters) << row.text.toStdString();
    }
}

TEST(Graphemes, InvalidUtf8CountsEachReplacement) {
    EXPECT_EQ(graphemes::countUtf8("a\xff"
                                   "b"),
              3);
}

TEST(Graphemes, PrefixAndSuffixNeverSplitACluster) {
    EXPECT_EQ(graphemes::prefix(QStringLiteral("abcdef"), 3), QStringLiteral("abc"));
    EXPECT_EQ(graphemes::suffix(QStringLiteral("abcdef"), 3), QStringLiteral("def"));
    EXPECT_EQ(graphemes::prefix(QStringLiteral("ab"), 6), QStringLiteral("ab"));
    EXPECT_EQ(graphemes::suffix(QStringLiteral("ab"), 6), QStringLiteral("ab"));
    EXPECT_EQ(graphemes::prefix(QStringLiteral("ab"), 0), QString());
    EXPECT_EQ(graphemes::suffix(QStringLiteral("ab"), -1), QString());
    EXPECT_EQ(graphemes::suffix(QStringLiteral("x\r\n"), 1), QStringLiteral("\r\n"));
    EXPECT_EQ(graphemes::prefix(QStringLiteral("\r\nx"), 1), QStringLiteral("\r\n"));
    EXPECT_EQ(graphemes::suffix(QStringLiteral("ab") + eAcute, 1), eAcute);
    EXPECT_EQ(graphemes::prefix(family + QStringLiteral("x"), 1), family);
    EXPECT_EQ(graphemes::suffix(QStringLiteral("x") + flag + flag, 1), flag);
    EXPECT_EQ(graphemes::suffix(QStringLiteral("x") + flag + flag, 2), flag + flag);
}
