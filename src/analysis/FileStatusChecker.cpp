#include "analysis/FileStatusChecker.h"

#include "analysis/GrantSnapshot.h"
#include "analysis/StorageTypeDetector.h"
#include "analysis/VolumeAccess.h"
#include "platform/FileStatProbe.h"
#include "platform/Immortal.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/WatchdogPool.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>

#include <algorithm>

namespace tarnwick {

namespace {

const QSet<QString>& mediaExtensions() {
    // Checks run on workers a watchdog may abandon: the set outlives static destruction.
    static const Immortal<QSet<QString>> extensions(QSet<QString>{
        // video
        QStringLiteral("mov"), QStringLiteral("mp4"), QStringLiteral("m4v"), QStringLiteral("mxf"),
        QStringLiteral("avi"), QStringLiteral("mkv"), QStringLiteral("mts"), QStringLiteral("m2ts"),
        QStringLiteral("ts"), QStringLiteral("mpg"), QStringLiteral("mpeg"), QStringLiteral("m2v"),
        QStringLiteral("wmv"), QStringLiteral("flv"), QStringLiteral("webm"), QStringLiteral("3gp"),
        QStringLiteral("dv"), QStringLiteral("vob"), QStringLiteral("ogv"), QStringLiteral("mod"),
        QStringLiteral("tod"), QStringLiteral("r3d"), QStringLiteral("braw"), QStringLiteral("ari"),
        QStringLiteral("crm"), QStringLiteral("cine"), QStringLiteral("insv"), QStringLiteral("hevc"),
        QStringLiteral("h264"), QStringLiteral("264"), QStringLiteral("y4m"),
        // audio
        QStringLiteral("wav"), QStringLiteral("aif"), QStringLiteral("aiff"), QStringLiteral("aifc"),
        QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("aac"), QStringLiteral("flac"),
        QStringLiteral("ogg"), QStringLiteral("opus"), QStringLiteral("wma"), QStringLiteral("bwf"),
        QStringLiteral("caf"), QStringLiteral("ac3"), QStringLiteral("eac3"), QStringLiteral("mka"),
        // stills and sequences
        QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("tif"),
        QStringLiteral("tiff"), QStringLiteral("psd"), QStringLiteral("exr"), QStringLiteral("dpx"),
        QStringLiteral("tga"), QStringLiteral("bmp"), QStringLiteral("gif"), QStringLiteral("heic"),
        QStringLiteral("heif"), QStringLiteral("dng"), QStringLiteral("cr2"), QStringLiteral("cr3"),
        QStringLiteral("nef"), QStringLiteral("arw"), QStringLiteral("raf"), QStringLiteral("webp"),
        QStringLiteral("ai"), QStringLiteral("eps"), QStringLiteral("svg")});
    return extensions.get();
}

bool isRedClipInContainer(const QString& path) {
    if (!path.endsWith(QLatin1String(".r3d"), Qt::CaseInsensitive))
        return false;
    return text::lowered(path::pathExtension(path)) == QLatin1String("r3d") &&
           text::lowered(path::pathExtension(path::deletingLastPathComponent(path))) == QLatin1String("rdc");
}

} // namespace

FileStatusChecker::FileStatusChecker(std::shared_ptr<const FileStatProbe> probe)
    : m_probe(probe ? std::move(probe) : FileStatProbe::system()) {}

bool FileStatusChecker::isMediaExtension(const QString& extension) {
    return mediaExtensions().contains(text::lowered(extension));
}

FileStatusResult FileStatusChecker::makeFileStatusResult(const QString& path,
                                                         const RelativeCandidates& relativeCandidates,
                                                         const Options& options) const {
    // One stat answers existence, size and the device the storage type is looked up by.
    return resultFrom(path, m_probe->stat(path), relativeCandidates, options);
}

bool FileStatusChecker::isUnreachableFolder(const QString& folder) const {
    // A path below a folder that cannot be stat'ed, or is no folder, cannot be stat'ed either.
    const std::optional<FileFacts> facts = m_probe->stat(folder);
    return !facts || !facts->isDirectory;
}

FileStatusResult FileStatusChecker::makeResultInUnreachableFolder(
    const QString& path, const RelativeCandidates& relativeCandidates, const Options& options) const {
    return resultFrom(path, std::nullopt, relativeCandidates, options);
}

FileStatusResult FileStatusChecker::resultFrom(const QString& path, const std::optional<FileFacts>& facts,
                                               const RelativeCandidates& relativeCandidates,
                                               const Options& options) const {
    FileStatusResult result;
    result.path = path;
    result.storageType = StorageTypeDetector(options.mountTable).detect(path, facts);
    const RelativeCandidateList none;
    const RelativeCandidateList* alternates = &none;
    if (!relativeCandidates.isEmpty()) {
        const auto it = relativeCandidates.constFind(relativeCandidateKey(path));
        if (it != relativeCandidates.constEnd())
            alternates = &it.value();
    }
    const StatusDecision decision = decide(path, facts, *alternates, options);
    result.status = decision.status;
    result.resolvedPath = decision.resolvedPath;
    result.size = decision.size;
    result.facts = decision.facts;
    return result;
}

StorageType FileStatusChecker::detectStorageType(const QString& path, const Options& options) const {
    return StorageTypeDetector(options.mountTable).detect(path, m_probe->stat(path));
}

FileStatusChecker::StatusDecision FileStatusChecker::decide(const QString& path,
                                                            const std::optional<FileFacts>& facts,
                                                            const RelativeCandidateList& alternatePaths,
                                                            const Options& options) const {
    // The first candidate other than the path itself that exists, under either spelling (and, when
    // `granted`, that a saved grant covers).
    const auto existingAlternate = [&](bool granted) -> std::optional<StatusDecision> {
        for (const QString& alternate : alternatePaths) {
            if (alternate == path || (granted && !grants::grantedRoot(options.grantedRoots, alternate)))
                continue;
            if (const auto alternateFacts = m_probe->stat(alternate))
                return StatusDecision{MediaFileStatus::matching, alternate, alternateFacts->size,
                                      alternateFacts};
            if (const auto spelled = existingSpelling(alternate))
                return StatusDecision{MediaFileStatus::matching, spelled->first, spelled->second.size,
                                      spelled->second};
        }
        return std::nullopt;
    };
    if (options.isSandboxed && !grants::grantedRoot(options.grantedRoots, path)) {
        if (auto found = existingAlternate(true))
            return *found;
        if (volumeNeedingAccess(path))
            return {MediaFileStatus::needsAccess, path, 0};
    }
    // A name is its bytes here: a project may spell it composed while the disk holds it decomposed
    // (or the other way), and then the file is there under the spelling the disk has.
    const std::optional<std::pair<QString, FileFacts>> present =
        facts ? std::make_optional(std::make_pair(path, *facts)) : existingSpelling(path);
    if (present) {
        const auto& [at, atFacts] = *present;
        if (isRedClipInContainer(at))
            return {MediaFileStatus::online, at, folderSize(path::deletingLastPathComponent(at)), atFacts};
        return {MediaFileStatus::online, at, atFacts.size, atFacts};
    }
    if (options.ignoreFileExtension) {
        if (const auto found = findFileIgnoringExtension(path))
            return {MediaFileStatus::matching, *found, sizeOf(*found)};
    }
    if (auto found = existingAlternate(false))
        return *found;
    return {MediaFileStatus::offline, path, 0};
}

std::optional<std::pair<QString, FileFacts>> FileStatusChecker::existingSpelling(const QString& path) const {
    if (QtPrivate::isAscii(path))
        return std::nullopt;
    for (const auto form : {QString::NormalizationForm_C, QString::NormalizationForm_D}) {
        const QString spelled = path.normalized(form);
        if (spelled == path)
            continue;
        if (const auto spelledFacts = m_probe->stat(spelled))
            return std::make_pair(spelled, *spelledFacts);
    }
    return std::nullopt;
}

qint64 FileStatusChecker::sizeOf(const QString& path) const {
    const auto facts = m_probe->stat(path);
    return facts ? facts->size : 0;
}

qint64 FileStatusChecker::folderSize(const QString& folder) const {
    if (!QDir(folder).isReadable())
        return 0;
    // Each item once: links are not followed (they may reach far outside the container) and a
    // file reached under two names (a hard link) counts once.
    qint64 total = 0;
    QSet<std::pair<quint64, quint64>> counted;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        WatchdogPool::touchCurrent(); // a large container on a slow share is not a hung one
        const QString entry = it.next();
        if (it.fileInfo().isSymLink())
            continue;
        const auto facts = m_probe->stat(entry);
        if (facts && !counted.contains({facts->device, facts->inode})) {
            counted.insert({facts->device, facts->inode});
            total += facts->size;
        }
    }
    return total;
}

std::optional<QString> FileStatusChecker::findFileIgnoringExtension(const QString& path) const {
    const QString folder = path::deletingLastPathComponent(path);
    const QString ownName = path::lastPathComponent(path);
    const QString base = path::deletingPathExtension(ownName);
    QDir dir(folder);
    if (!dir.isReadable())
        return std::nullopt;
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        WatchdogPool::touchCurrent(); // a large folder on a slow share is not a hung one
        it.next();
        const QString name = it.fileName();
        // Sidecars (xmp, thm, lrv, ...), hidden files and folders share the base name but are not the clip.
        if (name == ownName || name.startsWith(QLatin1Char('.')) ||
            !isMediaExtension(path::pathExtension(name)) ||
            !text::canonicalEquals(path::deletingPathExtension(name), base))
            continue;
        names.append(name);
    }
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return text::compareScalars(a, b) < 0; });
    for (const QString& name : names) {
        const QString candidate = path::appendingPathComponent(folder, name);
        const auto facts = m_probe->stat(candidate);
        if (facts && facts->isRegularFile)
            return candidate;
    }
    return std::nullopt;
}

} // namespace tarnwick
