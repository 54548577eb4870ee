#pragma once

#include "analysis/CachedAEPParse.h"
#include "analysis/CanonicalLocations.h"
#include "analysis/MediaFilterIndex.h"
#include "analysis/OperationGate.h"
#include "analysis/ProjectManagerFace.h"
#include "analysis/ProjectManagerPrepared.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tarnwick {

class ProjectParser;

// The model of the window: projects, media list, recycle bin, summary, progress and prompt state,
// filters and their caches. Lives on the GUI thread; the views read it through its face
// (ProjectManagerFace: the getters, the change signals and their groups, the requests) and re-read
// when a change signal of a group they show arrives.
//
// Each group of state that changes together is one value type, named after its signal: progress()
// reads it, setProgress() replaces it, and updateProgress() sets a copy the given function edited.
// Both notify only when the value changed, so an operation reports several fields in one step.
//
// Operations that span an await (rebuild, project removal, imports) hold the operation gate;
// while it is held a user's request waits in a queue (runWhenIdle) and runs when the gate is idle
// again; the window shows busyReason() and what waits. An edit of the lists (Edit) and its
// follow-ups never refuse: the operation holding the gate makes them.
class ProjectManager final : public ProjectManagerFace {
    Q_OBJECT
public:
    static constexpr qint64 defaultLargeFileThreshold = 104'857'600; // 100 MiB

    explicit ProjectManager(ProjectManagerServices services, QObject* parent = nullptr);
    ~ProjectManager() override;

    // ---- Content --------------------------------------------------------------------------
    const QList<ProjectFile>& projects() const override { return m_projects; }
    const QList<MediaFile>& mediaFiles() const override { return m_mediaFiles; }
    const QList<RecycleBinItem>& recycleBin() const override { return m_recycleBin; }
    qint64 projectsVersion() const override { return m_projectsVersion; }
    qint64 mediaFilesVersion() const override { return m_mediaFilesVersion; }
    qint64 recycleBinVersion() const override { return m_recycleBinVersion; }
    const AnalysisSummary& summary() const override { return m_summary; }

    // What an edit of the lists does, named when it is opened: when it ends the manager runs the
    // follow-ups that change needs (orphaned bin items, the recount, the summary), so no caller has
    // to remember them.
    enum class ListChange : quint32 {
        // No follow-up, on purpose: the change moves nothing a follow-up derives (a flag no count
        // reads), the manager runs the follow-ups itself inside the edit, or a test stages a state.
        // A step whose follow-ups come later opens a deferredEdit instead.
        none = 0,
        entries = 1u << 0,       // fields of entries or bin items: the summary follows
        entriesMerged = 1u << 1, // entries merged away or removed: their staged items leave the bin
        usage = 1u << 2,         // what entries are used by: every entry is recounted
    };
    Q_DECLARE_FLAGS(ListChanges, ListChange)

    // The worker-side types of the follow-ups (ProjectManagerPrepared.h).
    using PreparedSummary = tarnwick::PreparedSummary;
    using SummaryInputs = tarnwick::SummaryInputs;
    using UsageRecountInputs = tarnwick::UsageRecountInputs;
    using PreparedUsageRecount = tarnwick::PreparedUsageRecount;
    using RecountAggregate = tarnwick::RecountAggregate;
    using RebuildPlan = tarnwick::RebuildPlan;
    SummaryInputs summaryInputs() const { return {m_projects, m_projectsVersion, m_largeFileThreshold}; }

    // ---- Analysis progress ----------------------------------------------------------------
    const AnalysisProgress& progress() const override { return m_progress; }
    // The fraction is clamped to 0...1.
    void setProgress(AnalysisProgress value);
    void updateProgress(const std::function<void(AnalysisProgress&)>& change);

    // ---- Prompts and the DaVinci Resolve import result ------------------------------------
    const PromptState& prompts() const override { return m_prompts; }
    void setPrompts(PromptState value);
    void updatePrompts(const std::function<void(PromptState&)>& change) override;

