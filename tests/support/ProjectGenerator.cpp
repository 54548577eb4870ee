#include "support/ProjectGenerator.h"

#include <QFile>
#include <QList>

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <random>

namespace tarnwick::testing {

namespace {

const QStringList kFancyNames = {
    QStringLiteral("Café_Interview_A"), QStringLiteral("東京_Street_Wide"), QStringLiteral("Ünïcødé_B-Roll"),
    QStringLiteral("Señora’s_Kitchen"), QStringLiteral("Ελληνικά_Drone"),   QStringLiteral("Zoë — Take 2"),
};

struct MediaPlan {
    QString writtenPath; // as stored in the project
    QString reportedPath;
    QString title;
    bool used = false;
    bool audioOnly = false;
    bool renamed = false;
    bool jsonOnly = false;
};

QString madeUpPath(int i, std::mt19937& rng) {
    const int kind = static_cast<int>(rng() % 20);
    const QString stem = i % 53 == 7 ? kFancyNames[i % kFancyNames.size()] + u'_' + QString::number(i)
                                     : QStringLiteral("Clip_%1").arg(i, 6, 10, QLatin1Char('0'));
    const QString ext = kind < 3   ? QStringLiteral(".wav")
                        : kind < 5 ? QStringLiteral(".mxf")
                                   : QStringLiteral(".mov");
    if (kind == 5)
        return QStringLiteral("C:\\Footage\\Day%1\\").arg(i % 7) + stem + ext;
    if (kind == 6)
        return QStringLiteral("\\\\nas\\projects\\Shoot\\") + stem + ext;
    return QStringLiteral("/Volumes/Media/Project/Day%1/").arg(i % 7) + stem + ext;
}

QString forwardSlashForm(QString p) {
    if (p.startsWith(QLatin1StringView("\\\\")))
        p = QStringLiteral("//") + p.mid(2);
    p.replace(u'\\', u'/');
    return p;
}

QString xmlEscaped(const QString& s) {
    QString out = s;
    out.replace(u'&', QLatin1StringView("&amp;")).replace(u'<', QLatin1StringView("&lt;"));
    out.replace(u'>', QLatin1StringView("&gt;"));
    return out;
}

QString jsonEscaped(const QString& s) {
    QString out;
    for (QChar c : s) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out;
}

QString uuid(char kind, int i) {
    return QStringLiteral("%1%2-4b2c-4d3e-8f40-%3")
        .arg(QLatin1Char(kind))
        .arg(i, 7, 16, QLatin1Char('0'))
        .arg(i * 7919 % 0xFFFFFF, 12, 16, QLatin1Char('0'));
}

class Writer {
public:
    Writer(bool crlf, int filler) : m_eol(crlf ? "\r\n" : "\n"), m_filler(filler) {}

