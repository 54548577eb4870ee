#include "analysis/AfterEffectsLinkFallback.h"

#include "analysis/UsageAggregator.h"
#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QSet>

#include <algorithm>

namespace tarnwick {

bool AfterEffectsLinkFallback::isAfterEffectsProject(const QString& path) {
    // Cheap test first: this runs over every entry of the list.
    if (!path.contains(QLatin1String(".aep"), Qt::CaseInsensitive))
        return false;
    return text::lowered(path::pathExtension(path)) == QLatin1String("aep");
}

QHash<QString, AEPLinkStatus> AfterEffectsLinkFallback::unresolvedLinks(const QList<MediaFile>& mediaFiles) {
    QHash<QString, AEPLinkStatus> links;
    for (const MediaFile& file : mediaFiles) {
        if (isAfterEffectsProject(file.path))
            links.insert(file.path, AEPLinkStatus::missing(file.path));
    }
    return links;
}

int AfterEffectsLinkFallback::flagMediaOfProjectsWithMissingAEP(
    QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects,
    const QHash<QString, AEPLinkStatus>& linkStatuses) {
    QSet<QString> missing;
    for (auto it = linkStatuses.cbegin(); it != linkStatuses.cend(); ++it) {
        if (it->kind != AEPLinkStatus::Kind::resolved)
            missing.insert(KnownPathIndex::key(it.key()));
    }
    if (missing.isEmpty())
        return 0;

    QSet<QString> uncertainProjects;
    for (const ProjectFile& project : projects) {
        const bool links =
            std::any_of(project.mediaFiles.cbegin(), project.mediaFiles.cend(),
                        [&](const QString& p) { return missing.contains(KnownPathIndex::key(p)); });
        if (links)
            uncertainProjects.insert(project.name);
    }
    if (uncertainProjects.isEmpty())
        return 0;

    int flagged = 0;
    for (MediaFile& file : mediaFiles) {
        if (isAfterEffectsProject(file.path) || file.usageCount != 0 || file.isAEFootage)
            continue;
        const bool inUncertain = std::any_of(file.projectNames.cbegin(), file.projectNames.cend(),
                                             [&](const QString& n) { return uncertainProjects.contains(n); });
        if (inUncertain) {
            file.hasUnresolvedAELink = true;
            ++flagged;
        }
    }
    AppLog::warning(QStringLiteral("%1 AEP file(s) missing — flagged uncertain files in %2 project(s)")
                        .arg(missing.size())
                        .arg(uncertainProjects.size()));
    return flagged;
}

} // namespace tarnwick
