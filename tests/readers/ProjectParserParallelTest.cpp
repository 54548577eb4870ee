#include "readers/ProjectParser.h"
#include "readers/PrprojClipChain.h"
#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojMediaScan.h"
#include "readers/PrprojPatterns.h"
#include "readers/PrprojTimelineScan.h"
#include "readers/PrprojUsageResolver.h"
#include "readers/PrprojUtf8.h"
#include "support/ProjectGenerator.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::prproj;
using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;

// Large projects read their media blocks in pieces, the timeline parts, the clip chain's block
// kinds and the name indexes on several threads. Each must give exactly what the one-thread reading gives.
namespace {

std::map<std::string, QStringList> byIdentifier(const MediaScan& m) {
    std::map<std::string, QStringList> out;
    for (const auto& [id, paths] : m.pathsByMediaUID)
        out.emplace(std::string(id), paths);
    return out;
}

QStringList keysOf(const NameIndexes::Sorted& sorted) {
    QStringList keys;
    for (const NameIndexes::Entry& e : sorted)
        keys.append(e.key.toString());
    return keys;
}

std::vector<Id> masterClipIDs(const MarkerIndex& index) {
    std::vector<Id> ids;
    for (const MarkedLine& line : index.lines) {
        if (line.has(masterClipUID)) {
            if (auto id = firstCapture(Pattern::masterClipStart, line.text))
                ids.push_back(*id);
        }
    }
    return ids;
}

void expectSameWithThreads(const std::string& text, const std::string& what) {
    SCOPED_TRACE(what);
    const MarkerIndex index = indexMarkers(text);
    QList<double> serialFractions;
    const MediaScan serial = scanMediaBlocks(
        index, [&](double f) { serialFractions.append(f); }, 1);
    for (int threads : {2, 3, 4, 7}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        QList<double> fractions;
        const MediaScan pieces = scanMediaBlocks(
            index, [&](double f) { fractions.append(f); }, threads);
        EXPECT_EQ(pieces.tables.allPaths, serial.tables.allPaths);
        EXPECT_EQ(pieces.tables.pathsByTitle, serial.tables.pathsByTitle);
        EXPECT_EQ(pieces.tables.relativePathsByPath, serial.tables.relativePathsByPath);
        EXPECT_EQ(pieces.tables.spellingByKey, serial.tables.spellingByKey);
        EXPECT_EQ(byIdentifier(pieces), byIdentifier(serial));
        EXPECT_EQ(pieces.numberedStills, serial.numberedStills);
        EXPECT_EQ(fractions, serialFractions);
    }

    const std::vector<Id> sequences = scanSequences(text, index).sequenceIDs;
    const TimelineClips clips = findTimelineClipReferences(index, sequences);
    const TimelineClips clipsAtOnce = findTimelineClipReferences(index, sequences, true);
    EXPECT_EQ(clipsAtOnce.videoClipCounts, clips.videoClipCounts);
    EXPECT_EQ(clipsAtOnce.audioClipCounts, clips.audioClipCounts);
    EXPECT_EQ(clipsAtOnce.sequenceOccurrencesBySubClip, clips.sequenceOccurrencesBySubClip);
    EXPECT_EQ(clipsAtOnce.timelines, clips.timelines);
    // The mapping from references read beside the timelines is the mapping read after them.
    const MasterClipMapping mapping = mapSubClipsToMasterClips(clips, index);
    const MasterClipMapping mappingAtOnce =
        mapSubClipsToMasterClips(clipsAtOnce, collectSubClipMasterRefs(index));
    EXPECT_EQ(mappingAtOnce.usedMasterClipRefs, mapping.usedMasterClipRefs);
    EXPECT_EQ(mappingAtOnce.audioOnlyMasterClipRefs, mapping.audioOnlyMasterClipRefs);
    EXPECT_EQ(mappingAtOnce.usageCountByMasterClip, mapping.usageCountByMasterClip);
    EXPECT_EQ(mappingAtOnce.unmatchedClipCount, mapping.unmatchedClipCount);
    EXPECT_EQ(mappingAtOnce.attributionByMasterClip, mapping.attributionByMasterClip);

    MasterClipMediaChain oneThread(index);
    MasterClipMediaChain threeThreads(index, true);
    oneThread.attach(serial.pathsByMediaUID);
    threeThreads.attach(serial.pathsByMediaUID);
    EXPECT_EQ(threeThreads.resolvedCount(), oneThread.resolvedCount());
    for (Id id : masterClipIDs(index))
        EXPECT_EQ(threeThreads.pathsOf(id), oneThread.pathsOf(id)) << id;

    const NameIndexes a = buildNameIndexes(serial.tables, false);
    const NameIndexes b = buildNameIndexes(serial.tables, true);
    EXPECT_EQ(b.pathsByName, a.pathsByName);
    EXPECT_EQ(keysOf(b.sortedTitles), keysOf(a.sortedTitles));
    EXPECT_EQ(keysOf(b.sortedNames), keysOf(a.sortedNames));
    EXPECT_EQ(b.firstTitleByNormalized, a.firstTitleByNormalized);
}

// Dropped, doubled and cut lines: pieces then start inside damaged blocks.
std::string damaged(const QByteArray& xml, std::mt19937& rng) {
    QList<QByteArray> lines = xml.split('\n');
    for (int e = 0; e < 30 && !lines.isEmpty(); ++e) {
        const auto i = static_cast<qsizetype>(rng() % static_cast<unsigned>(lines.size()));
        switch (rng() % 3) {
        case 0:
            lines.removeAt(i);
            break;
        case 1:
            lines.insert(i, lines[i]);
            break;
        default:
            lines[i].truncate(static_cast<qsizetype>(rng() % static_cast<unsigned>(lines[i].size() + 1)));
            break;
        }
    }
    return lines.join('\n').toStdString();
}

} // namespace

