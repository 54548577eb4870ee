#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojPatterns.h"
#include "readers/PrprojTextFilters.h"
#include "readers/PrprojUtf8.h"

#include "platform/Graphemes.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarnwick;
using namespace tarnwick::prproj;

namespace {
std::optional<std::string> between(std::string_view line, std::string_view s, std::string_view e,
                                   bool after) {
    if (auto v = textBetween(line, s, e, after))
        return std::string(*v);
    return std::nullopt;
}
} // namespace

TEST(ProjectParserTextFilters, TakesTextBetweenMarkersOnOneLine) {
    EXPECT_EQ(between("<Name>Cut</Name>", "<Name>", "</Name>", false), "Cut");
    EXPECT_EQ(between("<Name></Name>", "<Name>", "</Name>", false), "");
    EXPECT_EQ(between("<Name>Cut", "<Name>", "</Name>", false), std::nullopt);
    // With the flag clear the first end marker anywhere counts, even before the start marker.
    EXPECT_EQ(between("</Name><Name>Cut</Name>", "<Name>", "</Name>", false), std::nullopt);
    EXPECT_EQ(between("</F><F>v</F>", "<F>", "</F>", true), "v");
    EXPECT_EQ(QString(*textBetween(QStringLiteral("</N><N>x</N>"), QStringLiteral("<N>"),
                                   QStringLiteral("</N>"), true)),
              QStringLiteral("x"));
}

TEST(ProjectParserTextFilters, DecodesTheEightEntitiesInOrder) {
    EXPECT_EQ(decodeXMLEntities(QStringLiteral("a &amp; b &lt;c&gt; &apos;&quot;&#39;&#34;&#38;")),
              QStringLiteral("a & b <c> '\"'\"&"));
    EXPECT_EQ(decodeXMLEntities(QStringLiteral("&amp;amp;")), QStringLiteral("&amp;"));
    EXPECT_EQ(decodeXMLEntities(QStringLiteral("&amp;lt;")), QStringLiteral("<"));
    EXPECT_EQ(decodeXMLEntities(QStringLiteral("&#233;&#xE9;")), QStringLiteral("&#233;&#xE9;"));
}

TEST(ProjectParserTextFilters, ReadsJsonStringValues) {
    const auto v = [](const char* text) {
        return jsonStringValue(QStringLiteral("k"), QString::fromUtf8(text));
    };
    EXPECT_EQ(v(R"({"k":"a\\b\"c\/d\ne\tf\rg\qh"})"), QStringLiteral("a\\b\"c/d\ne\tf\rgqh"));
    EXPECT_EQ(v(R"({"k":"caf\u00e9"})"), QStringLiteral("café"));
    EXPECT_EQ(v(R"({"k":"\uzzzzx"})"), QStringLiteral("zzzzx"));
    EXPECT_EQ(v(R"({"k":"ab\u00"})"), QStringLiteral("ab00"));
    EXPECT_EQ(v(R"({"k": "spaced"})"), std::nullopt);
    EXPECT_EQ(v(R"({"k":""})"), std::nullopt);
    EXPECT_EQ(v(R"({"k":"end\)"), QStringLiteral("end"));
    EXPECT_EQ(v(R"({"other":"x"})"), std::nullopt);
}

TEST(ProjectParserTextFilters, DecodesSurrogatePairsAsOneCharacter) {
    const auto v = [](const char* text) {
        return jsonStringValue(QStringLiteral("k"), QString::fromUtf8(text));
    };
    EXPECT_EQ(v(R"({"k":"/Clips/\ud83c\udfac.mov"})"), QStringLiteral("/Clips/🎬.mov"));
    // A lone surrogate keeps the fallback: its hex digits stay as text.
    EXPECT_EQ(v(R"({"k":"a\ud83cb"})"), QStringLiteral("ad83cb"));
    EXPECT_EQ(v(R"({"k":"a\udfacb"})"), QStringLiteral("adfacb"));
    EXPECT_EQ(v(R"({"k":"a\ud83c\u0041"})"), QStringLiteral("ad83cA"));
}

TEST(ProjectParserTextFilters, TellsPlausiblePaths) {
    struct Case {
        const char* text;
        bool plausible;
    };
    for (const Case& c : {Case{"", false}, Case{"1112293707", false}, Case{"C:", false}, Case{"C:/x", true},
                          Case{"d:\\x", true}, Case{"//server/share", true}, Case{"\\\\server\\share", true},
                          Case{"/Volumes/A", true}, Case{"server/x", false}, Case{"C:x", false},
                          // The drive form counts characters, not code points.
                          Case{"e\u0301:/x", true}, Case{"\U0001F4BE:\\x", true}, Case{"C:/\u0301x", false},
                          Case{"C:\u0301/x", false}})
        EXPECT_EQ(isPlausiblePath(QString::fromUtf8(c.text)), c.plausible) << c.text;
}

