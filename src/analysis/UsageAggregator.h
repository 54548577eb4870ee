#pragma once

#include "analysis/FileStatusChecking.h"
#include "analysis/ShardedIndex.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "platform/ThreadPools.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include <functional>

namespace tarnwick {

class ListStretches;

// Summed usage of one exact media path over the projects.
struct PathUsage {
    int usageCount = 0;
    bool isAudioOnly = false;
    QStringList projectNames; // first met first, no repeats
    QSet<QString> sequenceNames;
};

// What one project adds to one of its paths under the timeline policy.
struct PathContribution {
    int count = 0;
    bool audioOnly = false;
    QSet<QString> timelines;
};

// Made once per project (so the policy snapshot is read once), then asked per path.
using ProjectContribution = std::function<PathContribution(const QString& path)>;
using ContributionRule = std::function<ProjectContribution(const ProjectFile&)>;

// The reader's own counts with every timeline counted; for callers that have no policy.
ContributionRule rawContributionRule();

// Where a path of the usage map was first met: the project's position in the list aggregated and
// the path's position in that project's media list.
struct PathOrigin {
    int project = -1;
    qsizetype index = -1;
};

// Exact-path usage, keyed by canonical (NFC) text, kept in the order paths were first met so the
// list built from it is deterministic.
class UsageMap {
public:
    bool contains(const QString& path) const { return find(path) != nullptr; }
    const PathUsage* find(const QString& path) const;
    // Merges into the tuple under `path`, or stores a new one.
    void add(const QString& path, const QString& projectName, const PathContribution& c,
             PathOrigin origin = {});
    // The same in two steps with the path's key() made once by the caller: merge() into the tuple
    // under `k` (false: there is none), else insert() a new one.
    bool merge(const QString& k, const QString& projectName, const PathContribution& c);
    void insert(const QString& k, const QString& path, const QString& projectName, const PathContribution& c,
                PathOrigin origin);
    qsizetype size() const { return m_paths.size(); }
    // Room for this many paths, so a long list is keyed without regrowing the table.
    void reserve(qsizetype paths);
    const QString& pathAt(qsizetype i) const { return m_paths[i]; }
    const QStringList& paths() const { return m_paths; }
    const PathUsage& usageAt(qsizetype i) const { return m_usages[i]; }
    PathOrigin originAt(qsizetype i) const { return m_origins[i]; }
    const QList<PathOrigin>& origins() const { return m_origins; }
    // add() for every path of every project, in order ({project, position} as origins): the keys
    // are made and the index filled on several threads, the records in order on this one.
    void addProjects(const QList<ProjectFile>& projects, const QList<ProjectContribution>& contributions);

    static QString key(const QString& path);

private:
    // The records of a path new to the map, its index entry already made.
    void append(const QString& path, const QString& projectName, const PathContribution& c,
                PathOrigin origin);

    ShardedIndex m_index; // a long list fills its parts side by side
    QStringList m_paths;
    QList<PathUsage> m_usages;
    QList<PathOrigin> m_origins;
    QStringList m_firstNames; // the name list of the last path inserted
};

// The combination rule shared by the import, the rebuild and the rescan.
void mergeContribution(PathUsage& usage, const QString& projectName, const PathContribution& c);

// Usage type of an entry from its summed usage (import: no After Effects case at this stage).
MediaUsageType usageTypeFor(const PathUsage& usage);
QStringList sortedSequenceNames(const QSet<QString>& names);

// Lower-cased matched and alternative paths of the media list, each mapped to its entry's path.
class KnownPathIndex {
public:
    explicit KnownPathIndex(const QList<MediaFile>& mediaFiles);
    const QString* find(const QString& path) const;
    void insert(const QString& path, const QString& entryPath);
    bool isEmpty() const { return m_index.isEmpty(); }

