#include "readers/ProjectParser.h"
#include "readers/PrprojClipChain.h"
#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojMediaScan.h"
#include "readers/PrprojTimelineScan.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <string>

using namespace tarnwick;
using namespace tarnwick::prproj;

namespace {

// Keeps the text alive for the views the scanners hand out.
struct Scanned {
    std::string text;
    MarkerIndex index;
    explicit Scanned(const QStringList& lines)
        : text(lines.join(u'\n').toStdString()), index(indexMarkers(text)) {}
};

// The paths filed under a media identifier; none when it has no entry.
QStringList pathsOf(const MediaScan& m, Id id) {
    return m.pathsByMediaUID.contains(id) ? m.pathsByMediaUID.at(id) : QStringList();
}

QSet<QString> set(std::initializer_list<const char*> items) {
    QSet<QString> s;
    for (const char* i : items)
        s.insert(QString::fromUtf8(i));
    return s;
}

} // namespace

TEST(ProjectParserMediaScan, CollectsPathsTitlesIdentifiersAndRelativePaths) {
    const Scanned s({
        QStringLiteral("<Media ObjectUID=\"m1\">"),
        QStringLiteral("<RelativePath>..\\Footage\\A&amp;B.mov</RelativePath>"),
        QStringLiteral("<FilePath>C:\\plain-form-is-ignored.mov</FilePath>"),
        QStringLiteral(
            "<Title>A&amp;B.mov</Title><ActualMediaFilePath>C:\\Footage\\A&amp;B.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"m2\">"),
        QStringLiteral("<ActualMediaFilePath>C:/Footage/A&amp;B.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"m3\">"),
        QStringLiteral("<Title></Title>"),
        QStringLiteral("<ActualMediaFilePath>/x/empty-title.mov</ActualMediaFilePath>"),
        QStringLiteral("<FilePath>{\"mFilePath\":\"/x/json.mov\"}</FilePath>"),
        QStringLiteral("<ActualMediaFilePath>1234</ActualMediaFilePath>"),
        QStringLiteral("<ActualMediaFilePath>relative/x.mov</ActualMediaFilePath>"),
        QStringLiteral("<ActualMediaFilePath>/x/Media Cache Files/c.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"m4\">"),
        QStringLiteral("<Title>Rendered - Seq</Title>"),
        QStringLiteral("<ActualMediaFilePath>/x/preview.mov</ActualMediaFilePath>"),
        QStringLiteral(
            "<FilePath>{\"mFilePath\":\"\\\\\\\\nas\\\\s\\\\j.mov\",\"displayName\":\"J.mov\"}</FilePath>"),
        QStringLiteral("<Title>Carried.mov</Title>"),
        QStringLiteral("<Media ObjectUID=\"m5\">"),
        QStringLiteral("<ActualMediaFilePath>/x/carried.mov</ActualMediaFilePath>"),
    });
    const MediaScan m = scanMediaBlocks(s.index, {});
    const MediaTables& t = m.tables;
    EXPECT_EQ(t.allPaths, set({"C:/Footage/A&B.mov", "/x/empty-title.mov", "/x/json.mov", "/x/preview.mov",
                               "//nas/s/j.mov", "/x/carried.mov"}));
    EXPECT_EQ(t.pathsByTitle.value(QStringLiteral("a&amp;b.mov")),
              QStringList{QStringLiteral("C:/Footage/A&B.mov")});
    // The JSON-style path is not filed under the empty title.
    EXPECT_EQ(t.pathsByTitle.value(QString()), QStringList{QStringLiteral("/x/empty-title.mov")});
    EXPECT_EQ(t.pathsByTitle.value(QStringLiteral("j.mov")), QStringList{QStringLiteral("//nas/s/j.mov")});
    EXPECT_EQ(t.pathsByTitle.value(QStringLiteral("carried.mov")),
              QStringList{QStringLiteral("/x/carried.mov")});
    EXPECT_EQ(t.relativePathsByPath.value(QStringLiteral("C:/Footage/A&B.mov")),
              QStringLiteral("..\\Footage\\A&B.mov"));
    EXPECT_EQ(t.relativePathsByPath.size(), 1);
    EXPECT_EQ(m.pathsByMediaUID.at("m1"), QStringList{QStringLiteral("C:/Footage/A&B.mov")});
    EXPECT_EQ(m.pathsByMediaUID.at("m2"), QStringList{QStringLiteral("C:/Footage/A&B.mov")});
    EXPECT_EQ(m.pathsByMediaUID.at("m5"), QStringList{QStringLiteral("/x/carried.mov")});
}

