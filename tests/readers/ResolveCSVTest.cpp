#include "readers/ResolveCSV.h"
#include "readers/ResolveCSVMessages.h"

#include "support/HeapPeak.h"
#include "support/ReferenceResolveCSV.h"

#include <QBuffer>
#include <QDir>
#include <QRandomGenerator>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <cstring>
#include <variant>

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
        {QStringLiteral("ab\"c,d\"e"), {{"ab\"c", "d\"e"}}},
        {QStringLiteral("a \"b\" c, \"d\""), {{"a \"b\" c", " \"d\""}}},
        {QStringLiteral("\"a\"b\"c\",d"), {{"ab\"c\"", "d"}}},
        {QStringLiteral("a,\"open\nrest"), {{"a", "open\nrest"}}},
        {QStringLiteral("\""), {{""}}},
        {QString(), {}},
    };
    for (const auto& [text, records] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(ResolveCSV::parseRecords(text), records);
    }
}

TEST(ResolveCSV, AQuoteInsideANameIsPartOfItReadWholeOrInPieces) {
    // Resolve writes such names without quoting the cell; one inch mark must not swallow the file.
    const QByteArray csv("File Name,Clip Directory,Comments\r\n"
                         "The \"Name\". | Archive (1937).mp4,/Volumes/Arc,\r\n"
                         "Monitor 12\" test.mov,/Volumes/Arc,\"a, \"\"quoted\"\" note\"\r\n"
                         "\"clip, 2.mov\",/Volumes/Arc/Say \"hi\",x\r\n"
                         "after.mov,/Volumes/Arc,\r\n");
    const QList<ResolveCSVRow> rows{
        {QStringLiteral("The \"Name\". | Archive (1937).mp4"), QStringLiteral("/Volumes/Arc")},
        {QStringLiteral("Monitor 12\" test.mov"), QStringLiteral("/Volumes/Arc")},
        {QStringLiteral("clip, 2.mov"), QStringLiteral("/Volumes/Arc/Say \"hi\"")},
        {QStringLiteral("after.mov"), QStringLiteral("/Volumes/Arc")},
    };
    for (qsizetype chunk : {qsizetype(4), qsizetype(7), qsizetype(29), ResolveCSV::kChunkBytes}) {
        SCOPED_TRACE(chunk);
        const ResolveCSVParse fromMemory = ResolveCSV::parse(csv, chunk);
        EXPECT_EQ(fromMemory.rows, rows);
        EXPECT_TRUE(fromMemory.skipped.isEmpty());
        EXPECT_EQ(fromMemory.unclosedQuoteLine, 0);
        QBuffer device;
        device.setData(csv);
        ASSERT_TRUE(device.open(QIODevice::ReadOnly));
        EXPECT_EQ(ResolveCSV::parse(device, chunk), fromMemory);
    }
    const QList<QStringList> records = ResolveCSV::parseRecords(QString::fromUtf8(csv));
    ASSERT_EQ(records.size(), 5);
    EXPECT_EQ(records[2], (QStringList{"Monitor 12\" test.mov", "/Volumes/Arc", "a, \"quoted\" note"}));
}

