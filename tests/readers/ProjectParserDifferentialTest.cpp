#include "readers/ProjectParser.h"
#include "readers/PrprojDecompression.h"

#include "support/ProjectGenerator.h"
#include "support/ProjectParserLogCapture.h"
#include "support/ReferenceProjectParser.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>
#include <gtest/gtest.h>

#include <random>
#include <utility>

using namespace tarnwick;
using tarnwick::testing::differencesFrom;
using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;
using tarnwick::testing::ProjectParserLogCapture;
using tarnwick::testing::referenceReading;

namespace {

const QString kProjectPath = QStringLiteral("/projects/Show/Cut.prproj");

// The reader and the reference agree on the results; how each gets there (its log lines, its
// progress) is its own.
ProjectParser::ParseResult expectSameReading(const QByteArray& xml, const std::string& what) {
    const ProjectParserLogCapture quiet;
    const ProjectParser::ParseResult r = ProjectParser::parseXml(xml, kProjectPath);
    const QStringList differences = differencesFrom(referenceReading(QString::fromUtf8(xml)), r);
    EXPECT_TRUE(differences.isEmpty())
        << what
        << ": the reference reads otherwise: " << differences.join(QStringLiteral(", ")).toStdString();
    return r;
}

// Lines made of the reader's markers, identifiers, quotes and separators in random order: the
// scanners' state machines see every combination of openings, closings and broken values.
QByteArray markerSoup(std::mt19937& rng, int lines) {
    static const QStringList pieces = {
        QStringLiteral("<Media ObjectUID=\""),
        QStringLiteral("<Title>"),
        QStringLiteral("</Title>"),
        QStringLiteral("<RelativePath>"),
        QStringLiteral("</RelativePath>"),
        QStringLiteral("<ActualMediaFilePath>"),
        QStringLiteral("</ActualMediaFilePath>"),
        QStringLiteral("<FilePath>{\"mFilePath\":\""),
        QStringLiteral("\",\"displayName\":\""),
        QStringLiteral("\"}</FilePath>"),
        QStringLiteral("</Media>"),
        QStringLiteral("<FilePath>1112293707</FilePath>"),
        QStringLiteral("<Infinite>true</Infinite>"),
        QStringLiteral("<Media "),
        QStringLiteral("<MasterClip ObjectUID=\""),
        QStringLiteral("<Name>"),
        QStringLiteral("</Name>"),
        QStringLiteral("</MasterClip>"),
        QStringLiteral("<Sequence ObjectUID=\""),
        QStringLiteral("<Sequence ObjectURef=\""),
        QStringLiteral("\"/>"),
        QStringLiteral("\">"),
        QStringLiteral("<VideoClipTrackItem ObjectID=\""),
        QStringLiteral("<AudioClipTrackItem ObjectID=\""),
        QStringLiteral("</VideoClipTrackItem>"),
        QStringLiteral("</AudioClipTrackItem>"),
        QStringLiteral("<SubClip ObjectRef=\""),
        QStringLiteral("<TrackGroups>"),
        QStringLiteral("</TrackGroups>"),
        QStringLiteral("<Second ObjectRef=\""),
        QStringLiteral("</Sequence>"),
        QStringLiteral("</VideoTrackGroup>"),
        QStringLiteral("<DataTrackGroup ObjectID=\""),
        QStringLiteral("<AudioTrackGroup ObjectID=\""),
        QStringLiteral("<Track Index=\"0\" ObjectURef=\""),
        QStringLiteral("</AudioClipTrack>"),
        QStringLiteral("<VideoClipTrack ObjectUID=\""),
        QStringLiteral("<TrackItem Index=\"1\" ObjectRef=\""),
        QStringLiteral("<SubClip ObjectID=\""),
        QStringLiteral("<MasterClip ObjectURef=\""),
        QStringLiteral("</SubClip>"),
        QStringLiteral("<Clip Index=\"0\" ObjectRef=\""),
        QStringLiteral("<VideoClip ObjectID=\""),
        QStringLiteral("<AudioClip ObjectID=\""),
        QStringLiteral("<Source ObjectRef=\""),
        QStringLiteral("</VideoClip>"),
        QStringLiteral("</AudioClip>"),
        QStringLiteral("<VideoMediaSource ObjectID=\""),
        QStringLiteral("<Media ObjectURef=\""),
        QStringLiteral("</AudioMediaSource>"),
        QStringLiteral("1"),
        QStringLiteral("2"),
        QStringLiteral("07"),
        QStringLiteral("a"),
        QStringLiteral("b"),
        QStringLiteral("\""),
        QStringLiteral(" "),
        QStringLiteral("/Volumes/A/clip.mov"),
        QStringLiteral("C:\\x\\Clip.MOV"),
        QStringLiteral("clip.mov"),
        QStringLiteral("Clip"),
        QStringLiteral("é"),
        QStringLiteral("e\u0301"),
        QStringLiteral("\r\n"),
        QStringLiteral("\u2028"),
        QStringLiteral("\u0085"),
        QStringLiteral("&amp;"),
        QStringLiteral("\\u00e9"),
        QStringLiteral("Rendered"),
        QStringLiteral("multicam"),
        QStringLiteral("MC - "),
        QStringLiteral("’"),
    };
    // Whole elements with identifiers from a small range, so that references meet their objects.
    static const QStringList elements = {
        QStringLiteral("<Media ObjectUID=\"m%1\">"),
        QStringLiteral("<Title>clip%1.mov</Title>"),
        QStringLiteral("<ActualMediaFilePath>/Volumes/A/clip%1.mov</ActualMediaFilePath>"),
        QStringLiteral(
            "<FilePath>{\"mFilePath\":\"/Volumes/B/clip%1.mov\",\"displayName\":\"clip%1.mov\"}</FilePath>"),
        QStringLiteral("<MasterClip ObjectUID=\"c%1\">"),
        QStringLiteral("<Name>clip%1.mov</Name>"),
        QStringLiteral("<Name>Cut %1</Name>"),
        QStringLiteral("<Sequence ObjectUID=\"s%1\">"),
        QStringLiteral("<Sequence ObjectURef=\"s%1\"/>"),
        QStringLiteral("<VideoClipTrackItem ObjectID=\"%1\">"),
        QStringLiteral("<AudioClipTrackItem ObjectID=\"%1\">"),
        QStringLiteral("<SubClip ObjectRef=\"%1\"/>"),
        QStringLiteral("<Second ObjectRef=\"%1\"/>"),
        QStringLiteral("<VideoTrackGroup ObjectID=\"%1\">"),
        QStringLiteral("<Track Index=\"0\" ObjectURef=\"t%1\"/>"),
        QStringLiteral("<AudioClipTrack ObjectUID=\"t%1\">"),
        QStringLiteral("<TrackItem Index=\"0\" ObjectRef=\"%1\"/>"),
        QStringLiteral("<SubClip ObjectID=\"%1\">"),
        QStringLiteral("<MasterClip ObjectURef=\"c%1\"/>"),
        QStringLiteral("<Clip Index=\"0\" ObjectRef=\"%1\"/>"),
        QStringLiteral("<VideoClip ObjectID=\"%1\">"),
        QStringLiteral("<Source ObjectRef=\"%1\"/>"),
        QStringLiteral("<AudioMediaSource ObjectID=\"%1\">"),
        QStringLiteral("<VideoSequenceSource ObjectID=\"%1\">"),
        QStringLiteral("<Media ObjectURef=\"m%1\"/>"),
        QStringLiteral("<TrackGroups Version=\"%1\">"),
    };
    QString text;
    for (int l = 0; l < lines; ++l) {
        const int n = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < n; ++k) {
            if (rng() % 3 == 0)
                text += pieces[static_cast<qsizetype>(rng() % static_cast<unsigned>(pieces.size()))];
            else
                text += elements[static_cast<qsizetype>(rng() % static_cast<unsigned>(elements.size()))].arg(
                    rng() % 3);
        }
        text += u'\n';
    }
    return text.toUtf8();
}

