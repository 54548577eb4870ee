#pragma once

#include "analysis/FileStatusChecking.h"
#include "analysis/UsageAggregator.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace tarnwick {

class FileStatusScan;

// Checks on disk the paths of the projects already read while the others are still being read.
// Only paths that will almost surely be new are taken (not in the media list, not a known
// alternative); each is checked with the relative-path candidate known for it so far, and the scan
// uses the result only when the final merged candidate is that same one.
class ScanPrefetch {
public:
    // What the checks found, by UsageMap::key of the path: the new entries themselves, the candidate
    // each path was checked with (only those checked with one), and what each check's stat found
    // (by the path it stat'ed).
    struct Checked {
        QHash<QString, MediaFile> entries;
        QHash<QString, QString> candidates;
        QHash<QString, FileFacts> facts;
    };

    ScanPrefetch(std::shared_ptr<FileStatusScan> scan, FileStatusChecking::Options options,
                 QList<MediaFile> media, QList<ProjectFile> loadedProjects);
    ~ScanPrefetch();
    ScanPrefetch(const ScanPrefetch&) = delete;
    ScanPrefetch& operator=(const ScanPrefetch&) = delete;

    // Queues the project's paths (GUI thread); they are checked in the order projects arrive.
    void add(const ProjectFile& project);
    // Ends once every project added so far is checked and its results taken in.
    QFuture<void> finished();
    const FileStatusChecking::Options& options() const { return m_options; }
    // Call once finished() has ended.
    Checked take() { return std::move(m_results); }
    // Frees what it remembers of every path seen, on its own thread.
    void forget();

private:
    void check(const ProjectFile& project);

    std::shared_ptr<FileStatusScan> m_scan;
    FileStatusChecking::Options m_options;
    QList<MediaFile> m_media;
    QList<ProjectFile> m_loadedProjects;
    QHash<QString, QString> m_loadedCandidates;
    // Worker thread only (one thread).
    std::optional<KnownPathIndex> m_known;
    QSet<QString> m_listed;
    QSet<QString> m_queued;
    // Results are taken in on a thread of their own while the next project's paths are checked.
    QThreadPool m_collecting;
    Checked m_results; // collecting thread only, until finished()
    QThreadPool m_pool;
};

} // namespace tarnwick
