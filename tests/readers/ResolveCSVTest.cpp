#include "readers/ResolveCSV.h"
#include "readers/ResolveCSVMessages.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

template <size_t N> QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

QByteArray utf16(const QString& text, bool bigEndian) {
    QStringEncoder encoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
    return encoder.encode(text);
}

ResolveCSVError parseError(QByteArrayView bytes) {
    try {
        ResolveCSV::parse(bytes);
    } catch (const ResolveCSVError& e) {
        return e;
    }
    ADD_FAILURE() << "parsed without error";
    return ResolveCSVError::unreadable();
}

const QString sample = QStringLiteral("File Name,Clip Directory,Reel\r\n"
                                      "A001.R3D,/Volumes/Média/Day 1,A\r\n"
                                      "\"clip, \"\"final\"\".mov\",/Volumes/Média/,B\r\n"
                                      "Timeline 1,,\r\n");

} // namespace

TEST(ResolveCSV, ReadsEveryEncodingResolveMayWrite) {
    const std::vector<std::pair<const char*, QByteArray>> encodings{
        {"utf8", sample.toUtf8()},
        {"utf8 bom", raw("\xEF\xBB\xBF") + sample.toUtf8()},
        {"utf16le bom", raw("\xFF\xFE") + utf16(sample, false)},
        {"utf16be bom", raw("\xFE\xFF") + utf16(sample, true)},
        {"utf16le without bom", utf16(sample, false)},
    };
    const QList<ResolveCSVRow> rows{
        {QStringLiteral("A001.R3D"), QStringLiteral("/Volumes/Média/Day 1")},
        {QStringLiteral("clip, \"final\".mov"), QStringLiteral("/Volumes/Média/")},
    };
    for (const auto& [name, bytes] : encodings) {
        SCOPED_TRACE(name);
        const ResolveCSVParse result = ResolveCSV::parse(bytes);
        EXPECT_EQ(result.headerColumns,
                  (QStringList{QStringLiteral("File Name"), QStringLiteral("Clip Directory"),
                               QStringLiteral("Reel")}));
        EXPECT_EQ(result.rows, rows);
        EXPECT_EQ(result.skipped, (QList<ResolveCSVSkippedRow>{{4, QStringLiteral("Timeline 1"),
                                                                ResolveCSVSkipReason::emptyDirectory}}));
        EXPECT_EQ(result.fileNameColumnIndex, 0);
        EXPECT_EQ(result.clipDirectoryColumnIndex, 1);
    }
}

TEST(ResolveCSV, ReportsEmptyFiles) {
    const QList<QByteArray> empties{
        QByteArray(),    raw("\xEF\xBB\xBF"),
        raw("\xFF\xFE"), raw("\xFE\xFF"),
        "\r\n\n\r",      ",,,\n, ,",
        " \t \n  ",      raw("\xFF\xFE") + utf16(QStringLiteral("\r\n , \r\n"), false),
    };
    for (const QByteArray& bytes : empties) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        EXPECT_EQ(parseError(bytes), ResolveCSVError::empty());
    }
}

TEST(ResolveCSV, ReportsUndecodableBytesWithoutFallbackAfterAByteOrderMark) {
    const QList<QByteArray> unreadable{
        raw("\xC3\x28\x41"),             // bad UTF-8, odd length
        raw("\xFE\xFF\x00\x41\x00"),     // odd UTF-16BE remainder
        raw("\xFE\xFF\xD8\x00\x00\x41"), // unpaired surrogate
        raw("\xFF\xFE\x41\x00\x00\xDC"), // unpaired low surrogate
        raw("\xEF\xBB\xBF\xFF\x41"),     // BOM, then bad UTF-8 (valid as UTF-16LE)
        raw("\xC3\x28\x00\xD8"),         // neither UTF-8 nor UTF-16LE
        raw("\xED\xA0\x80"),             // an encoded surrogate is not UTF-8
        raw("\xF4\x90\x80\x80\x41"),     // beyond U+10FFFF
        raw("\xC0\xAF\x41"),             // overlong
    };
    for (const QByteArray& bytes : unreadable) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        EXPECT_EQ(parseError(bytes), ResolveCSVError::unreadable());
        EXPECT_FALSE(ResolveCSV::decodeText(bytes).has_value());
    }
}

