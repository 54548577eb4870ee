#include "readers/AEPParser.h"
#include "readers/AEPPathRun.h"
#include "readers/AEPPathText.h"

#include "platform/AppLog.h"
#include "support/AEPRifxBuilder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::aeptest;

namespace {

using Paths = QSet<QString>;

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

Paths walk(const QByteArray& bytes) {
    AEPParser parser;
    Paths found;
    parser.walkChunks(bytes, 12, bytes.size(), found, 0);
    return found;
}

Paths scan(const QByteArray& bytes) {
    AEPParser parser;
    return parser.extractPaths(bytes);
}

// A payload whose size field ends in a printable byte (48 = '0'), so only the chunk walk sees it.
QByteArray walkOnlyPayload(const QByteArray& path) {
    QByteArray payload = path + '\0';
    payload.append(QByteArray(48 - payload.size(), '\0'));
    return payload;
}

template <size_t N> QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

struct HeaderCase {
    const char* name;
    QByteArray bytes;
    QString description;
};

} // namespace

TEST(AEPParser, RejectsBadHeadersWithTheirDescriptions) {
    QTemporaryDir dir;
    const QByteArray body(16, '\0');
    const std::vector<HeaderCase> cases{
        {"tiny", QByteArray(11, 'R'), QStringLiteral("Invalid AEP format: File too small (11 bytes)")},
        {"riff",
         raw("RIFF\0\0\0\x10"
             "Egg!") +
             body,
         QStringLiteral("Invalid AEP format: Missing RIFX/Egg! header (got RIFF/Egg!)")},
        {"form",
         raw("RIFX\0\0\0\x10"
             "WAVE") +
             body,
         QStringLiteral("Invalid AEP format: Missing RIFX/Egg! header (got RIFX/WAVE)")},
        {"binary",
         raw("\xff\xfe\x80\x81\0\0\0\x10"
             "Egg!") +
             body,
         QStringLiteral("Invalid AEP format: Missing RIFX/Egg! header (got /Egg!)")},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        AEPParser parser;
        try {
            parser.parse(writeFile(dir, QString::fromLatin1(c.name) + QStringLiteral(".aep"), c.bytes));
            ADD_FAILURE() << "parsed";
        } catch (const AEPParser::AEPParserError& e) {
            EXPECT_EQ(e.kind(), AEPParser::AEPParserError::Kind::invalidFormat);
            EXPECT_EQ(e.description(), c.description);
        }
    }
}

TEST(AEPParser, ReportsUnreadableFilesAsReadErrors) {
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath(QStringLiteral("missing.aep")), dir.path()}) {
        AEPParser parser;
        try {
            parser.parse(path);
            ADD_FAILURE() << "parsed " << path.toStdString();
        } catch (const AEPParser::AEPParserError& e) {
            EXPECT_EQ(e.kind(), AEPParser::AEPParserError::Kind::readError);
            EXPECT_TRUE(e.description().startsWith(QStringLiteral("Read error: Cannot read file: ")))
                << e.description().toStdString();
        }
    }
}

TEST(AEPParser, ParsesAProjectWithPathsInChunksAndTextAfterTheContainer) {
    QTemporaryDir dir;
    const QByteArray content =
        list("Fold", chunk("Utf8", walkOnlyPayload("/Volumes/Media/clip.mov")) +
                         chunk("alas", QByteArray("{\"fullpath\":\"/Volumes/Média/été.wav\",\"x\":1}")) +
                         chunk("opti", QByteArray(3, '\x01')));
    // Real projects carry XMP metadata after the RIFX data.
    const QByteArray xmp("<?xpacket begin?>\n<x:path>\"/Users/ed/after.mxf\"</x:path>\n<?xpacket end?>");
    const QString path = writeFile(dir, QStringLiteral("My Comp.v2.aep"), rifx(content) + xmp);

    AEPParser parser;
    const AEPParser::ParseResult result = parser.parse(path);
    EXPECT_EQ(result.projectName, QStringLiteral("My Comp.v2"));
    EXPECT_EQ(result.footagePaths,
              (Paths{QStringLiteral("/Volumes/Media/clip.mov"), QStringLiteral("/Volumes/Média/été.wav"),
                     QStringLiteral("/Users/ed/after.mxf")}));
}

TEST(AEPParser, ParsesLargeFilesReadInSlicesWithTheWalkBesideTheScans) {
    // Large enough to be read in four slices at once and walked while the scans run.
    QByteArray content(33 << 20, '\0');
    const QByteArray item = chunk("Utf8", walkOnlyPayload("/Volumes/Big/walked.mov"));
    content.replace(0, item.size(), item);
    Paths expected{QStringLiteral("/Volumes/Big/walked.mov")};
    const qint64 quarter = (content.size() + 12) / 4;
    for (int k = 1; k <= 4; ++k) {
        // Paths across each slice boundary (and at the very end) of the file as read.
        const QByteArray path = QStringLiteral("/Volumes/Big/slice%1.mov").arg(k).toUtf8();
        const qint64 at = std::min<qint64>(k * quarter - 12 - 8, content.size() - path.size() - 1);
        content.replace(at, path.size(), path);
        expected.insert(QString::fromUtf8(path));
    }
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("big.aep"), rifx(content));
    AEPParser parser;
    EXPECT_EQ(parser.parse(path).footagePaths, expected);
}

