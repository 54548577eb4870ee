#include "analysis/ProjectManager.h"

#include "analysis/FileStatusScan.h"
#include "platform/AppLog.h"
#include "platform/IdleThreads.h"
#include "platform/MemoryRelease.h"
#include "platform/ThreadNames.h"
#include "readers/ProjectParser.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"

#include <QMetaObject>

#include <algorithm>

#include <tuple>
#include <utility>

namespace tarnwick {

ProjectManager::ProjectManager(ProjectManagerServices services, QObject* parent)
    : ProjectManagerFace(parent), m_services(std::move(services)) {
    m_sequencePolicy = m_services.sequencePolicy;
    m_parser = std::make_unique<ProjectParser>();
    m_policy.sequenceRules = m_sequencePolicy->rules();
    m_options.protectedFolders = m_services.protectedFolders->folders();
    // One thread waits for the status scan, which runs its checks on its own pool.
    nameThreads(m_workerPool, "ManagerWorker");
    m_workerPool.setMaxThreadCount(1);
    m_workerPool.setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(m_sortPool, "ManagerSortKeys");
    m_sortPool.setMaxThreadCount(1);
    m_sortPool.setExpiryTimeout(idleThreadExpiryMs);
    connect(&m_gate, &OperationGate::busyChanged, this, [this] {
        notify(Change::progress);
        if (m_gate.isBusy())
            return;
        scheduleDeferredChanges();
        if (m_owed)
            scheduleCheck();
    });
}

ProjectManager::~ProjectManager() {
    // Closing the window waits for the checks in flight only, not for every path still queued.
    m_stopChecks->store(true);
    m_workerPool.waitForDone();
    m_sortPool.waitForDone();
}

// ---- Notifications ------------------------------------------------------------------------

void ProjectManager::notify(Change group) {
    m_pending |= group;
    if (m_flushScheduled || m_holds > 0)
        return;
    m_flushScheduled = true;
    QMetaObject::invokeMethod(this, &ProjectManager::flushNotifications, Qt::QueuedConnection);
}

ProjectManager::NotificationHold::NotificationHold(ProjectManager& manager) : m_manager(&manager) {
    ++manager.m_holds;
}

ProjectManager::NotificationHold::~NotificationHold() {
    if (m_manager && --m_manager->m_holds == 0 && m_manager->m_pending)
        m_manager->notify({});
}

void ProjectManager::flushNotifications() {
    m_flushScheduled = false;
    if (m_holds > 0)
        return; // told when the hold is let go
    const Changes groups = m_pending;
    m_pending = {};
    const std::pair<Change, void (ProjectManager::*)()> signalOf[] = {
        {Change::projects, &ProjectManager::projectsChanged},
        {Change::mediaFiles, &ProjectManager::mediaFilesChanged},
        {Change::recycleBin, &ProjectManager::recycleBinChanged},
        {Change::summary, &ProjectManager::summaryChanged},
        {Change::progress, &ProjectManager::progressChanged},
        {Change::prompts, &ProjectManager::promptsChanged},
        {Change::filters, &ProjectManager::filtersChanged},
        {Change::policy, &ProjectManager::policyChanged},
        {Change::options, &ProjectManager::optionsChanged},
        {Change::aeLinks, &ProjectManager::aeLinksChanged},
        {Change::moveProgress, &ProjectManager::moveProgressChanged},
        {Change::transcodeProgress, &ProjectManager::transcodeProgressChanged},
    };
    for (const auto& [group, signal] : signalOf) {
        if (groups.testFlag(group))
            (this->*signal)();
    }
    if (groups)
        Q_EMIT changed(groups);
}

void ProjectManager::bumpProjects() {
    ++m_projectsVersion;
    notify(Change::projects);
    noteListChange(Change::projects);
}

void ProjectManager::bumpMediaFiles() {
    ++m_mediaContentVersion;
    rewriteMediaFiles();
}

void ProjectManager::rewriteMediaFiles() {
    ++m_mediaFilesVersion;
    notify(Change::mediaFiles);
    noteListChange(Change::mediaFiles);
    scheduleSortKeys();
}

void ProjectManager::bumpRecycleBin() {
    ++m_recycleBinVersion;
    notify(Change::recycleBin);
    noteListChange(Change::recycleBin);
}

// ---- Edits ----------------------------------------------------------------------------------

ProjectManager::Edit::Edit(ProjectManager& manager, ListChanges changes) : Edit(manager, changes, {}) {}

ProjectManager::Edit::Edit(ProjectManager& manager, ListChanges changes, ListChanges settledBy)
    : m_manager(manager), m_changes(changes), m_settledBy(settledBy) {
    ++m_manager.m_openEdits;
}

ProjectManager::Edit::~Edit() {
    if (m_settledBy)
        m_manager.owe(m_settledBy, m_manager.m_changedInEdit);
    m_manager.commitChange(m_changes, std::move(m_summary), m_recount);
    if (--m_manager.m_openEdits == 0)
        m_manager.m_changedInEdit = {};
}

ProjectManager::Edit& ProjectManager::Edit::setProjects(QList<ProjectFile> projects) {
    m_manager.setProjects(std::move(projects));
    return *this;
}

ProjectManager::Edit& ProjectManager::Edit::setMediaFiles(QList<MediaFile> mediaFiles) {
    m_manager.setMediaFiles(std::move(mediaFiles));
    return *this;
}

ProjectManager::Edit& ProjectManager::Edit::setRecycleBin(QList<RecycleBinItem> items) {
    m_manager.setRecycleBin(std::move(items));
    return *this;
}

ProjectManager::Edit&
ProjectManager::Edit::modifyProjects(const std::function<void(QList<ProjectFile>&)>& change) {
    m_manager.modifyProjects(change);
    return *this;
}

ProjectManager::Edit&
ProjectManager::Edit::modifyMediaFiles(const std::function<void(QList<MediaFile>&)>& change) {
    m_manager.modifyMediaFiles(change);
    return *this;
}

ProjectManager::Edit&
ProjectManager::Edit::modifyRecycleBin(const std::function<void(QList<RecycleBinItem>&)>& change) {
    m_manager.modifyRecycleBin(change);
    return *this;
}

ProjectManager::Edit& ProjectManager::Edit::appendProject(ProjectFile project) {
    m_manager.appendProject(std::move(project));
    return *this;
}

ProjectManager::Edit& ProjectManager::Edit::setMediaFile(qsizetype index, MediaFile file) {
    m_manager.setMediaFile(index, std::move(file));
    return *this;
}

ProjectManager::Edit& ProjectManager::Edit::withPreparedSummary(std::optional<PreparedSummary> prepared) {
    m_summary = std::move(prepared);
    return *this;
}

ProjectManager::Edit& ProjectManager::Edit::withPreparedRecount(const PreparedUsageRecount& prepared) {
    m_recount = &prepared;
    return *this;
}

void ProjectManager::setUncommittedChangeReporter(UncommittedChangeReporter reporter) {
    m_reportUncommitted = std::move(reporter);
}

void ProjectManager::noteListChange(Change list) {
    (m_openEdits > 0 ? m_changedInEdit : m_changedOutside) |= list;
    scheduleCheck();
}

void ProjectManager::owe(ListChanges followUps, Changes lists) {
    m_owed |= followUps;
    m_owedLists |= lists;
    scheduleCheck();
}

void ProjectManager::settle(ListChanges followUps) {
    if (!m_owed)
        return;
    m_owed &= ~followUps;
    if (!m_owed)
        m_owedLists = {};
}

void ProjectManager::scheduleCheck() {
    if (std::exchange(m_checkScheduled, true))
        return;
    // Runs once this turn's work is done: an edit left open, or a change no summary followed, is
    // then still there.
    QMetaObject::invokeMethod(this, &ProjectManager::checkCommitted, Qt::QueuedConnection);
}

void ProjectManager::checkCommitted() {
    m_checkScheduled = false;
    Changes uncommitted = m_changedOutside | (m_openEdits > 0 ? m_changedInEdit : Changes());
    m_changedOutside = {};
    // A deferred follow-up is due when the operation that owes it ends (the gate going idle
    // checks again).
    if (m_owed && !m_gate.isBusy()) {
        uncommitted |= m_owedLists;
        settle(m_owed);
    }
    if (!uncommitted)
        return;
    if (m_reportUncommitted)
        return m_reportUncommitted(uncommitted);
    AppLog::error(QStringLiteral("A list of the manager was changed and not committed (groups %1)")
                      .arg(uint(uncommitted.toInt())));
    Q_ASSERT_X(false, "ProjectManager", "a list was changed and not committed by the end of its turn");
}

bool ProjectManager::refuseWhileBusy(const QString& operation) const {
    if (!m_gate.isBusy())
        return false;
    AppLog::warning(operation + QStringLiteral(" refused: ") + m_gate.reason());
    return true;
}

// ---- Content ------------------------------------------------------------------------------

namespace {

// A replaced list of many records is freed on the release thread: freeing 100,000 records here
// would stall the window (a list still shared with a view is only let go of). By its room, not its
// length: a list emptied in place (all restored) keeps the block of all it held.
template <class T> void replaceList(QList<T>& field, QList<T> value) {
    constexpr qsizetype largeList = 5000;
    QList<T> old = std::exchange(field, std::move(value));
    if (old.capacity() >= largeList)
        memory::releaseLater(std::move(old));
}

} // namespace

void ProjectManager::setProjects(QList<ProjectFile> projects) {
    replaceList(m_projects, std::move(projects));
    bumpProjects();
}

void ProjectManager::setMediaFiles(QList<MediaFile> mediaFiles) {
    replaceList(m_mediaFiles, std::move(mediaFiles));
    bumpMediaFiles();
}

void ProjectManager::setRecycleBin(QList<RecycleBinItem> items) {
    replaceList(m_recycleBin, std::move(items));
    bumpRecycleBin();
}

void ProjectManager::modifyProjects(const std::function<void(QList<ProjectFile>&)>& change) {
    change(m_projects);
    bumpProjects();
}

void ProjectManager::modifyMediaFiles(const std::function<void(QList<MediaFile>&)>& change) {
    change(m_mediaFiles);
    bumpMediaFiles();
}

void ProjectManager::modifyRecycleBin(const std::function<void(QList<RecycleBinItem>&)>& change) {
    change(m_recycleBin);
    bumpRecycleBin();
}

void ProjectManager::appendProject(ProjectFile project) {
    m_projects.append(std::move(project));
    bumpProjects();
}

void ProjectManager::setMediaFile(qsizetype index, MediaFile file) {
    if (index < 0 || index >= m_mediaFiles.size())
        return;
    m_mediaFiles[index] = std::move(file);
    bumpMediaFiles();
}

void ProjectManager::setSummary(const AnalysisSummary& summary) {
    m_summary = summary;
    m_changedOutside = {}; // what changed before is summed up now
    settle(ListChange::entries);
    notify(Change::summary);
}

// ---- Analysis progress --------------------------------------------------------------------

void ProjectManager::setProgress(AnalysisProgress value) {
    value.analysisProgress = std::clamp(value.analysisProgress, 0.0, 1.0);
    const bool analysisEnded = m_progress.isAnalyzing && !value.isAnalyzing;
    assign(m_progress, std::move(value), Change::progress);
    if (analysisEnded)
        scheduleSortKeys(); // the keys the import's lists did not get
}
void ProjectManager::updateProgress(const std::function<void(AnalysisProgress&)>& change) {
    setProgress(edited(m_progress, change));
}

// ---- Prompts ------------------------------------------------------------------------------

void ProjectManager::setPrompts(PromptState value) {
    assign(m_prompts, std::move(value), Change::prompts);
}
void ProjectManager::updatePrompts(const std::function<void(PromptState&)>& change) {
    setPrompts(edited(m_prompts, change));
}

// ---- After Effects links ------------------------------------------------------------------

void ProjectManager::setAEPLinkStatuses(QHash<QString, AEPLinkStatus> value) {
    m_aepLinkStatuses = std::move(value);
    notify(Change::aeLinks);
}

bool ProjectManager::hasAEPLinkIssues() const {
    return std::any_of(m_aepLinkStatuses.cbegin(), m_aepLinkStatuses.cend(), [](const AEPLinkStatus& status) {
        return status.kind != AEPLinkStatus::Kind::resolved;
    });
}

// ---- Filters ------------------------------------------------------------------------------

void ProjectManager::setFilters(FilterSettings value) {
    assign(m_filters, std::move(value), Change::filters);
}
void ProjectManager::updateFilters(const std::function<void(FilterSettings&)>& change) {
    setFilters(edited(m_filters, change));
}

// ---- Policy and options -------------------------------------------------------------------

void ProjectManager::setPolicy(UsagePolicyState value) {
    assign(m_policy, std::move(value), Change::policy);
}
void ProjectManager::updatePolicy(const std::function<void(UsagePolicyState&)>& change) {
    setPolicy(edited(m_policy, change));
}
void ProjectManager::setOptions(CleanupOptions value) {
    assign(m_options, std::move(value), Change::options);
}
void ProjectManager::updateOptions(const std::function<void(CleanupOptions&)>& change) {
    setOptions(edited(m_options, change));
}

// ---- Move and transcode progress ----------------------------------------------------------

void ProjectManager::setMoveProgress(MoveProgress value) {
    assign(m_moveProgress, std::move(value), Change::moveProgress);
}
void ProjectManager::updateMoveProgress(const std::function<void(MoveProgress&)>& change) {
    setMoveProgress(edited(m_moveProgress, change));
}
void ProjectManager::setTranscodeProgress(TranscodeRunProgress value) {
    assign(m_transcodeProgress, std::move(value), Change::transcodeProgress);
}
void ProjectManager::updateTranscodeProgress(const std::function<void(TranscodeRunProgress&)>& change) {
    setTranscodeProgress(edited(m_transcodeProgress, change));
}

// ---- Services and lifecycle ---------------------------------------------------------------

FileStatusChecking::Options ProjectManager::fileStatusOptions() const {
    return m_services.statusOptions(m_filters.ignoreFileExtension);
}

std::shared_ptr<FileStatusScan> ProjectManager::fileStatusScan() {
    if (!m_services.fileStatusScan)
        m_services.fileStatusScan = std::make_shared<FileStatusScan>(m_services.fileStatusChecker);
    return m_services.fileStatusScan;
}

bool ProjectManager::isSandboxed() const {
    return m_services.isSandboxed();
}

bool ProjectManager::clearAll() {
    if (refuseWhileBusy(QStringLiteral("Clearing all projects")))
        return false;
    AppLog::userAction(QStringLiteral("Clearing all projects and media"));
    // The lists and what was derived from them are freed on the release thread (100,000 records
    // take too long to free here), which then gives the memory back to the system.
    auto dropped = std::make_tuple(std::exchange(m_projects, {}), std::exchange(m_mediaFiles, {}),
                                   std::exchange(m_recycleBin, {}), std::exchange(m_filterCache, {}),
                                   std::exchange(m_filterIndex, {}), std::exchange(m_lowerPaths, {}));
    m_filterCacheKey.reset();
    Edit edit(*this, ListChange::none); // empty on purpose: summed up below, every count is 0
    settle(m_owed);                     // nothing is left to recount or prune
    setProjects({});
    setMediaFiles({});
    setRecycleBin({});
    updateProgress([](AnalysisProgress& progress) { progress.parseErrors.clear(); });
    setSummary(AnalysisSummary{});
    memory::releaseLater(std::move(dropped));
    memory::trimLater();
    return true;
}

void ProjectManager::requestProVideoFormatsPrompt() {
    if (m_prompts.hasPromptedForProVideoFormats)
        return;
    updatePrompts([](PromptState& prompts) {
        prompts.hasPromptedForProVideoFormats = true;
        prompts.shouldPromptForProVideoFormats = true;
    });
}

} // namespace tarnwick
