#include "readers/ProjectParser.h"
#include "readers/PrprojMarkerIndex.h"

#include "support/ProjectGenerator.h"
#include "support/ProjectParserLogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gmock/gmock.h>

#include <algorithm>
#include <thread>
#include <utility>

using namespace tarnwick;
using tarnwick::testing::GeneratedProject;
using tarnwick::testing::numberedStillsTimeline;
using tarnwick::testing::oneClipTimeline;
using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;
using tarnwick::testing::ProjectParserLogCapture;

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QByteArray xmlOf(const QStringList& lines) {
    return (lines.join(u'\n') + u'\n').toUtf8();
}

// A small project: one sequence with a video and an audio track, two media files on it, one not.
QByteArray smallProject() {
    return xmlOf({
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>"),
        QStringLiteral("<PremiereData Version=\"3\">"),
        QStringLiteral("<Media ObjectUID=\"m1\">"),
        QStringLiteral("<RelativePath>../Footage/a.mov</RelativePath>"),
        QStringLiteral("<Title>A.mov</Title>"),
        QStringLiteral("<ActualMediaFilePath>/Volumes/X/Footage/a.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"m2\">"),
        QStringLiteral("<Title>music.wav</Title>"),
        QStringLiteral("<ActualMediaFilePath>/Volumes/X/Audio/music.wav</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<Media ObjectUID=\"m3\">"),
        QStringLiteral("<Title>unused.mov</Title>"),
        QStringLiteral("<ActualMediaFilePath>/Volumes/X/Footage/unused.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<MasterClip ObjectUID=\"mc1\">"),
        QStringLiteral("<Name>A.mov</Name>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<MasterClip ObjectUID=\"mc2\">"),
        QStringLiteral("<Name>music.wav</Name>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<MasterClip ObjectUID=\"mc3\">"),
        QStringLiteral("<Name>unused.mov</Name>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<SubClip ObjectID=\"20\">"),
        QStringLiteral("<MasterClip ObjectURef=\"mc1\"/>"),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<SubClip ObjectID=\"21\">"),
        QStringLiteral("<MasterClip ObjectURef=\"mc2\"/>"),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<Sequence ObjectUID=\"seq-1\">"),
        QStringLiteral("<TrackGroups Version=\"1\">"),
        QStringLiteral("<Second ObjectRef=\"30\"/>"),
        QStringLiteral("<Second ObjectRef=\"31\"/>"),
        QStringLiteral("</TrackGroups>"),
        QStringLiteral("<Name>Main Edit</Name>"),
        QStringLiteral("</Sequence>"),
        QStringLiteral("<VideoTrackGroup ObjectID=\"30\">"),
        QStringLiteral("<Track Index=\"0\" ObjectURef=\"vt1\"/>"),
        QStringLiteral("</VideoTrackGroup>"),
        QStringLiteral("<AudioTrackGroup ObjectID=\"31\">"),
        QStringLiteral("<Track Index=\"0\" ObjectURef=\"at1\"/>"),
        QStringLiteral("</AudioTrackGroup>"),
        QStringLiteral("<VideoClipTrack ObjectUID=\"vt1\">"),
        QStringLiteral("<TrackItem Index=\"0\" ObjectRef=\"40\"/>"),
        QStringLiteral("<TrackItem Index=\"1\" ObjectRef=\"41\"/>"),
        QStringLiteral("</VideoClipTrack>"),
        QStringLiteral("<AudioClipTrack ObjectUID=\"at1\">"),
        QStringLiteral("<TrackItem Index=\"0\" ObjectRef=\"42\"/>"),
        QStringLiteral("</AudioClipTrack>"),
        QStringLiteral("<VideoClipTrackItem ObjectID=\"40\">"),
        QStringLiteral("<SubClip ObjectRef=\"20\"/>"),
        QStringLiteral("</VideoClipTrackItem>"),
        QStringLiteral("<VideoClipTrackItem ObjectID=\"41\">"),
        QStringLiteral("<SubClip ObjectRef=\"20\"/>"),
        QStringLiteral("</VideoClipTrackItem>"),
        QStringLiteral("<AudioClipTrackItem ObjectID=\"42\">"),
        QStringLiteral("<SubClip ObjectRef=\"21\"/>"),
        QStringLiteral("</AudioClipTrackItem>"),
        QStringLiteral("</PremiereData>"),
    });
}

} // namespace

