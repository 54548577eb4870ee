#include "analysis/UsageAggregator.h"

#include "analysis/ListStretches.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>

namespace tarnwick {

ContributionRule rawContributionRule() {
    return [](const ProjectFile& project) -> ProjectContribution {
        auto used = std::make_shared<QSet<QString>>(project.usedFiles.cbegin(), project.usedFiles.cend());
        auto audio =
            std::make_shared<QSet<QString>>(project.audioOnlyFiles.cbegin(), project.audioOnlyFiles.cend());
        return [used, audio, project](const QString& path) {
            const int raw = project.usageCountByPath.value(path, 0);
            if (raw < 1 && !used->contains(path))
                return PathContribution{};
            return PathContribution{raw >= 1 ? raw : 1, audio->contains(path),
                                    project.sequenceNamesByPath.value(path)};
        };
    };
}

QString UsageMap::key(const QString& path) {
    return text::nfc(path);
}

const PathUsage* UsageMap::find(const QString& path) const {
    const qsizetype* found = m_index.find(key(path));
    return found ? &m_usages[*found] : nullptr;
}

void UsageMap::reserve(qsizetype paths) {
    m_index.reserve(paths);
    m_paths.reserve(paths);
    m_usages.reserve(paths);
    m_origins.reserve(paths);
}

void UsageMap::add(const QString& path, const QString& projectName, const PathContribution& c,
                   PathOrigin origin) {
    // One look-up: a path met for the first time gets the next position.
    const QString k = key(path);
    QHash<QString, qsizetype>& index = m_index.part(k);
    const qsizetype known = index.size();
    qsizetype& slot = index[k];
    if (index.size() == known) {
        mergeContribution(m_usages[slot], projectName, c);
        return;
    }
    slot = m_paths.size();
    append(path, projectName, c, origin);
}

bool UsageMap::merge(const QString& k, const QString& projectName, const PathContribution& c) {
    const qsizetype* found = m_index.find(k);
    if (!found)
        return false;
    mergeContribution(m_usages[*found], projectName, c);
    return true;
}

void UsageMap::insert(const QString& k, const QString& path, const QString& projectName,
                      const PathContribution& c, PathOrigin origin) {
    m_index.part(k).insert(k, m_paths.size());
    append(path, projectName, c, origin);
}

namespace {

// Each path of the first `count` projects, in order.
std::vector<PathOrigin> pathOrigins(const QList<ProjectFile>& projects, qsizetype count) {
    std::vector<PathOrigin> origins;
    qsizetype paths = 0;
    for (const ProjectFile& project : projects)
        paths += project.mediaFiles.size();
    origins.reserve(std::size_t(paths));
    for (qsizetype p = 0; p < projects.size() && p < count; ++p) {
        for (qsizetype k = 0; k < projects[p].mediaFiles.size(); ++k)
            origins.push_back({int(p), k});
    }
    return origins;
}

} // namespace

void UsageMap::addProjects(const QList<ProjectFile>& projects,
                           const QList<ProjectContribution>& contributions) {
    const std::vector<PathOrigin> origins = pathOrigins(projects, contributions.size());
    const qsizetype total = qsizetype(origins.size());
    const auto pathAt = [&](qsizetype i) -> const QString& {
        return projects[origins[std::size_t(i)].project].mediaFiles[origins[std::size_t(i)].index];
    };
    // Each path's key, its index part and its contribution (the contributions only read their project).
    std::vector<QString> keys(static_cast<std::size_t>(total));
    std::vector<quint8> shards(static_cast<std::size_t>(total));
    std::vector<PathContribution> added(static_cast<std::size_t>(total));
    const ListStretches stretches(total);
    stretches.run([&](int, qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            const std::size_t n = std::size_t(i);
            keys[n] = key(pathAt(i));
            shards[n] = quint8(ShardedIndex::shardOf(keys[n]));
            added[n] = contributions[origins[n].project](pathAt(i));
        }
    });
    const std::vector<qsizetype> found = m_index.indexAll(
        total, [&](qsizetype i) -> const QString& { return keys[std::size_t(i)]; }, shards, stretches);
    keys = {};
    // The new paths' records at the positions add() would give them, made side by side.
    const qsizetype start = size();
    qsizetype next = start;
    std::vector<qsizetype> recordAt(static_cast<std::size_t>(total), -1);
    for (qsizetype i = 0; i < total; ++i) {
        if (found[std::size_t(i)] == -1 - i)
            recordAt[std::size_t(i)] = next++;
    }
    m_paths.resize(next);
    m_usages.resize(next);
    m_origins.resize(next);
    QList<QStringList> names; // one list per project, shared by its paths
    for (const ProjectFile& project : projects)
        names.append(QStringList{project.name});
    QString* paths = m_paths.data();
    PathUsage* usages = m_usages.data();
    PathOrigin* where = m_origins.data();
    stretches.run([&](int, qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            const std::size_t n = std::size_t(i);
            if (const qsizetype r = recordAt[n]; r >= 0) {
                const PathContribution& c = added[n];
                paths[r] = pathAt(i);
                usages[r] = PathUsage{c.count, c.audioOnly, names[origins[n].project], c.timelines};
                where[r] = origins[n];
            }
        }
    });
    if (next > start)
        m_firstNames = m_usages.last().projectNames;
    // The paths met before merge into their records in order, as add() merges them.
    for (qsizetype i = 0; i < total; ++i) {
        const qsizetype f = found[std::size_t(i)];
        if (f == -1 - i)
            continue;
        const qsizetype record = f >= 0 ? f : recordAt[std::size_t(-1 - f)];
        mergeContribution(m_usages[record], projects[origins[std::size_t(i)].project].name,
                          added[std::size_t(i)]);
    }
    m_index.settle(recordAt, stretches);
}