TEST(AEPParser, ChunkWalkFindsPayloadPathsTheByteScanSkips) {
    const QByteArray file = rifx(chunk("Utf8", walkOnlyPayload("/Volumes/Media/clip.mov")));
    EXPECT_EQ(walk(file), Paths{QStringLiteral("/Volumes/Media/clip.mov")});
    EXPECT_TRUE(scan(file).isEmpty());
}

TEST(AEPParser, ChunkWalkSkipsThePadByteAfterAnOddChunk) {
    const QByteArray odd = chunk("oddc", QByteArray("abc"));
    ASSERT_EQ(odd.size(), 12); // 8 + 3 + pad
    const QByteArray file = rifx(odd + chunk("Utf8", walkOnlyPayload("/Volumes/A/pad.mov")));
    EXPECT_EQ(walk(file), Paths{QStringLiteral("/Volumes/A/pad.mov")});

    // A list of odd size ends without a pad inside it; the pad follows the list.
    const QByteArray inner =
        QByteArray("LIST", 4) + bigEndian32(7) + QByteArray("Fold", 4) + QByteArray("xyz");
    const QByteArray file2 = rifx(inner + '\0' + chunk("Utf8", walkOnlyPayload("/Volumes/A/after.mov")));
    EXPECT_EQ(walk(file2), Paths{QStringLiteral("/Volumes/A/after.mov")});
}

TEST(AEPParser, ChunkWalkStopsAtAChunkRunningPastItsRange) {
    // 0xFFFFFFF0 plus the header overflows 32 bits; read as 64-bit it simply runs past the end.
    const QByteArray huge = QByteArray("junk", 4) + bigEndian32(0xFFFFFFF0u) + QByteArray(8, '\0');
    const QByteArray file = rifx(huge + chunk("Utf8", walkOnlyPayload("/Volumes/A/hidden.mov")));
    EXPECT_TRUE(walk(file).isEmpty());

    // The whole-file scans still run over it.
    const QByteArray visible = rifx(huge + chunk("Utf8", QByteArray("/Volumes/A/seen.mov")));
    AEPParser parser;
    EXPECT_TRUE(parser.extractPaths(visible).contains(QStringLiteral("/Volumes/A/seen.mov")));
}

TEST(AEPParser, ChunkWalkFollowsListsToDepth49Only) {
    QByteArray nested;
    for (int depth = 60; depth >= 1; --depth) {
        const QByteArray path = QStringLiteral("/Volumes/Deep/d%1.mov").arg(depth).toUtf8();
        nested = list("Fold", chunk("Utf8", walkOnlyPayload(path)) + nested);
    }
    const Paths found = walk(rifx(nested));
    EXPECT_EQ(found.size(), 49);
    EXPECT_TRUE(found.contains(QStringLiteral("/Volumes/Deep/d49.mov")));
    EXPECT_FALSE(found.contains(QStringLiteral("/Volumes/Deep/d50.mov")));
}

TEST(AEPParser, ChunkWalkOfALargeFileFindsEveryItemAndKeepsTheDepthLimit) {
    // Large enough for the lists to be walked in parallel; real projects keep everything in one
    // root folder list.
    Paths expected;
    QByteArray items;
    for (int k = 0; items.size() < (9 << 20); ++k) {
        const QByteArray path = QStringLiteral("/Volumes/Items/i%1.mov").arg(k).toUtf8();
        items += list("Item", chunk("Utf8", walkOnlyPayload(path)) + chunk("idta", QByteArray(900, '\x01')));
        expected.insert(QString::fromUtf8(path));
    }
    QByteArray nested;
    for (int depth = 60; depth >= 1; --depth) {
        const QByteArray path = QStringLiteral("/Volumes/Deep/d%1.mov").arg(depth).toUtf8();
        nested = list("Fold", chunk("Utf8", walkOnlyPayload(path)) + nested);
        if (depth <= 48) // the root list takes one level
            expected.insert(QString::fromUtf8(path));
    }
    items.insert(items.size() / 2, nested);
    const QByteArray file = rifx(list("Fold", items) + chunk("Utf8", walkOnlyPayload("/Volumes/A/last.mov")));
    expected.insert(QStringLiteral("/Volumes/A/last.mov"));
    EXPECT_EQ(walk(file), expected);
}

TEST(AEPParser, ChunkWalkResynchronisesOverDamagedData) {
    const QByteArray damaged = QByteArray("\x80\x81\x82\x83\x84", 5);
    const QByteArray file = rifx(damaged + chunk("Utf8", walkOnlyPayload("/Volumes/A/after.mov")));
    EXPECT_EQ(walk(file), Paths{QStringLiteral("/Volumes/A/after.mov")});
}

TEST(AEPParser, ChunkWalkReadsUtf16Payloads) {
    const QByteArray payload = utf16BE(QStringLiteral("/Volumes/Médias/日本/clip.mov")) + QByteArray(2, '\0');
    const QByteArray unc = utf16BE(QStringLiteral("\\\\server\\share\\a.mxf"));
    const Paths found = walk(rifx(chunk("Utf8", payload) + chunk("Utf8", unc)));
    EXPECT_TRUE(found.contains(QStringLiteral("/Volumes/Médias/日本/clip.mov")));
    EXPECT_TRUE(found.contains(QStringLiteral("//server/share/a.mxf")));
}