    void line(int depth, const QString& text) {
        m_out.append(QByteArray(depth, '\t'));
        m_out.append(text.toUtf8());
        m_out.append(m_eol);
    }
    void filler(int depth, int salt) {
        static const char* const names[] = {"MZ.Sequence.PreviewFrameSizeHeight",
                                            "ColorSpace",
                                            "mSourceChannelIndex",
                                            "AudioChannelLayout",
                                            "FrameRate",
                                            "MZ.EditLine",
                                            "Node.Expanded",
                                            "PixelAspectRatio"};
        for (int k = 0; k < m_filler; ++k) {
            const char* n = names[(salt + k) % 8];
            line(depth,
                 QStringLiteral("<%1>%2</%1>").arg(QLatin1StringView(n)).arg((salt * 31 + k) % 100000));
        }
    }
    // The bulk of a real project: effect parameters with keyframe lists.
    void effects(int depth, int id, int lines) {
        if (lines <= 0)
            return;
        line(depth, QStringLiteral("<VideoComponentParam ObjectID=\"%1\" ClassID=\"fe47129e-6c94-4fc0-b35e-0"
                                   "2f2d5a3f2b2\" Version=\"10\">")
                        .arg(id));
        for (int k = 0; k < lines; ++k) {
            if (k % 8 == 0)
                line(depth + 1, QStringLiteral("<Keyframes>%1:0.%2,%3:0.%4,%5:1.0,%6:0.25</Keyframes>")
                                    .arg(qint64(k) * 10160640000LL)
                                    .arg((id * 7 + k) % 1000)
                                    .arg(qint64(k + 1) * 10160640000LL)
                                    .arg((id * 13 + k) % 1000)
                                    .arg(qint64(k + 2) * 10160640000LL)
                                    .arg(qint64(k + 3) * 10160640000LL));
            else
                line(depth + 1,
                     QStringLiteral("<StartKeyframeValue>%1.%2</StartKeyframeValue>").arg(k).arg(id % 97));
        }
        line(depth, QStringLiteral("</VideoComponentParam>"));
    }
    qint64 size() const { return m_out.size(); }
    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_out;
    const char* m_eol;
    int m_filler;
};

struct Ids {
    int next = 1000;
    int take() { return next++; }
};

struct TrackItem {
    int itemID;
    int sequence;
    bool video;
};

struct Placed {
    QString masterUID;
    QString name;
    int firstClip;
    bool hasVideo;
};

// Sub-clips and track items that put a master clip on the timelines one to three times.
void placeOnTimelines(Writer& w, Ids& ids, const Placed& m, QList<TrackItem>& items, int sequences,
                      int effectLines, std::mt19937& rng) {
    const int uses = 1 + static_cast<int>(rng() % 3);
    for (int u = 0; u < uses; ++u) {
        const int sub = ids.take();
        w.line(1, QStringLiteral("<SubClip ObjectID=\"%1\" Version=\"5\">").arg(sub));
        w.line(2, QStringLiteral("<Clip ObjectRef=\"%1\"/>").arg(m.firstClip));
        w.line(2, QStringLiteral("<MasterClip ObjectURef=\"%1\"/>").arg(m.masterUID));
        w.line(2, QStringLiteral("<Name>%1</Name>").arg(xmlEscaped(m.name)));
        w.line(1, QStringLiteral("</SubClip>"));
        const bool video = m.hasVideo && (u == 0 || rng() % 2 == 0);
        const int item = ids.take();
        const QString tag = video ? QStringLiteral("Video") : QStringLiteral("Audio");
        w.line(1, QStringLiteral("<%1ClipTrackItem ObjectID=\"%2\" Version=\"6\">").arg(tag).arg(item));
        w.line(2, QStringLiteral("<ClipTrackItem Version=\"8\">"));
        w.line(3, QStringLiteral("<TrackItem Version=\"3\">"));
        w.filler(4, item);
        w.line(3, QStringLiteral("</TrackItem>"));
        w.line(3, QStringLiteral("<SubClip ObjectRef=\"%1\"/>").arg(sub));
        w.line(2, QStringLiteral("</ClipTrackItem>"));
        w.line(1, QStringLiteral("</%1ClipTrackItem>").arg(tag));
        w.effects(1, ids.take(), effectLines);
        items.append({item, static_cast<int>(rng() % static_cast<unsigned>(sequences)), video});
    }
}

// One media file with every object that leads to it, in the order a project stores them.
void writeMedia(Writer& w, Ids& ids, const MediaPlan& m, int i, QList<TrackItem>& items, int sequences,
                int effectLines, std::mt19937& rng) {
    const QString mediaUID = uuid('m', i);
    const QString masterUID = uuid('c', i);
    // The bin entry, as real projects list it: a name and a master clip reference outside any sub-clip.
    w.line(1, QStringLiteral("<ClipProjectItem ObjectUID=\"%1\" Version=\"1\">").arg(uuid('p', i)));
    w.line(2, QStringLiteral("<ProjectItem Version=\"1\">"));
    w.line(3, QStringLiteral("<Name>%1</Name>").arg(xmlEscaped(m.title)));
    w.line(2, QStringLiteral("</ProjectItem>"));
    w.line(2, QStringLiteral("<MasterClip ObjectURef=\"%1\"/>").arg(masterUID));
    w.line(1, QStringLiteral("</ClipProjectItem>"));
    w.line(1, QStringLiteral("<Media ObjectUID=\"%1\" ClassID=\"7a5c103e-f3ac-4391-b6b4-7cc3d2f9a7ff\" "
                             "Version=\"27\">")
                  .arg(mediaUID));
    w.filler(2, i);
    w.line(2, QStringLiteral("<RelativePath>../Media/%1</RelativePath>").arg(xmlEscaped(m.title)));
    if (m.jsonOnly) {
        w.line(2, QStringLiteral(
                      "<FilePath>{&quot;x&quot;:1,\"mFilePath\":\"%1\",\"displayName\":\"%2\"}</FilePath>")
                      .arg(xmlEscaped(jsonEscaped(m.writtenPath)), xmlEscaped(jsonEscaped(m.title))));
    } else {
        w.line(2, QStringLiteral("<FilePath>%1</FilePath>").arg(xmlEscaped(m.writtenPath)));
        w.line(2, QStringLiteral("<Title>%1</Title>").arg(xmlEscaped(m.title)));
        w.line(
            2,
            QStringLiteral("<ActualMediaFilePath>%1</ActualMediaFilePath>").arg(xmlEscaped(m.writtenPath)));
    }
    w.line(1, QStringLiteral("</Media>"));

    const bool hasVideo = !m.audioOnly && !m.title.endsWith(QLatin1StringView(".wav"));
    QList<int> clipIDs;
    for (int kind = 0; kind < (hasVideo ? 2 : 1); ++kind) {
        const bool video = hasVideo && kind == 0;
        const QString tag = video ? QStringLiteral("Video") : QStringLiteral("Audio");
        const int source = ids.take();
        w.line(1, QStringLiteral("<%1MediaSource ObjectID=\"%2\" Version=\"2\">").arg(tag).arg(source));
        w.line(2, QStringLiteral("<Media ObjectURef=\"%1\"/>").arg(mediaUID));
        w.line(1, QStringLiteral("</%1MediaSource>").arg(tag));
        const int clip = ids.take();
        clipIDs.append(clip);
        w.line(1, QStringLiteral("<%1Clip ObjectID=\"%2\" Version=\"11\">").arg(tag).arg(clip));
        w.filler(2, clip);
        w.line(2, QStringLiteral("<Source ObjectRef=\"%1\"/>").arg(source));
        w.line(1, QStringLiteral("</%1Clip>").arg(tag));
    }
    w.line(1, QStringLiteral("<MasterClip ObjectUID=\"%1\" Version=\"11\">").arg(masterUID));
    for (int k = 0; k < clipIDs.size(); ++k)
        w.line(3, QStringLiteral("<Clip Index=\"%1\" ObjectRef=\"%2\"/>").arg(k).arg(clipIDs[k]));
    const QString name = m.renamed ? QStringLiteral("Selects pass %1 (edited)").arg(i) : m.title;
    w.line(2, QStringLiteral("<Name>%1</Name>").arg(xmlEscaped(name)));
    w.line(1, QStringLiteral("</MasterClip>"));
    if (m.used)
        placeOnTimelines(w, ids, {masterUID, name, clipIDs.first(), hasVideo}, items, sequences, effectLines,
                         rng);
}

// Media the editor makes itself, written as Premiere writes them: a number where a file has its path
// (in FilePath and ActualMediaFilePath), often of infinite length, a title, and no file anywhere.
struct GeneratedKind {
    const char* name;
    bool numericPath;
    bool infinite;
    bool audio;
    bool adjustmentLayer;
};
constexpr GeneratedKind kGeneratedKinds[] = {
    {"Black Video", true, true, false, false},
    {"Transparent Video", true, true, false, false},
    {"Color Matte", true, true, false, false},
    {"Bars and Tone", true, false, true, false},
    {"Universal Counting Leader", true, false, true, false},
    {"Adjustment Layer", true, true, false, true},
    {"Graphic", true, true, false, false},
};

// Writes the Media block and its sources and clips; returns the clip identifiers.
QList<int> writeSourcesAndClips(Writer& w, Ids& ids, const QString& mediaUID, bool video, bool audio) {
    QList<int> clipIDs;
    for (const bool isVideo : {true, false}) {
        if ((isVideo && !video) || (!isVideo && !audio))
            continue;
        const QString tag = isVideo ? QStringLiteral("Video") : QStringLiteral("Audio");
        const int source = ids.take();
        w.line(1, QStringLiteral("<%1MediaSource ObjectID=\"%2\" Version=\"2\">").arg(tag).arg(source));
        w.line(2, QStringLiteral("<MediaSource Version=\"4\">"));
        w.line(3, QStringLiteral("<Media ObjectURef=\"%1\"/>").arg(mediaUID));
        w.line(2, QStringLiteral("</MediaSource>"));
        w.line(1, QStringLiteral("</%1MediaSource>").arg(tag));
        const int clip = ids.take();
        clipIDs.append(clip);
        w.line(1, QStringLiteral("<%1Clip ObjectID=\"%2\" Version=\"11\">").arg(tag).arg(clip));
        w.line(2, QStringLiteral("<Clip Version=\"18\">"));
        w.line(3, QStringLiteral("<Source ObjectRef=\"%1\"/>").arg(source));
        w.line(2, QStringLiteral("</Clip>"));
        w.line(1, QStringLiteral("</%1Clip>").arg(tag));
    }
    return clipIDs;
}

void writeMasterClip(Writer& w, const QString& masterUID, const QList<int>& clipIDs, const QString& name,
                     bool adjustmentLayer) {
    w.line(1, QStringLiteral("<MasterClip ObjectUID=\"%1\" Version=\"11\">").arg(masterUID));
    w.line(2, QStringLiteral("<Clips Version=\"1\">"));
    for (int k = 0; k < clipIDs.size(); ++k)
        w.line(3, QStringLiteral("<Clip Index=\"%1\" ObjectRef=\"%2\"/>").arg(k).arg(clipIDs[k]));
    w.line(2, QStringLiteral("</Clips>"));
    w.line(2, QStringLiteral("<Name>%1</Name>").arg(xmlEscaped(name)));
    if (adjustmentLayer)
        w.line(2, QStringLiteral("<IsAdjustmentLayer>true</IsAdjustmentLayer>"));
    w.line(1, QStringLiteral("</MasterClip>"));
}

// A rendered audio preview, listed between Media blocks with a real path of its own.
void writeAudioPreviewItem(Writer& w, Ids& ids, int k) {
    w.line(1, QStringLiteral("<AudioPreviewItem ObjectID=\"%1\" Version=\"1\">").arg(ids.take()));
    w.line(2, QStringLiteral("<FilePath>/Volumes/Media/Project/Adobe Premiere Pro Audio Previews/"
                             "Edit.PRV/Audio Preview %1.cfa</FilePath>")
                  .arg(k));
    w.line(1, QStringLiteral("</AudioPreviewItem>"));
}

void writeGeneratedClip(Writer& w, Ids& ids, int k, QList<TrackItem>& items, int sequences, int effectLines,
                        std::mt19937& rng) {
    const GeneratedKind& kind = kGeneratedKinds[k % std::size(kGeneratedKinds)];
    const QString mediaUID = uuid('g', k);
    const QString masterUID = uuid('h', k);
    const QString name = k < int(std::size(kGeneratedKinds)) ? QString::fromUtf8(kind.name)
                                                             : QStringLiteral("%1 %2").arg(kind.name).arg(k);
    w.line(1, QStringLiteral("<Media ObjectUID=\"%1\" ClassID=\"7a5c103e-f3ac-4391-b6b4-7cc3d2f9a7ff\" "
                             "Version=\"27\">")
                  .arg(mediaUID));
    w.filler(2, k);
    const QString identifier = QString::number(1112293707 + k * 7);
    if (kind.numericPath)
        w.line(2, QStringLiteral("<FilePath>%1</FilePath>").arg(identifier));
    if (kind.infinite)
        w.line(2, QStringLiteral("<Infinite>true</Infinite>"));
    w.line(2, QStringLiteral("<ImplementationID>42008e7a-de6f-4270-96de-7e287abb9b4b</ImplementationID>"));
    w.line(2, QStringLiteral("<Title>%1</Title>").arg(xmlEscaped(name)));
    if (kind.numericPath)
        w.line(2, QStringLiteral("<ActualMediaFilePath>%1</ActualMediaFilePath>").arg(identifier));
    w.line(1, QStringLiteral("</Media>"));
    const QList<int> clipIDs = writeSourcesAndClips(w, ids, mediaUID, true, kind.audio);
    writeMasterClip(w, masterUID, clipIDs, name, kind.adjustmentLayer);
    placeOnTimelines(w, ids, {masterUID, name, clipIDs.first(), true}, items, sequences, effectLines, rng);
}

// Used clips the reader can neither tie to a file nor recognise as generated: a master clip that
// leads to no media, and generated-looking media that still name a file.
void writeUnclassifiableClip(Writer& w, Ids& ids, int j, QList<TrackItem>& items, int sequences,
                             int effectLines, std::mt19937& rng) {
    const QString masterUID = uuid('u', j);
    QList<int> clipIDs;
    QString name;
    if (j % 2 == 0) {
        name = QStringLiteral("Dropped Reel %1").arg(j);
        clipIDs.append(ids.take()); // a clip object the project no longer holds
    } else {
        name = QStringLiteral("Lower Third %1").arg(j);
        const QString mediaUID = uuid('w', j);
        w.line(1, QStringLiteral("<Media ObjectUID=\"%1\" Version=\"27\">").arg(mediaUID));
        w.line(2, QStringLiteral("<FilePath>Lower Third %1.mogrt</FilePath>").arg(j));
        w.line(2, QStringLiteral("<Infinite>true</Infinite>"));
        w.line(2, QStringLiteral("<Title>%1</Title>").arg(name));
        w.line(1, QStringLiteral("</Media>"));
        clipIDs = writeSourcesAndClips(w, ids, mediaUID, true, false);
    }
    writeMasterClip(w, masterUID, clipIDs, name, false);
    placeOnTimelines(w, ids, {masterUID, name, clipIDs.first(), true}, items, sequences, effectLines, rng);
}

QString timelineName(int s) {
    return s % 4 == 3 ? QStringLiteral("Montage – ñ %1").arg(s) : QStringLiteral("Sequence %1").arg(s);
}

// A timeline's own master clip: a video and an audio clip whose sources are the timeline itself.
void writeTimelineMasterClip(Writer& w, Ids& ids, int s, bool nested, QList<TrackItem>& items, int sequences,
                             int effectLines, std::mt19937& rng) {
    const QString masterUID = uuid('t', s);
    QList<int> clipIDs;
    for (const bool video : {true, false}) {
        const QString tag = video ? QStringLiteral("Video") : QStringLiteral("Audio");
        const int source = ids.take();
        w.line(1, QStringLiteral("<%1SequenceSource ObjectID=\"%2\" Version=\"3\">").arg(tag).arg(source));
        w.line(2, QStringLiteral("<SequenceSource Version=\"4\">"));
        w.line(3, QStringLiteral("<Content Version=\"10\">"));
        w.line(3, QStringLiteral("</Content>"));
        w.line(3, QStringLiteral("<Sequence ObjectURef=\"%1\"/>").arg(uuid('s', s)));
        w.line(2, QStringLiteral("</SequenceSource>"));
        w.line(1, QStringLiteral("</%1SequenceSource>").arg(tag));
        const int clip = ids.take();
        clipIDs.append(clip);
        w.line(1, QStringLiteral("<%1Clip ObjectID=\"%2\" Version=\"11\">").arg(tag).arg(clip));
        w.line(2, QStringLiteral("<Clip Version=\"18\">"));
        w.line(3, QStringLiteral("<Source ObjectRef=\"%1\"/>").arg(source));
        w.line(2, QStringLiteral("</Clip>"));
        w.line(1, QStringLiteral("</%1Clip>").arg(tag));
    }
    writeMasterClip(w, masterUID, clipIDs, timelineName(s), false);
    if (nested)
        placeOnTimelines(w, ids, {masterUID, timelineName(s), clipIDs.first(), true}, items, sequences,
                         effectLines, rng);
}

void writeSequences(Writer& w, Ids& ids, const QList<TrackItem>& items, int sequences, int nested) {
    for (int s = 0; s < sequences; ++s) {
        const int groups[2] = {ids.take(), ids.take()};
        const QString seqUID = uuid('s', s);
        w.line(1, QStringLiteral("<Sequence ObjectUID=\"%1\" Version=\"11\">").arg(seqUID));
        w.filler(2, s);
        w.line(2, QStringLiteral("<TrackGroups Version=\"1\">"));
        for (int g = 0; g < 2; ++g) {
            w.line(3, QStringLiteral("<TrackGroup Version=\"1\" Index=\"%1\">").arg(g));
            w.line(4, QStringLiteral("<Second ObjectRef=\"%1\"/>").arg(groups[g]));
            w.line(3, QStringLiteral("</TrackGroup>"));
        }
        w.line(2, QStringLiteral("</TrackGroups>"));
        w.line(2, QStringLiteral("<Name>%1</Name>").arg(timelineName(s)));
        w.line(1, QStringLiteral("</Sequence>"));
        for (int g = 0; g < 2; ++g) {
            const bool video = g == 0;
            const QString tag = video ? QStringLiteral("Video") : QStringLiteral("Audio");
            const QString trackUID = uuid(video ? 'v' : 'a', s);
            w.line(1, QStringLiteral("<%1TrackGroup ObjectID=\"%2\" Version=\"6\">").arg(tag).arg(groups[g]));
            w.line(2, QStringLiteral("<TrackGroup Version=\"1\">"));
            w.line(3, QStringLiteral("<Tracks Version=\"1\">"));
            w.line(4, QStringLiteral("<Track Index=\"0\" ObjectURef=\"%1\"/>").arg(trackUID));
            w.line(3, QStringLiteral("</Tracks>"));
            w.line(2, QStringLiteral("</TrackGroup>"));
            w.line(1, QStringLiteral("</%1TrackGroup>").arg(tag));
            w.line(1, QStringLiteral("<%1ClipTrack ObjectUID=\"%2\" Version=\"6\">").arg(tag, trackUID));
            w.line(2, QStringLiteral("<ClipTrack Version=\"2\">"));
            w.line(3, QStringLiteral("<ClipItems Version=\"3\">"));
            w.line(4, QStringLiteral("<TrackItems Version=\"1\">"));
            int index = 0;
            for (const TrackItem& it : items) {
                if (it.sequence == s && it.video == video)
                    w.line(5, QStringLiteral("<TrackItem Index=\"%1\" ObjectRef=\"%2\"/>")
                                  .arg(index++)
                                  .arg(it.itemID));
            }
            w.line(4, QStringLiteral("</TrackItems>"));
            w.line(3, QStringLiteral("</ClipItems>"));
            w.line(2, QStringLiteral("</ClipTrack>"));
            w.line(1, QStringLiteral("</%1ClipTrack>").arg(tag));
        }
    }
    for (int n = 0; n < nested && sequences > 0; ++n) {
        w.line(1, QStringLiteral("<SequenceSource ObjectID=\"%1\" Version=\"4\">").arg(ids.take()));
        w.line(2, QStringLiteral("<Sequence ObjectURef=\"%1\"/>").arg(uuid('s', n % sequences)));
        w.line(1, QStringLiteral("</SequenceSource>"));
    }
}

} // namespace

GeneratedProject ProjectGenerator::generate(const ProjectGeneratorOptions& o) {
    std::mt19937 rng(o.seed);
    Writer w(o.crlf, o.fillerLinesPerObject);
    Ids ids;
    GeneratedProject out;
    out.sequenceCount = o.sequenceCount;
    int sequenceRefs = std::min(o.nestedSequenceCount, o.sequenceCount);
    w.line(0, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>"));
    w.line(0, QStringLiteral("<PremiereData Version=\"3\">"));
    w.line(1, QStringLiteral("<Project ObjectRef=\"1\"/>"));
    QList<TrackItem> items;
    const int given = static_cast<int>(o.mediaPaths.size());
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0;; ++i) {
        if (given > 0 ? i >= given
                      : (o.targetXmlBytes > 0 ? w.size() >= o.targetXmlBytes : i >= o.mediaCount))
            break;
        MediaPlan m;
        m.writtenPath = given > 0 ? o.mediaPaths[i] : madeUpPath(i, rng);
        m.reportedPath = forwardSlashForm(m.writtenPath);
        m.title = m.reportedPath.section(u'/', -1);
        m.used = unit(rng) < o.usedFraction;
        m.audioOnly = m.used && unit(rng) < o.audioOnlyFraction;
        m.renamed = m.used && unit(rng) < o.renamedFraction;
        m.jsonOnly = i % 11 == 5;
        writeMedia(w, ids, m, i, items, std::max(o.sequenceCount, 1), o.effectLinesPerTrackItem, rng);
        out.mediaPaths.insert(m.reportedPath);
        if (m.used && o.sequenceCount > 0) {
            out.usedPaths.insert(m.reportedPath);
            if (m.audioOnly || m.title.endsWith(QLatin1StringView(".wav")))
                out.audioOnlyPaths.insert(m.reportedPath);
        }
    }
    const int timelines = std::max(o.sequenceCount, 1);
    for (int k = 0; k < o.generatedClipCount; ++k) {
        if (o.audioPreviewsBeforeGenerated)
            writeAudioPreviewItem(w, ids, k);
        writeGeneratedClip(w, ids, k, items, timelines, o.effectLinesPerTrackItem, rng);
    }
    for (int j = 0; j < o.unclassifiableClipCount; ++j)
        writeUnclassifiableClip(w, ids, j, items, timelines, o.effectLinesPerTrackItem, rng);
    if (o.timelineMasterClips) {
        for (int s = 0; s < o.sequenceCount; ++s)
            writeTimelineMasterClip(w, ids, s, s < o.nestedTimelineClipCount, items, timelines,
                                    o.effectLinesPerTrackItem, rng);
        sequenceRefs = o.sequenceCount; // every timeline is referenced by its sources
        // Nested: only the timelines placed on a timeline.
        out.nestedSequenceCount = std::min(o.nestedTimelineClipCount, o.sequenceCount);
    }
    out.unresolvedClipCount = o.sequenceCount > 0 ? o.unclassifiableClipCount : 0;
    writeSequences(w, ids, items, o.sequenceCount, sequenceRefs);
    w.line(0, QStringLiteral("</PremiereData>"));
    out.xml = w.take();
    return out;
}

namespace {

QByteArray deflateWith(const QByteArray& data, int level, int windowBits) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out;
    out.resize(static_cast<qsizetype>(deflateBound(&s, static_cast<uLong>(data.size()))) + 64);
    qsizetype inPos = 0;
    qsizetype outPos = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        const qsizetype inChunk = std::min<qsizetype>(data.size() - inPos, 1 << 30);
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData() + inPos));
        s.avail_in = static_cast<uInt>(inChunk);
        const qsizetype outChunk = std::min<qsizetype>(out.size() - outPos, 1 << 30);
        s.next_out = reinterpret_cast<Bytef*>(out.data() + outPos);
        s.avail_out = static_cast<uInt>(outChunk);
        rc = deflate(&s, inPos + inChunk == data.size() ? Z_FINISH : Z_NO_FLUSH);
        inPos += inChunk - static_cast<qsizetype>(s.avail_in);
        outPos += outChunk - static_cast<qsizetype>(s.avail_out);
        if (rc == Z_STREAM_ERROR || (outPos == out.size() && rc != Z_STREAM_END))
            break;
    }
    deflateEnd(&s);
    out.resize(outPos);
    return out;
}

} // namespace

