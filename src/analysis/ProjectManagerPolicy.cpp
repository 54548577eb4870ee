#include "analysis/ProjectManager.h"

#include "platform/AppLog.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"

#include <algorithm>

namespace tarnwick {

void ProjectManager::recountPolicyChange() {
    setSequencePolicyRevision(m_sequencePolicyRevision + 1);
    recomputeUsageCounts();
}

bool ProjectManager::setSequenceCounted(bool counted, ProjectSequence sequence, ProjectFile project) {
    if (refuseWhileBusy(QStringLiteral("Changing a timeline's usage")))
        return false;
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
    if (refuseWhileBusy(QStringLiteral("Changing a timeline's usage")))
        return false;
    m_sequencePolicy->clearOverride(sequence.id, project.url);
    recountPolicyChange();
    return true;
}

bool ProjectManager::addSequenceRule(QString pattern, SequenceRuleAction action) {
    if (refuseWhileBusy(QStringLiteral("Adding a timeline rule")))
        return false;
    if (!m_sequencePolicy->addRule(pattern, action))
        return false;
    setSequenceRules(m_sequencePolicy->rules());
    recountPolicyChange();
    AppLog::userAction(QStringLiteral("Sequence ") + text(action) + QStringLiteral(" rule added: ") +
                       pattern);
    return true;
}

bool ProjectManager::removeSequenceRule(SequenceNameRule rule) {
    if (refuseWhileBusy(QStringLiteral("Removing a timeline rule")))
        return false;
    m_sequencePolicy->removeRule(rule.id);
    setSequenceRules(m_sequencePolicy->rules());
    recountPolicyChange();
    AppLog::userAction(QStringLiteral("Sequence rule removed: ") + rule.pattern);
    return true;
}

bool ProjectManager::removeProtectedFolder(QString path) {
    if (refuseWhileBusy(QStringLiteral("Removing a protected folder")))
        return false;
    m_services.protectedFolders->remove(path);
    setProtectedFolders(m_services.protectedFolders->folders());
    refreshProtectedFlags();
    AppLog::userAction(QStringLiteral("Protected folder removed: ") + path);
    return true;
}

bool ProjectManager::protectedFoldersDidChange() {
    if (refuseWhileBusy(QStringLiteral("Protecting a folder")))
        return false;
    setProtectedFolders(m_services.protectedFolders->folders());
    refreshProtectedFlags();
    return true;
}

void ProjectManager::refreshProtectedFlags() {
    if (m_mediaFiles.isEmpty())
        return;
    struct Folder {
        QString equal;
        QString prefix;
    };
    QList<Folder> folders;
    for (const QString& folder : std::as_const(m_protectedFolders)) {
        const QString lowered = LowerPathCache::lowerKey(folder);
        folders.append({lowered, lowered.endsWith(QLatin1Char('/')) ? lowered : lowered + QLatin1Char('/')});
    }
    for (qsizetype i = 0; i < m_mediaFiles.size(); ++i) {
        const MediaFile& file = std::as_const(m_mediaFiles)[i];
        bool isProtected = false;
        if (!folders.isEmpty()) {
            const QString& location = m_lowerPaths.keys(file).lowerLocation;
            isProtected =
                !location.isEmpty() && std::any_of(folders.cbegin(), folders.cend(), [&](const Folder& f) {
                    return location == f.equal || location.startsWith(f.prefix);
                });
        }
        if (isProtected == file.isProtected)
            continue;
        m_mediaFiles[i].isProtected = isProtected;
        bumpMediaFiles(); // one change per entry whose flag changed
    }
}

QCoro::Task<bool> ProjectManager::removeProject(ProjectFile project) {
    auto scope = tryBeginOperation(QStringLiteral("Removing project ") + project.name + QStringLiteral("…"));
    if (!scope) {
        refuseWhileBusy(QStringLiteral("Removing a project"));
        co_return false;
    }
    AppLog::userAction(QStringLiteral("Removing project: ") + project.name);
    QSet<QUuid> selected = m_selectedProjectIDs;
    selected.remove(project.id);
    setSelectedProjectIDs(selected);
    modifyProjects([&](QList<ProjectFile>& projects) {
        projects.removeIf([&](const ProjectFile& p) { return p.id == project.id; });
    });
    co_await rebuildWhileHoldingGate();
    co_return true;
}

} // namespace tarnwick