TEST(AEPParser, ByteScanFindsWindowsUncQuotedAndNonAsciiPaths) {
    const QByteArray bytes = raw("\0C:\\Footage\\shot.MOV\0") + raw("\0\\\\server\\share\\a.mxf\n") +
                             raw("title \"/Volumes/Ünï/café.mp4\" and /not/started.mov here\0") +
                             raw("\x01/Volumes/X/日本語.wav\0");
    EXPECT_EQ(scan(bytes),
              (Paths{QStringLiteral("C:/Footage/shot.MOV"), QStringLiteral("//server/share/a.mxf"),
                     QStringLiteral("/Volumes/Ünï/café.mp4"), QStringLiteral("/Volumes/X/日本語.wav")}));
}

TEST(AEPParser, RejectsImplausibleCandidates) {
    const QList<QByteArray> rejected{
        "/Projects/linked.aep",
        "/Scripts/tool.jsx",
        "/Volumes/Media/noextension",
        "/Volumes/Media/clip.markers",
        "/a.b",
        "/Volumes/Media/.hidden",
        "/Volumes/Media/name.",
        // A backslash separates components like a slash: neither has an extension.
        "C:\\Media.1\\clip",
        "C:\\Media\\.hidden",
    };
    for (const QByteArray& path : rejected) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(scan(QByteArray(1, '\0') + path + QByteArray(1, '\0')).isEmpty());
        EXPECT_FALSE(AEPParser::isPlausibleFootagePath(QString::fromUtf8(path)));
    }
    const QByteArray longRun = raw("\0/") + QByteArray(16400, 'a') + raw(".mov\0");
    EXPECT_TRUE(scan(longRun).isEmpty());
    // More than 90 % of the characters must be printable: 9 of 10 is not enough, 10 of 11 is.
    EXPECT_FALSE(AEPParser::isPlausibleFootagePath(QStringLiteral("/V/\x7f"
                                                                  "ab.mov")));
    EXPECT_TRUE(AEPParser::isPlausibleFootagePath(QStringLiteral("/V/\x7f"
                                                                 "abc.mov")));
    EXPECT_FALSE(AEPParser::isPlausibleFootagePath(QStringLiteral("/V/\u00a0"
                                                                  "ab.mov")));
    EXPECT_TRUE(AEPParser::isPlausibleFootagePath(QStringLiteral("~/Movies/a.mov")));
    EXPECT_TRUE(AEPParser::isPlausibleFootagePath(QStringLiteral("D:clip.mp4")));
    EXPECT_FALSE(AEPParser::isPlausibleFootagePath(QStringLiteral("D;\\clip.mp4")));
}

TEST(AEPParser, Utf16ScanFindsPathsAndTheirTails) {
    const QByteArray bytes = QByteArray(4, '\0') + utf16BE(QStringLiteral("/Users/ed/clip.mov")) +
                             QByteArray(2, '\0') + utf16BE(QStringLiteral("C:\\Média\\été.wav")) +
                             QByteArray(2, '\0');
    // A single backslash unit starts nothing; only slashes, "\\" and drive letters do.
    EXPECT_EQ(scan(bytes), (Paths{QStringLiteral("/Users/ed/clip.mov"), QStringLiteral("/ed/clip.mov"),
                                  QStringLiteral("/clip.mov"), QStringLiteral("C:/Média/été.wav")}));
}

TEST(AEPParser, Utf16ScanRejectsUnpairedSurrogatesButKeepsLaterTails) {
    QString text = QStringLiteral("/Vol/x/a.mov");
    text.insert(4, QChar(0xD800));
    const Paths found = scan(QByteArray(2, '\0') + utf16BE(text) + QByteArray(2, '\0'));
    EXPECT_EQ(found, (Paths{QStringLiteral("/x/a.mov"), QStringLiteral("/a.mov")}));
}

TEST(AEPParser, Utf16ScanStaysFastOnLongRunsOfSlashes) {
    QByteArray block;
    for (int k = 0; k < 128 * 1024; ++k)
        block.append("\0/", 2);
    block.append(utf16BE(QStringLiteral("a.mov")));
    QSet<QString> found;
    AEPParser::scanUTF16BEPaths(block, found);
    // Only tails within the last 16384 bytes reach the end of the data; those of at most 4095
    // characters ("/" * k + "a.mov", k = 1 ... 4090) are plausible.
    EXPECT_EQ(found.size(), 4090);
    for (const QString& p : found)
        EXPECT_TRUE(p.endsWith(QStringLiteral("/a.mov")));
}

TEST(AEPParser, Utf8ScanStaysFastOnLinesOfTabSeparatedSlashes) {
    // Every "/" after a tab starts a candidate that runs to the line end.
    QByteArray line;
    while (line.size() < 16000)
        line.append("\t/a");
    line.append(".mov\n");
    QByteArray block;
    while (block.size() < (256 << 10))
        block.append(line);
    QSet<QString> found;
    AEPParser::scanUTF8Paths(block, found);
    // Only the last tail, "/a.mov", is printable enough.
    EXPECT_EQ(found, Paths{QStringLiteral("/a.mov")});
}

