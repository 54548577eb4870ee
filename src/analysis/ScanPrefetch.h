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
#include <QUuid>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tarnwick {

class FileStatusScan;

// Checks on disk the paths of the projects already read while the others are still being read.
// Only paths that will almost surely be new are taken (not in the media list, not a known
// alternative); each is checked with the relative-path candidates known for it so far, and the scan
// uses the result only when the final merged candidates are those same ones.
class ScanPrefetch {
public:
    // One project's checks, in the order its paths were queued. Its entries are taken (moved out)
    // by whoever uses them, each once.
    struct ProjectChecks {
        QUuid projectId;
        // Per position of the project's media list: the check of the path there, or -1 when this
        // project did not queue it (already listed, a known alternative, or queued before).
        std::vector<qsizetype> checkAt;
        QList<MediaFile> entries;                // each check's new entry; an empty path: not checked
        QList<RelativeCandidateList> candidates; // the candidates each path was checked with
        // What each check's stat found, by the path it stat'ed.
        QList<std::pair<QString, FileFacts>> facts;
    };
    struct Where {
        qsizetype project = -1; // in Checked::projects
        qsizetype check = -1;
    };
    struct Checked {
        QList<std::shared_ptr<ProjectChecks>> projects; // in the order the projects arrived
        QHash<QString, Where> byKey;                    // every queued path by UsageMap::key
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
    RelativeCandidates m_loadedCandidates;
    // Worker thread only (one thread).
    std::optional<KnownPathIndex> m_known;
    QSet<QString> m_listed;
    // Each project's results are taken in on these threads while the next project is checked.
    QThreadPool m_collecting;
    Checked m_results;
    QThreadPool m_pool;
};

} // namespace tarnwick