// Every way a Media block names its file: the path found now, the path written when the media was
// offline at save, a JSON-style value, a file URL, Windows drive and network forms.
TEST(ProjectParserMediaScan, ReadsEveryFormAMediaBlockNamesItsFileBy) {
    const Scanned s({
        QStringLiteral("<Media ObjectUID=\"offline\">"),
        QStringLiteral("<RelativePath>.\\new clips\\10.mp4</RelativePath>"),
        QStringLiteral("<FilePath>D:\\Shoot\\new clips\\10.mp4</FilePath>"),
        QStringLiteral("<Title>10.mp4</Title>"),
        QStringLiteral("<OfflineReason>1</OfflineReason>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"both\">"),
        QStringLiteral("<FilePath>/Volumes/Old/a.mov</FilePath>"),
        QStringLiteral("<Title>a.mov</Title>"),
        QStringLiteral("<ActualMediaFilePath>/Volumes/New/a.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"black\">"),
        QStringLiteral("<FilePath>1112293707</FilePath>"),
        QStringLiteral("<Title>Black Video</Title>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"url\">"),
        QStringLiteral("<FilePath>file:///E:/Day%201/b%20c.mov</FilePath>"),
        QStringLiteral("<Title>b c.mov</Title>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"unc\">"),
        QStringLiteral("<ActualMediaFilePath>\\\\?\\UNC\\nas\\s\\d.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"json\">"),
        QStringLiteral("<FilePath>{\"mFilePath\":\"C:\\\\e.mov\",\"displayName\":\"E\"}</FilePath>"),
        QStringLiteral("</Media>"),
        // Other objects write plain file paths too: they name no media.
        QStringLiteral("<AudioPreviewItem ObjectID=\"3\">"),
        QStringLiteral("<FilePath>/Users/e/Audio/Preview 1.wav</FilePath>"),
        QStringLiteral("</AudioPreviewItem>"),
        // A block the text ends in still gives its path.
        QStringLiteral("<Media ObjectUID=\"last\">"),
        QStringLiteral("<FilePath>/Volumes/X/last.mov</FilePath>"),
    });
    const MediaScan m = scanMediaBlocks(s.index, {});
    const MediaTables& t = m.tables;
    EXPECT_EQ(t.allPaths, set({"D:/Shoot/new clips/10.mp4", "/Volumes/New/a.mov", "E:/Day 1/b c.mov",
                               "//nas/s/d.mov", "C:/e.mov", "/Volumes/X/last.mov"}));
    EXPECT_EQ(t.pathsByTitle.value(QStringLiteral("10.mp4")),
              QStringList{QStringLiteral("D:/Shoot/new clips/10.mp4")});
    EXPECT_EQ(t.pathsByTitle.value(QStringLiteral("a.mov")),
              QStringList{QStringLiteral("/Volumes/New/a.mov")});
    EXPECT_EQ(t.pathsByTitle.value(QStringLiteral("b c.mov")),
              QStringList{QStringLiteral("E:/Day 1/b c.mov")});
    EXPECT_EQ(t.relativePathsByPath.value(QStringLiteral("D:/Shoot/new clips/10.mp4")),
              QStringLiteral(".\\new clips\\10.mp4"));
    EXPECT_EQ(pathsOf(m, "offline"), QStringList{QStringLiteral("D:/Shoot/new clips/10.mp4")});
    EXPECT_EQ(pathsOf(m, "both"), QStringList{QStringLiteral("/Volumes/New/a.mov")});
    EXPECT_EQ(m.pathsByMediaUID.count("black"), 0u);
    EXPECT_EQ(m.generatedMediaUIDs, (IdSet{"black"}));
}