    // ---- After Effects links --------------------------------------------------------------
    const QHash<QString, AEPLinkStatus>& aepLinkStatuses() const override { return m_aepLinkStatuses; }
    void setAEPLinkStatuses(QHash<QString, AEPLinkStatus> value);               // always notifies
    QHash<QString, CachedAEPParse>& aepParseCache() { return m_aepParseCache; } // not observed
    const QHash<QString, CachedAEPParse>& aepParseCache() const { return m_aepParseCache; }
    bool hasAEPLinkIssues() const override;

    // ---- Filters --------------------------------------------------------------------------
    // The filtered list is keyed by these settings (currentFilterCacheKey), so a change needs no
    // invalidation; a changed ignoreFileExtension takes effect with the next import or rescan.
    const FilterSettings& filters() const override { return m_filters; }
    void setFilters(FilterSettings value);
    void updateFilters(const std::function<void(FilterSettings&)>& change) override;

    // ---- Timeline usage policy ------------------------------------------------------------
    SequenceUsagePolicyStore& sequencePolicy() const override { return *m_sequencePolicy; }
    const UsagePolicyState& policy() const override { return m_policy; }
    void setPolicy(UsagePolicyState value);
    void updatePolicy(const std::function<void(UsagePolicyState&)>& change);

    // ---- Protection and clean-up options --------------------------------------------------
    const CleanupOptions& options() const override { return m_options; }
    void setOptions(CleanupOptions value);
    void updateOptions(const std::function<void(CleanupOptions&)>& change) override;
    qint64 largeFileThreshold() const override { return m_largeFileThreshold; }

    // ---- Move progress (written by the move-to-folder operations) -------------------------
    const MoveProgress& moveProgress() const override { return m_moveProgress; }
    void setMoveProgress(MoveProgress value);
    void updateMoveProgress(const std::function<void(MoveProgress&)>& change);

    // ---- Transcode progress (written by the transcode operation) --------------------------
    const TranscodeRunProgress& transcodeProgress() const override { return m_transcodeProgress; }
    void setTranscodeProgress(TranscodeRunProgress value);
    void updateTranscodeProgress(const std::function<void(TranscodeRunProgress&)>& change) override;

    // ---- Services -------------------------------------------------------------------------
    const ProjectManagerServices& services() const override { return m_services; }
    // A reader of the manager's own (imports read with readers of their own).
    ProjectParser& parser() const { return *m_parser; }
    AuditLogManager* auditLog() const { return m_services.auditLog; }
    StatsManager* statsManager() const { return m_services.statsManager; }
    // What status checks read, snapshotted now (GUI thread) for worker threads.
    FileStatusChecking::Options fileStatusOptions() const;
    bool isSandboxed() const;
    // Made on first use, so a manager that never checks a file starts no threads.
    std::shared_ptr<FileStatusScan> fileStatusScan();

    // ---- One operation at a time ----------------------------------------------------------
    // Operations that change projects, media or the bin across an await hold a Scope of this gate;
    // while one runs, the others refuse (tryBeginOperation) or wait their turn (beginOperation).
    OperationGate& operationGate() override { return m_gate; }
    bool isBusy() const override { return m_gate.isBusy(); }
    const QString& busyReason() const override { return m_gate.reason(); }
    std::optional<OperationGate::Scope> tryBeginOperation(const QString& reason) {
        return m_gate.tryBegin(reason);
    }
    QCoro::Task<OperationGate::Scope> beginOperation(const QString& reason) { return m_gate.begin(reason); }

    // ---- Lifecycle ------------------------------------------------------------------------
    // Empties projects, media, bin, parse errors and the summary. Refused (false) while busy.
    bool clearAll() override;
    void requestProVideoFormatsPrompt() override;
    ProjectManager& manager() override { return *this; }

    // ---- Summary --------------------------------------------------------------------------
    // The review flags of `mediaFiles` from `projects` and from the list's own usage (the folders of
    // used Character Animator projects), on any thread (keys made in `lowerPaths`).
    static void setNeedsReviewFlags(QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects,
                                    LowerPathCache& lowerPaths);
    void refreshVolumesNeedingAccess();