// Small random edits of a well-formed project: dropped, doubled and cut lines, stray quotes.
QByteArray mutated(const QByteArray& xml, std::mt19937& rng) {
    QStringList lines = QString::fromUtf8(xml).split(u'\n');
    const int edits = 1 + static_cast<int>(rng() % 12);
    for (int e = 0; e < edits && !lines.isEmpty(); ++e) {
        const auto i = static_cast<qsizetype>(rng() % static_cast<unsigned>(lines.size()));
        switch (rng() % 5) {
        case 0:
            lines.removeAt(i);
            break;
        case 1:
            lines.insert(i, lines[i]);
            break;
        case 2:
            lines[i].truncate(static_cast<qsizetype>(rng() % static_cast<unsigned>(lines[i].size() + 1)));
            break;
        case 3:
            lines[i].insert(static_cast<qsizetype>(rng() % static_cast<unsigned>(lines[i].size() + 1)), u'"');
            break;
        default:
            lines[i] += lines[static_cast<qsizetype>(rng() % static_cast<unsigned>(lines.size()))];
            break;
        }
    }
    return lines.join(u'\n').toUtf8();
}

} // namespace

TEST(ProjectParserDifferential, MatchesTheReferenceOnGeneratedProjects) {
    for (quint32 seed = 1; seed <= 6; ++seed) {
        ProjectGeneratorOptions o;
        o.mediaCount = 120;
        o.seed = seed;
        o.crlf = seed % 2 == 0;
        o.usedFraction = seed == 5 ? 0.0 : 0.6;
        o.renamedFraction = 0.2;
        o.sequenceCount = static_cast<int>(seed % 4);
        o.generatedClipCount = static_cast<int>(seed * 3 % 10);
        o.audioPreviewsBeforeGenerated = seed % 2 == 1;
        o.unclassifiableClipCount = static_cast<int>(seed % 3);
        o.timelineMasterClips = seed % 3 != 0;
        o.nestedTimelineClipCount = static_cast<int>(seed % 3);
        expectSameReading(ProjectGenerator::generate(o).xml, "seed " + std::to_string(seed));
    }
}