TEST(ProjectParserParallel, ReadsGeneratedAndDamagedProjectsAsOneThreadDoes) {
    std::mt19937 rng(11);
    for (quint32 seed = 1; seed <= 3; ++seed) {
        ProjectGeneratorOptions o;
        o.mediaCount = 150;
        o.seed = seed;
        o.crlf = seed == 2;
        o.usedFraction = 0.6;
        o.renamedFraction = 0.2;
        o.fillerLinesPerObject = 2;
        o.effectLinesPerTrackItem = 2;
        o.generatedClipCount = 7;
        o.audioPreviewsBeforeGenerated = seed != 2;
        const QByteArray xml = ProjectGenerator::generate(o).xml;
        expectSameWithThreads(xml.toStdString(), "seed " + std::to_string(seed));
        expectSameWithThreads(damaged(xml, rng), "damaged seed " + std::to_string(seed));
    }
    // Streams holding the flag before and after their blocks, pieces starting among them.
    const QByteArray stills = tarnwick::testing::numberedStillsTimeline(QStringLiteral("/S"));
    expectSameWithThreads(stills.toStdString(), "stills");
    for (int k = 0; k < 4; ++k)
        expectSameWithThreads(damaged(stills, rng), "damaged stills " + std::to_string(k));
}

TEST(ProjectParserParallel, KeepsTheFirstSpellingAndLastRelativePathAcrossPieces) {
    // The same file in composed and decomposed form, and one path with two relative paths, spread
    // over many blocks so that the pieces split them.
    QStringList lines;
    for (int i = 0; i < 60; ++i) {
        const QString title = i % 2 == 0 ? QStringLiteral("Caf\u00e9.mov") : QStringLiteral("Cafe\u0301.mov");
        lines << QStringLiteral("<Media ObjectUID=\"m%1\">").arg(i)
              << QStringLiteral("<RelativePath>rel/%1.mov</RelativePath>").arg(i)
              << QStringLiteral("<Title>%1</Title>").arg(title)
              << QStringLiteral("<ActualMediaFilePath>/x/%1</ActualMediaFilePath>").arg(title)
              << QStringLiteral("<ActualMediaFilePath>/x/shared.mov</ActualMediaFilePath>")
              << QStringLiteral(
                     "<FilePath>{\"mFilePath\":\"/x/json%1.mov\",\"displayName\":\"T%2\"}</FilePath>")
                     .arg(i % 7)
                     .arg(i % 3)
              << QStringLiteral("</Media>");
    }
    const std::string text = lines.join(u'\n').toStdString();
    expectSameWithThreads(text, "spellings");
    const MarkerIndex index = indexMarkers(text);
    EXPECT_TRUE(scanMediaBlocks(index, {}, 4).tables.allPaths.contains(QStringLiteral("/x/Caf\u00e9.mov")));
}

TEST(ProjectParserParallel, ChecksUtf8InPiecesAsInOne) {
    // Two-byte characters throughout, so every piece boundary falls next to a sequence.
    std::string text;
    while (text.size() < kParallelThreshold + 64)
        text += "caf\xC3\xA9 ";
    for (int threads : {1, 2, 3, 4}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        EXPECT_TRUE(isValidUtf8(text, threads));
        for (std::size_t at :
             {std::size_t(1), text.size() / 2, text.size() / 3 * 2, text.size() / 4 * 3, text.size() - 1}) {
            std::string cut = text;
            // A lead byte followed by ASCII: invalid wherever the pieces happen to start.
            std::size_t lead = cut.find('\xC3', at);
            if (lead == std::string::npos)
                lead = cut.rfind('\xC3');
            cut[lead + 1] = 'x';
            EXPECT_FALSE(isValidUtf8(cut, threads)) << at;
        }
    }
}

TEST(ProjectParserParallel, ReadsThaiNamesInALargeProject) {
    // Thai text breaking keeps per-thread state on the reader pool's threads, which live on: under
    // the sanitizers this must not end the run with a leak report.
    QStringList paths;
    for (int i = 0; i < 6000; ++i) {
        paths.append(QStringLiteral("/Volumes/สื่อ/วันที่ %1/ฉากที่_%2 เทคดี.mov").arg(i % 7).arg(i));
    }
    ProjectGeneratorOptions o;
    o.mediaPaths = paths;
    o.usedFraction = 0.5;
    o.seed = 51;
    const tarnwick::testing::GeneratedProject g = ProjectGenerator::generate(o);
    ASSERT_GT(std::size_t(g.xml.size()), kParallelThreshold);
    const ProjectParser::ParseResult r = ProjectParser::parseXml(g.xml, QStringLiteral("/p/งานตัดต่อ.prproj"));
    EXPECT_EQ(r.allMediaPaths, g.mediaPaths);
    EXPECT_EQ(r.usedMediaPaths, g.usedPaths);
    EXPECT_EQ(r.audioOnlyPaths, g.audioOnlyPaths);
}
