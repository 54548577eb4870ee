#include "analysis/ProjectImporter.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "readers/ProjectParser.h"

// The project records an import makes from what the reader gave, and the key it matches them by.
namespace tarnwick {

ParsedProject ProjectImporter::parseWithProjectParser(const QUrl& url,
                                                      const ParallelProjectParse::Progress& progress) {
    const ProjectParser parser;
    return parsedProject(url, parser.parse(url.toLocalFile(), progress));
}

ParsedProject ProjectImporter::parsedProject(const QUrl& url, const ProjectParser::ParseResult& result) {
    ParsedProject parsed;
    ProjectFile& p = parsed.project;
    p.url = url;
    p.name = result.projectName;
    p.mediaFiles = QStringList(result.allMediaPaths.cbegin(), result.allMediaPaths.cend());
    p.usedFiles = QStringList(result.usedMediaPaths.cbegin(), result.usedMediaPaths.cend());
    p.audioOnlyFiles = QStringList(result.audioOnlyPaths.cbegin(), result.audioOnlyPaths.cend());
    p.usageCountByPath = result.usageCountByPath;
    p.sequenceNamesByPath = result.sequenceNamesByPath;
    p.sequenceNames = result.sequenceNames;
    p.sequences = result.sequences;
    p.sequenceUsageByPath = result.sequenceUsageByPath;
    p.relativeCandidates = result.relativeCandidates;
    p.nestedSequenceCount = result.nestedSequenceCount;
    p.parseError = result.error;
    p.parseWarnings = result.warnings;
    p.unresolvedClipNames = result.unresolvedClipNames;
    p.numberedStills = result.numberedStills;
    p.linkedCompositions = result.linkedCompositions;
    parsed.mediaPathCount = result.allMediaPaths.size();
    parsed.usedPathCount = result.usedMediaPaths.size();
    return parsed;
}

ProjectFile ProjectImporter::failedProject(const QUrl& url, const QString& error) {
    ProjectFile p;
    p.url = url;
    p.name = path::deletingPathExtension(path::lastPathComponent(url.toLocalFile()));
    p.parseError = error;
    return p;
}

QString ProjectImporter::importKey(const QUrl& url) {
    return text::lowered(text::nfc(path::resolvingSymlinksInPath(url.toLocalFile())));
}

} // namespace tarnwick
