#include "readers/ProjectParser.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/RegularFile.h"
#include "platform/TextKey.h"
#include "readers/PrprojClipChain.h"
#include "readers/PrprojDecompression.h"
#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojMediaScan.h"
#include "readers/PrprojRelativePath.h"
#include "readers/PrprojTextScan.h"
#include "readers/PrprojTimelineScan.h"
#include "readers/PrprojUsageResolver.h"
#include "readers/ReaderTask.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <memory>

namespace tarnwick {

using namespace prproj;

ProjectParser::ParserError::ParserError(Kind kind, QString payload)
    : m_kind(kind), m_payload(std::move(payload)) {
    switch (kind) {
    case Kind::decompressionFailed:
        m_description = QStringLiteral("Failed to decompress project file: ") + m_payload;
        break;
    case Kind::invalidXML:
        m_description = QStringLiteral("Invalid XML content: ") + m_payload;
        break;
    case Kind::noMediaFound:
        m_description = QStringLiteral("No media files found in project");
        break;
    }
}

ProjectParser::FileReadError::FileReadError(const QString& path, const QString& reason)
    : Error(QStringLiteral("The file “") + path::lastPathComponent(path) +
            QStringLiteral("” couldn’t be opened: ") + reason) {}

namespace {

QString projectNameOf(const QString& filePath) {
    return path::deletingPathExtension(path::lastPathComponent(filePath));
}

void report(const ProjectParser::Progress& progress, const QString& message, double fraction) {
    if (progress)
        progress(message, fraction);
}

QString count(qint64 n) {
    return QString::number(n);
}

// The text's length, then the start of the media stage.
// The log lines and the progress step of opening; large projects give the step before the stages
// run (so the media fractions can follow it live) and the log lines once the count is in.
void logOpening(std::size_t characters) {
    AppLog::parseDetail(QStringLiteral("Decompressed, XML length: ") +
                        count(static_cast<qint64>(characters)) + QStringLiteral(" characters"));
}

void reportOpening(const ProjectParser::Progress& progress) {
    report(progress, QStringLiteral("Reading project…"), 0.08);
}

void logExtracting() {
    AppLog::parseDetail(QStringLiteral("Extracting media files..."));
}

// Large projects leave thousands of small allocations behind; they are freed on a pool thread so
// the result reaches the caller without waiting for that. The memory goes back to the system when
// the whole import is done (a trim per project held every arena's lock while the window drew).
template <typename T> void releaseLater(T&& value, bool parallel) {
    if (!parallel)
        return;
    auto held = std::make_shared<std::decay_t<T>>(std::forward<T>(value));
    readerPool().start([held]() mutable { held.reset(); });
}

QByteArray readProjectFile(const QString& filePath) {
    // Regular files only: a pipe named like a project would block the open, a device never end.
    RegularFile file(filePath);
    if (!file.isOpen())
        throw ProjectParser::FileReadError(filePath, file.errorString());
    std::optional<QByteArray> read = file.readAll();
    if (!read)
        throw ProjectParser::FileReadError(filePath, file.errorString());
    AppLog::debug(QStringLiteral("Read ") + count(read->size()) + QStringLiteral(" bytes from ") +
                  path::lastPathComponent(filePath));
    return std::move(*read);
}

void logOverLimit(const QString& filePath, qint64 limit) {
    AppLog::error(path::lastPathComponent(filePath) + QStringLiteral(" inflates to more than ") +
                  count(limit) + QStringLiteral(" bytes, more than this machine can read safely"));
}

// The scan of the project's text: inflated into pages of its own, read once, and handed back part by
// part as the scan passes it (the marked lines stay, moved together). Invalid UTF-8 is the scan's to find.
TextScan readAndScan(const QString& filePath) {
    bool overLimit = false;
    const qint64 limit = inflatedSizeCap();
    std::optional<TextBuffer> text = inflateProjectText(readProjectFile(filePath), limit, &overLimit);
    if (!text) {
        if (overLimit)
            logOverLimit(filePath, limit);
        throw ProjectParser::ParserError::decompressionFailed();
    }
    const int threads = scanThreads(static_cast<std::size_t>(text->size()));
    return scanText(std::move(*text), threads);
}

} // namespace

QByteArray ProjectParser::readAndDecompressUtf8(const QString& filePath) {
    const QByteArray data = readProjectFile(filePath);
    bool overLimit = false;
    const qint64 limit = inflatedSizeCap();
    std::optional<QByteArray> xml = decompressProjectData(data, InflateEngine::fastest, limit, &overLimit);
    if (!xml) {
        if (overLimit)
            logOverLimit(filePath, limit);
        throw ParserError::decompressionFailed();
    }
    return std::move(*xml);
}

QString ProjectParser::readAndDecompress(const QString& filePath) const {
    return QString::fromUtf8(readAndDecompressUtf8(filePath));
}

namespace {
ProjectParser::ParseResult parseScanned(TextScan&& scan, const QString& filePath,
                                        const ProjectParser::Progress& progress, bool parallel);
} // namespace

ProjectParser::ParseResult ProjectParser::parse(const QString& filePath, const Progress& progress) const {
    const QString name = projectNameOf(filePath);
    AppLog::parseStarted(name);
    AppLog::parseDetail(QStringLiteral("Decompressing..."));
    report(progress, QStringLiteral("Decompressing…"), 0.02);
    TextScan scan;
    try {
        scan = readAndScan(filePath);
        if (!scan.validUtf8)
            throw ParserError::decompressionFailed();
    } catch (const Error& e) {
        AppLog::parseFailed(name, e.description());
        throw;
    }
    return parseScanned(std::move(scan), filePath, progress, scanThreads(scan.bytes) > 1);
}

namespace {

// The stages up to the used-file determination read the marker index independently. Large projects
// run them at once; their log lines and progress are then given in stage order afterwards.
struct Stages {
    MediaScan media;
    IdMap<Id> masterClipNames;
    SequenceScan sequences;
    TimelineClips clips;
    MasterClipMapping mapping;
    std::unique_ptr<MasterClipMediaChain> chain;
    std::optional<NameIndexes> nameIndexes; // built early when the stages run at once
};

bool isProjectFile(const QString& path) {
    return path.endsWith(QLatin1StringView(".prproj"), Qt::CaseInsensitive);
}

// A clip whose media is another project (an audio editor's interchange reference) stands for that
// project, as a nested timeline does: it is no media file of this one, and it has no file to match.
void setProjectReferencesApart(MediaScan& scan) {
    MediaTables& t = scan.tables;
    QSet<QString> projects;
    for (const QString& p : std::as_const(t.allPaths)) {
        if (isProjectFile(p))
            projects.insert(p);
    }
    if (projects.isEmpty())
        return;
    const auto isProject = [&](const QString& p) { return projects.contains(p); };
    for (const QString& p : std::as_const(projects)) {
        t.allPaths.remove(p);
        t.relativePathsByPath.remove(p);
    }
    t.spellingByKey.removeIf([&](const auto& entry) { return isProject(entry.value()); });
    for (auto it = t.pathsByTitle.begin(); it != t.pathsByTitle.end();) {
        it->removeIf(isProject);
        it = it->isEmpty() ? t.pathsByTitle.erase(it) : std::next(it);
    }
    for (auto& [media, paths] : scan.pathsByMediaUID) {
        if (paths.removeIf(isProject) != 0 && paths.isEmpty())
            scan.generatedMediaUIDs.insert(media);
    }
}

Stages runStages(SequenceScan&& sequences, const MarkerIndex& index, bool parallel,
                 const std::function<void(double)>& liveMediaProgress) {
    Stages st;
    st.sequences = std::move(sequences);
    if (!parallel) {
        st.media = scanMediaBlocks(index, liveMediaProgress);
        setProjectReferencesApart(st.media);
        st.masterClipNames = scanMasterClipNames(index);
        st.clips = findTimelineClipReferences(index, st.sequences.sequenceIDs);
        st.mapping = mapSubClipsToMasterClips(st.clips, index);
        st.chain = std::make_unique<MasterClipMediaChain>(index);
        st.chain->attach(st.media.pathsByMediaUID, &st.media.generatedMediaUIDs);
        return st;
    }
    // The chain joins the media identifiers as soon as the media blocks are read, while the name
    // indexes are still being built from them.
    std::promise<void> mediaRead;
    std::shared_future<void> mediaReadDone = mediaRead.get_future().share();
    ReaderTask<void> media([&] {
        try {
            // Reported as the pieces read: the window's bar moves on the projects that take longest.
            st.media = scanMediaBlocks(index, liveMediaProgress, std::min(QThread::idealThreadCount(), 4));
            setProjectReferencesApart(st.media);
        } catch (...) {
            mediaRead.set_exception(std::current_exception());
            throw;
        }
        mediaRead.set_value();
        st.nameIndexes = buildNameIndexes(st.media.tables, true);
    });
    ReaderTask<IdMap<Id>> names([&] { return scanMasterClipNames(index); });
    // The chain waits for the media blocks: it runs beside them only when they run on their own.
    ReaderTask<std::unique_ptr<MasterClipMediaChain>> chain(
        [&] {
            auto c = std::make_unique<MasterClipMediaChain>(index, true);
            mediaReadDone.get();
            c->attach(st.media.pathsByMediaUID, &st.media.generatedMediaUIDs);
            return c;
        },
        media.started());
    ReaderTask<std::vector<SubClipMasterRef>> subClipRefs([&] { return collectSubClipMasterRefs(index); });
    st.clips = findTimelineClipReferences(index, st.sequences.sequenceIDs, true);
    st.mapping = mapSubClipsToMasterClips(st.clips, subClipRefs.get());
    st.masterClipNames = names.get();
    media.get();
    st.chain = chain.get();
    return st;
}

// Steps 5 to 12: each stage's log lines and progress, in stage order, once its results are in.
void reportStages(const Stages& st, const MarkerIndex& index, const ReferenceChain& chain,
                  qsizetype nestedSequences, const ProjectParser::Progress& progress, QStringList& warnings) {
    const MediaTables& media = st.media.tables;
    AppLog::parseDetail(QStringLiteral("Found ") + count(media.allPaths.size()) +
                        QStringLiteral(" unique media files"));
    // Previews and caches are paths read, even when left out of the media.
    if (media.allPaths.isEmpty() && st.media.heldBackPaths.isEmpty() &&
        (index.markersInText & bit(mediaBlank))) {
        warnings.append(QStringLiteral("Found Media elements but no file paths - possible parsing issue"));
        AppLog::parserWarning(QStringLiteral("Found Media elements but no file paths extracted"));
    }

    AppLog::parseDetail(QStringLiteral("Building MasterClip map..."));
    report(progress, QStringLiteral("Building clip map…"), 0.45);
    AppLog::parseDetail(QStringLiteral("Found ") + count(static_cast<qint64>(st.masterClipNames.size())) +
                        QStringLiteral(" MasterClips"));

    AppLog::parseDetail(QStringLiteral("Finding sequences..."));
    report(progress, QStringLiteral("Finding sequences…"), 0.55);
    AppLog::parseDetail(QStringLiteral("Found ") +
                        count(static_cast<qint64>(st.sequences.sequenceIDs.size())) +
                        QStringLiteral(" sequences (") + count(nestedSequences) + QStringLiteral(" nested)"));

    AppLog::parseDetail(QStringLiteral("Finding clips on timelines..."));
    report(progress, QStringLiteral("Finding timeline clips…"), 0.62);
    AppLog::parseDetail(
        QStringLiteral("Found ") + count(static_cast<qint64>(st.clips.videoClipCounts.size())) +
        QStringLiteral(" video clips, ") + count(static_cast<qint64>(st.clips.audioClipCounts.size())) +
        QStringLiteral(" audio clips on timelines"));

    AppLog::parseDetail(QStringLiteral("Mapping SubClips to MasterClips..."));
    report(progress, QStringLiteral("Mapping clips to media…"), 0.72);
    AppLog::parseDetail(QStringLiteral("Found ") + count(st.mapping.usedMasterClipRefs.size()) +
                        QStringLiteral(" used MasterClips (") +
                        count(st.mapping.audioOnlyMasterClipRefs.size()) + QStringLiteral(" audio-only)"));

    AppLog::parseDetail(QStringLiteral("Determining used files..."));
    report(progress, QStringLiteral("Determining used files…"), 0.85);

    AppLog::parseDetail(QStringLiteral("Building reference chain..."));
    report(progress, QStringLiteral("Resolving references…"), 0.92);
    AppLog::parseDetail(QStringLiteral("Reference chain: ") + count(chain.resolvedCount) +
                        QStringLiteral(" MasterClips resolved via object refs"));
}

} // namespace

ProjectParser::ParseResult ProjectParser::parseXml(const QByteArray& utf8Xml, const QString& filePath,
                                                   const Progress& progress) {
    const std::string_view text(utf8Xml.constData(), static_cast<std::size_t>(utf8Xml.size()));
    return parseScanned(scanText(text, scanThreads(text.size())), filePath, progress,
                        scanThreads(text.size()) > 1);
}

namespace {

ProjectParser::ParseResult parseScanned(TextScan&& scan, const QString& filePath,
                                        const ProjectParser::Progress& progress, bool parallel) {
    using ParserError = ProjectParser::ParserError;
    ProjectParser::ParseResult result;
    result.projectName = projectNameOf(filePath);
    const MarkerIndex& index = scan.index;
    if (index.tooDense)
        throw ParserError(ParserError::Kind::invalidXML,
                          QStringLiteral("far more tagged lines than a project holds"));

    logOpening(scan.characters);
    reportOpening(progress);
    logExtracting();
    auto mediaProgress = [&](double f) { progress(QStringLiteral("Reading media files…"), 0.12 + 0.28 * f); };
    Stages st =
        runStages(std::move(scan.sequences), index, parallel,
                  progress ? std::function<void(double)>(mediaProgress) : std::function<void(double)>());

    ReferenceChain chain = st.chain->asReferenceChain();
    // The media's own names are read only when a clip stays unmatched: most projects never need them.
    auto mediaNames = std::make_shared<std::optional<IdMap<QStringList>>>();
    chain.mediaNamesOf = [&index, &st, mediaNames](const QString& masterClipID) {
        if (!*mediaNames)
            *mediaNames = readMediaNames(index);
        const QByteArray id = masterClipID.toUtf8();
        return st.chain->mediaNamesOf(viewOf(id), **mediaNames);
    };
    // Only timelines placed inside another timeline are nested: every timeline has a master clip.
    const qsizetype nestedSequences = st.chain->nestedSequenceCount(st.mapping.usedMasterClipRefs);
    reportStages(st, index, chain, nestedSequences, progress, result.warnings);

    const MediaTables& media = st.media.tables;
    const UsageInputs inputs{media,
                             st.masterClipNames,
                             static_cast<qsizetype>(st.sequences.sequenceIDs.size()),
                             static_cast<qsizetype>(st.clips.videoClipCounts.size()),
                             static_cast<qsizetype>(st.clips.audioClipCounts.size()),
                             st.clips.timelines,
                             st.mapping,
                             chain,
                             st.nameIndexes ? &*st.nameIndexes : nullptr};
    ReaderTask<QHash<QString, QString>> relative(
        [&] { return relativeCandidates(media.relativePathsByPath, filePath); }, parallel);
    UsageResult usage = UsageResolver(inputs).resolve(result.warnings);

    result.allMediaPaths = media.allPaths;
    result.usedMediaPaths = std::move(usage.usedMediaPaths);
    // A file in a preview or cache folder that a timeline uses is media like any other.
    for (const QString& path : st.media.heldBackPaths) {
        if (result.usedMediaPaths.contains(path))
            result.allMediaPaths.insert(path);
    }
    result.usageCountByPath = std::move(usage.usageCountByPath);
    result.audioOnlyPaths = std::move(usage.audioOnlyPaths);
    result.nestedSequenceCount = static_cast<int>(nestedSequences);
    result.sequenceNamesByPath = std::move(usage.sequenceNamesByPath);
    result.sequenceUsageByPath = std::move(usage.sequenceUsageByPath);
    result.unresolvedClipNames = std::move(usage.unresolvedClipNames);
    result.sequences = st.clips.timelines;
    for (const ImageSequence& stills : st.media.numberedStills) {
        if (result.allMediaPaths.contains(stills.firstFramePath))
            result.numberedStills.append(stills);
    }

    AppLog::parseComplete(result.projectName, result.allMediaPaths.size(), result.usedMediaPaths.size(),
                          result.allMediaPaths.size() - result.usedMediaPaths.size());
    for (const QString& w : std::as_const(result.warnings))
        AppLog::parserWarning(w);

    result.relativeCandidates = relative.get();
    result.linkedCompositions = media.linkedCompositions();
    result.sequenceNames = sequenceDisplayNamesSorted(result.sequences);
    // The stages' tables view the index's copies of the lines: both go together.
    releaseLater(std::make_pair(std::move(st), std::move(scan.index)), parallel);
    return result;
}

} // namespace

} // namespace tarnwick
