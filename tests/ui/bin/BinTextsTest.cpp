#include "ui/bin/BinTexts.h"
#include "support/ProjectManagerHarness.h"
#include "ui/brand/BrandPalette.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {
QList<RecycleBinItem> bin(std::initializer_list<std::pair<const char*, qint64>> files) {
    QList<RecycleBinItem> out;
    for (const auto& [path, size] : files)
        out.append(binItem(media(QString::fromUtf8(path), 0, MediaFileStatus::inRecycleBin, size)));
    return out;
}
} // namespace

TEST(BinTexts, DeleteConfirmationLowerCasesThenTrimsOnlyWhiteSpace) {
    for (const char* yes : {"delete", "  DeLeTe\t", "DELETE", "\tdelete  "})
        EXPECT_TRUE(BinTexts::isDeleteConfirmed(QString::fromUtf8(yes))) << yes;
    for (const char* no : {"delete.", "deletee", "del ete", "", " ", "delete\n", "xdelete"})
        EXPECT_FALSE(BinTexts::isDeleteConfirmed(QString::fromUtf8(no))) << no;
}

TEST(BinTexts, ProgressAndTrashFailureTexts) {
    EXPECT_EQ(BinTexts::percentText(0.4567), QStringLiteral("46%"));
    EXPECT_EQ(BinTexts::percentText(1.0), QStringLiteral("100%"));
    EXPECT_EQ(BinTexts::percentText(0.004), QStringLiteral("0%"));
    EXPECT_EQ(BinTexts::filesCounter(3, 12), QStringLiteral("3 / 12"));
    EXPECT_EQ(BinTexts::speedText(0.0), QStringLiteral("0.0 MB/s"));
    EXPECT_EQ(BinTexts::rowSizeText(0), QStringLiteral("—"));
    EXPECT_EQ(BinTexts::trashFailureSummary(0, 2), QStringLiteral("2 file(s) could not be moved to Trash."));
    EXPECT_EQ(BinTexts::trashFailureSummary(5, 2),
              QStringLiteral("5 file(s) trashed successfully, but 2 file(s) could not be moved to Trash."));
    EXPECT_EQ(BinTexts::moveToFolderConfirm(3, QStringLiteral("/mnt/Archive")),
              QStringLiteral("Move 3 file(s) to “Archive”?"));
    EXPECT_TRUE(BinTexts::trashFailureQuestion(bin({{"/a.mov", 0}, {"/b.mov", 0}}))
                    .startsWith(QStringLiteral("What would you like to do with these 2 file(s) (")));
}

// The sheet counts the files the run will try: a protected one is skipped, as the run skips it.
TEST(BinTexts, TranscodePlanSkipsWhatTheRunSkipsAndNamesTheNewMovNames) {
    auto plan = BinTexts::TranscodePlan::of(
        bin({{"/a/A.mp4", 10}, {"/a/B.MOV", 10}, {"/keep/C.mxf", 10}, {"/a/D.R3D", 10}, {"/a/E.png", 10}}),
        [](const QString& path) { return path.startsWith(QStringLiteral("/keep/")); });
    EXPECT_EQ(plan.transcodable, 3);
    EXPECT_EQ(plan.skippedLabel(),
              QStringLiteral("2 file(s) will be skipped (proprietary codec or protected folder)"));
    EXPECT_EQ(plan.skippedLines(),
              (QStringList{QStringLiteral("  C.mxf (protected folder)"), QStringLiteral("  D.R3D (R3D)")}));
    EXPECT_EQ(plan.renamedLines(), QStringList{QStringLiteral("  A.mp4 → A.mov")});
    EXPECT_EQ(plan.renamedLabel(), QStringLiteral("1 file(s) will change their extension to .mov"));
}

