#include "analysis/ImportProgress.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(ImportProgress, ParseProgressIsTheScaledMeanAndNeverFallsBack) {
    ImportProgress progress(2);
    const QUrl a = QUrl::fromLocalFile("/p/a.prproj");
    const QUrl b = QUrl::fromLocalFile("/p/b.prproj");
    EXPECT_DOUBLE_EQ(progress.report(a, 0.5), 0.45 * 0.5 / 2);
    EXPECT_DOUBLE_EQ(progress.report(b, 2.0), 0.45 * 1.5 / 2); // clamped to 1
    EXPECT_DOUBLE_EQ(progress.finish(a), 0.45);
    // A report that arrives after its project was counted does not lower it again.
    EXPECT_DOUBLE_EQ(progress.report(a, 0.1), 0.45);
    EXPECT_EQ(progress.fractions().size(), 2);
}

TEST(ImportProgress, SameFileTwiceSharesOneFraction) {
    ImportProgress progress(2);
    const QUrl a = QUrl::fromLocalFile("/p/a.prproj");
    progress.finish(a);
    EXPECT_DOUBLE_EQ(progress.finish(a), 0.45 * 1 / 2);
    EXPECT_EQ(progress.completed(), 2);
}

TEST(ImportProgress, FinishedMessagesFollowTheProjectCount) {
    ImportProgress one(1);
    EXPECT_TRUE(one.showsReaderMessages());
    one.finish(QUrl::fromLocalFile("/a"));
    EXPECT_EQ(one.finishedMessage(), QStringLiteral("Finished reading project…"));

    ImportProgress three(3);
    EXPECT_FALSE(three.showsReaderMessages());
    QStringList messages;
    for (const char* p : {"/a", "/b", "/c"}) {
        three.finish(QUrl::fromLocalFile(p));
        messages << three.finishedMessage();
    }
    EXPECT_EQ(messages,
              QStringList({"Parsed 1/3 projects…", "Parsed 2/3 projects…", "Parsed 3/3 projects…"}));
}

TEST(ImportProgress, EmptySelectionStaysAtZero) {
    ImportProgress none(0);
    EXPECT_DOUBLE_EQ(none.overall(), 0.0);
}

TEST(ImportProgress, ScanRunsFromStartToEightyFiveHundredths) {
    EXPECT_DOUBLE_EQ(ImportProgress::scanProgress(0, 0), 0.45);
    EXPECT_DOUBLE_EQ(ImportProgress::scanProgress(100, 250), 0.45 + 0.4 * 100 / 250);
    EXPECT_DOUBLE_EQ(ImportProgress::scanProgress(250, 250), 0.85);
    EXPECT_EQ(ImportProgress::scanMessage(200, 250), QStringLiteral("Scanning files… 200/250"));
}

TEST(ImportProgress, StepFractionsAreTheStepsOwn) {
    ImportProgress progress(4);
    progress.finish(QUrl::fromLocalFile("/a"));
    progress.report(QUrl::fromLocalFile("/b"), 0.5);
    EXPECT_DOUBLE_EQ(progress.parseFraction(), 1.5 / 4);
    EXPECT_DOUBLE_EQ(ImportProgress::scanFraction(0, 21).value_or(-1), 0.0);
    EXPECT_DOUBLE_EQ(ImportProgress::scanFraction(7, 21).value_or(-1), 7.0 / 21);
    EXPECT_FALSE(ImportProgress::scanFraction(0, 0).has_value());
}

TEST(ImportProgress, ParseWidthIsTheProcessorCountButAtLeastFour) {
    EXPECT_EQ(parseWidth(1), 4);
    EXPECT_EQ(parseWidth(2), 4);
    EXPECT_EQ(parseWidth(4), 4);
    EXPECT_EQ(parseWidth(8), 8);
    EXPECT_EQ(parseWidth(32), 32);
}
