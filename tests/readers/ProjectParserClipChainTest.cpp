#include "readers/ProjectParser.h"

#include "support/ProjectParserLogCapture.h"
#include "support/ReferenceProjectParser.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::testing::differencesFrom;
using tarnwick::testing::ProjectParserLogCapture;
using tarnwick::testing::referenceReading;

namespace {

// A project written object by object as the editor stores them: media, the sources and clips that
// show them, master clips, and timelines whose track items place sub-clips of master clips.
class ProjectText {
public:
    void media(const QString& uid, const QString& title, const QString& path) {
        add({QStringLiteral("<Media ObjectUID=\"%1\">").arg(uid),
             QStringLiteral("<Title>%1</Title>").arg(title),
             QStringLiteral("<ActualMediaFilePath>%1</ActualMediaFilePath>").arg(path),
             QStringLiteral("</Media>")});
    }
    // A master clip whose one clip shows `mediaUID` (with `proxyUID` attached when given).
    void masterClip(const QString& uid, const QString& name, const QString& mediaUID,
                    const QString& proxyUID = {}) {
        const int source = next++;
        const int clip = next++;
        add({QStringLiteral("<VideoMediaSource ObjectID=\"%1\">").arg(source),
             QStringLiteral("<MediaSource Version=\"4\">"), QStringLiteral("<Content Version=\"10\">")});
        if (!proxyUID.isEmpty())
            add({QStringLiteral("<ProxyMedia ObjectURef=\"%1\"/>").arg(proxyUID)});
        add({QStringLiteral("</Content>"), QStringLiteral("<Media ObjectURef=\"%1\"/>").arg(mediaUID),
             QStringLiteral("</MediaSource>"), QStringLiteral("</VideoMediaSource>")});
        clipShowing(uid, name, clip, source);
    }
    // A timeline's own master clip: its clip shows the timeline through a sequence source.
    void timelineMasterClip(const QString& uid, const QString& sequenceUID) {
        const int source = next++;
        const int clip = next++;
        add({QStringLiteral("<VideoSequenceSource ObjectID=\"%1\">").arg(source),
             QStringLiteral("<SequenceSource Version=\"4\">"), QStringLiteral("<Content Version=\"10\">"),
             QStringLiteral("</Content>"), QStringLiteral("<Sequence ObjectURef=\"%1\"/>").arg(sequenceUID),
             QStringLiteral("</SequenceSource>"), QStringLiteral("</VideoSequenceSource>")});
        clipShowing(uid, sequenceUID, clip, source);
    }
    // A timeline with one video track placing each master clip once.
    void timeline(const QString& uid, const QStringList& masterClips) {
        const int group = next++;
        add({QStringLiteral("<Sequence ObjectUID=\"%1\">").arg(uid),
             QStringLiteral("<TrackGroups Version=\"1\">"),
             QStringLiteral("<Second ObjectRef=\"%1\"/>").arg(group), QStringLiteral("</TrackGroups>"),
             QStringLiteral("<Name>%1</Name>").arg(uid), QStringLiteral("</Sequence>"),
             QStringLiteral("<VideoTrackGroup ObjectID=\"%1\">").arg(group),
             QStringLiteral("<Track Index=\"0\" ObjectURef=\"%1-v\"/>").arg(uid),
             QStringLiteral("</VideoTrackGroup>"),
             QStringLiteral("<VideoClipTrack ObjectUID=\"%1-v\">").arg(uid)});
        QList<int> items;
        for (qsizetype i = 0; i < masterClips.size(); ++i) {
            items.append(next++);
            add({QStringLiteral("<TrackItem Index=\"%1\" ObjectRef=\"%2\"/>").arg(i).arg(items.last())});
        }
        add({QStringLiteral("</VideoClipTrack>")});
        for (qsizetype i = 0; i < masterClips.size(); ++i) {
            const int sub = next++;
            add({QStringLiteral("<SubClip ObjectID=\"%1\">").arg(sub),
                 QStringLiteral("<MasterClip ObjectURef=\"%1\"/>").arg(masterClips[i]),
                 QStringLiteral("</SubClip>"),
                 QStringLiteral("<VideoClipTrackItem ObjectID=\"%1\">").arg(items[i]),
                 QStringLiteral("<SubClip ObjectRef=\"%1\"/>").arg(sub),
                 QStringLiteral("</VideoClipTrackItem>")});
        }
    }