void UsageMap::append(const QString& path, const QString& projectName, const PathContribution& c,
                      PathOrigin origin) {
    m_paths.append(path);
    // The paths of one project share one list of its name until a merge adds another.
    if (m_firstNames.size() != 1 || m_firstNames.first() != projectName)
        m_firstNames = QStringList{projectName};
    m_usages.append(PathUsage{c.count, c.audioOnly, m_firstNames, c.timelines});
    m_origins.append(origin);
}

void mergeContribution(PathUsage& usage, const QString& projectName, const PathContribution& c) {
    if (c.count != 0)
        usage.isAudioOnly = usage.usageCount < 1 ? c.audioOnly : (usage.isAudioOnly && c.audioOnly);
    usage.usageCount += c.count;
    const bool named = std::any_of(usage.projectNames.cbegin(), usage.projectNames.cend(),
                                   [&](const QString& n) { return text::canonicalEquals(n, projectName); });
    if (!named)
        usage.projectNames.append(projectName);
    usage.sequenceNames.unite(c.timelines);
}

MediaUsageType usageTypeFor(const PathUsage& usage) {
    if (usage.usageCount == 0)
        return MediaUsageType::unused;
    return usage.isAudioOnly ? MediaUsageType::audioOnly : MediaUsageType::videoAndAudio;
}

QStringList sortedSequenceNames(const QSet<QString>& names) {
    QStringList list(names.cbegin(), names.cend());
    std::sort(list.begin(), list.end(),
              [](const QString& a, const QString& b) { return text::compareScalars(a, b) < 0; });
    return list;
}

QString KnownPathIndex::key(const QString& path) {
    return text::lowered(text::nfc(path));
}

KnownPathIndex::KnownPathIndex(const QList<MediaFile>& mediaFiles) {
    for (const MediaFile& file : mediaFiles) {
        if (file.matchedPath)
            m_index.insert(key(*file.matchedPath), file.path);
        for (const QString& alternative : file.alternativePaths)
            m_index.insert(key(alternative), file.path);
    }
}

const QString* KnownPathIndex::find(const QString& path) const {
    // Nothing to key against on a first import: no path is lower-cased for it.
    if (m_index.isEmpty())
        return nullptr;
    const auto it = m_index.constFind(key(path));
    return it == m_index.cend() ? nullptr : &*it;
}