TEST(ProjectParserTextFilters, PutsWindowsPathsInForwardSlashForm) {
    EXPECT_EQ(normalizedWindowsPath(QStringLiteral("\\\\?\\UNC\\nas\\share\\a.mov")),
              QStringLiteral("//nas/share/a.mov"));
    EXPECT_EQ(normalizedWindowsPath(QStringLiteral("\\\\?\\C:\\Media\\a.mov")),
              QStringLiteral("C:/Media/a.mov"));
    EXPECT_EQ(normalizedWindowsPath(QStringLiteral("\\\\nas\\share\\a.mov")),
              QStringLiteral("//nas/share/a.mov"));
    EXPECT_EQ(normalizedWindowsPath(QStringLiteral("C:\\Media\\a.mov")), QStringLiteral("C:/Media/a.mov"));
    EXPECT_EQ(normalizedWindowsPath(QStringLiteral("/Volumes/A/b.mov")), QStringLiteral("/Volumes/A/b.mov"));
}

// Previews and caches are known by where they live; a file's name says nothing about who made it.
TEST(ProjectParserTextFilters, RecognisesRenderAndCacheFilesByWhereTheyLive) {
    struct Case {
        const char* path;
        bool filtered;
    };
    const Case cases[] = {
        {"/a/RENDERED - 1.mxf", false},
        {"/a/Rendered take 2.mov", false},
        {"/a/0A1B2C3D-1111-2222-3333-444455556666.mov", false},
        {"/a/x.PRV/Rendered - 0A1B2C3D-1111-2222-3333-444455556666.wav", true},
        {"/Users/me/Adobe Premiere Pro Preview Files/p.mov", true},
        {"/Users/me/Adobe Premiere Pro Video Previews/Edit.PRV/0A1B2C3D-1111-2222-3333-444455556666.mov",
         true},
        {"/Users/me/Media Cache Files/c.mov", true},
        {"/Users/me/Peak Files/c.wav", true},
        {"/a/clip.pek", true},
        {"/a/clip.CFA", true},
        {"/a/preview files.mov", false},
        {"/Volumes/Audio Previews/x.wav", true},
        {"/x/Media Cache", false}, // a folder's name alone, not a folder above the file
        {"/x/.prv/a.mov", true},
        {"/x/a.prv", false},
        // Text beyond ASCII is lowered by its Unicode case mapping.
        {"/Volumes/\xC3\x89T\xC3\x89/MEDIA CACHE/c.mov", true},
        {"/Volumes/\xC3\x89t\xC3\xA9/Rendered \xC3\xA9t\xC3\xA9.mov", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isRenderOrCacheFile(QString::fromUtf8(c.path)), c.filtered) << c.path;
}

TEST(ProjectParserTextFilters, ReadsThePathOfAFileURL) {
    const auto path = [](const char* url) { return pathOfFileURL(QString::fromUtf8(url)); };
    EXPECT_EQ(path("file:///C:/My%20Clips/a%26b.mov"), QStringLiteral("C:/My Clips/a&b.mov"));
    EXPECT_EQ(path("file:///Volumes/Shoot/Caf%C3%A9.mov"), QStringLiteral("/Volumes/Shoot/Caf\u00e9.mov"));
    EXPECT_EQ(path("FILE://localhost/Users/ana/a.mov"), QStringLiteral("/Users/ana/a.mov"));
    EXPECT_EQ(path("file://nas/share/a.mov"), QStringLiteral("//nas/share/a.mov"));
    EXPECT_EQ(path("file:///a%00b.mov"), QString::fromUtf16(u"/a\0b.mov", 8));
    EXPECT_EQ(path("/Volumes/a.mov"), std::nullopt);
    EXPECT_EQ(path("file://"), std::nullopt);
}

TEST(ProjectParserTextFilters, MatchesFixedExpressionsByHand) {
    const auto cap = [](Pattern p, std::string_view line) {
        const auto c = firstCapture(p, line);
        return c ? std::optional<std::string>(*c) : std::nullopt;
    };
    EXPECT_EQ(cap(Pattern::subClipRef, R"(<SubClip ObjectRef="7"/>)"), "7");
    EXPECT_EQ(cap(Pattern::subClipRef, R"(<SubClip ObjectRef="7">)"), std::nullopt);
    EXPECT_EQ(cap(Pattern::subClipRef, R"(<SubClip ObjectRef="7"/><SubClip ObjectRef="8"/>)"), "7");
    EXPECT_EQ(cap(Pattern::subClipRef, R"(<SubClip ObjectRef="x"/><SubClip ObjectRef="8"/>)"), "8");
    EXPECT_EQ(cap(Pattern::subClipRef, "<SubClip ObjectRef=\"\xd9\xa3\"/>"), std::nullopt); // \d is ASCII
    EXPECT_EQ(cap(Pattern::trackItemStart, R"(<VideoClipTrackItem x <AudioClipTrackItem ObjectID="5">)"),
              "5");
    EXPECT_EQ(cap(Pattern::trackGroupStart, R"(<DataTrackGroup ObjectID="12" >)"), "12");
    EXPECT_EQ(cap(Pattern::trackGroupStart, R"(<MixTrackGroup ObjectID="12" >)"), std::nullopt);
    EXPECT_EQ(cap(Pattern::trackRef, R"(<Track Index="10" ObjectURef="ab-c"/>)"), "ab-c");
    EXPECT_EQ(cap(Pattern::trackRef, R"(<Track Index="" ObjectURef="ab-c"/>)"), std::nullopt);
    EXPECT_EQ(cap(Pattern::clipStart, R"(<SubClip ObjectID="4">)"), std::nullopt);
    EXPECT_EQ(cap(Pattern::mediaStart, R"(<Media ObjectUID="">)"), std::nullopt);
    EXPECT_EQ(cap(Pattern::mediaStart, R"(<Media ObjectUID="é x">)"), "é x");
    const std::string_view text = "<Sequence ObjectUID=\"a\nb\"";
    const auto whole = findPattern(Pattern::sequenceStart, text);
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->capture, "a\nb");
}