TEST(AEPParser, LogsTimingWithPointDecimalsInAnyLocale) {
    QTemporaryDir dir;
    const QByteArray bytes = rifx(chunk("Utf8", QByteArray("/V/clip.mov")));
    const QString path = writeFile(dir, QStringLiteral("timed.aep"), bytes);
    QStringList messages;
    AppLog::setSink([&](const AppLog::Record& r) { messages.append(r.message); });
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AEPParser parser;
    parser.parse(path);
    QLocale::setDefault(previous);
    AppLog::setSink({});

    const QStringList expected{
        QStringLiteral("^ℹ️ AEP Parser: Starting parse of timed$"),
        QStringLiteral("^ℹ️ ⏱ AEP read timed: \\d+\\.\\d\\ds$"),
        QStringLiteral("^ℹ️ AEP Parser: Valid RIFX header, file size: %1 bytes$").arg(bytes.size()),
        QStringLiteral("^ℹ️ ⏱ AEP chunks timed: \\d+\\.\\d\\ds, 1 paths$"),
        QStringLiteral("^ℹ️ ⏱ AEP scan timed: \\d+\\.\\d\\ds, 1 paths$"),
        QStringLiteral("^ℹ️ ⏱ AEP total timed: \\d+\\.\\d\\ds, 1 unique paths$"),
    };
    ASSERT_EQ(messages.size(), expected.size()) << messages.join(QLatin1Char('\n')).toStdString();
    for (int k = 0; k < expected.size(); ++k)
        EXPECT_TRUE(QRegularExpression(expected[k]).match(messages[k]).hasMatch())
            << messages[k].toStdString();
}

TEST(AEPParser, ReadsTheRealSampleProjects) {
    const QDir samples(QStringLiteral(TARNWICK_SAMPLES_DIR "/aep"));
    if (!samples.exists())
        GTEST_SKIP() << "no sample folder";
    const QStringList files = samples.entryList({QStringLiteral("*.aep")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        AEPParser parser;
        AEPParser::ParseResult result;
        EXPECT_NO_THROW(result = parser.parse(samples.filePath(name)));
        if (name == QLatin1String("nexrender-test auto-save 1.aep")) {
            // Seen with strings(1): JSON blocks holding "fullpath" of each footage item.
            const QString base = QStringLiteral("/Users/playra/nexrender-server/");
            EXPECT_EQ(
                result.footagePaths,
                (Paths{base + QStringLiteral("video/0.mp4"), base + QStringLiteral("audio/audio.mp3"),
                       base + QStringLiteral("video/screen.mp4"), base + QStringLiteral("video/1.mp4")}));
        } else {
            // The others hold compositions, solids and text only: no footage path in either encoding.
            EXPECT_TRUE(result.footagePaths.isEmpty())
                << QStringList(result.footagePaths.values()).join(u' ').toStdString();
        }
        EXPECT_TRUE(result.sequences.isEmpty()); // none imports a sequence of stills
        // Seen with a dump of the "Item" lists: those whose item data starts with type 4.
        static const QHash<QString, QStringList> compositions{
            {QStringLiteral("ae-comps-to-graphviz-test.aep"),
             {QStringLiteral("Black Solid 3 Comp 1"), QStringLiteral("Comp 1"), QStringLiteral("Comp 2"),
              QStringLiteral("Comp 3")}},
            {QStringLiteral("aep-parser-Item-01.aep"),
             {QStringLiteral("Comp 01"), QStringLiteral("Comp 02")}},
            {QStringLiteral("aep-parser-Layer-01.aep"), {QStringLiteral("Comp 01")}},
            {QStringLiteral("aep-parser-Property-01.aep"), {QStringLiteral("Comp 01")}},
            {QStringLiteral("nexrender-test auto-save 1.aep"), {QStringLiteral("FINAL RENDER")}}};
        EXPECT_EQ(result.compositions, compositions.value(name));
    }
}

// A Premiere project names the composition it links: the project's compositions are read, in any
// folder, once each; folders and footage are no compositions.
TEST(AEPParser, ReadsTheNamesOfItsCompositions) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Untitled Project.aep"));
    const QString linked = QString::fromUtf8("\u5462 \u5df2\u5173\u8054\u5408\u6210 05");
    ASSERT_TRUE(writeRifx(
        path, folderItem(QStringLiteral("Precomps"),
                         compositionItem(linked) + compositionItem(QStringLiteral("Comp 1")) +
                             fileFootage(QStringLiteral("/Volumes/Shoot/clip.mov"))) +
                  compositionItem(QStringLiteral("Comp 1")) + folderItem(QStringLiteral("Empty"), {})));
    const AEPParser::ParseResult result = AEPParser().parse(path);
    EXPECT_EQ(result.compositions, (QStringList{linked, QStringLiteral("Comp 1")}));
    EXPECT_EQ(result.footagePaths, Paths{QStringLiteral("/Volumes/Shoot/clip.mov")});
}