TEST(ProjectParserDifferential, MatchesTheReferenceOnDamagedProjects) {
    ProjectGeneratorOptions o;
    o.mediaCount = 25;
    o.sequenceCount = 2;
    o.generatedClipCount = 7;
    o.unclassifiableClipCount = 2;
    o.timelineMasterClips = true;
    o.nestedTimelineClipCount = 1;
    const QByteArray base = ProjectGenerator::generate(o).xml;
    std::mt19937 rng(42);
    qsizetype used = 0;
    for (int i = 0; i < 40; ++i)
        used += expectSameReading(mutated(base, rng), "mutation " + std::to_string(i)).usedMediaPaths.size();
    EXPECT_GT(used, 0);
}

TEST(ProjectParserDifferential, MatchesTheReferenceOnMarkerSoup) {
    std::mt19937 rng(7);
    qsizetype media = 0;
    qsizetype timelines = 0;
    qsizetype used = 0;
    for (int i = 0; i < 60; ++i) {
        const ProjectParser::ParseResult r =
            expectSameReading(markerSoup(rng, 60), "soup " + std::to_string(i));
        media += r.allMediaPaths.size();
        timelines += r.sequences.size();
        used += r.usedMediaPaths.size();
    }
    // The soup must reach past the first stages to be worth comparing.
    EXPECT_GT(media, 0);
    EXPECT_GT(timelines, 0);
    EXPECT_GT(used, 0);
}

TEST(ProjectParserDifferential, MatchesTheReferenceOnEdgeTexts) {
    const QList<QByteArray> texts = {
        QByteArray(),
        QByteArray("\n"),
        QByteArray("\r\n\r\n"),
        QByteArray("<Media ObjectUID=\"x\">"),
        QByteArray("<Sequence ObjectUID=\"multi\nline\"/>\n<Sequence ObjectURef=\"a\n\"/>"),
        QByteArray("<Sequence ObjectUID=\"<Sequence ObjectUID=\"x\""),
        QByteArray("<Sequence ObjectUID=\"\"<Sequence ObjectUID=\"y\""),
        QByteArray("\xe2\x80\xa8<Media \xc2\x85<Title>a</Title>\x0b\x0c"),
        QByteArray(5000, '<') + QByteArray("Media ObjectUID=\"1\""),
    };
    for (const QByteArray& t : texts)
        expectSameReading(t, t.left(40).toStdString());
}