QByteArray ProjectGenerator::gzip(const QByteArray& data, int level) {
    return deflateWith(data, level, 16 + 15);
}

QByteArray ProjectGenerator::rawDeflate(const QByteArray& data, int level) {
    return deflateWith(data, level, -15);
}

bool ProjectGenerator::writeProject(const QString& filePath, const QByteArray& xml) {
    QFile f(filePath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray gz = gzip(xml);
    return f.write(gz) == gz.size();
}

QByteArray oneClipTimeline(const QString& usedMedia, const QString& spareMedia) {
    QList<TimelineMedia> media{{usedMedia, true, {}, {}}};
    if (!spareMedia.isNull())
        media.append({spareMedia, false, {}, {}});
    return mediaTimeline(media);
}

QByteArray mediaTimeline(const QList<TimelineMedia>& media) {
    QString blocks;
    QString chains;
    QString items;
    QString placed;
    int used = 0;
    int spare = 0;
    for (const TimelineMedia& m : media) {
        const int n = m.used ? used++ : spare++;
        const QString suffix = n == 0 ? QString() : QString::number(n + 1);
        const QString uid = (m.used ? QStringLiteral("used") : QStringLiteral("spare")) + suffix;
        blocks +=
            m.before + QStringLiteral("<Media ObjectUID=\"%1\">\n%2\n</Media>\n").arg(uid, m.lines) + m.after;
        if (!m.used)
            continue;
        const int base = 100 * n;
        const QString mc = QStringLiteral("mc") + suffix;
        chains += QStringLiteral(
                      "<VideoMediaSource ObjectID=\"%1\">\n<Media ObjectURef=\"%2\"/>\n</VideoMediaSource>\n"
                      "<VideoClip ObjectID=\"%3\">\n<Source ObjectRef=\"%1\"/>\n</VideoClip>\n"
                      "<MasterClip ObjectUID=\"%4\">\n<Clip Index=\"0\" ObjectRef=\"%3\"/>\n"
                      "<Name>Shot%5</Name>\n</MasterClip>\n<SubClip ObjectID=\"%6\">\n"
                      "<MasterClip ObjectURef=\"%4\"/>\n</SubClip>\n")
                      .arg(base + 5)
                      .arg(uid)
                      .arg(base + 6)
                      .arg(mc, suffix)
                      .arg(base + 7);
        placed += QStringLiteral("<TrackItem Index=\"%1\" ObjectRef=\"%2\"/>\n").arg(n).arg(base + 9);
        items += QStringLiteral("<VideoClipTrackItem ObjectID=\"%1\">\n<SubClip ObjectRef=\"%2\"/>\n"
                                "</VideoClipTrackItem>\n")
                     .arg(base + 9)
                     .arg(base + 7);
    }
    return (blocks + chains +
            QStringLiteral(
                "<Sequence ObjectUID=\"s\">\n<TrackGroups>\n<Second ObjectRef=\"1\"/>\n</TrackGroups>\n"
                "<Name>Cut</Name>\n</Sequence>\n"
                "<VideoTrackGroup ObjectID=\"1\">\n<Track Index=\"0\" "
                "ObjectURef=\"t\"/>\n</VideoTrackGroup>\n"
                "<VideoClipTrack ObjectUID=\"t\">\n") +
            placed + QStringLiteral("</VideoClipTrack>\n") + items)
        .toUtf8();
}

TimelineMedia fileMedia(const QString& path, const QString& title, bool used) {
    return {QStringLiteral(
                "<FilePath>%1</FilePath>\n<Title>%2</Title>\n<ActualMediaFilePath>%1</ActualMediaFilePath>")
                .arg(xmlEscaped(path), xmlEscaped(title)),
            used,
            {},
            {}};
}

namespace {

// 25 frames a second, in ticks.
constexpr qint64 kTicksPerFrame = 10160640000;

QString videoStream(int id, const QString& kind, qint64 frames) {
    QString out =
        QStringLiteral("\t<VideoStream ObjectID=\"%1\" ClassID=\"a36e4719-3ec6-4a0c-ab11-8b4aab377aa5\" "
                       "Version=\"19\">\n\t\t<%2>true</%2>\n\t\t<FrameRate>%3</FrameRate>\n"
                       "\t\t<FrameRect>0,0,1920,1080</FrameRect>\n")
            .arg(id)
            .arg(kind)
            .arg(kTicksPerFrame);
    if (frames > 0)
        out += QStringLiteral("\t\t<Duration>%1</Duration>\n").arg(frames * kTicksPerFrame);
    return out + QStringLiteral("\t</VideoStream>\n");
}

// A Media block's lines for the file at `path`, naming its stream ("VideoStream" or "AudioStream").
TimelineMedia fileBlock(const QString& path, const QString& title, const char* streamKind, int stream,
                        bool used) {
    return {QStringLiteral("\t\t<%1 ObjectRef=\"%2\"/>\n\t\t<FilePath>%3</FilePath>\n\t\t<Title>%4</Title>\n"
                           "\t\t<ActualMediaFilePath>%3</ActualMediaFilePath>")
                .arg(QLatin1StringView(streamKind))
                .arg(stream)
                .arg(xmlEscaped(path), xmlEscaped(title)),
            used,
            {},
            {}};
}

} // namespace

QByteArray numberedStillsTimeline(const QString& folder) {
    const QString flag = QStringLiteral("IsNumberedStills");
    int stream = 50;
    const auto block = [&](const QString& relative, bool used, const QString& title = {}) {
        return fileBlock(folder + u'/' + relative, title.isEmpty() ? relative.section(u'/', -1) : title,
                         relative.endsWith(QLatin1StringView(".wav")) ? "AudioStream" : "VideoStream",
                         stream++, used);
    };
    QList<TimelineMedia> media{
        block(QStringLiteral("Seq/sequence-01.png"), true),
        block(QStringLiteral("Audio/Transition Complex 01.wav"), true),
        block(QStringLiteral("Shots/shot_0001.exr"), true, QStringLiteral("shot_[0001-0010].exr")),
        block(QStringLiteral("Open/open_0003.png"), true),
        block(QStringLiteral("Seq/sequence-16.png"), false)};
    media[0].after = videoStream(50, flag, 15);
    media[2].before = videoStream(52, flag, 10);
    media[3].after = videoStream(53, flag, 0);
    media[4].after = videoStream(54, flag, 10);
    for (const char* loose : {"Seq/sequence-05.png", "Seq/sequence-18.png", "Shots/shot_0004.exr",
                              "Shots/shot_0011.exr", "Open/open_0002.png", "Open/open_0007.png"}) {
        media.append(block(QLatin1StringView(loose), false));
        media.last().after = videoStream(stream - 1, QStringLiteral("IsStill"), 0);
    }
    media.append(block(QStringLiteral("Audio/Transition Complex 02.wav"), false));
    return mediaTimeline(media);
}

} // namespace tarnwick::testing