TEST(ResolveCSV, MatchesHeaderColumnsInAnyLetterCase) {
    const ResolveCSVParse result =
        ResolveCSV::parse(QByteArray("Reel, clip DIRECTORY ,  FILE NAME  ,File Name\nB,/V,a.mov,x.mov\n"));
    EXPECT_EQ(result.headerColumns, (QStringList{QStringLiteral("Reel"), QStringLiteral("clip DIRECTORY"),
                                                 QStringLiteral("FILE NAME"), QStringLiteral("File Name")}));
    EXPECT_EQ(result.fileNameColumnIndex, 2);
    EXPECT_EQ(result.clipDirectoryColumnIndex, 1);
    EXPECT_EQ(result.rows, (QList<ResolveCSVRow>{{QStringLiteral("a.mov"), QStringLiteral("/V")}}));
}

TEST(ResolveCSV, ReportsMissingColumnsWithTheFirstRecordsCells) {
    EXPECT_EQ(parseError(QByteArray("Clip list export\nFile Name,Clip Directory\na.mov,/V\n")),
              ResolveCSVError::missingColumns({QStringLiteral("Clip list export")}));
    EXPECT_EQ(parseError(QByteArray(" Name , Clip Directory\n")),
              ResolveCSVError::missingColumns({QStringLiteral("Name"), QStringLiteral("Clip Directory")}));
}

TEST(ResolveCSV, SplitsRecordsOnEveryLineEndAndQuoting) {
    using Records = QList<QStringList>;
    const std::vector<std::pair<QString, Records>> cases{
        {QStringLiteral("a,b\r\nc\rd\ne"), {{"a", "b"}, {"c"}, {"d"}, {"e"}}},
        {QStringLiteral("a\n"), {{"a"}}},
        {QStringLiteral("a\r\n\r\nb\r"), {{"a"}, {""}, {"b"}}},
        {QStringLiteral("a,"), {{"a", ""}}},
        {QStringLiteral("\"x, \"\"y\"\"\nz\",w"), {{"x, \"y\"\nz", "w"}}},
        {QStringLiteral("\"ab\"cd,e"), {{"abcd", "e"}}},
        {QStringLiteral("ab\"c,d\"e"), {{"abc,de"}}},
        {QStringLiteral("a,\"open\nrest"), {{"a", "open\nrest"}}},
        {QStringLiteral("\""), {{""}}},
        {QString(), {}},
    };
    for (const auto& [text, records] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(ResolveCSV::parseRecords(text), records);
    }
}

TEST(ResolveCSV, SkipsRowsThatAreNotClipsWithTheirReasons) {
    const QByteArray csv("File Name,Clip Directory\n"
                         "\n\n"
                         " A001.R3D ,/Volumes/A\n"
                         "Timeline 1,/Volumes/A\n"
                         "clip.markers,/Volumes/A\n"
                         "sub/clip.mov,/Volumes/A\n"
                         "win\\clip.mov,/Volumes/A\n"
                         ".hidden,/Volumes/A\n"
                         "orphan.mov,  \n"
                         " ,/Volumes/A\n"
                         "short.mov\n"
                         "x.mp4,/V,extra,cells\n");
    const ResolveCSVParse result = ResolveCSV::parse(csv);
    EXPECT_EQ(result.rows, (QList<ResolveCSVRow>{{QStringLiteral("A001.R3D"), QStringLiteral("/Volumes/A")},
                                                 {QStringLiteral("x.mp4"), QStringLiteral("/V")}}));
    const QList<ResolveCSVSkippedRow> skipped{
        {3, QStringLiteral("Timeline 1"), ResolveCSVSkipReason::notMediaFile},
        {4, QStringLiteral("clip.markers"), ResolveCSVSkipReason::notMediaFile},
        {5, QStringLiteral("sub/clip.mov"), ResolveCSVSkipReason::notMediaFile},
        {6, QStringLiteral("win\\clip.mov"), ResolveCSVSkipReason::notMediaFile},
        {7, QStringLiteral(".hidden"), ResolveCSVSkipReason::notMediaFile},
        {8, QStringLiteral("orphan.mov"), ResolveCSVSkipReason::emptyDirectory},
        {9, QString(), ResolveCSVSkipReason::emptyFileName},
        {10, QStringLiteral("short.mov"), ResolveCSVSkipReason::emptyDirectory},
    };
    EXPECT_EQ(result.skipped, skipped);
    EXPECT_EQ(result.rows.first().fullPath(), QStringLiteral("/Volumes/A/A001.R3D"));
}

