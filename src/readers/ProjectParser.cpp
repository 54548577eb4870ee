#include "readers/ProjectParser.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "readers/PrprojClipChain.h"
#include "readers/PrprojDecompression.h"
#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojMediaScan.h"
#include "readers/PrprojRelativePath.h"
#include "readers/PrprojTimelineScan.h"
#include "readers/PrprojUsageResolver.h"
#include "readers/PrprojUtf8.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

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

QString count(qint64 n) { return QString::number(n); }

} // namespace

QByteArray ProjectParser::readAndDecompressUtf8(const QString& filePath) {
    QFile file(filePath);
    if (QFileInfo(filePath).isDir())
        throw FileReadError(filePath, QStringLiteral("Is a directory"));
    if (!file.open(QIODevice::ReadOnly))
        throw FileReadError(filePath, file.errorString());
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileReadError(filePath, file.errorString());
    AppLog::debug(QStringLiteral("Read ") + count(data.size()) + QStringLiteral(" bytes from ") +
                  path::lastPathComponent(filePath));
    std::optional<QByteArray> xml = decompressProjectData(data);
    if (!xml)
        throw ParserError::decompressionFailed();
    return std::move(*xml);
}

QString ProjectParser::readAndDecompress(const QString& filePath) const {
    return QString::fromUtf8(readAndDecompressUtf8(filePath));
}

ProjectParser::ParseResult ProjectParser::parse(const QString& filePath, const Progress& progress) const {
    const QString name = projectNameOf(filePath);
    AppLog::parseStarted(name);
    AppLog::parseDetail(QStringLiteral("Decompressing..."));
    report(progress, QStringLiteral("Decompressing…"), 0.02);
    QByteArray xml;
    try {
        xml = readAndDecompressUtf8(filePath);
    } catch (const Error& e) {
        AppLog::parseFailed(name, e.description());
        throw;
    }
    return parseXml(xml, filePath, progress);
}

ProjectParser::ParseResult ProjectParser::parseXml(const QByteArray& utf8Xml, const QString& filePath,
                                                   const Progress& progress) {
    ParseResult result;
    result.projectName = projectNameOf(filePath);
    const std::string_view text(utf8Xml.constData(), static_cast<std::size_t>(utf8Xml.size()));
    const MarkerIndex index = indexMarkers(text);

    AppLog::parseDetail(QStringLiteral("Decompressed, XML length: ") +
                        count(static_cast<qint64>(countCharacters(text, index.crlfPairs))) +
                        QStringLiteral(" characters"));
    report(progress, QStringLiteral("Reading project…"), 0.08);

    AppLog::parseDetail(QStringLiteral("Extracting media files..."));
    std::function<void(double)> mediaProgress;
    if (progress)
        mediaProgress = [&](double f) { progress(QStringLiteral("Reading media files…"), 0.12 + 0.28 * f); };
    const MediaScan media = scanMediaBlocks(index, mediaProgress);
    AppLog::parseDetail(QStringLiteral("Found ") + count(media.tables.allPaths.size()) +
                        QStringLiteral(" unique media files"));
    if (media.tables.allPaths.isEmpty() && (index.markersInText & bit(mediaBlank))) {
        result.warnings.append(QStringLiteral("Found Media elements but no file paths - possible parsing issue"));
        AppLog::parserWarning(QStringLiteral("Found Media elements but no file paths extracted"));
    }

    AppLog::parseDetail(QStringLiteral("Building MasterClip map..."));
    report(progress, QStringLiteral("Building clip map…"), 0.45);
    const QHash<QString, QString> masterClipNames = scanMasterClipNames(index);
    AppLog::parseDetail(QStringLiteral("Found ") + count(masterClipNames.size()) + QStringLiteral(" MasterClips"));

    AppLog::parseDetail(QStringLiteral("Finding sequences..."));
    report(progress, QStringLiteral("Finding sequences…"), 0.55);
    const SequenceScan sequences = scanSequences(text, index);
    result.nestedSequenceCount = static_cast<int>(sequences.nestedSequenceCount);
    AppLog::parseDetail(QStringLiteral("Found ") + count(static_cast<qint64>(sequences.sequenceIDs.size())) +
                        QStringLiteral(" sequences (") + count(result.nestedSequenceCount) +
                        QStringLiteral(" nested)"));

    AppLog::parseDetail(QStringLiteral("Finding clips on timelines..."));
    report(progress, QStringLiteral("Finding timeline clips…"), 0.62);
    TimelineClips clips = findTimelineClipReferences(index, sequences.sequenceIDs);
    AppLog::parseDetail(QStringLiteral("Found ") + count(static_cast<qint64>(clips.videoClipCounts.size())) +
                        QStringLiteral(" video clips, ") + count(static_cast<qint64>(clips.audioClipCounts.size())) +
                        QStringLiteral(" audio clips on timelines"));

    AppLog::parseDetail(QStringLiteral("Mapping SubClips to MasterClips..."));
    report(progress, QStringLiteral("Mapping clips to media…"), 0.72);
    const MasterClipMapping mapping = mapSubClipsToMasterClips(clips, index);
    AppLog::parseDetail(QStringLiteral("Found ") + count(mapping.usedMasterClipRefs.size()) +
                        QStringLiteral(" used MasterClips (") + count(mapping.audioOnlyMasterClipRefs.size()) +
                        QStringLiteral(" audio-only)"));

    AppLog::parseDetail(QStringLiteral("Determining used files..."));
    report(progress, QStringLiteral("Determining used files…"), 0.85);

    AppLog::parseDetail(QStringLiteral("Building reference chain..."));
    report(progress, QStringLiteral("Resolving references…"), 0.92);
    const MasterClipMediaChain chainIndex(index, media.pathsByMediaUID);
    const ReferenceChain chain = chainIndex.asReferenceChain();
    AppLog::parseDetail(QStringLiteral("Reference chain: ") + count(chain.resolvedCount) +
                        QStringLiteral(" MasterClips resolved via object refs"));

    const UsageInputs inputs{media.tables,
                             masterClipNames,
                             static_cast<qsizetype>(sequences.sequenceIDs.size()),
                             static_cast<qsizetype>(clips.videoClipCounts.size()),
                             static_cast<qsizetype>(clips.audioClipCounts.size()),
                             clips.timelines,
                             mapping,
                             chain};
    UsageResult usage = UsageResolver(inputs).resolve(result.warnings);

    result.allMediaPaths = media.tables.allPaths;
    result.usedMediaPaths = std::move(usage.usedMediaPaths);
    result.usageCountByPath = std::move(usage.usageCountByPath);
    result.audioOnlyPaths = std::move(usage.audioOnlyPaths);
    result.sequenceNamesByPath = std::move(usage.sequenceNamesByPath);
    result.sequenceUsageByPath = std::move(usage.sequenceUsageByPath);
    result.sequences = std::move(clips.timelines);

    AppLog::parseComplete(result.projectName, result.allMediaPaths.size(), result.usedMediaPaths.size(),
                          result.allMediaPaths.size() - result.usedMediaPaths.size());
    for (const QString& w : std::as_const(result.warnings))
        AppLog::parserWarning(w);

    result.relativeCandidates = relativeCandidates(media.tables.relativePathsByPath, filePath);
    result.sequenceNames = sequenceDisplayNamesSorted(result.sequences);
    return result;
}

} // namespace tarnwick