TEST(ProjectParserDifferential, MatchesTheReferenceOnTheRealSampleProjects) {
    const QDir samples(QStringLiteral(TARNWICK_SAMPLES_DIR "/prproj"));
    const QStringList files = samples.entryList({QStringLiteral("*.prproj")}, QDir::Files);
    if (files.isEmpty())
        GTEST_SKIP() << "no sample projects";
    for (const QString& name : files) {
        QFile f(samples.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const std::optional<QByteArray> xml = prproj::decompressProjectData(f.readAll());
        ASSERT_TRUE(xml.has_value()) << name.toStdString();
        expectSameReading(*xml, name.toStdString());
    }
}

namespace {

// One timeline using one master clip per name, beside media with the given titles: every name rule
// has its case, and prefix scans meet several candidates.
QByteArray nameRuleProject(const QStringList& titles, const QStringList& clipNames) {
    QStringList l;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        l << QStringLiteral("<Media ObjectUID=\"m%1\">").arg(i)
          << QStringLiteral("<Title>%1</Title>").arg(titles[i])
          << QStringLiteral("<ActualMediaFilePath>/v/%1/f.mov</ActualMediaFilePath>").arg(i)
          << QStringLiteral("</Media>");
    }
    l << QStringLiteral("<Sequence ObjectUID=\"s\">") << QStringLiteral("<TrackGroups>")
      << QStringLiteral("<Second ObjectRef=\"1\"/>") << QStringLiteral("</TrackGroups>")
      << QStringLiteral("<Name>Cut</Name>") << QStringLiteral("</Sequence>")
      << QStringLiteral("<VideoTrackGroup ObjectID=\"1\">")
      << QStringLiteral("<Track Index=\"0\" ObjectURef=\"t\"/>") << QStringLiteral("</VideoTrackGroup>")
      << QStringLiteral("<VideoClipTrack ObjectUID=\"t\">");
    for (qsizetype i = 0; i < clipNames.size(); ++i)
        l << QStringLiteral("<TrackItem Index=\"%1\" ObjectRef=\"%2\"/>").arg(i).arg(1000 + i);
    l << QStringLiteral("</VideoClipTrack>");
    for (qsizetype i = 0; i < clipNames.size(); ++i) {
        l << QStringLiteral("<VideoClipTrackItem ObjectID=\"%1\">").arg(1000 + i)
          << QStringLiteral("<SubClip ObjectRef=\"%1\"/>").arg(2000 + i)
          << QStringLiteral("</VideoClipTrackItem>")
          << QStringLiteral("<SubClip ObjectID=\"%1\">").arg(2000 + i)
          << QStringLiteral("<MasterClip ObjectURef=\"c%1\"/>").arg(i) << QStringLiteral("</SubClip>")
          << QStringLiteral("<MasterClip ObjectUID=\"c%1\">").arg(i)
          << QStringLiteral("<Name>%1</Name>").arg(clipNames[i]) << QStringLiteral("</MasterClip>");
    }
    return l.join(u'\n').toUtf8();
}

} // namespace

TEST(ProjectParserDifferential, MatchesTheReferenceOnEveryNameRule) {
    const QStringList titles = {
        QStringLiteral("Interview.MOV"),
        QStringLiteral("Dad's Cut.mov"),
        QStringLiteral("Dad_s Cut.mov"),
        QStringLiteral("Cam A "),
        QStringLiteral("Cam A"),
        QStringLiteral("Wedding.mxf"),
        QStringLiteral("Reel/Clip.mov"),
        QStringLiteral("Reel/Other.mov"),
        QStringLiteral("A_very_long_clip_name_take_01.mov"),
        QStringLiteral("A_very_long_clip_name_take_03.wav"),
        QStringLiteral("Sunrise_over_water_v2.mov"),
        QStringLiteral("Sunrise_over_water_v1.mov"),
        QStringLiteral("Caf\u00e9 Scene.mov"),
        QStringLiteral(""),
    };
    const QStringList names = {
        QStringLiteral("interview.mov"),
        QStringLiteral("Dad\u2019s Cut.mov"),
        QStringLiteral("Interview"),
        QStringLiteral("Cam A Multicam"),
        QStringLiteral("MC - Wedding"),
        QStringLiteral("Reel"),
        QStringLiteral("A_very_long_clip_name_take_02.mov"),
        QStringLiteral("Sunrise_over_wat.mov"),
        QStringLiteral("Cafe\u0301 Scene"),
        QStringLiteral("Nothing like it"),
        QStringLiteral(""),
    };
    const ProjectParser::ParseResult r = expectSameReading(nameRuleProject(titles, names), "name rules");
    EXPECT_EQ(r.warnings.size(), 1) << r.warnings.join(u'\n').toStdString(); // "Nothing like it"
    EXPECT_GE(r.usedMediaPaths.size(), 9);
}