    // ---- Effective usage under the timeline policy -----------------------------------------
    EffectiveProjectUsage effectiveProjectUsage(const ProjectFile& project) const;
    AggregatedUsage aggregateEffectiveUsage();
    // The import's recount, split so that its costly part runs on a worker on the list it is
    // about to set: inputs taken on the GUI thread, prepared on any thread (writing the usage
    // fields of `mediaFiles`), finished on the GUI thread once that list is set.
    UsageRecountInputs usageRecountInputs() const;
    static PreparedUsageRecount prepareUsageRecount(QList<MediaFile>& mediaFiles,
                                                    const UsageRecountInputs& inputs);
    // The same in two steps, so the aggregate (projects only) can run before the list is final.
    // `withRecords`: see AggregatedUsage::recordOfProjectPath.
    static RecountAggregate aggregateForRecount(const UsageRecountInputs& inputs, bool withRecords = false);
    // `known`: see applyAggregatedUsage().
    static PreparedUsageRecount prepareUsageRecount(QList<MediaFile>& mediaFiles,
                                                    const UsageRecountInputs& inputs,
                                                    RecountAggregate aggregate,
                                                    const KnownPathKeys* known = nullptr);
    // Takes over keys made elsewhere; `keys` receives the previous ones (to be freed off the GUI thread).
    void adoptLowerPathKeys(LowerPathCache& keys);
    // While one is held, changes are gathered and told only once the last is let go. A step that
    // sets a large list in one turn holds them into the next, so that the views read the list in a
    // turn of their own rather than right after the step's (the event loop runs posted events, the
    // change signals among them, before its timers).
    class NotificationHold {
    public:
        explicit NotificationHold(ProjectManager& manager);
        ~NotificationHold();
        NotificationHold(const NotificationHold&) = delete;
        NotificationHold& operator=(const NotificationHold&) = delete;

    private:
        QPointer<ProjectManager> m_manager;
    };

    // ---- Edits of the lists ---------------------------------------------------------------
    // The one way to change the lists of the manager: opened with the kinds of change it makes,
    // changed through its setters, and committed when it ends, with the follow-ups its kinds need.
    // An edit ends in the event-loop turn it began: the check reports a list changed and not
    // committed by the end of its turn (see setUncommittedChangeReporter).
    class Edit {
    public:
        Edit(ProjectManager& manager, ListChanges changes);
        ~Edit();
        Edit(const Edit&) = delete;
        Edit& operator=(const Edit&) = delete;

        // Every call is one change: it notifies and counts, even when the list stays equal.
        Edit& setProjects(QList<ProjectFile> projects);
        Edit& setMediaFiles(QList<MediaFile> mediaFiles);
        Edit& setRecycleBin(QList<RecycleBinItem> items);
        Edit& modifyProjects(const std::function<void(QList<ProjectFile>&)>& change);
        Edit& modifyMediaFiles(const std::function<void(QList<MediaFile>&)>& change);
        Edit& modifyRecycleBin(const std::function<void(QList<RecycleBinItem>&)>& change);
        Edit& appendProject(ProjectFile project);
        Edit& setMediaFile(qsizetype index, MediaFile file);
        // The summary prepared on a worker for the lists this edit sets (ListChange::entries alone).
        Edit& withPreparedSummary(std::optional<PreparedSummary> prepared);
        // The recount prepared on a worker for the list this edit sets (ListChange::usage): taken
        // instead of a recount here unless the projects or the policy changed since. Kept by
        // reference until the edit ends, so a temporary is refused.
        Edit& withPreparedRecount(const PreparedUsageRecount& prepared);
        Edit& withPreparedRecount(PreparedUsageRecount&&) = delete;
        Edit& withPreparedRecount(const PreparedUsageRecount&&) = delete;

    private:
        friend class ProjectManager;
        Edit(ProjectManager& manager, ListChanges changes, ListChanges settledBy);