TEST(ResolveCSV, JoinsDirectoryAndNameWithoutEverMakingARelativePath) {
    const std::vector<std::pair<QString, QString>> cases{
        {QStringLiteral("/Volumes/Media///"), QStringLiteral("/Volumes/Media/A.mov")},
        {QStringLiteral("/Volumes/Media"), QStringLiteral("/Volumes/Media/A.mov")},
        {QStringLiteral("/"), QStringLiteral("/A.mov")},
        {QStringLiteral("///"), QStringLiteral("/A.mov")},
        {QStringLiteral("Media"), QStringLiteral("Media/A.mov")},
    };
    for (const auto& [directory, full] : cases)
        EXPECT_EQ((ResolveCSVRow{QStringLiteral("A.mov"), directory}.fullPath()), full);
}

TEST(ResolveCSV, PartitionsRowsByTheirFullPathInOrder) {
    const QList<ResolveCSVRow> rows{{"a.mov", "/x/"}, {"b.mov", "/y"}, {"c.mov", "/x"}, {"d.mov", "/"}};
    QStringList seen;
    const auto [pass, fail] = ResolveCSV::partition(rows, [&](const QString& path) {
        seen.append(path);
        return path.startsWith(QStringLiteral("/x/"));
    });
    EXPECT_EQ(seen, (QStringList{"/x/a.mov", "/y/b.mov", "/x/c.mov", "/d.mov"}));
    EXPECT_EQ(pass, (QList<ResolveCSVRow>{rows[0], rows[2]}));
    EXPECT_EQ(fail, (QList<ResolveCSVRow>{rows[1], rows[3]}));
}

TEST(ResolveCSV, SkipReasonTextsRoundTrip) {
    for (ResolveCSVSkipReason r : {ResolveCSVSkipReason::emptyFileName, ResolveCSVSkipReason::emptyDirectory,
                                   ResolveCSVSkipReason::notMediaFile})
        EXPECT_EQ(resolveCSVSkipReasonFromText(text(r)), r);
    EXPECT_EQ(text(ResolveCSVSkipReason::notMediaFile), QStringLiteral("notMediaFile"));
    EXPECT_FALSE(resolveCSVSkipReasonFromText(QStringLiteral("NotMediaFile")).has_value());
}

TEST(ResolveCSV, SummaryMessageListsOnlyTheCountsThatApply) {
    const QString disclaimer = QStringLiteral(
        "These clips are labeled \"DaVinci CSV\" because DaVinci Resolve flagged them as unused (Usage = 0). "
        "Tarnwick has NOT analyzed any timeline itself — verifying they're truly unused before deleting is "
        "your "
        "call.");
    DaVinciCSVImportSummary one{QStringLiteral("clips.csv"), 1, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(daVinciImportSummaryMessage(one),
              QStringLiteral("Imported 1 clip from clips.csv.\n1 found on disk, 0 missing.\n\n") +
                  disclaimer);

    DaVinciCSVImportSummary all{QStringLiteral("day 2.csv"), 9, 2, 1, 1, 1, 3, 2};
    EXPECT_EQ(
        daVinciImportSummaryMessage(all),
        QStringLiteral("Imported 2 clips from day 2.csv.\n"
                       "1 found on disk, 1 missing.\n"
                       "3 kept safe — also used in a loaded Premiere project.\n"
                       "2 proxy file(s) detected — these will move or delete together with their clips.\n"
                       "1 non-media row skipped (e.g. the timeline \"stringout\" row).\n\n") +
            disclaimer);
    all.skippedRows = 4;
    EXPECT_TRUE(
        daVinciImportSummaryMessage(all).contains(QStringLiteral("\n4 non-media rows skipped (e.g.")));
}

TEST(ResolveCSV, ErrorMessagesNameTheFile) {
    const QString name = QStringLiteral("export.csv");
    EXPECT_EQ(daVinciCSVErrorMessage(ResolveCSVError::unreadable(), name),
              QStringLiteral(
                  "export.csv couldn't be read as text. Export it from DaVinci Resolve as a metadata CSV "
                  "(File ▸ Export ▸ Metadata)."));
    EXPECT_EQ(daVinciCSVErrorMessage(ResolveCSVError::empty(), name), QStringLiteral("export.csv is empty."));
    EXPECT_EQ(
        daVinciCSVErrorMessage(ResolveCSVError::missingColumns({"Name", "Path"}), name),
        QStringLiteral("export.csv is missing the required \"File Name\" and \"Clip Directory\" columns. "
                       "Found: Name, Path."));
}