void KnownPathIndex::insert(const QString& path, const QString& entryPath) {
    m_index.insert(key(path), entryPath);
}

UsageMap aggregateProjects(const QList<ProjectFile>& projects, const ContributionRule& rule) {
    QList<ProjectContribution> contributions;
    contributions.reserve(projects.size());
    for (const ProjectFile& project : projects)
        contributions.append(rule(project));
    return aggregateProjects(projects, contributions);
}

UsageMap aggregateProjects(const QList<ProjectFile>& projects,
                           const QList<ProjectContribution>& contributions) {
    UsageMap usage;
    usage.addProjects(projects, contributions);
    return usage;
}

int addProjectWithCrossReference(UsageMap& usage, KnownPathIndex& index, const ProjectFile& project,
                                 const ContributionRule& rule) {
    return addProjectWithCrossReference(usage, index, project, rule(project));
}

int addProjectWithCrossReference(UsageMap& usage, KnownPathIndex& index, const ProjectFile& project,
                                 const ProjectContribution& contribution, int projectIndex) {
    return addProjectWithCrossReference(usage, index, project, preparePaths(project, contribution),
                                        projectIndex);
}

PreparedPaths preparePaths(const ProjectFile& project, const ProjectContribution& contribution) {
    PreparedPaths prepared;
    prepared.keys.reserve(project.mediaFiles.size());
    prepared.contributions.reserve(project.mediaFiles.size());
    for (const QString& path : project.mediaFiles) {
        prepared.keys.append(UsageMap::key(path));
        prepared.contributions.append(contribution(path));
    }
    return prepared;
}

int addProjectWithCrossReference(UsageMap& usage, KnownPathIndex& index, const ProjectFile& project,
                                 const PreparedPaths& prepared, int projectIndex) {
    int crossReferenced = 0;
    const QStringList& paths = project.mediaFiles;
    const qsizetype count = std::min(paths.size(), prepared.keys.size());
    for (qsizetype k = 0; k < count; ++k) {
        const QString& path = paths[k];
        const PathContribution& c = prepared.contributions[k];
        // The map is asked once per path; the index (empty on a first import) only for a path the
        // map does not hold.
        if (usage.merge(prepared.keys[k], project.name, c))
            continue;
        const QString* existing = index.find(path);
        if (existing && usage.contains(*existing)) {
            const QString entryPath = *existing;
            usage.add(entryPath, project.name, c);
            index.insert(path, entryPath);
            AppLog::info(QStringLiteral("Cross-referenced: ") + path + QStringLiteral(" → existing entry ") +
                         entryPath + QStringLiteral(" via matchedPath"));
            ++crossReferenced;
            continue;
        }
        usage.insert(prepared.keys[k], path, project.name, c, {projectIndex, k});
    }
    return crossReferenced;
}

QHash<QString, MediaFile> entriesByPath(const QList<MediaFile>& mediaFiles) {
    QHash<QString, MediaFile> byPath;
    byPath.reserve(mediaFiles.size());
    for (const MediaFile& file : mediaFiles)
        byPath.insert(UsageMap::key(file.path), file);
    return byPath;
}

QStringList newPaths(const UsageMap& usage, const QHash<QString, MediaFile>& existing) {
    QStringList paths;
    for (qsizetype i = 0; i < usage.size(); ++i) {
        if (!existing.contains(UsageMap::key(usage.pathAt(i))))
            paths.append(usage.pathAt(i));
    }
    return paths;
}

MediaFile newMediaEntry(const QString& path) {
    MediaFile file;
    file.path = path;
    file.lastKnownPath = path;
    file.status = MediaFileStatus::checking;
    file.storageType = StorageType::local;
    return file;
}