        ProjectManager& m_manager;
        ListChanges m_changes;
        ListChanges m_settledBy; // a deferred edit's follow-ups, owed to a later step
        std::optional<PreparedSummary> m_summary;
        const PreparedUsageRecount* m_recount = nullptr;
    };
    Edit edit(ListChanges changes) { return Edit(*this, changes); }
    // An edit whose follow-ups a later step of the same operation runs (the import's projects
    // before its list, a run's marks before its end): `settledBy` names them, and they are owed
    // until they run. The check reports follow-ups still owed when the operation holding the
    // gate ends, or at the end of the turn outside one.
    Edit deferredEdit(ListChanges settledBy) { return Edit(*this, ListChange::none, settledBy); }
    // Told of the lists changed but not committed by the end of an event-loop turn, and of those
    // whose deferred follow-ups never ran. By default logged, and a failed assertion in debug
    // builds; tests observe it instead. On in every build: it costs a flag and a posted call a turn.
    using UncommittedChangeReporter = std::function<void(Changes lists)>;
    void setUncommittedChangeReporter(UncommittedChangeReporter reporter);

    int effectiveUsedFileCount(const ProjectFile& project) const override;
    // The usage rule of the import, rebuild and rescan (exact paths) under the current policy.
    ContributionRule effectiveContributionRule() const;

    // ---- Media list rebuild ------------------------------------------------------------------
    // Rebuilds the media list from the loaded projects; new paths are checked on the worker pool
    // while the manager is busy, and every result is applied in one pass. False when refused.
    QCoro::Task<bool> rebuildMediaFilesFromProjects();
    // The same rebuild for an operation that already holds the gate (the DaVinci Resolve import).
    QCoro::Task<void> rebuildMediaFilesHoldingGate() { return rebuildWhileHoldingGate(); }
    RelativeCandidates mergedRelativeCandidates() const;
    bool isOrphanedRecycleBinItem(const RecycleBinItem& item) const;

    // ---- Filtering and sorting ---------------------------------------------------------------
    // Cached until a list version, a filter setting or the order changes.
    // The entries the filters keep, in list order or in `order`'s sequence (ties keep list order),
    // as rows of the current media list: no record is copied.
    MediaRows filteredMediaRows() override;
    // Which entries the bin holds (MediaFilterIndex::binnedRows), made on a worker for the lists
    // as they are now: the next filter takes them instead of matching every path here.
    void setBinnedRows(std::vector<quint8> rows);
    MediaRows sortedFilteredMediaRows(const MediaSortOrder& order) override;
    QList<int> relocationLinePositions(const MediaRows& rows) override;
    // False while a large list's sort keys are being made on a worker and `order` would have to
    // collate every row here; sortKeysReady() follows when they are back.
    bool canSortNow(const MediaSortOrder& order) override;
    // The kept records themselves: copies, or the media list itself when nothing is filtered out.
    const QList<MediaFile>& filteredMediaFiles() override;
    FilterCacheKey currentFilterCacheKey() const override;

    // ---- Projects, timelines, rules, protected folders --------------------------------------
    // Arguments are taken by value: callers pass elements of the lists these operations replace.
    // Each returns false when nothing changed (refused by the policy, or a project removal queued
    // while busy: it runs when the running operation ends). A user's choice, rule or protection is never
    // dropped while another operation runs: it is stored at once and what depends on it (recount, flags)
    // follows when that operation ends; adding a protection takes effect at once, removing one when the
    // operation ends.
    QCoro::Task<bool> removeProject(ProjectFile project) override;