TEST(ProjectParser, ReadsMediaUsageTimelinesAndAudioOnlyPaths) {
    QTemporaryDir dir;
    const QString path =
        writeFile(dir, QStringLiteral("Edit.prproj"), ProjectGenerator::gzip(smallProject()));
    const ProjectParser::ParseResult r = ProjectParser().parse(path);

    const QString a = QStringLiteral("/Volumes/X/Footage/a.mov");
    const QString music = QStringLiteral("/Volumes/X/Audio/music.wav");
    EXPECT_EQ(r.projectName, QStringLiteral("Edit"));
    EXPECT_EQ(r.allMediaPaths, (QSet<QString>{a, music, QStringLiteral("/Volumes/X/Footage/unused.mov")}));
    EXPECT_EQ(r.usedMediaPaths, (QSet<QString>{a, music}));
    EXPECT_EQ(r.usageCountByPath, (QHash<QString, int>{{a, 2}, {music, 1}}));
    EXPECT_EQ(r.audioOnlyPaths, QSet<QString>{music});
    EXPECT_EQ(r.sequences, (QList<ProjectSequence>{{QStringLiteral("seq-1"), QStringLiteral("Main Edit")}}));
    EXPECT_EQ(r.sequenceNames, QStringList{QStringLiteral("Main Edit")});
    EXPECT_EQ(r.sequenceNamesByPath.value(a), QSet<QString>{QStringLiteral("Main Edit")});
    EXPECT_EQ(r.sequenceUsageByPath.value(a).occurrencesBySequenceID.value(QStringLiteral("seq-1")), 2);
    EXPECT_EQ(r.sequenceUsageByPath.value(a).unattributedOccurrences, 0);
    EXPECT_TRUE(r.warnings.isEmpty());
    EXPECT_FALSE(r.error.has_value());
    const QString expectedRelative = QDir::cleanPath(dir.path() + QStringLiteral("/../Footage/a.mov"));
    EXPECT_EQ(r.relativeCandidates, (QHash<QString, QString>{{a, expectedRelative}}));
}

// A Media block of numbered stills names its first frame; its title gives the range.
TEST(ProjectParser, ReadsNumberedStillsByTheirFirstFrameAndTheRangeOfTheirTitle) {
    const QString first = QStringLiteral("/Shoot/Stills/frame_0001.png");
    const ProjectParser::ParseResult r = ProjectParser::parseXml(
        oneClipTimeline(
            QStringLiteral("<ActualMediaFilePath>%1</ActualMediaFilePath>\n"
                           "<Title>frame_[0001-0026].png</Title>\n"
                           "<IsNumberedStills>true</IsNumberedStills>")
                .arg(first),
            QStringLiteral("<ActualMediaFilePath>/Shoot/Stills/loose_0001.png</ActualMediaFilePath>\n"
                           "<IsNumberedStills>false</IsNumberedStills>")),
        QStringLiteral("/p/Stills.prproj"));
    EXPECT_EQ(r.usedMediaPaths, QSet<QString>{first});
    ASSERT_EQ(r.numberedStills.size(), 1);
    const ImageSequence& stills = r.numberedStills.first();
    EXPECT_EQ(stills.firstFramePath, first);
    EXPECT_EQ(stills.folder, QStringLiteral("/Shoot/Stills"));
    EXPECT_EQ(stills.prefix, QStringLiteral("frame_"));
    EXPECT_EQ(stills.suffix, QStringLiteral(".png"));
    EXPECT_EQ(stills.digits, 4);
    EXPECT_EQ(stills.firstFrame, 1);
    EXPECT_EQ(stills.lastFrame, 26);
}

// The editor keeps the flag in the video stream a block names, written before or after the block;
// a title without a range takes the stream's frame count, else every frame from the first on; a
// stream's flag marks no other block (the audio block right after one).
TEST(ProjectParser, ReadsNumberedStillsFromTheVideoStreamTheirBlockNames) {
    const ProjectParser::ParseResult r = ProjectParser::parseXml(
        numberedStillsTimeline(QStringLiteral("/Shoot")), QStringLiteral("/p/Stills.prproj"));
    using Range = std::pair<std::optional<qint64>, std::optional<qint64>>;
    QHash<QString, Range> ranges;
    for (const ImageSequence& s : r.numberedStills)
        ranges.insert(s.firstFramePath, {s.firstFrame, s.lastFrame});
    EXPECT_EQ(r.numberedStills.size(), 4);
    EXPECT_EQ(ranges, (QHash<QString, Range>{{QStringLiteral("/Shoot/Seq/sequence-01.png"), {1, 15}},
                                             {QStringLiteral("/Shoot/Shots/shot_0001.exr"), {1, 10}},
                                             {QStringLiteral("/Shoot/Open/open_0003.png"), {3, std::nullopt}},
                                             {QStringLiteral("/Shoot/Seq/sequence-16.png"), {16, 25}}}));
    EXPECT_TRUE(r.usedMediaPaths.contains(QStringLiteral("/Shoot/Audio/Transition Complex 01.wav")));
}