// Of two relative paths in a block, the one beside the project (written from a dot segment) is kept;
// of two alike, the first.
TEST(ProjectParserMediaScan, KeepsTheRelativePathBesideTheProject) {
    const Scanned s({
        QStringLiteral("<Media ObjectUID=\"a\">"),
        QStringLiteral("<RelativePath>..\\Footage\\a.mov</RelativePath>"),
        QStringLiteral("<RelativePath>Footage\\a.mov</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>C:\\Footage\\a.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"b\">"),
        QStringLiteral("<RelativePath></RelativePath>"),
        QStringLiteral("<RelativePath>b.mov</RelativePath>"),
        QStringLiteral("<RelativePath>./b.mov</RelativePath>"),
        QStringLiteral("<RelativePath>./old/b.mov</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>/x/b.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        // Carried over from a block left open, a relative path gives way to the next block's own.
        QStringLiteral("<Media ObjectUID=\"c\">"),
        QStringLiteral("<RelativePath>./c.mov</RelativePath>"),
        QStringLiteral("<Media ObjectUID=\"d\">"),
        QStringLiteral("<RelativePath>d.mov</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>/x/d.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
    });
    const MediaTables t = scanMediaBlocks(s.index, {}).tables;
    EXPECT_EQ(
        t.relativePathsByPath,
        (QHash<QString, QString>{{QStringLiteral("C:/Footage/a.mov"), QStringLiteral("..\\Footage\\a.mov")},
                                 {QStringLiteral("/x/b.mov"), QStringLiteral("./b.mov")},
                                 {QStringLiteral("/x/d.mov"), QStringLiteral("d.mov")}}));
}

// The editor's previews and caches stay out of the media, but remain reachable through their block's
// identifier for a timeline that uses one.
TEST(ProjectParserMediaScan, HoldsBackPreviewsAndCachesUnderTheirIdentifierOnly) {
    const Scanned s({
        QStringLiteral("<Media ObjectUID=\"p\">"),
        QStringLiteral("<Title>clip.mov</Title>"),
        QStringLiteral("<RelativePath>./Adobe Premiere Pro Video Previews/E.PRV/x.mov</RelativePath>"),
        QStringLiteral(
            "<ActualMediaFilePath>/v/Adobe Premiere Pro Video Previews/E.PRV/x.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"q\">"),
        QStringLiteral("<FilePath>{\"mFilePath\":\"/v/Media Cache Files/y.mov\"}</FilePath>"),
        QStringLiteral("</Media>"),
    });
    const MediaScan m = scanMediaBlocks(s.index, {});
    EXPECT_TRUE(m.tables.allPaths.isEmpty());
    EXPECT_TRUE(m.tables.pathsByTitle.isEmpty());
    EXPECT_TRUE(m.tables.relativePathsByPath.isEmpty());
    EXPECT_EQ(m.heldBackPaths,
              set({"/v/Adobe Premiere Pro Video Previews/E.PRV/x.mov", "/v/Media Cache Files/y.mov"}));
    EXPECT_EQ(pathsOf(m, "p"),
              QStringList{QStringLiteral("/v/Adobe Premiere Pro Video Previews/E.PRV/x.mov")});
    EXPECT_EQ(pathsOf(m, "q"), QStringList{QStringLiteral("/v/Media Cache Files/y.mov")});
}

// Read in pieces at once, the blocks give what one reading gives: a plain path settles within its
// block, whichever piece holds it.
TEST(ProjectParserMediaScan, ReadsEveryFormTheSameInPiecesAsWhole) {
    QStringList lines;
    for (int i = 0; i < 300; ++i) {
        const QString n = QString::number(i);
        lines << QStringLiteral("<Media ObjectUID=\"u%1\">").arg(n);
        switch (i % 5) {
        case 0:
            lines << QStringLiteral("<FilePath>D:\\Shoot\\%1.mp4</FilePath>").arg(n)
                  << QStringLiteral("<Title>%1.mp4</Title>").arg(n);
            break;
        case 1:
            lines << QStringLiteral("<RelativePath>.\\%1.mov</RelativePath>").arg(n)
                  << QStringLiteral("<RelativePath>%1.mov</RelativePath>").arg(n)
                  << QStringLiteral("<FilePath>/old/%1.mov</FilePath>").arg(n)
                  << QStringLiteral("<ActualMediaFilePath>/new/%1.mov</ActualMediaFilePath>").arg(n);
            break;
        case 2:
            lines << QStringLiteral("<ActualMediaFilePath>/v/x.PRV/%1.mov</ActualMediaFilePath>").arg(n);
            break;
        case 3:
            lines << QStringLiteral("<FilePath>file:///Volumes/A/%1%20b.mov</FilePath>").arg(n);
            continue; // left open: its path settles at the next block
        default:
            lines << QStringLiteral("<FilePath>%1</FilePath>").arg(1112293707 + i);
        }
        lines << QStringLiteral("</Media>");
    }
    const Scanned s(lines);
    const MediaScan whole = scanMediaBlocks(s.index, {}, 1);
    const MediaScan pieces = scanMediaBlocks(s.index, {}, 4);
    EXPECT_EQ(whole.tables.allPaths.size(), 180);
    EXPECT_EQ(whole.heldBackPaths.size(), 60);
    EXPECT_TRUE(whole.tables.allPaths.contains(QStringLiteral("/Volumes/A/298 b.mov")));
    EXPECT_EQ(pieces.tables.allPaths, whole.tables.allPaths);
    EXPECT_EQ(pieces.tables.pathsByTitle, whole.tables.pathsByTitle);
    EXPECT_EQ(pieces.tables.relativePathsByPath, whole.tables.relativePathsByPath);
    EXPECT_EQ(pieces.heldBackPaths, whole.heldBackPaths);
    EXPECT_EQ(pieces.pathsByMediaUID, whole.pathsByMediaUID);
    EXPECT_EQ(pieces.generatedMediaUIDs, whole.generatedMediaUIDs);
}

TEST(ProjectParserMediaScan, KeepsOnePathForCanonicallyEqualSpellings) {
    const Scanned s({QStringLiteral("<ActualMediaFilePath>/x/Caf\u00e9.mov</ActualMediaFilePath>"),
                     QStringLiteral("<ActualMediaFilePath>/x/Cafe\u0301.mov</ActualMediaFilePath>")});
    EXPECT_EQ(scanMediaBlocks(s.index, {}).tables.allPaths,
              QSet<QString>{QStringLiteral("/x/Caf\u00e9.mov")});
}

TEST(ProjectParserMediaScan, ReportsProgressAboutAHundredTimes) {
    QStringList lines;
    for (int i = 0; i < 1050; ++i)
        lines.append(QStringLiteral("<Title>t</Title>"));
    const Scanned s(lines);
    QList<double> reports;
    scanMediaBlocks(s.index, [&](double f) { reports.append(f); });
    ASSERT_EQ(reports.size(), 105); // every 10th of 1050 lines
    EXPECT_EQ(reports.first(), 0.0);
    EXPECT_DOUBLE_EQ(reports.last(), 1040.0 / 1050.0);
}

TEST(ProjectParserTimelineScan, ReadsMasterClipNames) {
    const Scanned s({
        QStringLiteral("<MasterClip ObjectUID=\"a\"><Name>Same line</Name>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<Name>ignored after the end</Name>"),
        QStringLiteral("<MasterClip ObjectUID=\"b\">"),
        QStringLiteral("<MasterClip ObjectUID=\"c\">"),
        QStringLiteral("<Name>for c only</Name>"),
        QStringLiteral("<Name>second name ignored</Name>"),
        QStringLiteral("<MasterClip ObjectUID=\"a\">"),
        QStringLiteral("<Name>a &amp; again</Name>"),
    });
    EXPECT_EQ(scanMasterClipNames(s.index), (IdMap<Id>{{"a", "a &amp; again"}, {"c", "for c only"}}));
}

TEST(ProjectParserTimelineScan, CountsSequencesAndDistinctNestedReferences) {
    const Scanned s({QStringLiteral("<Sequence ObjectUID=\"s1\"><Sequence ObjectUID=\"s2\">"),
                     QStringLiteral("<Sequence ObjectURef=\"s1\"/><Sequence ObjectURef=\"s1\"/>"),
                     QStringLiteral("<Sequence ObjectURef=\"gone\"/><Sequence ObjectURef=\"s2\">")});
    const SequenceScan q = scanSequences(s.text, s.index);
    EXPECT_EQ(q.sequenceIDs, (std::vector<Id>{"s1", "s2"}));
    EXPECT_EQ(q.nestedSequenceCount, 2u);
}

namespace {

QStringList timelineProject() {
    return {
        QStringLiteral("<Sequence ObjectUID=\"A\">"),
        QStringLiteral("<Second ObjectRef=\"99\"/>"), // outside the track-group list
        QStringLiteral("<TrackGroups>"),
        QStringLiteral("<Second ObjectRef=\"10\"/>"),
        QStringLiteral("<Second ObjectRef=\"10\"/>"),
        QStringLiteral("</TrackGroups>"),
        QStringLiteral("<Name>first</Name>"),
        QStringLiteral("<Name>Timeline A</Name>"),
        QStringLiteral("</Sequence>"),
        QStringLiteral("<Sequence ObjectUID=\"B\">"),
        QStringLiteral("<Name></Name>"),
        QStringLiteral("</Sequence>"),
        QStringLiteral("<VideoTrackGroup ObjectID=\"10\">"),
        QStringLiteral("<Track Index=\"0\" ObjectURef=\"vt\"/>"),
        QStringLiteral("</VideoTrackGroup>"),
        QStringLiteral("<VideoClipTrack ObjectUID=\"vt\">"),
        QStringLiteral("<TrackItem Index=\"0\" ObjectRef=\"1\"/>"),
        QStringLiteral("<TrackItem Index=\"1\" ObjectRef=\"2\"/>"),
        QStringLiteral("</VideoClipTrack>"),
        QStringLiteral("<AudioClipTrack ObjectUID=\"loose\">"),
        QStringLiteral("<TrackItem Index=\"0\" ObjectRef=\"3\"/>"),
        QStringLiteral("</AudioClipTrack>"),
        QStringLiteral("<VideoClipTrackItem ObjectID=\"1\">"),
        QStringLiteral("<SubClip ObjectRef=\"7\"/><SubClip ObjectRef=\"8\"/>"),
        QStringLiteral("</VideoClipTrackItem>"),
        QStringLiteral("<VideoClipTrackItem ObjectID=\"2\">"),
        QStringLiteral("<SubClip ObjectRef=\"07\"/>"),
        QStringLiteral("</VideoClipTrackItem>"),
        QStringLiteral("<AudioClipTrackItem ObjectID=\"3\">"),
        QStringLiteral("<SubClip ObjectRef=\"7\"/>"),
        QStringLiteral("</AudioClipTrackItem>"),
        QStringLiteral("<SubClip ObjectRef=\"9\"/>"),
        QStringLiteral("<VideoClipTrackItem ObjectID=\"4\">"),
        QStringLiteral("<SubClip ObjectRef=\"5\">"),
        QStringLiteral("</VideoClipTrackItem>"),
    };
}

} // namespace

TEST(ProjectParserTimelineScan, FindsTrackItemsAndAttributesThemToTimelines) {
    const Scanned s(timelineProject());
    const TimelineClips c = findTimelineClipReferences(s.index, {"A", "B"});
    EXPECT_EQ(c.videoClipCounts, (IdMap<qint64>{{"7", 1}, {"07", 1}}));
    EXPECT_EQ(c.audioClipCounts, (IdMap<qint64>{{"7", 1}}));
    // Track group 10 is listed twice by A: each of its items counts twice; item 3's track is in no group.
    EXPECT_EQ(c.sequenceOccurrencesBySubClip, (IdMap<TimelineCounts>{{"7", {{"A", 2}}}, {"07", {{"A", 2}}}}));
    ASSERT_EQ(c.timelines.size(), 2);
    EXPECT_EQ(c.timelines[0], (ProjectSequence{QStringLiteral("A"), QStringLiteral("Timeline A")}));
    EXPECT_EQ(c.timelines[1], (ProjectSequence{QStringLiteral("B"), QString()}));
}

TEST(ProjectParserTimelineScan, OrdersTimelinesByDisplayNameThenIdentifier) {
    const Scanned s({QStringLiteral("<Sequence ObjectUID=\"2\"><Name>b</Name></Sequence>"),
                     QStringLiteral("<Sequence ObjectUID=\"3\"><Name>A</Name></Sequence>"),
                     QStringLiteral("<Sequence ObjectUID=\"1\"><Name>a</Name></Sequence>")});
    const TimelineClips c = findTimelineClipReferences(s.index, scanSequences(s.text, s.index).sequenceIDs);
    QStringList ids;
    for (const ProjectSequence& t : c.timelines)
        ids.append(t.id);
    EXPECT_EQ(ids, (QStringList{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2")}));
}

TEST(ProjectParserClipChain, MapsTimelineSubClipsToMasterClips) {
    TimelineClips clips;
    clips.videoClipCounts = {{"7", 2}, {"8", 1}, {"11", 1}};
    clips.audioClipCounts = {{"7", 1}, {"9", 3}, {"12", 1}};
    clips.sequenceOccurrencesBySubClip = {{"9", {{"A", 2}}}, {"8", {{"A", 5}}}};
    const Scanned s({
        QStringLiteral("<SubClip ObjectID=\"7\">"),
        QStringLiteral("<MasterClip ObjectURef=\"m\"/>"),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<SubClip ObjectID=\"9\">"),
        QStringLiteral("<MasterClip ObjectURef=\"audio\"/>"),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<SubClip ObjectID=\"8\">"),
        QStringLiteral("<MasterClip ObjectURef=\"v\"/>"),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<SubClip ObjectID=\"100\">"),
        QStringLiteral("<MasterClip ObjectURef=\"not-on-a-timeline\"/>"),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<SubClip ObjectID=\"12\">"),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<MasterClip ObjectURef=\"after-the-end\"/>"),
    });
    const MasterClipMapping m = mapSubClipsToMasterClips(clips, s.index);
    EXPECT_EQ(m.usedMasterClipRefs, set({"m", "audio", "v"}));
    EXPECT_EQ(m.audioOnlyMasterClipRefs, set({"audio"}));
    EXPECT_EQ(m.usageCountByMasterClip,
              (QHash<QString, qint64>{
                  {QStringLiteral("m"), 3}, {QStringLiteral("audio"), 3}, {QStringLiteral("v"), 1}}));
    EXPECT_EQ(m.unmatchedClipCount, 2); // 11 and 12
    EXPECT_EQ(m.attributionByMasterClip.value(QStringLiteral("audio")),
              (SequenceUsageAttribution{{{QStringLiteral("A"), 2}}, 1}));
    EXPECT_EQ(m.attributionByMasterClip.value(QStringLiteral("v")),
              (SequenceUsageAttribution{{{QStringLiteral("A"), 5}}, 0}));
    EXPECT_EQ(m.attributionByMasterClip.value(QStringLiteral("m")), (SequenceUsageAttribution{{}, 3}));
    EXPECT_EQ(mapSubClipsToMasterClips(TimelineClips{}, s.index).unmatchedClipCount, 0);
}

