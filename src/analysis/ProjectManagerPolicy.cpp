#include "analysis/ProjectManager.h"

#include "analysis/MediaRescanner.h"

#include "platform/AppLog.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace tarnwick {

void ProjectManager::recountPolicyChange() {
    updatePolicy([](UsagePolicyState& policy) { ++policy.sequencePolicyRevision; });
    recountNowOrWhenIdle();
}

void ProjectManager::recountNowOrWhenIdle() {
    // A recount mid-operation could unstage bin items the operation is working on.
    if (m_gate.isBusy()) {
        AppLog::info(QStringLiteral("Recount deferred until the running operation ends: ") + m_gate.reason());
        m_deferredRecount = true;
        return;
    }
    recomputeUsageCounts();
}

void ProjectManager::scheduleDeferredChanges() {
    if (!hasDeferredChanges() || m_deferredScheduled)
        return;
    // Queued before the gate lets a waiting operation resume, so the changes land in between.
    m_deferredScheduled = true;
    QMetaObject::invokeMethod(this, &ProjectManager::applyDeferredChanges, Qt::QueuedConnection);
}

void ProjectManager::applyDeferredChanges() {
    m_deferredScheduled = false;
    if (m_gate.isBusy())
        return; // the next idle gate schedules them again
    if (std::exchange(m_deferredProtectionRefresh, false)) {
        updateOptions([this](CleanupOptions& options) {
            options.protectedFolders = m_services.protectedFolders->folders();
        });
        refreshProtectedFlags();
    }
    if (std::exchange(m_deferredRecount, false))
        recomputeUsageCounts();
    // The user's requests in the order asked. One that starts a long operation holds the gate; the
    // rest run when it ends. An operation waiting its turn goes first (its turn was taken earlier).
    while (!m_queued.empty() && !m_gate.isBusy() && m_gate.waitingCount() == 0) {
        QueuedRequest next = std::move(m_queued.front());
        m_queued.pop_front();
        notify(Change::progress);
        next.run();
    }
    if (m_deferredRescan && !m_gate.isBusy() && m_gate.waitingCount() == 0) {
        m_deferredRescan = false;
        notify(Change::progress);
        // Runs on its own; the rescan checks the manager is still there after every await.
        [[maybe_unused]] auto rescan = MediaRescanner::rescanAll(*this);
    }
}

void ProjectManager::runWhenIdle(QString what, std::function<void()> request) {
    AppLog::info(what + QStringLiteral(": queued until the running operation ends: ") + m_gate.reason());
    m_queued.push_back({std::move(what), std::move(request)});
    notify(Change::progress);
    if (!m_gate.isBusy())
        scheduleDeferredChanges(); // only an operation waiting its turn held it back
}

QStringList ProjectManager::queuedRequests() const {
    QStringList what;
    for (const QueuedRequest& request : m_queued)
        what.append(request.what);
    if (m_deferredRescan)
        what.append(QStringLiteral("Refresh file status"));
    return what;
}

bool ProjectManager::setSequenceCounted(bool counted, ProjectSequence sequence, ProjectFile project) {
    const auto snapshot = m_sequencePolicy->snapshot(project.url);
    const auto decision = SequenceUsagePolicyStore::decision(sequence.id, sequence.name, snapshot);
    // A protect rule wins over the project's checkbox.
    if (decision == SequenceUsageDecision::protected_ && !counted)
        return false;
    m_sequencePolicy->setOverride(counted, sequence.id, project.url);
    recountPolicyChange();
    AppLog::userAction(QStringLiteral("Sequence ") +
                       (counted ? QStringLiteral("counted") : QStringLiteral("ignored")) +
                       QStringLiteral(": ") + project.name + QStringLiteral(" / ") + sequence.displayName() +
                       QStringLiteral(" [") + sequence.id + QStringLiteral("]"));
    return true;
}

bool ProjectManager::clearSequenceOverride(ProjectSequence sequence, ProjectFile project) {
    m_sequencePolicy->clearOverride(sequence.id, project.url);
    recountPolicyChange();
    return true;
}

bool ProjectManager::addSequenceRule(QString pattern, SequenceRuleAction action) {
    if (!m_sequencePolicy->addRule(pattern, action))
        return false;
    updatePolicy([this](UsagePolicyState& policy) { policy.sequenceRules = m_sequencePolicy->rules(); });
    recountPolicyChange();
    AppLog::userAction(QStringLiteral("Sequence ") + text(action) + QStringLiteral(" rule added: ") +
                       pattern);
    return true;
}

bool ProjectManager::removeSequenceRule(SequenceNameRule rule) {
    m_sequencePolicy->removeRule(rule.id);
    updatePolicy([this](UsagePolicyState& policy) { policy.sequenceRules = m_sequencePolicy->rules(); });
    recountPolicyChange();
    AppLog::userAction(QStringLiteral("Sequence rule removed: ") + rule.pattern);
    return true;
}