TEST(ProjectParser, ParsesTheRealSampleProjects) {
    const QDir samples(QStringLiteral(TARNWICK_SAMPLES_DIR "/prproj"));
    const QStringList files = samples.entryList({QStringLiteral("*.prproj")}, QDir::Files);
    if (files.isEmpty())
        GTEST_SKIP() << "no sample projects";
    for (const QString& name : files) {
        ProjectParserLogCapture log;
        const ProjectParser::ParseResult r = ProjectParser().parse(samples.filePath(name));
        EXPECT_FALSE(r.error.has_value()) << name.toStdString();
        if (name != QStringLiteral("prproj-reader-test.prproj"))
            continue;
        // Facts read off the XML: three Media blocks, one with a numeric placeholder path; the audio
        // master clip is on an audio track, the "Adjustment Layer" master clip has no media file.
        const QString teaser = QStringLiteral("/Users/sergioventurini/Downloads/1. TEASER.mp4");
        const QString music = QStringLiteral("/Users/sergioventurini/Downloads/Obertura 1.wav");
        EXPECT_EQ(r.allMediaPaths, (QSet<QString>{teaser, music}));
        EXPECT_EQ(r.usedMediaPaths, QSet<QString>{music});
        EXPECT_EQ(r.audioOnlyPaths, QSet<QString>{music});
        EXPECT_EQ(r.usageCountByPath.value(music), 1);
        EXPECT_EQ(r.nestedSequenceCount, 0) << "its one timeline sits inside no other";
        ASSERT_EQ(r.sequences.size(), 1);
        EXPECT_EQ(r.sequences[0].name, QStringLiteral("video maquetas 2"));
        // The used "Adjustment Layer" leads to the generated black video (a number for its path, of
        // infinite length): there is no file to match, so nothing is unresolved.
        EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(u'\n').toStdString();
    }
}

TEST(ProjectParser, FindsEveryUsedFileOfAGeneratedProject) {
    for (bool crlf : {false, true}) {
        ProjectGeneratorOptions o;
        o.mediaCount = 300;
        o.crlf = crlf;
        o.seed = crlf ? 7 : 3;
        const GeneratedProject g = ProjectGenerator::generate(o);
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("Gen.prproj"), ProjectGenerator::gzip(g.xml));
        const ProjectParser::ParseResult r = ProjectParser().parse(path);
        EXPECT_EQ(r.allMediaPaths, g.mediaPaths);
        EXPECT_EQ(r.usedMediaPaths, g.usedPaths);
        EXPECT_EQ(r.audioOnlyPaths, g.audioOnlyPaths);
        EXPECT_EQ(r.sequences.size(), g.sequenceCount);
        EXPECT_EQ(r.nestedSequenceCount, g.nestedSequenceCount);
        EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(u'\n').toStdString();
    }
}

// Titles, mattes, black video, bars, leaders and adjustment layers have no file behind them: a
// project full of them is not flagged; clips the reader cannot classify still are.
TEST(ProjectParser, GeneratedMediaOnTimelinesLeaveNothingUnresolved) {
    struct Case {
        const char* what;
        int generated;
        int unclassifiable;
    };
    for (const Case c : {Case{"generated only", 21, 0}, Case{"with unclassifiable clips", 14, 4},
                         Case{"unclassifiable only", 0, 3}}) {
        ProjectGeneratorOptions o;
        o.mediaCount = 60;
        o.generatedClipCount = c.generated;
        o.unclassifiableClipCount = c.unclassifiable;
        const GeneratedProject g = ProjectGenerator::generate(o);
        const ProjectParser::ParseResult r = ProjectParser().parseXml(g.xml, QStringLiteral("/p/Gen.prproj"));
        EXPECT_EQ(r.allMediaPaths, g.mediaPaths) << c.what << ": generated media add no file";
        EXPECT_EQ(r.usedMediaPaths, g.usedPaths) << c.what;
        if (g.unresolvedClipCount == 0) {
            EXPECT_TRUE(r.warnings.isEmpty()) << c.what << ": " << r.warnings.join(u'\n').toStdString();
        } else {
            ASSERT_EQ(r.warnings.size(), 1) << c.what << ": " << r.warnings.join(u'\n').toStdString();
            EXPECT_TRUE(r.warnings[0].startsWith(
                QStringLiteral("%1 timeline clip(s) could not be matched").arg(g.unresolvedClipCount)))
                << c.what << ": " << r.warnings[0].toStdString();
        }
    }
}