TEST(AEPParser, ReadsSequenceFootageAsItsFolderNamePatternAndStoredRange) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Stills.aep"));
    ASSERT_TRUE(writeRifx(
        path, list("Fold", sequenceFootage(QStringLiteral("/Volumes/Shoot/Stills/"), QStringLiteral("DSC_"),
                                           QStringLiteral(".JPG"), 1, 240, 4) +
                               sequenceFootage(QStringLiteral("E:\\Plates"), QStringLiteral("plate."),
                                               QStringLiteral(".exr"), 0xFFFFFFFF, 0xFFFFFFFF, 0) +
                               sequenceFootage(QStringLiteral("/Volumes/Shoot/Stills"),
                                               QStringLiteral("DSC_"), QStringLiteral(".JPG"), 1, 240, 4) +
                               fileFootage(QStringLiteral("/Volumes/Shoot/clip.mov")))));
    const AEPParser::ParseResult result = AEPParser().parse(path);
    ImageSequence stills;
    stills.folder = QStringLiteral("/Volumes/Shoot/Stills");
    stills.prefix = QStringLiteral("DSC_");
    stills.suffix = QStringLiteral(".JPG");
    stills.digits = 4;
    stills.firstFrame = 1;
    stills.lastFrame = 240;
    ImageSequence plates;
    plates.folder = QStringLiteral("E:/Plates");
    plates.prefix = QStringLiteral("plate.");
    plates.suffix = QStringLiteral(".exr");
    EXPECT_EQ(result.sequences, (QList<ImageSequence>{stills, plates})); // once each, in file order
    EXPECT_EQ(result.footagePaths, Paths{QStringLiteral("/Volumes/Shoot/clip.mov")});

    // A file cut anywhere gives the whole sequence or none of it.
    const QByteArray one = rifx(sequenceFootage(QStringLiteral("/Volumes/Shoot/Stills"),
                                                QStringLiteral("DSC_"), QStringLiteral(".JPG"), 1, 240, 4));
    for (qsizetype cut = 0; cut < one.size(); ++cut) {
        const QList<ImageSequence> found = AEPParser::readSequences(QByteArrayView(one).first(cut));
        EXPECT_TRUE(found.isEmpty() || found == QList<ImageSequence>{stills}) << cut;
    }
}

TEST(AEPParser, RenderOutputsAndRenderLogsAreNotFootage) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Show.aep"));
    // A footage list whose folder is followed by anything but the two texts and the options is no
    // sequence either.
    const QByteArray folderWithoutTexts =
        list("Pin ", chunk("sspc", footageSettings(1, 9, 2)) +
                         list("Als2", chunk("alas", alias(QStringLiteral("/Volumes/Out/Frames"), true))) +
                         chunk("opti", QByteArray(58, '\0')));
    ASSERT_TRUE(writeRifx(path, renderOutput(QStringLiteral("/Volumes/Out/Renders")) + folderWithoutTexts +
                                    chunk("Utf8", "/Volumes/Show/Show.aep Logs/Comp 1 Render Log.txt") +
                                    chunk("Utf8", "/Volumes/Show/Notes/shot list.txt") +
                                    fileFootage(QStringLiteral("/Volumes/Show/a.mov"))));
    const AEPParser::ParseResult result = AEPParser().parse(path);
    EXPECT_TRUE(result.sequences.isEmpty());
    EXPECT_EQ(result.footagePaths, (Paths{QStringLiteral("/Volumes/Show/a.mov"),
                                          QStringLiteral("/Volumes/Show/Notes/shot list.txt")}));
}