MediaFile scannedMediaEntry(const FileStatusResult& result) {
    MediaFile file = newMediaEntry(result.path);
    file.size = result.size;
    file.status = result.status;
    file.storageType = result.storageType;
    if (result.resolvedPath != result.path)
        file.matchedPath = result.resolvedPath;
    if (result.status != MediaFileStatus::online)
        AppLog::detail(result.path, text(result.status));
    return file;
}

namespace {

// `take`: the scanned entry of a key, moved out of its table when the table is the caller's to give.
// The ranges of the map are built in parallel: `take` reads distinct keys only.
template <class Take>
QList<MediaFile> buildList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                           const Take& take) {
    QList<QList<MediaFile>> parts =
        mapRanges<QList<MediaFile>>(usage.size(), [&](qsizetype begin, qsizetype end) {
            QList<MediaFile> list;
            list.reserve(end - begin);
            for (qsizetype i = begin; i < end; ++i) {
                const QString& path = usage.pathAt(i);
                const PathUsage& u = usage.usageAt(i);
                const QString k = UsageMap::key(path);
                std::optional<MediaFile> known;
                if (const auto it = existing.constFind(k); it != existing.cend())
                    known = *it;
                else
                    known = take(i, k);
                MediaFile file = known ? std::move(*known) : newMediaEntry(path);
                file.usageCount = u.usageCount;
                file.projectNames = u.projectNames;
                file.sequenceNames = sortedSequenceNames(u.sequenceNames);
                file.usageType = usageTypeFor(u);
                list.append(std::move(file));
            }
            return list;
        });
    if (parts.size() == 1)
        return std::move(parts.first());
    QList<MediaFile> list;
    list.reserve(usage.size());
    for (QList<MediaFile>& part : parts) {
        for (MediaFile& file : part)
            list.append(std::move(file));
    }
    return list;
}

} // namespace

QList<MediaFile> buildMediaList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                                const QHash<QString, MediaFile>& scanned) {
    return buildList(usage, existing, [&](qsizetype, const QString& k) -> std::optional<MediaFile> {
        const auto it = scanned.constFind(k);
        return it == scanned.cend() ? std::nullopt : std::optional<MediaFile>(*it);
    });
}

QList<MediaFile> buildMediaList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                                QHash<QString, MediaFile>&& scanned) {
    // Detached once here, so the ranges' look-ups only read the table; each moves out the entries
    // of its own keys.
    scanned.detach();
    return buildList(usage, existing, [&](qsizetype, const QString& k) -> std::optional<MediaFile> {
        const auto it = scanned.constFind(k);
        return it == scanned.cend() ? std::nullopt
                                    : std::optional<MediaFile>(std::move(const_cast<MediaFile&>(*it)));
    });
}

QList<MediaFile> buildMediaList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                                std::vector<std::optional<MediaFile>>&& scanned) {
    return buildList(usage, existing, [&](qsizetype i, const QString&) -> std::optional<MediaFile> {
        return std::size_t(i) < scanned.size() ? std::move(scanned[std::size_t(i)]) : std::nullopt;
    });
}

RelativeCandidates mergedRelativeCandidates(const QList<ProjectFile>& projects) {
    RelativeCandidates merged;
    for (const ProjectFile& project : projects)
        addRelativeCandidates(merged, project);
    return merged;
}

void addRelativeCandidates(RelativeCandidates& merged, const ProjectFile& project) {
    for (auto it = project.relativeCandidates.cbegin(); it != project.relativeCandidates.cend(); ++it) {
        RelativeCandidateList& candidates = merged[relativeCandidateKey(it.key())];
        if (!candidates.contains(it.value()))
            candidates.append(it.value());
    }
}