TEST(ProjectParserTextFilters, SplitsLinesAtEveryNewlineCharacter) {
    const std::string text =
        "<Title>a</Title>\r\n<Name>b</Name>\x0b\xc2\x85<Media \xe2\x80\xa8x\xe2\x80\xa9</Media>";
    const MarkerIndex index = indexMarkers(text);
    EXPECT_EQ(index.lineCount, 7u); // the CR LF pair leaves an empty line
    EXPECT_EQ(index.crlfPairs, 1u);
    ASSERT_EQ(index.lines.size(), 4u);
    EXPECT_EQ(index.lines[0].index, 0u);
    EXPECT_TRUE(index.lines[0].has(mediaTitle));
    EXPECT_EQ(index.lines[1].index, 2u);
    EXPECT_TRUE(index.lines[1].has(nameStart));
    EXPECT_EQ(index.lines[2].index, 4u);
    EXPECT_TRUE(index.lines[2].has(mediaBlank));
    EXPECT_EQ(index.lines[3].index, 6u);
    EXPECT_TRUE(index.lines[3].has(mediaEnd));
    EXPECT_EQ(indexMarkers("").lineCount, 1u);
}

TEST(ProjectParserTextFilters, FindsEveryMarkerWhereverItStands) {
    for (int m = 0; m < markerCount; ++m) {
        const std::string marker(markerText(static_cast<Marker>(m)));
        for (const std::string& line : {marker, "x" + marker + "y", "<<" + marker + "=>"}) {
            const MarkerIndex index = indexMarkers(line);
            ASSERT_EQ(index.lines.size(), 1u) << line;
            EXPECT_TRUE(index.lines[0].has(static_cast<Marker>(m))) << line;
        }
        EXPECT_TRUE(indexMarkers(marker.substr(0, marker.size() - 1)).lines.empty() ||
                    !indexMarkers(marker.substr(0, marker.size() - 1)).lines[0].has(static_cast<Marker>(m)));
    }
}

TEST(ProjectParserTextFilters, ValidatesUtf8AndCountsCharacters) {
    EXPECT_TRUE(isValidUtf8("plain ascii"));
    EXPECT_TRUE(isValidUtf8("caf\xc3\xa9 \xf0\x9f\x8e\xac"));
    EXPECT_FALSE(isValidUtf8("\xc3"));
    EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80")); // beyond U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xe0\x80\xaf"));     // overlong
    for (const char* t :
         {"", "a\r\nb", "e\xcc\x81 x", "\xcc\x81start", "a\xf0\x9f\x87\xab\xf0\x9f\x87\xb7z",
          "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb!", "x\r\n\xc3\xa9\r\n", "\xe0\xa4\x95\xe0\xa5\x8d"}) {
        const std::string s(t);
        const MarkerIndex index = indexMarkers(s);
        EXPECT_EQ(qsizetype(countCharacters(s, index.crlfPairs)), graphemes::count(QString::fromUtf8(t)))
            << t;
    }
}