namespace {

// The scans as first written: every start position examined on its own. Slow but plain.
Paths referenceUtf16Scan(const QByteArray& b) {
    Paths found;
    const qint64 n = b.size();
    const auto u = [&](qint64 k) { return static_cast<uchar>(b[k]); };
    const auto letter = [](uchar c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    for (qint64 i = 0; n > 10 && i < n - 10; i += 2) {
        const bool starts =
            (u(i) == 0 && u(i + 1) == '/') ||
            (i + 3 < n && u(i) == 0 && u(i + 2) == 0 &&
             ((u(i + 1) == '\\' && u(i + 3) == '\\') || (u(i + 3) == ':' && letter(u(i + 1)))));
        if (!starts)
            continue;
        const std::optional<QString> text = AEPParser::readUTF16BEPath(b, i, n - i);
        if (text && AEPParser::isPlausibleFootagePath(*text))
            found.insert(QString(*text).replace(QLatin1Char('\\'), QLatin1Char('/')));
    }
    return found;
}

// JSON text unescaped by the platform's JSON reader: used when it reads as a string and has one of
// the escapes paths need ("\\\\", "\\/", "\\"", "\\u"); raw control characters count as themselves.
QString referenceJsonUnescaped(const QString& raw) {
    static const QStringList pathEscapes{"\\\\", "\\/", "\\\"", "\\u"};
    if (std::none_of(pathEscapes.cbegin(), pathEscapes.cend(),
                     [&](const QString& e) { return raw.contains(e); }))
        return raw;
    // The platform's reader lets unknown escapes through; JSON has only these.
    for (qsizetype k = 0; k < raw.size(); ++k) {
        if (raw[k] != u'\\')
            continue;
        if (k + 1 >= raw.size() || !QStringLiteral("\\/\"bfnrtu").contains(raw[k + 1]))
            return raw;
        ++k;
    }
    QString quoted;
    for (QChar c : raw)
        quoted += c.unicode() < 0x20 ? QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'))
                                     : QString(c);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson((u"[\"" + quoted + u"\"]").toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || !doc.array().at(0).isString())
        return raw;
    const QString text = doc.array().at(0).toString();
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (text[k].isHighSurrogate() && k + 1 < text.size() && text[k + 1].isLowSurrogate())
            ++k;
        else if (text[k].isSurrogate() || text[k] == QChar::ReplacementCharacter)
            return raw;
    }
    return text;
}

Paths referenceUtf8Scan(const QByteArray& b) {
    Paths found;
    const qint64 n = b.size();
    const auto u = [&](qint64 k) { return static_cast<uchar>(b[k]); };
    const auto letter = [](uchar c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    for (qint64 i = 0; n > 5 && i <= n - 6; ++i) {
        const bool quoted = i > 0 && u(i - 1) == '"';
        if (i > 0 && u(i - 1) >= 0x20 && !quoted)
            continue;
        const bool starts = u(i) == '/' || (i + 1 < n && u(i) == '\\' && u(i + 1) == '\\') ||
                            (quoted && i + 1 < n && u(i) == '\\' && u(i + 1) == '/') ||
                            (i + 2 < n && u(i + 1) == ':' && letter(u(i)));
        if (!starts)
            continue;
        const qint64 limit = std::min<qint64>(n - i, AEPParser::runLimit);
        qint64 run = 0;
        while (run < limit && (u(i + run) >= 0x20 || u(i + run) == 0x09) && !(quoted && u(i + run) == '"'))
            ++run;
        // A JSON string whose opening quote is not escaped runs past escaped quotes to its closing
        // one, when the text between reads as JSON.
        const auto escaped = [&](qint64 at, qint64 floor) {
            qint64 k = 0;
            while (at - 1 - k >= floor && u(at - 1 - k) == '\\')
                ++k;
            return k % 2 == 1;
        };
        if (quoted && i + run < n && u(i + run) == '"' && run < limit && !escaped(i - 1, 0) &&
            escaped(i + run, i)) {
            qint64 q = i + run + 1;
            while (q < n && (u(q) >= 0x20 || u(q) == 0x09) && !(u(q) == '"' && !escaped(q, i)))
                ++q;
            if (q < n && u(q) == '"' && q - i < AEPParser::runLimit) {
                QStringDecoder check(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
                const QString between = check.decode(QByteArrayView(b).sliced(i, q - i));
                if (!check.hasError() && referenceJsonUnescaped(between) != between)
                    run = q - i;
            }
        }
        if (run < limit ? run < 5 : !(n - i >= 5 && n - i <= AEPParser::runLimit))
            continue;
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(QByteArrayView(b).sliced(i, run));
        if (quoted && !decoder.hasError())
            text = referenceJsonUnescaped(text);
        if (!decoder.hasError() && AEPParser::isPlausibleFootagePath(text))
            found.insert(QString(text).replace(QLatin1Char('\\'), QLatin1Char('/')));
    }
    return found;
}

// Random bytes built from pieces that exercise every rule of the scans.
QByteArray randomScanInput(QRandomGenerator& rng, bool utf16) {
    static const QStringList pieces{
        QStringLiteral("/"),
        QStringLiteral("\\"),
        QStringLiteral("C:"),
        QStringLiteral("a"),
        QStringLiteral(".mov"),
        QStringLiteral(".aep"),
        QStringLiteral(".toolong"),
        QStringLiteral("é"),
        QStringLiteral("e\u0301"),
        QStringLiteral("\r\n"),
        QStringLiteral("\t"),
        QStringLiteral("\""),
        QStringLiteral("\U0001F3AC"),
        QStringLiteral("\u0085"),
        QStringLiteral("Média"),
        QStringLiteral("~"),
        QStringLiteral("\u0600"),
        QStringLiteral(":"),
        QStringLiteral("x"),
        QStringLiteral("/Vol/clip.mp4"),
        QStringLiteral("\\\\"),
        QStringLiteral("\\/"),
        QStringLiteral("\\u00e9"),
        QStringLiteral("\\ud83c\\udfac"),
        QStringLiteral("\\ud83c"),
        QStringLiteral("\\n"),
        QStringLiteral("\u200D"),
        QStringLiteral("\U0001F1EF\U0001F1F5"),
        QStringLiteral("\u1100\u1161"),
        QStringLiteral("\"E:\\\\"),
        QStringLiteral("\\\""),
        QStringLiteral("\\\\\""),
        QStringLiteral("\u0997"),
        QStringLiteral("\u0E01\u0E33"),
        QStringLiteral("\u0301"),
    };
    QByteArray out;
    const int count = rng.bounded(1, 120);
    for (int k = 0; k < count; ++k) {
        const int pick = rng.bounded(pieces.size() + 4);
        if (pick >= pieces.size()) {
            // Terminators, unpaired surrogates and raw bytes.
            const int kind = pick - pieces.size();
            if (kind == 0)
                out.append(utf16 ? QByteArray(2, '\0') : QByteArray(1, '\0'));
            else if (kind == 1)
                out.append(utf16 ? QByteArray("\xD8\x00", 2)
                                 : QList<QByteArray>{"\xED\xA0\x80", "\x80", "\xE2\x82", "\xF4\x90\x80\x80",
                                                     "\xEF\xBF\xBF"}[rng.bounded(5)]);
            else if (kind == 2)
                out.append(static_cast<char>(rng.bounded(256)));
            else
                out.append(QByteArray(rng.bounded(1, 6), '\x01'));
            continue;
        }
        out.append(utf16 ? utf16BE(pieces[pick]) : pieces[pick].toUtf8());
    }
    return out;
}

} // namespace

// After Effects keeps footage paths in JSON text ("fullpath" of an alias record): a Windows path
// has its backslashes escaped there and must come out as the same path a Premiere project gives.
TEST(AEPParser, UndoesJsonEscapesOfFootagePathsInBothSlashStyles) {
    const auto alias = [](const char* fullpath) -> QByteArray {
        return QByteArray(R"({"ascendcount_base":2,"ascendcount_target":2,"fullpath":")") + fullpath +
               QByteArray(
                   R"(","platform":1,"server_name":"","server_volume_name":"","target_is_folder":false})");
    };
    struct Case {
        const char* written;
        const char* expected;
    };
    const Case cases[] = {
        {R"(E:\\Footage\\clip.mov)", "E:/Footage/clip.mov"},
        {R"(E:/Footage/clip.mov)", "E:/Footage/clip.mov"},
        {R"(E:\/Footage\/clip.mov)", "E:/Footage/clip.mov"},
        {R"(\/Users\/ed\/clip.mov)", "/Users/ed/clip.mov"},
        {R"(/Users/ed/clip.mov)", "/Users/ed/clip.mov"},
        {R"(\\\\nas\\Shoot\\a.mxf)", "//nas/Shoot/a.mxf"},
        {R"(E:\\Caf\u00e9\\\ud83c\udfac.mov)", "E:/Café/\U0001F3AC.mov"},
        {R"(E:\\Say \"hi\".mov)", "E:/Say \"hi\".mov"},
        // Not JSON text: a backslash that starts no escape keeps every backslash as it is.
        {R"(C:\Footage\clip.mov)", "C:/Footage/clip.mov"},
        {R"(\\nas\share\a.mxf)", "//nas/share/a.mxf"},
        {R"(C:\new\take.mov)", "C:/new/take.mov"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        const QByteArray project = rifx(list("Fold", chunk("Utf8", alias(c.written)) + chunk("opti", "x")));
        const Paths found = scan(project);
        const QString expected = QString::fromUtf8(c.expected);
        EXPECT_TRUE(found.contains(expected)) << QStringList(found.values()).join(u'\n').toStdString();
        for (const QString& p : found)
            EXPECT_FALSE(p.contains(QStringLiteral("//Footage")) || p.contains(QStringLiteral("\\")))
                << p.toStdString();
    }
    EXPECT_EQ(aep::jsonUnescaped(QStringLiteral(R"(E:\\a\ud83c)")), std::nullopt) << "lone surrogate";
    EXPECT_EQ(aep::jsonUnescaped(QStringLiteral(R"(E:\\a\u12G4)")), std::nullopt) << "bad hex";
    EXPECT_EQ(aep::jsonUnescaped(QStringLiteral(R"(E:\\a\)")), std::nullopt) << "cut escape";
    EXPECT_EQ(aep::jsonUnescaped(QStringLiteral(R"(a\tb)")), std::nullopt) << "no path escape";
    EXPECT_EQ(aep::jsonUnescaped(QStringLiteral(R"(a\\b\tc)")), QStringLiteral("a\\b\tc"));
}

// Runs with combining marks used to be judged tail by tail (quadratic); each run is now prepared
// once. The work is counted in candidates decoded on their own, not timed.
TEST(AEPParser, ScansStayLinearOnRunsWithCombiningMarks) {
    QByteArray utf16;
    QByteArray utf8;
    while (utf16.size() < (256 << 10)) {
        utf16.append(utf16BE(QStringLiteral("/\u0301")));
        utf8.append(QStringLiteral("\t/\u0301").toUtf8());
    }
    utf16.append(utf16BE(QStringLiteral("a.mov")));
    utf8.append("a.mov\n");
    for (const bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "UTF-16" : "UTF-8");
        const qint64 before = aep::candidatesDecodedAlone();
        QSet<QString> found;
        if (wide)
            AEPParser::scanUTF16BEPaths(utf16, found);
        else
            AEPParser::scanUTF8Paths(utf8, found);
        EXPECT_LE(aep::candidatesDecodedAlone() - before, 2) << "one decode per run, tails judged from it";
        // The same findings as judging every tail on its own, checked on a short piece.
        const QByteArray piece = wide ? utf16.right(400) : utf8.right(301);
        QSet<QString> fast;
        if (wide)
            AEPParser::scanUTF16BEPaths(piece, fast);
        else
            AEPParser::scanUTF8Paths(piece, fast);
        EXPECT_EQ(fast, wide ? referenceUtf16Scan(piece) : referenceUtf8Scan(piece));
        EXPECT_FALSE(fast.isEmpty());
    }
}

// Runs of scripts the platform clusters by rules of their own (Indic, Thai) used to have each tail
// segmented on its own: quadratic in a run's length. Their tails now share the run's segmentation
// and windows of it; the work is counted in units segmented and candidates decoded, not timed.
TEST(AEPParser, ScansStayLinearOnIndicAndThaiRuns) {
    struct Case {
        const char* name;
        QString head;
        QString repeated;
    };
    const Case cases[] = {
        {"Devanagari", {}, QStringLiteral("/\u0915\u093F")},
        {"Thai", {}, QStringLiteral("/\u0E01\u0E31\u0E48")},
        {"Devanagari with Latin letters", {}, QStringLiteral("/\u0915a\u094D\u0937\\\\")},
        // A run starts at its first tail: these heads put its script state where no later tail's
        // state meets it until the last letter.
        {"signs after a Latin letter", QStringLiteral("/a"), QStringLiteral("/\u094D")},
        {"inherited marks after Devanagari", QStringLiteral("/\u0915"), QStringLiteral("/\u0301\u200D")},
    };
    constexpr int runs = 4;
    for (const Case& c : cases) {
        for (const bool wide : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (wide ? ", UTF-16" : ", UTF-8"));
            // In 8-bit text a tail starts after a control byte: a tab keeps the run going.
            const QString repeated = wide ? c.repeated : u'\t' + c.repeated;
            QByteArray input;
            qint64 units = 0;
            for (int r = 0; r < runs; ++r) {
                QString run = c.head;
                while ((wide ? 2 : 3) * (run.size() + repeated.size()) < AEPParser::runLimit - 64)
                    run += repeated;
                run += QStringLiteral("a.mov");
                units += run.size();
                input +=
                    wide ? QByteArray(utf16BE(run) + QByteArray(2, '\0')) : QByteArray(run.toUtf8() + '\n');
            }
            const qint64 decodedBefore = aep::candidatesDecodedAlone();
            const qint64 segmentedBefore = AEPPathRun::unitsSegmentedForTails();
            QSet<QString> found;
            if (wide)
                AEPParser::scanUTF16BEPaths(input, found);
            else
                AEPParser::scanUTF8Paths(input, found);
            const qint64 segmented = AEPPathRun::unitsSegmentedForTails() - segmentedBefore;
            EXPECT_LE(aep::candidatesDecodedAlone() - decodedBefore, runs) << "only each run's first tail";
            // A few units per tail start and script state (2 to 4 times the units here); each tail on
            // its own would segment about units² / (2 × repeated.size()) units (millions).
            EXPECT_LE(segmented, 8 * units) << units;
            // The same findings as judging every tail on its own, checked on a short piece.
            const QByteArray piece = wide ? input.right(600) : input.right(451);
            QSet<QString> fast;
            if (wide)
                AEPParser::scanUTF16BEPaths(piece, fast);
            else
                AEPParser::scanUTF8Paths(piece, fast);
            EXPECT_EQ(fast, wide ? referenceUtf16Scan(piece) : referenceUtf8Scan(piece));
            EXPECT_FALSE(found.isEmpty());
        }
    }
}