TEST(ProjectParserClipChain, FollowsMasterClipsThroughClipsAndSourcesToMedia) {
    const Scanned s({
        QStringLiteral("<MasterClip ObjectUID=\"mc\">"),
        QStringLiteral("<Clip Index=\"0\" ObjectRef=\"1\"/>"),
        QStringLiteral("<Clip Index=\"1\" ObjectRef=\"2\"/>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<MasterClip ObjectUID=\"dangling\">"),
        QStringLiteral("<Clip Index=\"0\" ObjectRef=\"3\"/>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<VideoClip ObjectID=\"1\">"),
        QStringLiteral("<SubClip ObjectID=\"55\">"), // hits "Clip ObjectID=" but is no clip start
        QStringLiteral("<Source ObjectRef=\"20\"/>"),
        QStringLiteral("</VideoClip>"),
        QStringLiteral("<AudioClip ObjectID=\"2\">"),
        QStringLiteral("<Source ObjectRef=\"21\"/>"),
        QStringLiteral("</AudioClip>"),
        QStringLiteral("<AudioClip ObjectID=\"3\">"),
        QStringLiteral("<Source ObjectRef=\"22\"/>"),
        QStringLiteral("</AudioClip>"),
        QStringLiteral("<VideoMediaSource ObjectID=\"20\">"),
        QStringLiteral("<Media ObjectURef=\"old\"/>"),
        QStringLiteral("<Media ObjectURef=\"m1\"/>"),
        QStringLiteral("</VideoMediaSource>"),
        QStringLiteral("<AudioMediaSource ObjectID=\"21\">"),
        QStringLiteral("<Media ObjectURef=\"m2\"/>"),
        QStringLiteral("</AudioMediaSource>"),
        QStringLiteral("<AudioMediaSource ObjectID=\"22\">"),
        QStringLiteral("<Media ObjectURef=\"nowhere\"/>"),
        QStringLiteral("</AudioMediaSource>"),
    });
    const IdMap<QStringList> media = {{"m1", {QStringLiteral("/a.mov")}},
                                      {"m2", {QStringLiteral("/a.wav"), QStringLiteral("/b.wav")}},
                                      {"old", {QStringLiteral("/old.mov")}}};
    MasterClipMediaChain chain(s.index);
    chain.attach(media);
    EXPECT_EQ(chain.resolvedCount(), 1);
    EXPECT_EQ(chain.pathsOf("mc"),
              (QStringList{QStringLiteral("/a.mov"), QStringLiteral("/a.wav"), QStringLiteral("/b.wav")}));
    EXPECT_TRUE(chain.pathsOf("dangling").isEmpty());
}