namespace {

// `order` sorted stably by `less`: ranges sorted on several threads, then merged in range order
// (an equal element of an earlier range stays first).
template <class Less> void stableSortInRanges(std::vector<qsizetype>& order, const Less& less) {
    const QList<std::pair<qsizetype, qsizetype>> ranges = mapRanges<std::pair<qsizetype, qsizetype>>(
        qsizetype(order.size()), [&](qsizetype begin, qsizetype end) {
            std::stable_sort(order.begin() + begin, order.begin() + end, less);
            return std::pair(begin, end);
        });
    for (qsizetype r = 1; r < ranges.size(); ++r)
        std::inplace_merge(order.begin(), order.begin() + ranges[r].first, order.begin() + ranges[r].second,
                           less);
}

// Each path's sort key made by `keyOf`, in ranges on several threads.
template <class Key, class KeyOf>
std::vector<Key> keysInRanges(const QStringList& paths, const KeyOf& keyOf) {
    QList<std::vector<Key>> parts =
        mapRanges<std::vector<Key>>(paths.size(), [&](qsizetype begin, qsizetype end) {
            std::vector<Key> keys;
            keys.reserve(std::size_t(end - begin));
            keyOf(begin, end, keys);
            return keys;
        });
    if (parts.size() == 1)
        return std::move(parts.first());
    std::vector<Key> keys;
    keys.reserve(std::size_t(paths.size()));
    for (std::vector<Key>& part : parts)
        std::move(part.begin(), part.end(), std::back_inserter(keys));
    return keys;
}

} // namespace

std::vector<qsizetype> fileNameOrder(const QStringList& paths) {
    // One collation key per entry instead of a collator call per comparison (n log n calls over
    // 100,000 names is most of a second). Same order as text::localizedCaseInsensitiveCompare: the C
    // locale compares case-folded text, any other locale its case-insensitive collation keys.
    const QLocale locale;
    std::vector<qsizetype> order(std::size_t(paths.size()));
    std::iota(order.begin(), order.end(), 0);
    if (locale.language() == QLocale::C) {
        const std::vector<QString> keys =
            keysInRanges<QString>(paths, [&](qsizetype begin, qsizetype end, std::vector<QString>& out) {
                for (qsizetype i = begin; i < end; ++i)
                    out.push_back(text::nfc(path::lastPathComponent(paths[i])).toCaseFolded());
            });
        stableSortInRanges(
            order, [&](qsizetype a, qsizetype b) { return keys[std::size_t(a)] < keys[std::size_t(b)]; });
    } else {
        const std::vector<QCollatorSortKey> keys = keysInRanges<QCollatorSortKey>(
            paths, [&](qsizetype begin, qsizetype end, std::vector<QCollatorSortKey>& out) {
                QCollator collator(locale); // one per thread
                collator.setCaseSensitivity(Qt::CaseInsensitive);
                for (qsizetype i = begin; i < end; ++i)
                    out.push_back(collator.sortKey(text::nfc(path::lastPathComponent(paths[i]))));
            });
        stableSortInRanges(order, [&](qsizetype a, qsizetype b) {
            return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0;
        });
    }
    return order;
}

void applyOrder(QList<MediaFile>& mediaFiles, const std::vector<qsizetype>& order) {
    if (qsizetype(order.size()) != mediaFiles.size()) {
        QList<MediaFile> sorted;
        sorted.reserve(qsizetype(order.size()));
        for (qsizetype i : order)
            sorted.append(std::move(mediaFiles[i]));
        mediaFiles = std::move(sorted);
        return;
    }
    // A permutation is applied in place, one cycle at a time: a second list of a million records
    // would double the import's peak.
    std::vector<bool> placed(order.size());
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (placed[start])
            continue;
        MediaFile held = std::move(mediaFiles[qsizetype(start)]);
        std::size_t at = start;
        for (;;) {
            placed[at] = true;
            const auto from = std::size_t(order[at]);
            if (from == start) {
                mediaFiles[qsizetype(at)] = std::move(held);
                break;
            }
            mediaFiles[qsizetype(at)] = std::move(mediaFiles[qsizetype(from)]);
            at = from;
        }
    }
}

void sortByFileName(QList<MediaFile>& mediaFiles) {
    QStringList paths;
    paths.reserve(mediaFiles.size());
    for (const MediaFile& file : std::as_const(mediaFiles))
        paths.append(file.path);
    applyOrder(mediaFiles, fileNameOrder(paths));
}

} // namespace tarnwick