    // ---- Import, rescan and manual combine (ProjectImporter, MediaRescanner, EntryCombiner) ----
    QCoro::Task<void> analyzeProjects(QList<QUrl> urls) override;
    // While another operation runs, one rescan is queued for when it ends (false: not run now).
    QCoro::Task<bool> rescanAll() override;
    // While another operation runs, the combine waits for it (false: not run now); `done` runs
    // once it happened, whatever it found to combine.
    QCoro::Task<bool> combineEntries(QList<MediaFile> selection, std::function<void()> done = {}) override;
    bool setSequenceCounted(bool counted, ProjectSequence sequence, ProjectFile project) override;
    bool clearSequenceOverride(ProjectSequence sequence, ProjectFile project) override;
    bool addSequenceRule(QString pattern, SequenceRuleAction action) override;
    bool removeSequenceRule(SequenceNameRule rule) override;
    bool removeProtectedFolder(QString path) override;
    // After the protected folders sheet added a folder to the store.
    bool protectedFoldersDidChange() override;
    // Compares each entry's location as written and with its links resolved; a location whose
    // resolved form is not known yet is resolved on a worker, and the flags are refreshed again.
    void refreshProtectedFlags();
    // Some user change waits for the running operation to end.
    bool hasDeferredChanges() const {
        return m_deferredRecount || m_deferredProtectionRefresh || m_deferredRescan || !m_queued.empty();
    }

    // ---- Requests waiting for the running operation ------------------------------------------
    // A user's request that cannot start while another operation holds the gate (staging,
    // restoring, removing a project) is kept here in the order asked and runs when the gate is
    // idle again, like the deferred changes above; one that starts a long operation lets the rest
    // wait for it in turn. `what` names it for the window while it waits.
    void runWhenIdle(QString what, std::function<void()> request) override;
    QStringList queuedRequests() const override;

private:
    friend class ProjectManagerSteps; // tests of the follow-ups themselves

    // The lists' setters, through an Edit (or a follow-up of the manager's own).
    void setProjects(QList<ProjectFile> projects);
    void setMediaFiles(QList<MediaFile> mediaFiles);
    void setRecycleBin(QList<RecycleBinItem> items);
    void modifyProjects(const std::function<void(QList<ProjectFile>&)>& change);
    void modifyMediaFiles(const std::function<void(QList<MediaFile>&)>& change);
    void modifyRecycleBin(const std::function<void(QList<RecycleBinItem>&)>& change);
    void appendProject(ProjectFile project);
    void setMediaFile(qsizetype index, MediaFile file);
    void setSummary(const AnalysisSummary& summary);

    // ---- Follow-ups of an edit -----------------------------------------------------------------
    void commitChange(ListChanges what, std::optional<PreparedSummary> prepared,
                      const PreparedUsageRecount* recount);
    // Review flags, the counters, then the volumes that need access. Synchronous.
    void updateSummary();
    // Recounts every entry, unstages files that became used, then updates the summary.
    void recomputeUsageCounts();
    // The rest of recomputeUsageCounts() for a media list whose usage fields were prepared (the
    // same notifications). False, doing nothing, when the projects or the policy changed since.
    bool finishPreparedUsageRecount(const PreparedUsageRecount& prepared);
    // Drops bin items whose file no entry of the media list holds (exact path). Every operation
    // that merges or removes entries ends with it. Always one change of the bin; true when it removed
    // any item.
    bool pruneOrphanedRecycleBinItems();
    // The check: a list changed outside an edit until the summary follows, or inside an edit
    // still open, is reported at the end of the turn.
    void noteListChange(Change list);
    // A deferred edit's lists and the follow-ups that settle them; settle() as each follow-up runs.
    void owe(ListChanges followUps, Changes lists);
    void settle(ListChanges followUps);
    void scheduleCheck();
    void checkCommitted();

    template <class T> void assign(T& field, T value, Change group) {
        if (field == value)
            return;
        field = std::move(value);
        notify(group);
    }
    template <class T> static T edited(const T& group, const std::function<void(T&)>& change) {
        T next = group;
        change(next);
        return next;
    }
    void notify(Change group);
    void flushNotifications();
    void bumpProjects();
    void bumpMediaFiles();
    // The list written back as it was: a new version for its observers, the same content.
    void rewriteMediaFiles();
    // updateSummary() but for the review flags unless `reviewFlags`: one pass over the list that also
    // makes the filter's per-row facts.
    void summarize(bool reviewFlags = false);
    void bumpRecycleBin();
    bool refuseWhileBusy(const QString& operation) const;
    // Queued changes: applied in one pass on the event-loop turn after the gate becomes idle.
    void scheduleDeferredChanges();
    void applyDeferredChanges();
    void recountNowOrWhenIdle();

