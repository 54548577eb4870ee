#include "analysis/LowerPathCache.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QDir>

#include <algorithm>

namespace tarnwick {

namespace {

void appendDistinct(QStringList& keys, const QString& key) {
    if (!keys.contains(key))
        keys.append(key);
}

QString absoluteStandardLocation(const QString& location) {
    if (location.isEmpty())
        return {};
    const QString absolute =
        location.startsWith(QLatin1Char('/')) ? location : QDir::currentPath() + QLatin1Char('/') + location;
    return path::standardizingPath(absolute);
}

// Drops the keys of entries that left the list; only worth a pass when many stale keys piled up.
template <class Keys> void keepLive(QHash<QUuid, Keys>& table, const QList<MediaFile>& mediaFiles) {
    if (table.size() <= 2 * mediaFiles.size() + 64)
        return;
    QHash<QUuid, Keys> live;
    live.reserve(std::min(table.size(), mediaFiles.size()));
    for (const MediaFile& file : mediaFiles) {
        auto found = table.find(file.id);
        if (found != table.end())
            live.insert(file.id, std::move(found.value()));
    }
    table = std::move(live);
}

} // namespace

QString LowerPathCache::lowerKey(const QString& path) {
    return text::nfc(text::lowered(path));
}

LowerPathCache::PathKeys& LowerPathCache::pathKeys(const MediaFile& file, const QString* lowerPath) {
    auto found = m_entries.find(file.id);
    if (found != m_entries.end() && found->path == file.path && found->matchedPath == file.matchedPath &&
        found->alternativePaths == file.alternativePaths)
        return found.value();

    PathKeys keys{file.path, file.matchedPath, file.alternativePaths, {}};
    keys.distinctKeys.append(lowerPath ? *lowerPath : lowerKey(file.path));
    for (const QString& alternative : file.alternativePaths)
        appendDistinct(keys.distinctKeys, lowerKey(alternative));
    if (file.matchedPath)
        appendDistinct(keys.distinctKeys, lowerKey(*file.matchedPath));
    if (found != m_entries.end()) {
        *found = std::move(keys);
        return found.value();
    }
    return m_entries.emplace(file.id, std::move(keys)).value();
}

const MediaPathKeys& LowerPathCache::keys(const MediaFile& file) {
    const QString& location = file.matchedPath.value_or(file.path);
    MediaPathKeys& keys = m_locations[file.id];
    if (keys.hasLowerLocation && keys.location == location)
        return keys;
    if (keys.location != location)
        keys = MediaPathKeys{location, {}, {}, false, false};
    const QString standard = absoluteStandardLocation(location);
    // Most paths are already absolute and standard: their location shares the path's key.
    keys.lowerLocation = standard == file.path ? distinctKeys(file).first() : lowerKey(standard);
    keys.hasLowerLocation = true;
    return keys;
}

const QStringList& LowerPathCache::distinctKeys(const MediaFile& file) {
    return pathKeys(file).distinctKeys;
}

const QStringList& LowerPathCache::distinctKeys(const MediaFile& file, const QString& lowerPath) {
    return pathKeys(file, &lowerPath).distinctKeys;
}

void LowerPathCache::reserve(qsizetype entries) {
    m_entries.reserve(entries);
}

const QStringList& LowerPathCache::projectPaths(const ProjectFile& project) {
    auto found = m_projects.find(project.id);
    if (found != m_projects.end() && found->source == project.mediaFiles)
        return found->lowered;
    ProjectKeys keys{project.mediaFiles, {}};
    keys.lowered.reserve(project.mediaFiles.size());
    for (const QString& path : project.mediaFiles)
        keys.lowered.append(lowerKey(path));
    if (found != m_projects.end()) {
        *found = std::move(keys);
        return found->lowered;
    }
    return m_projects.emplace(project.id, std::move(keys)).value().lowered;
}

void LowerPathCache::setCanonicalLocation(const QUuid& id, const QString& location, QString lowerCanonical) {
    const auto found = m_locations.find(id);
    if (found == m_locations.end() || found->location != location)
        return;
    found->lowerCanonicalLocation = std::move(lowerCanonical);
    found->canonicalResolved = true;
}

void LowerPathCache::prune(const QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects) {
    keepLive(m_entries, mediaFiles);
    keepLive(m_locations, mediaFiles);
    if (m_projects.size() > projects.size()) {
        QHash<QUuid, ProjectKeys> live;
        for (const ProjectFile& project : projects) {
            auto found = m_projects.find(project.id);
            if (found != m_projects.end())
                live.insert(project.id, std::move(found.value()));
        }
        m_projects = std::move(live);
    }
}

} // namespace tarnwick
