#include "model/SequenceUsageAttribution.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(SequenceUsageAttribution, MergeSkipsNonPositiveCounts) {
    SequenceUsageAttribution a;
    a.merge({{"s1", 2}, {"s2", 0}, {"s3", -1}}, -4);
    EXPECT_EQ(a.occurrencesBySequenceID, (QHash<QString, qint64>{{"s1", 2}}));
    EXPECT_EQ(a.unattributedOccurrences, 0);
    a.merge({{"s1", 1}}, 3);
    EXPECT_EQ(a.occurrencesBySequenceID, (QHash<QString, qint64>{{"s1", 3}}));
    EXPECT_EQ(a.unattributedOccurrences, 3);
}

TEST(SequenceUsageAttribution, TotalSumsEveryValueButNotTheUnattributed) {
    SequenceUsageAttribution a;
    a.occurrencesBySequenceID = {{"s1", 2}, {"s2", -1}};
    a.unattributedOccurrences = 10;
    EXPECT_EQ(a.totalOccurrences(), 1);
    EXPECT_EQ(SequenceUsageAttribution{}.totalOccurrences(), 0);
}

TEST(SequenceUsageAttribution, EqualityAndHashIgnoreInsertionOrder) {
    SequenceUsageAttribution a;
    a.merge({{"s1", 1}}, 0);
    a.merge({{"s2", 5}}, 2);
    SequenceUsageAttribution b;
    b.merge({{"s2", 5}}, 0);
    b.merge({{"s1", 1}}, 2);
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    b.unattributedOccurrences = 3;
    EXPECT_NE(a, b);
    // Swapping values between keys changes the hash input, not just its order.
    SequenceUsageAttribution c;
    c.occurrencesBySequenceID = {{"s1", 5}, {"s2", 1}};
    c.unattributedOccurrences = 2;
    EXPECT_NE(a, c);
}

TEST(SequenceUsageAttribution, JsonRoundTripAndRequiredKeys) {
    SequenceUsageAttribution a;
    a.occurrencesBySequenceID = {{"s1", 3}, {"s2", 9007199254740993LL}};
    a.unattributedOccurrences = 4;
    EXPECT_EQ(SequenceUsageAttribution::fromJson(a.toJson()), a);
    EXPECT_EQ(SequenceUsageAttribution::fromJson(QJsonObject{{"unattributedOccurrences", 1}}), std::nullopt);
    EXPECT_EQ(SequenceUsageAttribution::fromJson(QJsonObject{{"occurrencesBySequenceID", QJsonObject{}}}),
              std::nullopt);
    EXPECT_EQ(SequenceUsageAttribution::fromJson(QJsonObject{
                  {"occurrencesBySequenceID", QJsonObject{{"s1", "two"}}}, {"unattributedOccurrences", 0}}),
              std::nullopt);
    EXPECT_EQ(SequenceUsageAttribution::fromJson(QJsonObject{
                  {"occurrencesBySequenceID", QJsonObject{{"s1", 1.5}}}, {"unattributedOccurrences", 0}}),
              std::nullopt);
}

TEST(SequenceUsageAttribution, MergedCountsStayApartFromTheirSource) {
    const QHash<QString, qint64> source{{"s1", 2}};
    SequenceUsageAttribution a;
    a.merge(source, 1);
    a.merge({{"s1", 1}, {"s2", 4}}, 0);
    EXPECT_EQ(a.occurrencesBySequenceID, (QHash<QString, qint64>{{"s1", 3}, {"s2", 4}}));
    EXPECT_EQ(a.unattributedOccurrences, 1);
    EXPECT_EQ(source, (QHash<QString, qint64>{{"s1", 2}}));
}