bool ProjectManager::removeProtectedFolder(QString path) {
    m_services.protectedFolders->remove(path);
    AppLog::userAction(QStringLiteral("Protected folder removed: ") + path);
    if (m_gate.isBusy()) {
        // The running operation may have chosen its files under this protection: lift it after.
        AppLog::info(QStringLiteral("Unprotecting deferred until the running operation ends: ") +
                     m_gate.reason());
        m_deferredProtectionRefresh = true;
        return true;
    }
    updateOptions([this](CleanupOptions& options) {
        options.protectedFolders = m_services.protectedFolders->folders();
    });
    refreshProtectedFlags();
    return true;
}

bool ProjectManager::protectedFoldersDidChange() {
    const QStringList& stored = m_services.protectedFolders->folders();
    if (m_gate.isBusy()) {
        // More protection is always safe at once (the running import refreshes the flags of what it
        // adds from this list); folders removed meanwhile stay until the operation ends.
        QStringList folders = stored;
        for (const QString& folder : std::as_const(m_options.protectedFolders)) {
            if (!folders.contains(folder))
                folders.append(folder);
        }
        updateOptions([&](CleanupOptions& options) { options.protectedFolders = folders; });
        refreshProtectedFlags();
        m_deferredProtectionRefresh = true;
        return true;
    }
    updateOptions([&](CleanupOptions& options) { options.protectedFolders = stored; });
    refreshProtectedFlags();
    return true;
}

void ProjectManager::refreshProtectedFlags() {
    if (m_mediaFiles.isEmpty())
        return;
    Edit edit(*this, ListChange::none); // empty on purpose: no count or summary reads the flag
    const ProtectedFolderRule rule = m_canonicalLocations.ruleFor(m_options.protectedFolders);
    CanonicalLocations::Locations unresolved;
    for (qsizetype i = 0; i < m_mediaFiles.size(); ++i) {
        const MediaFile& file = std::as_const(m_mediaFiles)[i];
        bool isProtected = false;
        if (!rule.isEmpty()) {
            const MediaPathKeys& keys = m_lowerPaths.keys(file);
            isProtected = rule.matchesKey(keys.lowerLocation);
            if (!isProtected && !keys.lowerLocation.isEmpty()) {
                // No stat here: the resolved location is made on a worker; while one is being
                // made, its end refreshes again and asks for what is still missing.
                if (keys.canonicalResolved)
                    isProtected = rule.matchesKey(keys.lowerCanonicalLocation);
                else if (!m_canonicalLocations.isResolving())
                    unresolved.append({file.id, CanonicalLocations::locationOf(file), {}});
            }
        }
        if (isProtected == file.isProtected)
            continue;
        m_mediaFiles[i].isProtected = isProtected;
        bumpMediaFiles(); // one change per entry whose flag changed
    }
    if (!unresolved.isEmpty()) {
        QPointer<ProjectManager> self(this);
        m_canonicalLocations.resolveLater(
            std::move(unresolved), &m_workerPool, [self](const CanonicalLocations::Locations& resolved) {
                if (!self)
                    return;
                for (const CanonicalLocations::Location& entry : resolved)
                    self->m_lowerPaths.setCanonicalLocation(entry.id, entry.location, entry.lowerCanonical);
                self->refreshProtectedFlags();
            });
    }
}

QCoro::Task<bool> ProjectManager::removeProject(ProjectFile project) {
    auto scope = tryBeginOperation(QStringLiteral("Removing project ") + project.name + QStringLiteral("…"));
    if (!scope) {
        // Runs when the gate is free, on the project loaded from that file then: reading it again
        // meanwhile gives it a new identity, not a reprieve; a project that left stays gone.
        auto later = [self = QPointer<ProjectManager>(this), url = project.url] {
            if (!self)
                return;
            const QList<ProjectFile>& loaded = self->m_projects;
            const auto it = std::find_if(loaded.cbegin(), loaded.cend(),
                                         [&](const ProjectFile& p) { return p.url == url; });
            if (it != loaded.cend())
                (void)self->removeProject(*it);
        };
        runWhenIdle(QStringLiteral("Remove project ") + project.name, std::move(later));
        co_return false;
    }
    AppLog::userAction(QStringLiteral("Removing project: ") + project.name);
    updateFilters([&](FilterSettings& filters) { filters.selectedProjectIDs.remove(project.id); });
    // The rebuild below settles the lists.
    deferredEdit(ListChange::usage).modifyProjects([&](QList<ProjectFile>& projects) {
        projects.removeIf([&](const ProjectFile& p) { return p.id == project.id; });
    });
    co_await rebuildWhileHoldingGate();
    co_return true;
}

} // namespace tarnwick
