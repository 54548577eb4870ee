#include "ui/preview/ClipKind.h"

#include "model/MediaFile.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/common/ViewHelpers.h"

#include <QFileInfo>

namespace tarnwick {

namespace {

QString lowerExtension(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

bool fileExists(const QString& path) {
    return QFileInfo::exists(path);
}

} // namespace

const QSet<QString>& clipVideoExtensions() {
    static const QSet<QString> set{"mov",  "mp4", "m4v",  "mxf", "avi", "mts",
                                   "m2ts", "mpg", "mpeg", "mkv", "m2v"};
    return set;
}

const QSet<QString>& clipImageExtensions() {
    static const QSet<QString> set{"jpg", "jpeg", "png", "heic", "heif", "tiff", "tif", "gif",
                                   "bmp", "webp", "dng", "cr2",  "cr3",  "arw",  "nef", "raf"};
    return set;
}

const QSet<QString>& clipAudioExtensions() {
    static const QSet<QString> set{"wav", "aif", "aiff", "mp3", "m4a", "aac", "flac", "caf"};
    return set;
}

ClipKind mediaKind(const MediaFile& file) {
    if (file.proxyPath)
        return ClipKind::video;
    const QString extension = lowerExtension(file.path);
    if (clipVideoExtensions().contains(extension))
        return ClipKind::video;
    if (clipImageExtensions().contains(extension))
        return ClipKind::image;
    if (clipAudioExtensions().contains(extension))
        return ClipKind::audio;
    return ClipKind::other;
}

QUrl grantedFileURL(const QString& path) {
    return SecurityScopedAccess::shared().ensureAccess(path).value_or(QUrl::fromLocalFile(path));
}

std::optional<QUrl> playableVideoURL(const MediaFile& file, const PlayableURLResolver& resolve,
                                     const std::function<bool(const QString&)>& exists) {
    const auto present = exists ? exists : fileExists;
    if (file.proxyPath && present(*file.proxyPath))
        return resolve(*file.proxyPath);
    if (!file.isOnDisk())
        return std::nullopt;
    const QString path = standingPath(file);
    if (!clipVideoExtensions().contains(lowerExtension(path)))
        return std::nullopt;
    return resolve(path);
}

std::optional<QUrl> playableAudioURL(const MediaFile& file, const PlayableURLResolver& resolve,
                                     const std::function<bool(const QString&)>& exists) {
    if (auto video = playableVideoURL(file, resolve, exists))
        return video;
    if (!file.isOnDisk() || !clipAudioExtensions().contains(lowerExtension(file.path)))
        return std::nullopt;
    return resolve(standingPath(file));
}

} // namespace tarnwick