TEST(BinTexts, TranscodePlanClassifiesByExtensionInAnyCase) {
    auto plan = BinTexts::TranscodePlan::of(bin({{"/a/1.mts", 10},
                                                 {"/a/2.MTS", 10},
                                                 {"/a/3.mts", 10},
                                                 {"/a/4.mov", 10},
                                                 {"/a/5.MOV", 10},
                                                 {"/a/CLIP.R3D", 1000},
                                                 {"/a/A001.braw", 1000},
                                                 {"/a/noext", 7}}));
    EXPECT_EQ(plan.transcodable, 6);
    EXPECT_EQ(plan.ffmpegItems.size(), 3);
    EXPECT_EQ(plan.sourceSize, 57);
    EXPECT_EQ(plan.skippedLines(),
              (QStringList{QStringLiteral("  CLIP.R3D (R3D)"), QStringLiteral("  A001.braw (BRAW)")}));
    EXPECT_EQ(plan.skippedLabel(), QStringLiteral("2 file(s) will be skipped (proprietary codec)"));

    auto seven = BinTexts::TranscodePlan::of(bin({{"/m/1.mxf", 1},
                                                  {"/m/2.mxf", 1},
                                                  {"/m/3.mxf", 1},
                                                  {"/m/4.mxf", 1},
                                                  {"/m/5.mxf", 1},
                                                  {"/m/6.mxf", 1},
                                                  {"/m/7.mxf", 1}}));
    const QStringList lines = seven.ffmpegLines();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.first(), QStringLiteral("  1.mxf"));
    EXPECT_EQ(lines.at(4), QStringLiteral("  5.mxf"));
    EXPECT_EQ(lines.last(), QStringLiteral("  ... and 2 more"));
    auto five = BinTexts::TranscodePlan::of(
        bin({{"/m/1.mxf", 1}, {"/m/2.mxf", 1}, {"/m/3.mxf", 1}, {"/m/4.mxf", 1}, {"/m/5.mxf", 1}}));
    EXPECT_EQ(five.ffmpegLines().size(), 5);

    auto big = BinTexts::TranscodePlan::of(bin({{"/m/big.mov", 1'000'000'007}}));
    EXPECT_EQ(big.estimatedSize, 125'000'000);
    auto empty = BinTexts::TranscodePlan::of({});
    EXPECT_EQ(empty.transcodable, 0);
    EXPECT_EQ(empty.description().left(2), QStringLiteral("0 "));
    EXPECT_EQ(BinTexts::ffmpegInstallHint(), QStringLiteral("Install via: sudo apt install ffmpeg"));
    EXPECT_EQ(five.ffmpegLabel(false), QStringLiteral("5 file(s) require ffmpeg (not installed)"));
    EXPECT_EQ(five.ffmpegLabel(true), QStringLiteral("5 file(s) will use ffmpeg for transcoding (MXF/MTS)"));
}

TEST(BinTexts, TranscodeResultIconTitleAndCounterGroups) {
    using BinTexts::transcodeResultLook;
    auto cancelled = transcodeResultLook({0, 0, 2, 0, {}, true});
    EXPECT_EQ(cancelled.symbol, QStringLiteral("stop.circle"));
    EXPECT_EQ(cancelled.iconColor, Color::darkSystemOrange());
    EXPECT_EQ(cancelled.title, QStringLiteral("Transcode Cancelled"));
    ASSERT_EQ(cancelled.columns.size(), 1);
    EXPECT_EQ(cancelled.columns.first().caption, QStringLiteral("Failed"));

    auto nothing = transcodeResultLook({});
    EXPECT_EQ(nothing.symbol, QStringLiteral("checkmark.circle"));
    EXPECT_EQ(nothing.title, QStringLiteral("Transcode Complete"));
    EXPECT_TRUE(nothing.columns.isEmpty());
    EXPECT_FALSE(nothing.showErrors);
    EXPECT_FALSE(nothing.showNote);

    auto skipped = transcodeResultLook({0, 2, 0, 0, {}, false});
    ASSERT_EQ(skipped.columns.size(), 1);
    EXPECT_TRUE(skipped.columns.first().dividerBefore);
    EXPECT_EQ(skipped.columns.first().caption, QStringLiteral("Skipped"));
    EXPECT_FALSE(skipped.showNote);

    auto failed = transcodeResultLook({1, 0, 1, 500, {QStringLiteral("x")}, false});
    EXPECT_EQ(failed.symbol, QStringLiteral("exclamationmark.triangle"));
    EXPECT_EQ(failed.iconColor, Color::darkSystemYellow());
    QStringList captions;
    for (const auto& c : failed.columns)
        captions.append(c.caption);
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Transcoded"), QStringLiteral("Space Saved"),
                                     QStringLiteral("Failed")}));
    EXPECT_TRUE(failed.showNote);
    EXPECT_TRUE(failed.showErrors);
}