// Every timeline has a master clip of its own (named as the timeline, showing it through sequence
// sources); placed in another timeline it is a nested timeline, not a file that went missing.
TEST(ProjectParser, ATimelinesOwnMasterClipIsNeverUnresolved) {
    for (const int unclassifiable : {0, 3}) {
        ProjectGeneratorOptions o;
        o.mediaCount = 60;
        o.sequenceCount = 3;
        o.timelineMasterClips = true;
        o.nestedTimelineClipCount = 2;
        o.unclassifiableClipCount = unclassifiable;
        const GeneratedProject g = ProjectGenerator::generate(o);
        const ProjectParser::ParseResult r =
            ProjectParser().parseXml(g.xml, QStringLiteral("/p/Nest.prproj"));
        EXPECT_EQ(r.usedMediaPaths, g.usedPaths);
        EXPECT_EQ(r.nestedSequenceCount, g.nestedSequenceCount);
        if (unclassifiable == 0) {
            EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(u'\n').toStdString();
            continue;
        }
        // Clips that really lack their media are still reported, and only they.
        ASSERT_EQ(r.warnings.size(), 1) << r.warnings.join(u'\n').toStdString();
        EXPECT_TRUE(r.warnings[0].startsWith(QStringLiteral("3 timeline clip(s) could not be matched")))
            << r.warnings[0].toStdString();
    }
}

// Only media positively marked as generated count as such: a block that names a file, or one with
// nothing to tell, still leaves its clip unresolved. What lies between blocks (an audio preview item
// with its path) speaks for neither.
TEST(ProjectParser, MediaThatMayNameAFileAreNeverTakenForGenerated) {
    struct Case {
        const char* what;
        const char* mediaLines;
        bool unresolved;
        const char* before = "";
        const char* alsoUsed = nullptr; // a path the block names for the clip
    };
    const char* const preview =
        "<AudioPreviewItem ObjectID=\"3\">\n<FilePath>/Users/e/Adobe Premiere Pro Audio "
        "Previews/Edit.PRV/Audio 1.cfa</FilePath>\n</AudioPreviewItem>";
    const char* const graphic = "<FilePath>1196574294</FilePath>\n<Infinite>true</Infinite>\n"
                                "<ActualMediaFilePath>1196574294</ActualMediaFilePath>";
    const Case cases[] = {
        {"number for a path", "<FilePath>1112293707</FilePath>", false},
        {"infinite, no path", "<Infinite>true</Infinite>", false},
        {"word for a path", "<FilePath>BarsAndTone</FilePath>", false},
        {"file name, infinite", "<FilePath>Lower Third.mogrt</FilePath>\n<Infinite>true</Infinite>", true},
        {"relative path, number", "<FilePath>Graphics/1112293707</FilePath>", true},
        {"drive path, infinite", "<FilePath>E:\\Gfx\\t.png</FilePath>\n<Infinite>true</Infinite>", false, "",
         "E:/Gfx/t.png"},
        {"JSON file path", "<FilePath>{\"mFilePath\":\"\"}</FilePath>\n<Infinite>true</Infinite>", true},
        {"infinite false", "<Infinite>false</Infinite>", true},
        {"nothing at all", "<Title>Title 01</Title>", true},
        {"graphic after an audio preview", graphic, false, preview},
        {"nothing, after a stray infinite", "<Title>Title 01</Title>", true, "<Infinite>true</Infinite>"},
    };
    for (const Case& c : cases) {
        const QString xml =
            QStringLiteral(
                "%2\n<Media ObjectUID=\"gm\">\n%1\n</Media>\n"
                "<VideoMediaSource ObjectID=\"5\">\n<Media ObjectURef=\"gm\"/>\n</VideoMediaSource>\n"
                "<VideoClip ObjectID=\"6\">\n<Source ObjectRef=\"5\"/>\n</VideoClip>\n"
                "<MasterClip ObjectUID=\"mc\">\n<Clip Index=\"0\" ObjectRef=\"6\"/>\n<Name>Title 01</Name>\n"
                "</MasterClip>\n"
                "<Media ObjectUID=\"real\">\n<Title>a.mov</Title>\n"
                "<ActualMediaFilePath>/m/a.mov</ActualMediaFilePath>\n</Media>\n"
                "<SubClip ObjectID=\"7\">\n<MasterClip ObjectURef=\"mc\"/>\n</SubClip>\n"
                "<SubClip ObjectID=\"8\">\n<MasterClip ObjectURef=\"mc2\"/>\n</SubClip>\n"
                "<MasterClip ObjectUID=\"mc2\">\n<Name>a.mov</Name>\n</MasterClip>\n"
                "<Sequence ObjectUID=\"s\">\n<TrackGroups>\n<Second ObjectRef=\"1\"/>\n</TrackGroups>\n"
                "<Name>Cut</Name>\n</Sequence>\n"
                "<VideoTrackGroup ObjectID=\"1\">\n<Track Index=\"0\" "
                "ObjectURef=\"t\"/>\n</VideoTrackGroup>\n"
                "<VideoClipTrack ObjectUID=\"t\">\n<TrackItem Index=\"0\" ObjectRef=\"9\"/>\n"
                "<TrackItem Index=\"1\" ObjectRef=\"10\"/>\n</VideoClipTrack>\n"
                "<VideoClipTrackItem ObjectID=\"9\">\n<SubClip ObjectRef=\"7\"/>\n</VideoClipTrackItem>\n"
                "<VideoClipTrackItem ObjectID=\"10\">\n<SubClip ObjectRef=\"8\"/>\n</VideoClipTrackItem>\n")
                .arg(QString::fromUtf8(c.mediaLines), QString::fromUtf8(c.before));
        const ProjectParser::ParseResult r =
            ProjectParser().parseXml(xml.toUtf8(), QStringLiteral("/p/T.prproj"));
        QSet<QString> used{QStringLiteral("/m/a.mov")};
        if (c.alsoUsed)
            used.insert(QString::fromUtf8(c.alsoUsed));
        EXPECT_EQ(r.usedMediaPaths, used) << c.what;
        const bool warned = std::any_of(r.warnings.cbegin(), r.warnings.cend(), [](const QString& w) {
            return w.startsWith(QStringLiteral("1 timeline clip(s) could not be matched"));
        });
        EXPECT_EQ(warned, c.unresolved) << c.what << ": " << r.warnings.join(u'\n').toStdString();
    }
}