    // Read by the reader and by the plain reference reading, which must agree.
    ProjectParser::ParseResult parse() const {
        ProjectParserLogCapture log;
        const QByteArray xml = (m_lines.join(u'\n') + u'\n').toUtf8();
        const QString path = QStringLiteral("/projects/Show/Cut.prproj");
        ProjectParser::ParseResult r = ProjectParser::parseXml(xml, path);
        EXPECT_EQ(differencesFrom(referenceReading(QString::fromUtf8(xml)), r), QStringList())
            << "the reference reads it otherwise";
        return r;
    }

private:
    void add(const QStringList& lines) { m_lines += lines; }
    void clipShowing(const QString& uid, const QString& name, int clip, int source) {
        add({QStringLiteral("<VideoClip ObjectID=\"%1\">").arg(clip),
             QStringLiteral("<Source ObjectRef=\"%1\"/>").arg(source), QStringLiteral("</VideoClip>"),
             QStringLiteral("<MasterClip ObjectUID=\"%1\">").arg(uid),
             QStringLiteral("<Clip Index=\"0\" ObjectRef=\"%1\"/>").arg(clip),
             QStringLiteral("<Name>%1</Name>").arg(name), QStringLiteral("</MasterClip>")});
    }

    QStringList m_lines{QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>")};
    int next = 100;
};

QSet<QString> set(std::initializer_list<const char*> paths) {
    QSet<QString> out;
    for (const char* p : paths)
        out.insert(QString::fromUtf8(p));
    return out;
}

} // namespace

// A camera clip carries its proxy beside its media: the proxy is used wherever the clip is, and
// the proxy of a clip in the bin only is as unused as its clip.
TEST(ProjectParserClipChain, AttachedProxiesGoWithTheirClip) {
    ProjectText p;
    p.media(QStringLiteral("m-a"), QStringLiteral("A001.braw"), QStringLiteral("/Volumes/Cam/A001.braw"));
    p.media(QStringLiteral("p-a"), QStringLiteral("A001_Proxy.mov"),
            QStringLiteral("/Volumes/Cam/Proxy/A001_Proxy.mov"));
    p.media(QStringLiteral("m-b"), QStringLiteral("B001.braw"), QStringLiteral("/Volumes/Cam/B001.braw"));
    p.media(QStringLiteral("p-b"), QStringLiteral("B001_Proxy.mov"),
            QStringLiteral("/Volumes/Cam/Proxy/B001_Proxy.mov"));
    p.masterClip(QStringLiteral("mc-a"), QStringLiteral("A001.braw"), QStringLiteral("m-a"),
                 QStringLiteral("p-a"));
    p.masterClip(QStringLiteral("mc-b"), QStringLiteral("B001.braw"), QStringLiteral("m-b"),
                 QStringLiteral("p-b"));
    p.timeline(QStringLiteral("Edit"), {QStringLiteral("mc-a")});
    const ProjectParser::ParseResult r = p.parse();
    EXPECT_EQ(r.allMediaPaths.size(), 4);
    EXPECT_EQ(r.usedMediaPaths, set({"/Volumes/Cam/A001.braw", "/Volumes/Cam/Proxy/A001_Proxy.mov"}));
    EXPECT_EQ(r.usageCountByPath.value(QStringLiteral("/Volumes/Cam/Proxy/A001_Proxy.mov")), 1);
    EXPECT_EQ(r.sequenceNamesByPath.value(QStringLiteral("/Volumes/Cam/Proxy/A001_Proxy.mov")),
              QSet<QString>{QStringLiteral("Edit")});
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(u'\n').toStdString();
}

// An audio editor's interchange project shows its reference video as a clip whose media is the
// project file: a reference to that project, like a nested timeline, never a file of this one.
TEST(ProjectParserClipChain, AProjectPlacedAsAClipIsAReferenceNotMedia) {
    ProjectText p;
    p.media(QStringLiteral("m-1"), QStringLiteral("Interview.mov"),
            QStringLiteral("/Volumes/X/Interview.mov"));
    p.media(QStringLiteral("m-p"), QStringLiteral("Mix Reference.prproj"),
            QStringLiteral("D:\\Audio\\Mix Reference.PRPROJ"));
    p.masterClip(QStringLiteral("mc-1"), QStringLiteral("Interview.mov"), QStringLiteral("m-1"));
    p.masterClip(QStringLiteral("mc-p"), QStringLiteral("Mix Reference.prproj"), QStringLiteral("m-p"));
    p.timeline(QStringLiteral("Edit"), {QStringLiteral("mc-1"), QStringLiteral("mc-p")});
    const ProjectParser::ParseResult r = p.parse();
    EXPECT_EQ(r.allMediaPaths, set({"/Volumes/X/Interview.mov"}))
        << "the project file is never a clean-up candidate";
    EXPECT_EQ(r.usedMediaPaths, set({"/Volumes/X/Interview.mov"}));
    EXPECT_TRUE(r.warnings.isEmpty()) << "nothing unmatched: " << r.warnings.join(u'\n').toStdString();
    EXPECT_TRUE(r.unresolvedClipNames.isEmpty());
}

// Every timeline has a master clip of its own; only one placed on another timeline is nested.
TEST(ProjectParserClipChain, CountsOnlyTimelinesPlacedInsideAnother) {
    ProjectText one;
    one.media(QStringLiteral("m-1"), QStringLiteral("a.mov"), QStringLiteral("/m/a.mov"));
    one.masterClip(QStringLiteral("mc-1"), QStringLiteral("a.mov"), QStringLiteral("m-1"));
    one.timelineMasterClip(QStringLiteral("mc-edit"), QStringLiteral("Edit"));
    one.timeline(QStringLiteral("Edit"), {QStringLiteral("mc-1")});
    EXPECT_EQ(one.parse().nestedSequenceCount, 0);

    ProjectText nested = one;
    nested.timelineMasterClip(QStringLiteral("mc-scene"), QStringLiteral("Scene"));
    nested.timeline(QStringLiteral("Scene"), {QStringLiteral("mc-1")});
    nested.timelineMasterClip(QStringLiteral("mc-master"), QStringLiteral("Master"));
    // Scene placed twice, in two timelines: one nested timeline.
    nested.timeline(QStringLiteral("Master"), {QStringLiteral("mc-scene"), QStringLiteral("mc-scene")});
    nested.timeline(QStringLiteral("Alt"), {QStringLiteral("mc-scene")});
    const ProjectParser::ParseResult r = nested.parse();
    EXPECT_EQ(r.sequences.size(), 4);
    EXPECT_EQ(r.nestedSequenceCount, 1);
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(u'\n').toStdString();
}

// A clip that leads to a file the reader cannot match keeps its name, so files of that name can be
// flagged in every project; a clip that resolves names nothing.
TEST(ProjectParserClipChain, UnmatchedClipsKeepTheirNamesAndResolvedOnesNone) {
    ProjectText p;
    p.media(QStringLiteral("m-1"), QStringLiteral("a.mov"), QStringLiteral("/m/a.mov"));
    p.masterClip(QStringLiteral("mc-1"), QStringLiteral("a.mov"), QStringLiteral("m-1"));
    p.masterClip(QStringLiteral("mc-x"), QStringLiteral("X &amp; Y.mov"), QStringLiteral("m-gone"));
    // Renamed on the timeline, its media naming no path the reader can take: the media's own title
    // and file name still name it.
    p.media(QStringLiteral("m-odd"), QStringLiteral("A001.mov"), QStringLiteral("Cards\\A001_01.mov"));
    p.masterClip(QStringLiteral("mc-odd"), QStringLiteral("Best take"), QStringLiteral("m-odd"));
    p.timeline(QStringLiteral("Edit"),
               {QStringLiteral("mc-1"), QStringLiteral("mc-x"), QStringLiteral("mc-odd")});
    const ProjectParser::ParseResult r = p.parse();
    EXPECT_EQ(r.usedMediaPaths, set({"/m/a.mov"}));
    EXPECT_EQ(r.unresolvedClipNames, (QStringList{"A001.mov", "A001_01.mov", "Best take", "X & Y.mov"}));
    ASSERT_EQ(r.warnings.size(), 1);
    EXPECT_TRUE(r.warnings[0].startsWith(QStringLiteral("2 timeline clip(s) could not be matched")));
}
