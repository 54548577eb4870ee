#pragma once

#include "analysis/AnalysisProgress.h"
#include "analysis/CleanupOptions.h"
#include "analysis/FilterCacheKey.h"
#include "analysis/FilterSettings.h"
#include "analysis/MediaRows.h"
#include "analysis/MediaSortComparator.h"
#include "analysis/MoveProgress.h"
#include "analysis/ProjectManagerServices.h"
#include "analysis/PromptState.h"
#include "analysis/TranscodeRunProgress.h"
#include "analysis/UsagePolicyState.h"
#include "model/AEPLinkStatus.h"
#include "model/AnalysisSummary.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "model/ProjectSequence.h"
#include "model/RecycleBinItem.h"
#include "stores/SequenceNameRule.h"
#include "stores/SequenceRuleAction.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>

namespace tarnwick {

class OperationGate;
class ProjectManager;
class SequenceUsagePolicyStore;

// The manager as the views see it: what they read, the change signals they follow and the requests
// they make. The views include this header only, so a change of the manager's insides (its edits,
// follow-ups and workers) rebuilds no view. ProjectManager is its one implementation.
//
// Change signals (coalesced: at most one per group per event-loop turn, then `changed` once with
// every group that changed in that turn):
//   projectsChanged      projects (projectsVersion)
//   mediaFilesChanged    mediaFiles (mediaFilesVersion)
//   recycleBinChanged    recycleBin (recycleBinVersion)
//   summaryChanged       summary
//   progressChanged      progress (AnalysisProgress), and the busy state (isBusy, busyReason,
//                        queuedRequests)
//   promptsChanged       prompts (PromptState): the prompt flags, the volumes needing access, the
//                        grant-failure alert, and the DaVinci import result
//   filtersChanged       filters (FilterSettings)
//   policyChanged        policy (UsagePolicyState)
//   optionsChanged       options (CleanupOptions)
//   aeLinksChanged       aepLinkStatuses
//   moveProgressChanged  moveProgress (MoveProgress)
//   transcodeProgressChanged  transcodeProgress (TranscodeRunProgress), the run's outcome included
// The version counters count every change of their list, signal or not.
class ProjectManagerFace : public QObject {
    Q_OBJECT
public:
    enum class Change : quint32 {
        projects = 1u << 0,
        mediaFiles = 1u << 1,
        recycleBin = 1u << 2,
        summary = 1u << 3,
        progress = 1u << 4,
        prompts = 1u << 5,
        filters = 1u << 6,
        policy = 1u << 7,
        options = 1u << 8,
        aeLinks = 1u << 9,
        moveProgress = 1u << 10,
        transcodeProgress = 1u << 11,
    };
    Q_DECLARE_FLAGS(Changes, Change)
    Q_FLAG(Changes)

    // ---- What the views read ----------------------------------------------------------------
    virtual const QList<ProjectFile>& projects() const = 0;
    virtual const QList<MediaFile>& mediaFiles() const = 0;
    virtual const QList<RecycleBinItem>& recycleBin() const = 0;
    virtual qint64 projectsVersion() const = 0;
    virtual qint64 mediaFilesVersion() const = 0;
    virtual qint64 recycleBinVersion() const = 0;
    virtual const AnalysisSummary& summary() const = 0;
    virtual const AnalysisProgress& progress() const = 0;
    virtual const PromptState& prompts() const = 0;
    virtual const QHash<QString, AEPLinkStatus>& aepLinkStatuses() const = 0;
    // Some linked After Effects project is missing or could not be read.
    virtual bool hasAEPLinkIssues() const = 0;
    virtual const FilterSettings& filters() const = 0;
    virtual const UsagePolicyState& policy() const = 0;
    virtual const CleanupOptions& options() const = 0;
    virtual qint64 largeFileThreshold() const = 0;
    virtual const MoveProgress& moveProgress() const = 0;
    virtual const TranscodeRunProgress& transcodeProgress() const = 0;
    virtual int effectiveUsedFileCount(const ProjectFile& project) const = 0;
    virtual SequenceUsagePolicyStore& sequencePolicy() const = 0;
    virtual const ProjectManagerServices& services() const = 0;
    virtual bool isBusy() const = 0;
    virtual const QString& busyReason() const = 0;
    virtual OperationGate& operationGate() = 0;
    // What waits for the running operation, in order (a queued rescan last, as it runs).
    virtual QStringList queuedRequests() const = 0;