TEST(AEPParser, Utf16ScanMatchesTheStraightforwardScan) {
    QRandomGenerator rng(20261206);
    for (int round = 0; round < 1500; ++round) {
        QByteArray input = randomScanInput(rng, true);
        if (round % 3 == 0)
            input.prepend('\x01'); // odd alignment
        Paths fast;
        AEPParser::scanUTF16BEPaths(input, fast);
        ASSERT_EQ(fast, referenceUtf16Scan(input)) << input.toHex().toStdString();
    }
}

TEST(AEPParser, Utf8ScanMatchesTheStraightforwardScan) {
    QRandomGenerator rng(61202026);
    for (int round = 0; round < 1500; ++round) {
        const QByteArray input = randomScanInput(rng, false);
        Paths fast;
        AEPParser::scanUTF8Paths(input, fast);
        ASSERT_EQ(fast, referenceUtf8Scan(input)) << input.toHex().toStdString();
    }
}

TEST(AEPParser, ScansOfSeparateRangesAddUpToTheWholeScan) {
    QRandomGenerator rng(7);
    for (int round = 0; round < 300; ++round) {
        const bool utf16 = round % 2 == 1;
        const QByteArray input = randomScanInput(rng, utf16);
        Paths whole;
        (utf16 ? AEPParser::scanUTF16BEPaths : AEPParser::scanUTF8Paths)(input, whole);
        const qint64 split = rng.bounded(static_cast<int>(input.size()) + 1) & ~1;
        Paths parts;
        const auto range = utf16 ? aep::scanUtf16Range : aep::scanUtf8Range;
        range(input, 0, split, parts);
        range(input, split, input.size(), parts);
        ASSERT_EQ(parts, whole) << split << " " << input.toHex().toStdString();
    }
}

TEST(AEPParser, LargeFilesScannedInParallelFindWhatOnePassFinds) {
    QByteArray big(17 << 20, '\0');
    const qint64 middle = (big.size() / 2) & ~qint64(1);
    // Paths that straddle the segment boundaries, in both encodings.
    for (qint64 at :
         {middle - 6, middle - 20, qint64(big.size()) - 40, (qint64(big.size()) / 3) & ~qint64(1)}) {
        big.replace(at, 14, QByteArray("/Vol/clip.mov\0", 14));
        const QByteArray wide = utf16BE(QStringLiteral("/Users/ed/clip.mov"));
        big.replace(at - 60, wide.size(), wide);
    }
    Paths sequential;
    AEPParser::scanUTF8Paths(big, sequential);
    AEPParser::scanUTF16BEPaths(big, sequential);
    AEPParser parser;
    const Paths parallel = parser.extractPaths(big);
    EXPECT_EQ(parallel, sequential);
    EXPECT_TRUE(parallel.contains(QStringLiteral("/Vol/clip.mov")));
    EXPECT_TRUE(parallel.contains(QStringLiteral("/ed/clip.mov")));
}
