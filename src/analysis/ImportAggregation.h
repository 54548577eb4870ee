#pragma once

#include "analysis/UsageAggregator.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "stores/SequencePolicySnapshot.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QThreadPool>

#include <optional>

namespace tarnwick {

// The import's usage sum, made while the projects are still being read: the loaded projects first,
// then each new project in the order the caller gave them (whatever order their reads finish in),
// on a thread of its own. Every call comes from the GUI thread.
class ImportAggregation {
public:
    struct Result {
        UsageMap usage;
        QHash<QString, MediaFile> existing; // the media list's entries by exact path
        QStringList newPaths;               // paths of the usage map the media list does not hold
        QList<qsizetype> newIndices;        // the position in the usage map of each new path
        // The projects' relative-path candidates merged, each project's in turn (loaded ones first,
        // then the new ones in the order given, failed reads having none).
        RelativeCandidates candidates;
    };

    // `loadedSnapshots`: the policy for each loaded project (same order), taken on the GUI thread
    // where the policy lives.
    ImportAggregation(QList<ProjectFile> loaded, QList<SequencePolicySnapshot> loadedSnapshots,
                      QList<MediaFile> media);
    ~ImportAggregation(); // waits for the thread
    ImportAggregation(const ImportAggregation&) = delete;
    ImportAggregation& operator=(const ImportAggregation&) = delete;

    // The project at position `order` of the caller's list, read (or failed: nullopt). Projects are
    // summed in `order` sequence as soon as every earlier one has arrived; `snapshot` is the policy
    // for the project, taken now.
    void arrived(qsizetype order, std::optional<ProjectFile> project, SequencePolicySnapshot snapshot);
    // Once every project has arrived: the sum.
    QFuture<Result> finish();

    // A project's contribution under the policy snapshot; any thread.
    static ProjectContribution contribution(const ProjectFile& project, SequencePolicySnapshot snapshot);

private:
    struct Pending {
        std::optional<ProjectFile> project;
        QFuture<PreparedPaths> prepared; // started as the project arrived
    };

    QThreadPool m_pool;
    // Each project's keys and contributions, made as soon as it arrives, whatever its turn: most
    // projects come in together at the end of the reads, and only their sum must wait its turn.
    QThreadPool m_preparing;
    QHash<qsizetype, Pending> m_waiting; // arrived ahead of an earlier one
    qsizetype m_next = 0;
    qsizetype m_loadedCount = 0;
    // Worker thread only, once constructed.
    UsageMap m_usage;
    RelativeCandidates m_candidates;
    std::optional<KnownPathIndex> m_index;
    QList<MediaFile> m_media;
};

} // namespace tarnwick