// A camera's UUID-named file and a clip called "Rendered …" are media like any other; the editor's
// own previews are left out, unless a timeline uses one.
TEST(ProjectParser, KeepsEveryFileATimelineUsesWhateverItsNameOrFolder) {
    struct Case {
        const char* used;
        const char* spare;
        QSet<QString> listed;
    };
    const QString uuid = QStringLiteral("/m/0A1B2C3D-1111-2222-3333-444455556666.MP4");
    const QString take = QStringLiteral("/m/Rendered take 2.mov");
    const QString preview = QStringLiteral("/p/Adobe Premiere Pro Video Previews/Cut.PRV/a.mov");
    const Case cases[] = {
        {"/m/0A1B2C3D-1111-2222-3333-444455556666.MP4",
         "/m/AAAAAAAA-1111-2222-3333-444455556666.wav",
         {uuid, QStringLiteral("/m/AAAAAAAA-1111-2222-3333-444455556666.wav")}},
        {"/m/Rendered take 2.mov", "/p/Adobe Premiere Pro Audio Previews/Cut.PRV/Rendered - 1.wav", {take}},
        {"/p/Adobe Premiere Pro Video Previews/Cut.PRV/a.mov", "/p/Media Cache Files/b.cfa", {preview}},
    };
    for (const Case& c : cases) {
        const auto block = [](const char* path) {
            const QString p = QString::fromUtf8(path);
            return QStringLiteral("<Title>%1</Title>\n<ActualMediaFilePath>%2</ActualMediaFilePath>")
                .arg(p.section(u'/', -1), p);
        };
        const ProjectParser::ParseResult r = ProjectParser().parseXml(
            oneClipTimeline(block(c.used), block(c.spare)), QStringLiteral("/p/Cut.prproj"));
        EXPECT_EQ(r.allMediaPaths, c.listed) << c.used;
        EXPECT_EQ(r.usedMediaPaths, QSet<QString>{QString::fromUtf8(c.used)}) << c.used;
        EXPECT_TRUE(r.warnings.isEmpty()) << c.used << ": " << r.warnings.join(u'\n').toStdString();
    }
}

// Saved while its media was offline, a block names its file by a plain <FilePath> alone: the clip on
// the timeline leads to that file, under its title too.
TEST(ProjectParser, AFileNamedOnlyByItsPlainPathIsUsedByItsTimeline) {
    const QString offline = QStringLiteral("<FilePath>D:\\Shoot\\clip.mp4</FilePath>\n<Title>clip.mp4</"
                                           "Title>\n<OfflineReason>1</OfflineReason>");
    const ProjectParser::ParseResult r =
        ProjectParser().parseXml(oneClipTimeline(offline, QStringLiteral("<FilePath>1112293707</FilePath>")),
                                 QStringLiteral("/p/Cut.prproj"));
    EXPECT_EQ(r.allMediaPaths, QSet<QString>{QStringLiteral("D:/Shoot/clip.mp4")});
    EXPECT_EQ(r.usedMediaPaths, QSet<QString>{QStringLiteral("D:/Shoot/clip.mp4")});
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(u'\n').toStdString();
}

