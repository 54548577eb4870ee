#include "readers/PrprojTextBuffer.h"
#include "readers/PrprojTextScan.h"
#include "support/ProjectGenerator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::prproj;
using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;

// The reader's one pass over a project's text: read in pieces, with the lines moved together and the
// text's other pages handed back as they are passed, it must read exactly as one pass over the whole text:
// lines, markers, counts, sequence values that run across lines and pieces, and refusals.
namespace {

struct Line {
    std::size_t index;
    std::string text;
    MarkerMask mask;
    bool operator==(const Line&) const = default;
};

std::vector<Line> linesOf(const MarkerIndex& index) {
    std::vector<Line> out;
    for (const MarkedLine& l : index.lines)
        out.push_back({l.index, std::string(l.text), l.mask});
    return out;
}

std::vector<std::string> strings(const std::vector<Id>& ids) {
    return {ids.begin(), ids.end()};
}

// The text in a buffer of its own, which the scan takes: read with the lines moved together inside it
// and the other pages handed back.
TextScan handedBack(const std::string& text, int threads) {
    TextBuffer buffer;
    EXPECT_TRUE(buffer.resize(static_cast<qsizetype>(text.size())));
    if (!text.empty())
        std::memcpy(buffer.data(), text.data(), text.size());
    return scanText(std::move(buffer), threads);
}

void expectSame(const TextScan& s, const TextScan& whole) {
    EXPECT_EQ(s.validUtf8, whole.validUtf8);
    EXPECT_EQ(s.index.tooDense, whole.index.tooDense);
    if (!whole.validUtf8 || whole.index.tooDense)
        return;
    EXPECT_EQ(s.characters, whole.characters);
    EXPECT_EQ(s.index.lineCount, whole.index.lineCount);
    EXPECT_EQ(s.index.crlfPairs, whole.index.crlfPairs);
    EXPECT_EQ(s.index.markersInText, whole.index.markersInText);
    EXPECT_EQ(linesOf(s.index), linesOf(whole.index));
    EXPECT_EQ(strings(s.sequences.sequenceIDs), strings(whole.sequences.sequenceIDs));
    EXPECT_EQ(s.sequences.nestedSequenceCount, whole.sequences.nestedSequenceCount);
}

} // namespace

TEST(ProjectTextScan, ReadsAsTheWholeTextWhenHandingItBack) {
    std::vector<std::string> texts = {
        "",
        "\n",
        "\r\n\r\n\r",
        "<Sequence ObjectUID=\"multi\nline\"/>\n<Sequence ObjectURef=\"a\n\"/>",
        "<Sequence ObjectUID=\"<Sequence ObjectUID=\"x\"",
        "<Sequence ObjectUID=\"\"<Sequence ObjectUID=\"y\"",
        "<Sequence ObjectUID=\"open to the end\n\nno quote follows",
        "<Sequence ObjectURef=\"n1\"/>\n<Sequence ObjectURef=\"n1\"/>\n<Sequence ObjectURef=\"n2\" />\n",
        "\xe2\x80\xa8<Media \xc2\x85<Title>a</Title>\x0b\x0c caf\xc3\xa9\r\n\xf0\x9f\x8e\xac\n",
        std::string(5000, '<') + "Media ObjectUID=\"1\"",
        "valid\n\xc3", // a sequence cut at the end: not UTF-8
    };
    for (bool crlf : {false, true}) {
        ProjectGeneratorOptions o;
        o.mediaCount = 40;
        o.crlf = crlf;
        texts.push_back(ProjectGenerator::generate(o).xml.toStdString());
    }
    for (const std::string& t : texts) {
        SCOPED_TRACE(t.substr(0, 40));
        const TextScan whole = scanText(t, 1);
        expectSame(handedBack(t, 1), whole);
        // The sequence values found over the whole text, line by line.
        EXPECT_EQ(strings(whole.sequences.sequenceIDs), strings(scanSequences(t, whole.index).sequenceIDs));
    }
}

TEST(ProjectTextScan, FollowsSequenceValuesAcrossPieces) {
    // A text read in pieces, each of whose ends falls inside a sequence value: a definition whose
    // value closes in the next piece, a reference whose "/>" follows there, and a definition whose
    // value closes on the next anchor's quote, which that anchor then cannot start a match with.
    const int threads = 8;
    const std::size_t size = kParallelThreshold + (std::size_t(4) << 20);
    const std::string filler =
        "<Property Name=\"a plain line\">with nothing the reader looks for</Property>\n";
    std::string text;
    text.reserve(size + 4096);
    for (int k = 1; k < threads; ++k) {
        const std::size_t cut = size / threads * static_cast<std::size_t>(k);
        while (text.size() + filler.size() < cut - 100)
            text += filler;
        const std::string id = std::to_string(k);
        switch (k % 3) {
        case 0:
            text += "<Sequence ObjectUID=\"seq-" + id + std::string(120, 'x') + "\nrest-" + id + "\">\n";
            break;
        case 1:
            text += "<Sequence ObjectURef=\"nested-" + id + std::string(120, 'y') + "\n\"/>\n";
            break;
        default:
            text += "<Sequence ObjectUID=\"open-" + id + std::string(120, 'z') +
                    "\n<Sequence ObjectUID=\"skipped-" + id + "\"\n<Sequence ObjectUID=\"next-" + id +
                    "\">\n";
            break;
        }
    }
    while (text.size() + filler.size() < size)
        text += filler;
    text += std::string(size - text.size() - 1, 'p') + "\n"; // exactly `size`: the cuts fall as planned
    const TextScan whole = scanText(text, 1);
    ASSERT_EQ(whole.sequences.sequenceIDs.size(), 6u);
    ASSERT_EQ(whole.sequences.nestedSequenceCount, 3u);
    expectSame(scanText(text, threads), whole);
    expectSame(handedBack(text, threads), whole);
}

TEST(ProjectTextScan, RefusesDenseTextPieceByPieceAsBefore) {
    // Refusal is judged per piece: a dense first part refuses the text only when the piece holding
    // it is dense enough, with or without the pages handed back.
    const std::size_t size = kParallelThreshold + (std::size_t(1) << 20);
    for (std::size_t denseBytes : {size / 16, size / 3}) {
        std::string text;
        text.reserve(size + 64);
        while (text.size() < denseBytes)
            text += "<Name>x</Name>\n";
        while (text.size() < size)
            text += "<Property>a plain line of a project without any marker at all</Property>\n";
        const TextScan pieces = scanText(text, 8);
        EXPECT_EQ(pieces.index.tooDense, denseBytes == size / 3);
        expectSame(handedBack(text, 8), pieces);
    }
}

TEST(ProjectTextScan, MovesLinesTogetherInLargeTextsAsReadWhole) {
    // Pieces of several MB each: lines are moved down into text already read, pages handed back and
    // written again; the lines before a piece's first quote stay where they are.
    ProjectGeneratorOptions o;
    o.targetXmlBytes = static_cast<qint64>(kParallelThreshold + (std::size_t(6) << 20));
    o.crlf = true;
    const std::string text = ProjectGenerator::generate(o).xml.toStdString();
    const TextScan whole = scanText(text, 1);
    ASSERT_GT(whole.index.lines.size(), 10000u);
    expectSame(handedBack(text, 8), whole);
    expectSame(handedBack(text, 3), whole);
}
