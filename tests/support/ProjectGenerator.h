#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tarnwick::testing {

// Writes synthetic Premiere Pro projects with the element and line layout of real ones: Media
// blocks (path as ActualMediaFilePath and as a JSON-style FilePath), media sources, clips, master
// clips, sub-clips, sequences with track groups, clip tracks and track items, nested sequences,
// bin items, the wrapper elements real projects nest inside track groups, clip tracks and track
// items, filler properties, some non-ASCII titles and Windows paths. Used by tests and benchmarks.
struct ProjectGeneratorOptions {
    QStringList mediaPaths; // when empty, `mediaCount` paths are made up
    int mediaCount = 100;
    qint64 targetXmlBytes = 0;      // when > 0, made-up media are added until the XML is about this size
    double usedFraction = 0.5;      // share of the media placed on timelines
    double audioOnlyFraction = 0.1; // share of used media placed on audio tracks only
    double renamedFraction = 0.05;  // used master clips whose name no longer matches the title
    int sequenceCount = 3;
    int nestedSequenceCount = 1;      // bare references to timelines that no timeline places (not nested)
    int fillerLinesPerObject = 12;    // property lines in media, clip, track item and sequence blocks
    int effectLinesPerTrackItem = 40; // an effect parameter block with keyframes per track item
    // Used clips of media the editor generates (black and transparent video, colour mattes, bars and
    // tone, counting leaders, adjustment layers, graphics), written as Premiere writes them.
    int generatedClipCount = 0;
    // An audio preview item (a rendered preview's path outside any Media block) before each of them.
    bool audioPreviewsBeforeGenerated = false;
    // Used clips the reader can neither match to a file nor recognise as generated.
    int unclassifiableClipCount = 0;
    // Each timeline with its own master clip, named as the timeline, whose clips show the timeline
    // through video and audio sequence sources (as real projects store them); the first
    // `nestedTimelineClipCount` of them are also placed on timelines as nested clips.
    bool timelineMasterClips = false;
    int nestedTimelineClipCount = 0;
    bool crlf = false;
    quint32 seed = 1;
};

struct GeneratedProject {
    QByteArray xml;
    QSet<QString> mediaPaths; // as the reader reports them (forward-slash form)
    QSet<QString> usedPaths;
    QSet<QString> audioOnlyPaths;
    int sequenceCount = 0;
    int nestedSequenceCount = 0;
    int unresolvedClipCount = 0; // used master clips the reader should report as not matched
};

class ProjectGenerator {
public:
    static GeneratedProject generate(const ProjectGeneratorOptions& options);

    // A gzip member around `data` (level 1 to 9).
    static QByteArray gzip(const QByteArray& data, int level = 6);
    // Raw DEFLATE data, no header or trailer.
    static QByteArray rawDeflate(const QByteArray& data, int level = 6);
    // Writes the project gzip-compressed; false when the file cannot be written.
    static bool writeProject(const QString& filePath, const QByteArray& xml);
};

// The XML of one clip on one timeline "Cut", reaching the Media block written from `usedMedia`
// through its master clip's chain; with `spareMedia`, a second block no timeline uses.
QByteArray oneClipTimeline(const QString& usedMedia, const QString& spareMedia = {});

// One Media block of `mediaTimeline`: its lines, whether a clip of the timeline uses it, and the
// objects written right before and after it (the streams it or another block names).
struct TimelineMedia {
    QString lines;
    bool used = true;
    QString before;
    QString after;
};

// The XML of one timeline "Cut" with a clip of each used block, the blocks written in order.
QByteArray mediaTimeline(const QList<TimelineMedia>& media);

// A block of `mediaTimeline` for the file at `path` (as the editor writes it: a Windows path keeps
// its backslashes) under `title`; a linked After Effects composition is titled "Composition/Project.aep".
TimelineMedia fileMedia(const QString& path, const QString& title, bool used);

// Numbered stills under `folder` as the editor writes them, the flag and frame count in the video
// stream each block names (right after it, or right before). Used: Seq/sequence-01.png (title
// without a range, 15 frames by its stream; an audio block follows its stream),
// Audio/Transition Complex 01.wav, Shots/shot_0001.exr (title shot_[0001-0010].exr, its stream
// before it), Open/open_0003.png (no count anywhere). Unused: the sequence Seq/sequence-16.png
// (frames 16 to 25) and the loose stills Seq/sequence-05.png (a still of its own stream),
// Seq/sequence-18.png, Shots/shot_0004.exr, Shots/shot_0011.exr, Open/open_0002.png,
// Open/open_0007.png and Audio/Transition Complex 02.wav.
QByteArray numberedStillsTimeline(const QString& folder);

} // namespace tarnwick::testing