    QCoro::Task<void> rebuildWhileHoldingGate();
    // The rebuilt list, in its order, with its usage fields and keys made on a worker.
    struct PreparedRebuild {
        QList<MediaFile> list;
        PreparedUsageRecount recount;
    };
    // On a worker: the plan's list (made while the files were checked) with the checks' results, its
    // usage fields and its order (`ordering`, of the plan's paths).
    static PreparedRebuild prepareRebuild(RebuildPlan plan, QList<MediaFile> list,
                                          QList<FileStatusResult> results, const UsageRecountInputs& inputs,
                                          RecountAggregate aggregate, bool resolveLocations,
                                          QFuture<std::vector<qsizetype>> ordering);
    // The whole rebuild on the GUI thread, for when the projects or the list changed meanwhile.
    void rebuildAgain(QHash<QString, FileStatusResult> checked);
    static QList<MediaFile> buildRebuiltList(const UsageMap& usage, const QHash<QString, MediaFile>& existing,
                                             const QHash<QString, FileStatusResult>& checked);
    void finishPreparedRebuild(PreparedRebuild rebuilt);
    void finishRebuild(QList<MediaFile> rebuilt);
    void recountPolicyChange();
    void unstageUsedFiles();
    void scheduleSortKeys();
    void makeSortKeys();

    ProjectManagerServices m_services;
    SequenceUsagePolicyStore* m_sequencePolicy = nullptr;
    std::unique_ptr<ProjectParser> m_parser;
    OperationGate m_gate;
    QThreadPool m_workerPool;
    QThreadPool m_sortPool; // makes each large list's sort keys
    bool m_sortKeysScheduled = false;
    bool m_sortKeysRunning = false; // a worker is making keys; the newest list's follow when it is back
    // Set when the manager goes away, so a rebuild's pending checks are not started.
    std::shared_ptr<std::atomic_bool> m_stopChecks = std::make_shared<std::atomic_bool>(false);
    LowerPathCache m_lowerPaths;
    CanonicalLocations m_canonicalLocations;
    bool m_deferredRecount = false;
    bool m_deferredProtectionRefresh = false;
    bool m_deferredRescan = false;
    bool m_deferredScheduled = false;
    struct QueuedRequest {
        QString what;
        std::function<void()> run;
    };
    std::deque<QueuedRequest> m_queued;
    Changes m_pending;
    bool m_flushScheduled = false;
    int m_holds = 0; // NotificationHold
    int m_openEdits = 0;
    Changes m_changedInEdit;  // by the edits open now
    Changes m_changedOutside; // outside any edit, not yet summed up
    ListChanges m_owed;       // follow-ups deferred edits wait for
    Changes m_owedLists;      // the lists those edits changed
    bool m_checkScheduled = false;
    UncommittedChangeReporter m_reportUncommitted;

    QList<ProjectFile> m_projects;
    QList<MediaFile> m_mediaFiles;
    QList<RecycleBinItem> m_recycleBin;
    qint64 m_projectsVersion = 0;
    qint64 m_mediaFilesVersion = 0;
    // Moves with every change of the list's content, not when the summary writes the list back as
    // it was: the filter index and the sort keys are kept by it.
    qint64 m_mediaContentVersion = 0;
    qint64 m_recycleBinVersion = 0;
    AnalysisSummary m_summary;

    AnalysisProgress m_progress;

    PromptState m_prompts;

    QHash<QString, AEPLinkStatus> m_aepLinkStatuses;
    QHash<QString, CachedAEPParse> m_aepParseCache;

    FilterSettings m_filters;

    UsagePolicyState m_policy;

    CleanupOptions m_options;
    qint64 m_largeFileThreshold = defaultLargeFileThreshold;

    MediaFilterIndex m_filterIndex;
    std::optional<FilterCacheKey> m_filterCacheKey; // of m_filterCache
    QList<MediaFile> m_filterCache;

    MoveProgress m_moveProgress;
    TranscodeRunProgress m_transcodeProgress;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ProjectManager::ListChanges)

} // namespace tarnwick