    // ---- The filtered, sorted list (cached until a list version, a filter or the order changes) --
    // The entries the filters keep, as rows of the current media list: no record is copied.
    virtual MediaRows filteredMediaRows() = 0;
    virtual MediaRows sortedFilteredMediaRows(const MediaSortOrder& order) = 0;
    // The positions among `rows` whose file has a relocation line under its name
    // (MediaFilterIndex::hasRelocationLine), in order; none is looked for in a list without one.
    virtual QList<int> relocationLinePositions(const MediaRows& rows) = 0;
    // False while a large list's sort keys are being made on a worker and `order` would have to
    // collate every row here; sortKeysReady() follows when they are back.
    virtual bool canSortNow(const MediaSortOrder& order) = 0;
    // The kept records themselves: copies, or the media list itself when nothing is filtered out.
    virtual const QList<MediaFile>& filteredMediaFiles() = 0;
    virtual FilterCacheKey currentFilterCacheKey() const = 0;

    // ---- The requests the views make --------------------------------------------------------
    virtual void updatePrompts(const std::function<void(PromptState&)>& change) = 0;
    virtual void updateFilters(const std::function<void(FilterSettings&)>& change) = 0;
    virtual void updateOptions(const std::function<void(CleanupOptions&)>& change) = 0;
    virtual void updateTranscodeProgress(const std::function<void(TranscodeRunProgress&)>& change) = 0;
    virtual bool clearAll() = 0;
    virtual void requestProVideoFormatsPrompt() = 0;
    virtual QCoro::Task<void> analyzeProjects(QList<QUrl> urls) = 0;
    virtual QCoro::Task<bool> rescanAll() = 0;
    virtual QCoro::Task<bool> combineEntries(QList<MediaFile> selection, std::function<void()> done = {}) = 0;
    virtual QCoro::Task<bool> removeProject(ProjectFile project) = 0;
    virtual bool setSequenceCounted(bool counted, ProjectSequence sequence, ProjectFile project) = 0;
    virtual bool clearSequenceOverride(ProjectSequence sequence, ProjectFile project) = 0;
    virtual bool addSequenceRule(QString pattern, SequenceRuleAction action) = 0;
    virtual bool removeSequenceRule(SequenceNameRule rule) = 0;
    virtual bool removeProtectedFolder(QString path) = 0;
    virtual bool protectedFoldersDidChange() = 0;
    virtual void runWhenIdle(QString what, std::function<void()> request) = 0;

    // The whole manager, to hand to the engine's operations (clean-up runs, the bin's actions, the
    // searches): the views call nothing on it themselves.
    virtual ProjectManager& manager() = 0;

Q_SIGNALS:
    void projectsChanged();
    void mediaFilesChanged();
    void recycleBinChanged();
    void summaryChanged();
    void progressChanged();
    void promptsChanged();
    void filtersChanged();
    void policyChanged();
    void optionsChanged();
    void aeLinksChanged();
    void moveProgressChanged();
    void transcodeProgressChanged();
    // After the group signals of one event-loop turn, with every group that changed in it.
    void changed(ProjectManagerFace::Changes groups);
    // The current list's sort keys are made: any order can be applied at once.
    void sortKeysReady();

private:
    friend class ProjectManager; // its one implementation
    explicit ProjectManagerFace(QObject* parent) : QObject(parent) {}
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ProjectManagerFace::Changes)

} // namespace tarnwick
