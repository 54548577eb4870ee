#include "ui/common/ViewHelpers.h"

#include "ui/brand/BrandPalette.h"

#include <QSet>

#include <algorithm>

namespace tarnwick {

QString standingPath(const MediaFile& file) {
    if (file.transcodedPath)
        return *file.transcodedPath;
    return file.matchedPath.value_or(file.path);
}

QString previewSource(const MediaFile& file) {
    return file.proxyPath.value_or(QString()) + u'\n' + (file.isOnDisk() ? standingPath(file) : QString());
}

QColor statusColor(const MediaFile& file) {
    switch (file.status) {
    case MediaFileStatus::checking:
        return Color::brandTextTertiary();
    case MediaFileStatus::online:
        return file.matchedPath ? Color::brandCyan() : Color::brandGreen();
    case MediaFileStatus::matching:
        return Color::brandCyan();
    case MediaFileStatus::offline:
        return Color::brandRed();
    case MediaFileStatus::networkOffline:
        return Color::brandAmber();
    case MediaFileStatus::needsAccess:
        return Color::brandAccent();
    case MediaFileStatus::inRecycleBin:
        return Color::brandAmber();
    case MediaFileStatus::deleted:
        return Color::brandTextMuted();
    case MediaFileStatus::moved:
        return Color::brandAccent();
    case MediaFileStatus::transcoded:
        return Color::brandAccentDeep();
    case MediaFileStatus::error:
        return Color::brandRed();
    }
    return Color::brandTextTertiary();
}

QColor brandColor(StorageType storage) {
    switch (storage) {
    case StorageType::local:
        return Color::brandTextTertiary();
    case StorageType::network:
    case StorageType::dropbox:
    case StorageType::iCloud:
    case StorageType::oneDrive:
        return Color::brandCyan();
    case StorageType::googleDrive:
        return Color::brandGreen();
    case StorageType::unknown:
        return Color::brandTextMuted();
    }
    return Color::brandTextMuted();
}

MediaKind mediaKindFromExtension(const QString& fileExtension) {
    static const QSet<QString> video{"mp4",  "mov", "avi",  "mkv",    "m4v", "mxf", "mpg",
                                     "mpeg", "wmv", "webm", "prores", "r3d", "braw"};
    static const QSet<QString> audio{"mp3", "wav", "aac", "m4a", "flac", "aiff", "ogg", "wma"};
    static const QSet<QString> image{"jpg", "jpeg", "png", "gif", "tiff", "tif",  "bmp",
                                     "psd", "raw",  "cr2", "nef", "arw",  "heic", "webp"};
    const QString ext = fileExtension.toLower();
    if (video.contains(ext))
        return MediaKind::video;
    if (audio.contains(ext))
        return MediaKind::audio;
    if (image.contains(ext))
        return MediaKind::image;
    return MediaKind::other;
}

QList<TextRun> highlightedPath(const QString& path, int matching, const QColor& color) {
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const int n = int(parts.size());
    const int m = std::clamp(matching, 0, n);
    const QString tail = parts.mid(n - m).join(QLatin1Char('/'));
    if (m == 0 || tail.isEmpty())
        return {{path, Color::withOpacity(color, 0.6), false}};
    if (m < n) {
        const QString head = QLatin1Char('/') + parts.mid(0, n - m).join(QLatin1Char('/'));
        return {{head + QLatin1Char('/'), Color::withOpacity(color, 0.4), false}, {tail, color, true}};
    }
    return {{tail, color, true}};
}

QString richText(const QList<TextRun>& runs) {
    QString html;
    for (const TextRun& run : runs) {
        html +=
            QStringLiteral("<span style=\"color:rgba(%1,%2,%3,%4);%5\">%6</span>")
                .arg(QString::number(run.color.red()), QString::number(run.color.green()),
                     QString::number(run.color.blue()), QString::number(run.color.alphaF(), 'f', 2),
                     run.bold ? QStringLiteral("font-weight:bold;") : QString(), run.text.toHtmlEscaped());
    }
    return html;
}

const QStringList& presetIgnorePatterns() {
    static const QStringList patterns{QStringLiteral("stringout"), QStringLiteral("dailies"),
                                      QStringLiteral("sync")};
    return patterns;
}

void applyPresetRule(int index, const std::function<void(const QString&)>& addRule) {
    if (index >= 0 && index < presetIgnorePatterns().size() && addRule)
        addRule(presetIgnorePatterns().at(index));
}

QList<OfflineMatchGroup> OfflineMatchGroup::groups(const QHash<QString, QList<ScoredMatch>>& byPath) {
    QList<OfflineMatchGroup> out;
    out.reserve(byPath.size());
    for (auto it = byPath.cbegin(); it != byPath.cend(); ++it) {
        QList<ScoredMatch> candidates = it.value();
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const ScoredMatch& a, const ScoredMatch& b) {
                             return a.matchScore.score > b.matchScore.score;
                         });
        out.append({QUuid::createUuid(), it.key(), std::move(candidates)});
    }
    return out;
}

QList<DiscoveredProjectFolder>
discoveredProjectList(const QHash<QString, QList<DiscoveredProject>>& byFolder) {
    QList<DiscoveredProjectFolder> out;
    out.reserve(byFolder.size());
    for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it) {
        QList<DiscoveredProject> projects = it.value();
        std::stable_sort(projects.begin(), projects.end(),
                         [](const DiscoveredProject& a, const DiscoveredProject& b) {
                             return a.fileName.normalized(QString::NormalizationForm_C) <
                                    b.fileName.normalized(QString::NormalizationForm_C);
                         });
        out.append({it.key(), std::move(projects)});
    }
    return out;
}

QString deleteSafetyMessage(const QStringList& reasons) {
    if (reasons.isEmpty())
        return {};
    QString message = reasons.first();
    if (reasons.size() >= 2)
        message += QStringLiteral("\n\n…and %1 more conflict(s)").arg(reasons.size() - 1);
    return message + QStringLiteral("\n\nDeleting this file may break that project.");
}

} // namespace tarnwick