TEST(ResolveCSV, AQuoteLeftOpenAtTheEndIsReportedWithItsRow) {
    // A name that starts with a quote opens quoting that never closes: the rest is one cell.
    const QByteArray csv("File Name,Clip Directory\n"
                         "a.mov,/V\n"
                         "\n"
                         "\"Quote first.mov,/V\n"
                         "b.mov,/V\n"
                         "c.mov,/V\n");
    for (qsizetype chunk : {qsizetype(4), qsizetype(5), ResolveCSV::kChunkBytes}) {
        SCOPED_TRACE(chunk);
        const ResolveCSVParse result = ResolveCSV::parse(csv, chunk);
        EXPECT_EQ(result.rows, (QList<ResolveCSVRow>{{"a.mov", "/V"}}));
        ASSERT_EQ(result.skipped.size(), 1);
        EXPECT_EQ(result.skipped[0].lineNumber, 3);
        EXPECT_EQ(result.unclosedQuoteLine, 3);
        QBuffer device;
        device.setData(csv);
        ASSERT_TRUE(device.open(QIODevice::ReadOnly));
        EXPECT_EQ(ResolveCSV::parse(device, chunk), result);
    }
    // Closed at the very end, or closed and then a quote later in the cell: nothing is open.
    EXPECT_EQ(ResolveCSV::parse(QByteArray("File Name,Clip Directory\n\"a.mov\",/V")).unclosedQuoteLine, 0);
    EXPECT_EQ(ResolveCSV::parse(QByteArray("File Name,Clip Directory\n\"a\"b\".mov,/V")).unclosedQuoteLine,
              0);
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

TEST(ResolveCSV, CountsAnExtensionInCharactersNotCodeUnits) {
    const QString clapper = QString::fromUtf8("\xF0\x9F\x8E\xAC"); // two code units
    const QString six = clapper.repeated(6);
    const QString csv =
        QStringLiteral("File Name,Clip Directory\nclip.,/V\nclip.%1,/V\nclip.%1%2,/V\n").arg(six, clapper);
    const ResolveCSVParse result = ResolveCSV::parse(csv.toUtf8());
    EXPECT_EQ(result.rows, (QList<ResolveCSVRow>{{QStringLiteral("clip.") + six, QStringLiteral("/V")}}));
    ASSERT_EQ(result.skipped.size(), 2);
    EXPECT_EQ(result.skipped[0].reason, ResolveCSVSkipReason::notMediaFile); // a dot that ends the name
    EXPECT_EQ(result.skipped[1].reason, ResolveCSVSkipReason::notMediaFile); // seven characters
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
    all.openQuoteRow = 3;
    EXPECT_TRUE(daVinciImportSummaryMessage(all).contains(
        QStringLiteral("\nRead 9 rows, then stopped: a double quote in row 3 is never closed, so the rest of "
                       "the file was read as one cell and any clips listed after that row are missing. A "
                       "name that starts with a double quote does this: rename that clip in DaVinci "
                       "Resolve, then export and import the CSV again.\n\n")));
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

namespace {

using Outcome = std::variant<ResolveCSVParse, ResolveCSVError>;

template <class Parse> Outcome outcomeOf(Parse&& parse) {
    try {
        return parse();
    } catch (const ResolveCSVError& e) {
        return e;
    }
}

// Bytes in every shape the reader meets: quoting, line ends, blanks, white space that is not
// ASCII, byte-order marks inside the text, surrogate pairs, NUL, each encoding, and corruption.
QByteArray randomCSV(QRandomGenerator& random) {
    static const QStringList tokens{"File Name",
                                    "Clip Directory",
                                    "file name",
                                    " CLIP DIRECTORY ",
                                    "Reel",
                                    ",",
                                    ",",
                                    ",",
                                    "\r\n",
                                    "\n",
                                    "\r",
                                    "\"",
                                    "\"\"",
                                    " ",
                                    "\t",
                                    "A001.R3D",
                                    "clip.mov",
                                    QString::fromUtf8("/Volumes/Média/Day 1"),
                                    "/V///",
                                    "Timeline 1",
                                    "sub/clip.mov",
                                    "x.markers",
                                    QString::fromUtf8("撮影.mp4"),
                                    QString::fromUtf8("e\xCC\x81.mov"),
                                    QString(QChar(0xA0)),
                                    QString(QChar(0xFEFF)),
                                    QString::fromUtf8("\xF0\x9F\x98\x80"),
                                    QString("a") + QChar(0) + "b.mov",
                                    "Videos",
                                    "\\win.mov",
                                    ".hidden",
                                    "a.b.c.mov"};
    QString text;
    if (random.bounded(4) != 0)
        text = random.bounded(2) ? "File Name,Clip Directory\n" : "Reel,\"Clip Directory\",File Name\r\n";
    const int count = int(random.bounded(60));
    for (int i = 0; i < count; ++i)
        text += tokens[random.bounded(int(tokens.size()))];
    QByteArray bytes;
    switch (random.bounded(5)) {
    case 0:
        bytes = text.toUtf8();
        break;
    case 1:
        bytes = raw("\xEF\xBB\xBF") + text.toUtf8();
        break;
    case 2:
        bytes = raw("\xFF\xFE") + utf16(text, false);
        break;
    case 3:
        bytes = raw("\xFE\xFF") + utf16(text, true);
        break;
    default:
        bytes = utf16(text, false);
        break;
    }
    if (random.bounded(6) == 0 && !bytes.isEmpty())
        bytes.insert(random.bounded(bytes.size()), char(random.bounded(256)));
    if (random.bounded(10) == 0 && !bytes.isEmpty())
        bytes.chop(1);
    return bytes;
}

void expectSameAsWholeFile(const QByteArray& bytes) {
    const Outcome expected = outcomeOf([&] { return tarnwick::testing::referenceParseResolveCSV(bytes); });
    for (qsizetype chunk :
         {qsizetype(4), qsizetype(5), qsizetype(7), qsizetype(64), ResolveCSV::kChunkBytes}) {
        EXPECT_EQ(outcomeOf([&] { return ResolveCSV::parse(bytes, chunk); }), expected)
            << "chunk " << chunk << ": " << bytes.toHex().toStdString();
    }
    QBuffer device;
    device.setData(bytes);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    EXPECT_EQ(outcomeOf([&] { return ResolveCSV::parse(device, 5); }), expected)
        << bytes.toHex().toStdString();
}

// A CSV made on the fly as it is read, so the input itself takes no memory: fixed-width clip rows,
// or one huge quoted cell in the column given.
class GeneratedCSV : public QIODevice {
public:
    static GeneratedCSV rows(qint64 count) {
        return GeneratedCSV("File Name,Clip Directory,Reel\n", count, -1);
    }
    static GeneratedCSV hugeCell(qint64 length, int column) {
        return GeneratedCSV("Reel,File Name,Clip Directory\n", length, column);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_header.size() + m_bodySize; }
    bool seek(qint64 pos) override { return QIODevice::seek(pos); }

protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 start = pos();
        const qint64 count = std::min(max, size() - start);
        for (qint64 k = 0; k < count;) {
            const QByteArray& piece = pieceAt(start + k);
            const qint64 offset = start + k - m_pieceStart;
            const qint64 n = std::min(count - k, piece.size() - offset);
            std::memcpy(data + k, piece.constData() + offset, size_t(n));
            k += n;
        }
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    GeneratedCSV(QByteArray header, qint64 amount, int column)
        : m_header(std::move(header)), m_column(column) {
        m_bodySize = column < 0 ? amount * kRowSize : amount + 16;
        m_amount = amount;
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    static constexpr qint64 kRowSize = 34; // "A00000001_C001.mov,/Volumes/Med,A\n"
    static constexpr qint64 kRun = 1 << 16;

    // The run of bytes holding `at`; m_pieceStart is where it begins.
    const QByteArray& pieceAt(qint64 at) {
        if (at < m_header.size()) {
            m_pieceStart = 0;
            return m_header;
        }
        const qint64 body = at - m_header.size();
        if (m_column < 0) {
            m_pieceStart = m_header.size() + body / kRowSize * kRowSize;
            m_piece = 'A' + QByteArray::number(body / kRowSize).rightJustified(8, '0') +
                      "_C001.mov,/Volumes/Med,A\n";
            return m_piece;
        }
        // The huge cell, quoted, then the row's other cells.
        const QByteArray before = m_column == 0 ? "\"" : "A,\"";
        if (body < before.size()) {
            m_pieceStart = m_header.size();
            m_piece = before;
        } else if (body < before.size() + m_amount) {
            const qint64 inCell = (body - before.size()) / kRun * kRun;
            m_pieceStart = m_header.size() + before.size() + inCell;
            m_piece = QByteArray(std::min(kRun, m_amount - inCell), 'x');
        } else {
            m_pieceStart = m_header.size() + before.size() + m_amount;
            m_piece = (m_column == 0 ? QByteArray("\",a.mov,/V\n") : QByteArray("\",/V\n"))
                          .leftJustified(size() - m_pieceStart, '\n');
        }
        return m_piece;
    }

    QByteArray m_header;
    int m_column;
    qint64 m_amount = 0;
    qint64 m_bodySize = 0;
    QByteArray m_piece;
    qint64 m_pieceStart = 0;
};

} // namespace

TEST(ResolveCSV, ReadingInPiecesGivesWhatReadingTheWholeFileGave) {
    QRandomGenerator random(20261207);
    for (int i = 0; i < 1500; ++i) {
        expectSameAsWholeFile(randomCSV(random));
        if (::testing::Test::HasFailure())
            return;
    }
    const QDir seeds(
        QDir::cleanPath(QStringLiteral(TARNWICK_FIXTURES_DIR "/../../fuzz/seeds/ResolveCSVFuzz")));
    const QStringList names = seeds.entryList(QDir::Files);
    EXPECT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        QFile seed(seeds.filePath(name));
        ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
        SCOPED_TRACE(name.toStdString());
        expectSameAsWholeFile(seed.readAll());
    }
}

TEST(ResolveCSV, MemoryFollowsTheRowsKeptNotTheFile) {
    if (!test::HeapPeak::available())
        GTEST_SKIP() << "counts allocations through the sanitizer's allocator";
    {
        GeneratedCSV csv = GeneratedCSV::rows(200000); // 6.8 MB
        const test::HeapPeak peak;
        const ResolveCSVParse result = ResolveCSV::parse(csv);
        ASSERT_EQ(result.rows.size(), 200000);
        EXPECT_EQ(result.rows.last().fileName, "A00199999_C001.mov");
        EXPECT_LE(peak.bytes(), 4 * csv.size()) << peak.bytes();
    }
    {
        // Bytes already in memory are not copied or decoded whole either.
        GeneratedCSV csv = GeneratedCSV::rows(200000);
        const QByteArray bytes = csv.readAll();
        const test::HeapPeak peak;
        EXPECT_EQ(ResolveCSV::parse(bytes).rows.size(), 200000);
        EXPECT_LE(peak.bytes(), 4 * bytes.size()) << peak.bytes();
    }
    {
        // A cell of 48 MB nobody reads costs nothing.
        GeneratedCSV csv = GeneratedCSV::hugeCell(48000000, 0);
        const test::HeapPeak peak;
        const ResolveCSVParse result = ResolveCSV::parse(csv);
        EXPECT_EQ(result.rows, (QList<ResolveCSVRow>{{"a.mov", "/V"}}));
        EXPECT_LE(peak.bytes(), 16 << 20) << peak.bytes();
    }
    {
        // One the reader must keep (as the skipped row's name) costs that text once.
        GeneratedCSV csv = GeneratedCSV::hugeCell(48000000, 1);
        const test::HeapPeak peak;
        const ResolveCSVParse result = ResolveCSV::parse(csv);
        ASSERT_EQ(result.skipped.size(), 1);
        EXPECT_EQ(result.skipped[0].rawFileName.size(), 48000000);
        EXPECT_LE(peak.bytes(), 4 * csv.size()) << peak.bytes();
    }
}
