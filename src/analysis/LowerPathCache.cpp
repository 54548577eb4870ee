#include "analysis/LowerPathCache.h"

#include "analysis/UsageAggregator.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/ThreadPools.h"

#include <QDir>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

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

bool isCurrent(const LowerPathCache::PathKeys& keys, const MediaFile& file) {
    return keys.path == file.path && keys.matchedPath == file.matchedPath &&
           keys.alternativePaths == file.alternativePaths;
}

} // namespace

QString LowerPathCache::lowerKey(const QString& path) {
    return text::nfc(text::lowered(path));
}

LowerPathCache::PathKeys LowerPathCache::makeKeys(const MediaFile& file, const QString* lowerPath) {
    PathKeys keys{file.path, file.matchedPath, file.alternativePaths, {}};
    keys.distinctKeys.append(lowerPath ? *lowerPath : lowerKey(file.path));
    for (const QString& alternative : file.alternativePaths)
        appendDistinct(keys.distinctKeys, lowerKey(alternative));
    if (file.matchedPath)
        appendDistinct(keys.distinctKeys, lowerKey(*file.matchedPath));
    return keys;
}

const LowerPathCache::PathKeys* LowerPathCache::currentKeys(const MediaFile& file) const {
    const EntryTable& table = m_entries[shardOf(file.id)];
    const auto found = table.constFind(file.id);
    return found != table.cend() && isCurrent(found.value(), file) ? &found.value() : nullptr;
}

void LowerPathCache::storeAll(QList<MadeKeys>& made) {
    // One task per shard, the first on this thread; each passes over all the keys made and takes its
    // own shard's ones.
    qsizetype count = 0;
    for (const MadeKeys& part : made)
        count += qsizetype(part.size());
    const auto fill = [&](std::size_t first, std::size_t step) {
        for (MadeKeys& part : made) {
            for (auto& [id, keys] : part) {
                const std::size_t shard = shardOf(id);
                if (shard % step == first)
                    m_entries[shard].insert(id, std::move(keys));
            }
        }
    };
    if (count < 8192) {
        fill(0, 1);
        return;
    }
    QList<QFuture<void>> others;
    for (std::size_t first = 1; first < entryShards; ++first)
        others.append(QtConcurrent::run(&splitWorkPool(), [&fill, first] { fill(first, entryShards); }));
    fill(0, entryShards);
    for (QFuture<void>& other : others)
        other.waitForFinished();
}

qsizetype LowerPathCache::entryCount() const {
    qsizetype count = 0;
    for (const EntryTable& table : m_entries)
        count += table.size();
    return count;
}

LowerPathCache::PathKeys& LowerPathCache::pathKeys(const MediaFile& file, const QString* lowerPath) {
    EntryTable& table = m_entries[shardOf(file.id)];
    auto found = table.find(file.id);
    if (found != table.end() && isCurrent(found.value(), file))
        return found.value();
    PathKeys keys = makeKeys(file, lowerPath);
    if (found != table.end()) {
        *found = std::move(keys);
        return found.value();
    }
    return table.emplace(file.id, std::move(keys)).value();
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
    // Ids are random: each shard gets about its share.
    for (EntryTable& table : m_entries)
        table.reserve(entries / qsizetype(entryShards) + 1);
}

const QStringList& LowerPathCache::projectPaths(const ProjectFile& project) {
    auto found = m_projects.find(project.id);
    if (found != m_projects.end() && found->source == project.mediaFiles)
        return found->lowered;
    // A list of a million clips is lowered in ranges on several threads, each writing its own slots.
    ProjectKeys keys{project.mediaFiles, QStringList(project.mediaFiles.size())};
    QString* lowered = keys.lowered.data();
    mapRanges<bool>(project.mediaFiles.size(), [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            lowered[i] = lowerKey(project.mediaFiles[i]);
        return true;
    });
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

void LowerPathCache::pruneEntries(const QList<MediaFile>& mediaFiles) {
    if (entryCount() <= 2 * mediaFiles.size() + 64)
        return;
    std::array<EntryTable, entryShards> live;
    for (const MediaFile& file : mediaFiles) {
        const std::size_t shard = shardOf(file.id);
        auto found = m_entries[shard].find(file.id);
        if (found != m_entries[shard].end())
            live[shard].insert(file.id, std::move(found.value()));
    }
    m_entries = std::move(live);
}

void LowerPathCache::prune(const QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects) {
    pruneEntries(mediaFiles);
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