TEST(ProjectParser, LogsEveryStageAndReportsProgressInOrder) {
    QTemporaryDir dir;
    const QByteArray xml = smallProject();
    const QByteArray gz = ProjectGenerator::gzip(xml);
    const QString path = writeFile(dir, QStringLiteral("Edit.prproj"), gz);
    ProjectParserLogCapture log;
    QList<std::pair<QString, double>> progress;
    const ProjectParser::ParseResult withProgress =
        ProjectParser().parse(path, [&](const QString& m, double f) {
            progress.append({m, f});
        });

    const QStringList expectedLog = {
        QStringLiteral("📂 Starting parse: Edit"),
        QStringLiteral("  → Decompressing..."),
        QStringLiteral("🔧 Read %1 bytes from Edit.prproj").arg(gz.size()),
        QStringLiteral("  → Decompressed, XML length: %1 characters").arg(xml.size()),
        QStringLiteral("  → Extracting media files..."),
        QStringLiteral("  → Found 3 unique media files"),
        QStringLiteral("  → Building MasterClip map..."),
        QStringLiteral("  → Found 3 MasterClips"),
        QStringLiteral("  → Finding sequences..."),
        QStringLiteral("  → Found 1 sequences (0 nested)"),
        QStringLiteral("  → Finding clips on timelines..."),
        QStringLiteral("  → Found 1 video clips, 1 audio clips on timelines"),
        QStringLiteral("  → Mapping SubClips to MasterClips..."),
        QStringLiteral("  → Found 2 used MasterClips (1 audio-only)"),
        QStringLiteral("  → Determining used files..."),
        QStringLiteral("  → Building reference chain..."),
        QStringLiteral("  → Reference chain: 0 MasterClips resolved via object refs"),
        QStringLiteral("✅ Complete: Edit - 3 files, 2 used, 1 unused"),
    };
    EXPECT_EQ(log.messages(), expectedLog);
    EXPECT_EQ(log.printed().first(), QStringLiteral("[Parser] 📂 Starting parse: Edit"));

    // 60 lines: one media report per line, from 0.12 up to 0.12 + 0.28 * 59/60.
    const int lines = int(xml.count('\n')) + 1;
    ASSERT_EQ(progress.size(), 2 + lines + 6);
    EXPECT_EQ(progress[0], std::make_pair(QStringLiteral("Decompressing…"), 0.02));
    EXPECT_EQ(progress[1], std::make_pair(QStringLiteral("Reading project…"), 0.08));
    EXPECT_EQ(progress[2], std::make_pair(QStringLiteral("Reading media files…"), 0.12));
    EXPECT_EQ(progress[1 + lines], std::make_pair(QStringLiteral("Reading media files…"),
                                                  0.12 + 0.28 * (double(lines - 1) / double(lines))));
    const QList<std::pair<QString, double>> tail(progress.end() - 6, progress.end());
    EXPECT_EQ(tail, (QList<std::pair<QString, double>>{{QStringLiteral("Building clip map…"), 0.45},
                                                       {QStringLiteral("Finding sequences…"), 0.55},
                                                       {QStringLiteral("Finding timeline clips…"), 0.62},
                                                       {QStringLiteral("Mapping clips to media…"), 0.72},
                                                       {QStringLiteral("Determining used files…"), 0.85},
                                                       {QStringLiteral("Resolving references…"), 0.92}}));
    // Without a callback the same stages run and nothing is reported.
    EXPECT_EQ(ProjectParser().parse(path), withProgress);
}

TEST(ProjectParser, WarnsWhenMediaBlocksYieldNoPathAndLogsEveryWarningTwice) {
    const QByteArray xml = xmlOf({QStringLiteral("<Media ObjectUID=\"m\">"),
                                  QStringLiteral("<ActualMediaFilePath>1112293707</ActualMediaFilePath>"),
                                  QStringLiteral("</Media>")});
    ProjectParserLogCapture log;
    const ProjectParser::ParseResult r = ProjectParser::parseXml(xml, QStringLiteral("/p/Black.prproj"));
    EXPECT_TRUE(r.allMediaPaths.isEmpty());
    EXPECT_EQ(r.warnings,
              QStringList{QStringLiteral("Found Media elements but no file paths - possible parsing issue")});
    const QStringList m = log.messages();
    EXPECT_TRUE(m.contains(QStringLiteral("⚠️ Found Media elements but no file paths extracted")));
    EXPECT_EQ(m.last(),
              QStringLiteral("⚠️ Found Media elements but no file paths - possible parsing issue"));
    EXPECT_EQ(m[m.size() - 2], QStringLiteral("✅ Complete: Black - 0 files, 0 used, 0 unused"));
}