    static QString key(const QString& path);

private:
    QHash<QString, QString> m_index;
};

// Loaded projects' usage, without cross-reference.
UsageMap aggregateProjects(const QList<ProjectFile>& projects, const ContributionRule& rule);
// The same with each project's contribution made beforehand (on the GUI thread, where the policy lives).
UsageMap aggregateProjects(const QList<ProjectFile>& projects,
                           const QList<ProjectContribution>& contributions);

// Adds one newly read project; a path unknown to the map that the index ties to an entry whose path
// the map holds is counted under that entry. Returns how many paths were cross-referenced.
// `projectIndex`: the project's position in the list a later recount aggregates, recorded as the
// origin of each path it adds to the map.
int addProjectWithCrossReference(UsageMap& usage, KnownPathIndex& index, const ProjectFile& project,
                                 const ContributionRule& rule);
int addProjectWithCrossReference(UsageMap& usage, KnownPathIndex& index, const ProjectFile& project,
                                 const ProjectContribution& contribution, int projectIndex = -1);

// One project's paths made ready for the sum, on any thread: each path's key (UsageMap::key) and
// contribution, in the project's order. Only the sum itself then runs in project order.
struct PreparedPaths {
    QStringList keys;
    QList<PathContribution> contributions;
};
PreparedPaths preparePaths(const ProjectFile& project, const ProjectContribution& contribution);
int addProjectWithCrossReference(UsageMap& usage, KnownPathIndex& index, const ProjectFile& project,
                                 const PreparedPaths& prepared, int projectIndex = -1);

// Existing entries by exact path (a later entry replaces an earlier one).
QHash<QString, MediaFile> entriesByPath(const QList<MediaFile>& mediaFiles);

// Paths of the usage map with no entry in `existing`, in the map's order.
QStringList newPaths(const UsageMap& usage, const QHash<QString, MediaFile>& existing);

// A new entry as the file scan builds it before its status is known.
MediaFile newMediaEntry(const QString& path);
// The new entry of a checked path (logs the status of one that is not online).
MediaFile scannedMediaEntry(const FileStatusResult& result);

// `fn(begin, end)` over [0, count) in up to four ranges, the first on the calling thread and the
// others on splitWorkPool() (waited for, or run here when none of its threads is free); the
// results in the ranges' order. Short counts run in one range.
template <class R, class Fn> QList<R> mapRanges(qsizetype count, const Fn& fn) {
    const qsizetype parts = std::clamp<qsizetype>(count / 8192, 1, 4);
    QList<QFuture<R>> others;
    for (qsizetype p = 1; p < parts; ++p)
        others.append(
            QtConcurrent::run(&splitWorkPool(), [&fn, begin = count * p / parts,
                                                 end = count * (p + 1) / parts] { return fn(begin, end); }));
    QList<R> results;
    results.append(fn(0, count / parts));
    for (QFuture<R>& other : others)
        results.append(other.takeResult());
    return results;
}

// One entry per path of the usage map: the existing entry, else the scanned one, else a fresh
// `checking` entry; usage fields from the map. Entries no project references are not carried.
QList<MediaFile> buildMediaList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                                const QHash<QString, MediaFile>& scanned);
// The same taking the scanned entries over (moved into the list, not copied).
QList<MediaFile> buildMediaList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                                QHash<QString, MediaFile>&& scanned);
// The same with the scanned entries by position in the usage map (none: not scanned).
QList<MediaFile> buildMediaList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                                std::vector<std::optional<MediaFile>>&& scanned);

// The projects' relative-path candidates merged: every project's candidate for a path, in project
// order (as the manager merges them); for worker threads, which must not ask the manager.
RelativeCandidates mergedRelativeCandidates(const QList<ProjectFile>& projects);
// One more project's candidates appended to `merged`.
void addRelativeCandidates(RelativeCandidates& merged, const ProjectFile& project);

// Stable sort by file name, localized and case-insensitive.
void sortByFileName(QList<MediaFile>& mediaFiles);
// The same in two steps: the positions of `paths` in that order (paths only, so it can run while
// the entries themselves are busy elsewhere), then the list put in that order.
std::vector<qsizetype> fileNameOrder(const QStringList& paths);
void applyOrder(QList<MediaFile>& mediaFiles, const std::vector<qsizetype>& order);

} // namespace tarnwick
