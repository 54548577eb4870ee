#include "analysis/VolumeAccess.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QFileInfo>

#include <algorithm>

namespace tarnwick {

namespace {

const QString volumesPrefix = QStringLiteral("/Volumes/");

// "/Volumes/<name>" when the path lies under the volume folder.
std::optional<QString> volumeFolderOf(const QString& path) {
    if (!path.startsWith(volumesPrefix))
        return std::nullopt;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return std::nullopt;
    return volumesPrefix + parts[1];
}

} // namespace

std::optional<QString> volumeNeedingAccess(const QString& path) {
    const auto candidate = volumeFolderOf(path);
    if (!candidate || !QFileInfo::exists(*candidate))
        return std::nullopt;
    // The start-up volume's entry is a link to "/".
    if (path::resolvingSymlinksInPath(*candidate) == QLatin1String("/"))
        return std::nullopt;
    return candidate;
}

QUrl volumeRoot(const QString& path) {
    if (const auto volume = volumeFolderOf(path))
        return QUrl::fromLocalFile(*volume);
    return QUrl::fromLocalFile(path::deletingLastPathComponent(path));
}

QStringList volumeRootsNeedingAccess(const QList<MediaFile>& mediaFiles) {
    QStringList roots;
    for (const MediaFile& file : mediaFiles) {
        if (file.status == MediaFileStatus::needsAccess)
            roots.append(volumeRoot(file.path).toLocalFile());
    }
    std::sort(roots.begin(), roots.end(),
              [](const QString& a, const QString& b) { return text::compareScalars(a, b) < 0; });
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

} // namespace tarnwick