// A master clip whose clips show sequence sources and no media is a timeline's own.
TEST(ProjectParserClipChain, TellsATimelinesOwnMasterClipFromOneWithMedia) {
    const Scanned s({
        QStringLiteral("<MasterClip ObjectUID=\"timeline\">"),
        QStringLiteral("<Clip Index=\"0\" ObjectRef=\"1\"/>"),
        QStringLiteral("<Clip Index=\"1\" ObjectRef=\"2\"/>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<MasterClip ObjectUID=\"mixed\">"),
        QStringLiteral("<Clip Index=\"0\" ObjectRef=\"1\"/>"),
        QStringLiteral("<Clip Index=\"1\" ObjectRef=\"3\"/>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<MasterClip ObjectUID=\"orphan\">"),
        QStringLiteral("<Clip Index=\"0\" ObjectRef=\"4\"/>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<VideoClip ObjectID=\"1\">"),
        QStringLiteral("<Source ObjectRef=\"20\"/>"),
        QStringLiteral("</VideoClip>"),
        QStringLiteral("<AudioClip ObjectID=\"2\">"),
        QStringLiteral("<Source ObjectRef=\"21\"/>"),
        QStringLiteral("</AudioClip>"),
        QStringLiteral("<VideoClip ObjectID=\"3\">"),
        QStringLiteral("<Source ObjectRef=\"22\"/>"),
        QStringLiteral("</VideoClip>"),
        QStringLiteral("<VideoClip ObjectID=\"4\">"),
        QStringLiteral("<Source ObjectRef=\"23\"/>"),
        QStringLiteral("</VideoClip>"),
        QStringLiteral("<VideoSequenceSource ObjectID=\"20\" Version=\"3\">"),
        QStringLiteral("<Sequence ObjectURef=\"s1\"/>"),
        QStringLiteral("</VideoSequenceSource>"),
        QStringLiteral("<AudioSequenceSource ObjectID=\"21\" Version=\"7\">"),
        QStringLiteral("</AudioSequenceSource>"),
        QStringLiteral("<VideoMediaSource ObjectID=\"22\">"),
        QStringLiteral("<Media ObjectURef=\"m1\"/>"),
        QStringLiteral("</VideoMediaSource>"),
        QStringLiteral("<SequenceSource ObjectID=\"23\">"), // neither video nor audio
    });
    const MasterClipMediaChain chain(s.index);
    EXPECT_TRUE(chain.standsForSequence("timeline"));
    EXPECT_FALSE(chain.standsForSequence("mixed")); // a file too: matched as one
    EXPECT_FALSE(chain.standsForSequence("orphan"));
    EXPECT_TRUE(chain.asReferenceChain().leadsToNoFile(QStringLiteral("timeline")));
    EXPECT_FALSE(chain.asReferenceChain().leadsToNoFile(QStringLiteral("mixed")));
}

TEST(ProjectParserClipChain, FindsTheTimelinesOwnMasterClipInTheRealSample) {
    const QString path = QStringLiteral(TARNWICK_SAMPLES_DIR "/prproj/prproj-reader-test.prproj");
    if (!QFile::exists(path))
        GTEST_SKIP() << "no sample project";
    const QByteArray xml = ProjectParser::readAndDecompressUtf8(path);
    const std::string_view text(xml.constData(), std::size_t(xml.size()));
    const MarkerIndex index = indexMarkers(text);
    const MasterClipMediaChain chain(index);
    // "video maquetas 2": the timeline's own master clip, shown through its video and audio sources.
    EXPECT_TRUE(chain.standsForSequence("b6a5bb3a-2bda-4cb3-933e-e8408ec6888c"));
    EXPECT_FALSE(chain.standsForSequence("36d2d304-7f51-4108-bec1-fd247f97f484")); // 1. TEASER.mp4
    EXPECT_FALSE(chain.standsForSequence("95a0443b-6263-4e63-b979-1c1ffebd38dd")); // Obertura 1.wav
}