TEST(ProjectParser, ResolvesStoredRelativePathsBesideTheProject) {
    const QByteArray xml = xmlOf({
        QStringLiteral("<RelativePath>./a.mov</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>/p/show/a.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<RelativePath>..\\media\\b.mov</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>C:\\media\\b.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<RelativePath>../../x/../c.mov</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>/elsewhere/c.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<RelativePath>sub//d.mov/</RelativePath>"), // nothing to remove but the last slash
        QStringLiteral("<ActualMediaFilePath>/elsewhere/d.mov</ActualMediaFilePath>"),
        QStringLiteral("</Media>"),
        // Saved on Windows: backslashes separate folders here as in the absolute path.
        QStringLiteral("<RelativePath>.\\new clips\\10.mp4</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>E:\\Shoot\\new clips\\10.mp4</ActualMediaFilePath>"),
    });
    ProjectParserLogCapture log;
    const ProjectParser::ParseResult r = ProjectParser::parseXml(xml, QStringLiteral("/p/show/Cut.prproj"));
    EXPECT_EQ(r.relativeCandidates,
              (QHash<QString, QString>{
                  {QStringLiteral("C:/media/b.mov"), QStringLiteral("/p/media/b.mov")},
                  {QStringLiteral("E:/Shoot/new clips/10.mp4"), QStringLiteral("/p/show/new clips/10.mp4")},
                  {QStringLiteral("/elsewhere/c.mov"), QStringLiteral("/c.mov")},
                  {QStringLiteral("/elsewhere/d.mov"), QStringLiteral("/p/show/sub//d.mov")}}));
}

// A linked composition's media is titled by the composition and its project's file: what ties a
// file of that name found elsewhere to this project. A title of another form names nothing.
TEST(ProjectParser, ReadsTheCompositionsLinkedMediaTitlesName) {
    const QString project = QString::fromUtf8("D:\\pr\u7d20\u6750\\\u65e0\u6807\u9898\u9879\u76ee.aep");
    const QString file = QString::fromUtf8("\u65e0\u6807\u9898\u9879\u76ee.aep");
    const QByteArray xml = tarnwick::testing::mediaTimeline(
        {tarnwick::testing::fileMedia(
             project, QString::fromUtf8("\u5462 \u5df2\u5173\u8054\u5408\u6210 05/") + file, true),
         tarnwick::testing::fileMedia(project, QStringLiteral("Titles & Lower Thirds/") + file, true),
         tarnwick::testing::fileMedia(QStringLiteral("/AE/Other.aep"), QStringLiteral("Other.aep"), true),
         tarnwick::testing::fileMedia(QStringLiteral("/AE/Third.aep"), QStringLiteral("Comp/Other.aep"),
                                      true),
         tarnwick::testing::fileMedia(QStringLiteral("/m/a.mov"), QStringLiteral("Comp/a.mov"), false)});
    ProjectParserLogCapture log;
    const ProjectParser::ParseResult r = ProjectParser::parseXml(xml, QStringLiteral("/p/Cut.prproj"));
    const QString read = QString(project).replace(u'\\', u'/');
    ASSERT_TRUE(r.allMediaPaths.contains(read));
    EXPECT_EQ(r.linkedCompositions, (QHash<QString, QStringList>{
                                        {read,
                                         {QStringLiteral("titles & lower thirds"),
                                          QString::fromUtf8("\u5462 \u5df2\u5173\u8054\u5408\u6210 05")}}}));
}

TEST(ProjectParser, HandlesEmptyProjectsAndHugeSingleLines) {
    ProjectParserLogCapture log;
    const ProjectParser::ParseResult empty =
        ProjectParser::parseXml(QByteArray(), QStringLiteral("/p/Empty.prproj"));
    EXPECT_TRUE(empty.allMediaPaths.isEmpty());
    EXPECT_TRUE(empty.sequences.isEmpty());
    EXPECT_TRUE(empty.warnings.isEmpty());
    EXPECT_EQ(empty.projectName, QStringLiteral("Empty"));

    // Everything on one 8 MB line: the scanners see one line full of markers.
    QByteArray line;
    for (int i = 0; i < 40000; ++i)
        line += "<Media ObjectUID=\"m\"><Title>t.mov</Title><Name>x</Name><SubClip ObjectRef=\"1\"/>"
                "<Sequence ObjectUID=\"s\"><ClipTrack>";
    line += "<ActualMediaFilePath>/v/t.mov</ActualMediaFilePath>";
    const ProjectParser::ParseResult huge = ProjectParser::parseXml(line, QStringLiteral("/p/Huge.prproj"));
    EXPECT_EQ(huge.allMediaPaths, QSet<QString>{QStringLiteral("/v/t.mov")});
    EXPECT_EQ(huge.sequences.size(), 1);
}

TEST(ProjectParser, ReadsLargeProjectsOnSeveralThreadsWithTheSameResult) {
    // Above 16 MB of XML the stages run at once, and above 4096 used master clips so does matching.
    ProjectGeneratorOptions o;
    o.targetXmlBytes = 17 * 1024 * 1024;
    o.usedFraction = 0.5;
    o.fillerLinesPerObject = 2;
    o.effectLinesPerTrackItem = 0;
    o.crlf = true; // CR LF pairs must stay whole where the text is cut into pieces
    o.seed = 11;
    const GeneratedProject g = ProjectGenerator::generate(o);
    ASSERT_GE(g.xml.size(), 16 * 1024 * 1024);
    ASSERT_GT(g.usedPaths.size(), 4096);
    ProjectParserLogCapture log;
    QList<std::pair<QString, double>> progress;
    int mediaReportsFromReaders = 0;
    const std::thread::id caller = std::this_thread::get_id();
    const ProjectParser::ParseResult r =
        ProjectParser::parseXml(g.xml, QStringLiteral("/p/Large.prproj"), [&](const QString& m, double f) {
            progress.append({m, f});
            if (m == QStringLiteral("Reading media files…") && std::this_thread::get_id() != caller)
                ++mediaReportsFromReaders;
        });
    EXPECT_EQ(r.allMediaPaths, g.mediaPaths);
    EXPECT_EQ(r.usedMediaPaths, g.usedPaths);
    EXPECT_EQ(r.audioOnlyPaths, g.audioOnlyPaths);
    EXPECT_EQ(r.sequences.size(), g.sequenceCount);
    EXPECT_TRUE(r.warnings.isEmpty());
    // Progress still arrives in stage order, and the media reports prove that the line numbers of
    // the pieces read at once were joined right: every step-th line of all lines, in order.
    const qsizetype lines = g.xml.count('\n') * 2 + 1; // CR and LF each end a line
    const qsizetype step = lines / 100;
    QList<std::pair<QString, double>> media;
    for (qsizetype i = 0; i < lines; i += step)
        media.append({QStringLiteral("Reading media files…"), 0.12 + 0.28 * (double(i) / double(lines))});
    ASSERT_EQ(progress.size(), 1 + media.size() + 6); // parseXml starts at "Reading project…"
    EXPECT_EQ(progress.mid(1, media.size()), media);
    EXPECT_EQ(progress.last().first, QStringLiteral("Resolving references…"));
    // Given by the readers as they read, not replayed once every stage is done: the bar moves.
    if (QThread::idealThreadCount() > 1) {
        EXPECT_EQ(mediaReportsFromReaders, media.size());
    }
    // The generated text has no combining marks: one character per code point, CR LF as one.
    qsizetype codePoints = 0;
    for (char c : g.xml)
        codePoints += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    EXPECT_EQ(
        log.messages()[0],
        QStringLiteral("  → Decompressed, XML length: %1 characters").arg(codePoints - g.xml.count("\r\n")));

    // The pieces read at once join into the same index as one reading of the whole text.
    const std::string_view text(g.xml.constData(), static_cast<std::size_t>(g.xml.size()));
    const prproj::MarkerIndex whole = prproj::indexMarkers(text, 1);
    const prproj::MarkerIndex pieces = prproj::indexMarkers(text, 4);
    EXPECT_EQ(pieces.lineCount, whole.lineCount);
    EXPECT_EQ(pieces.crlfPairs, whole.crlfPairs);
    EXPECT_EQ(pieces.markersInText, whole.markersInText);
    ASSERT_EQ(pieces.lines.size(), whole.lines.size());
    for (std::size_t i = 0; i < whole.lines.size(); ++i) {
        ASSERT_EQ(pieces.lines[i].index, whole.lines[i].index) << i;
        ASSERT_EQ(pieces.lines[i].text.data(), whole.lines[i].text.data()) << i;
        ASSERT_EQ(pieces.lines[i].text.size(), whole.lines[i].text.size()) << i;
        ASSERT_EQ(pieces.lines[i].mask, whole.lines[i].mask) << i;
    }

    // From the file: the text is read in pieces whose pages are handed back behind the reading, and
    // the lines the stages read are copies. The result is the same.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Large.prproj"));
    ASSERT_TRUE(ProjectGenerator::writeProject(path, g.xml));
    ProjectParser::ParseResult fromFile = ProjectParser().parse(path);
    fromFile.projectName = r.projectName;
    fromFile.relativeCandidates = r.relativeCandidates; // resolved beside a different folder
    EXPECT_EQ(fromFile, r);
}
