#include "actions/RecycleBin.h"

#include "actions/ProtectedFolderTest.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "stores/AuditLogManager.h"

#include <QHash>
#include <QSet>

namespace tarnwick {

namespace {

// The first entry per path, as the bin's restores find them.
QHash<QString, qsizetype> firstIndexByPath(const QList<MediaFile>& files) {
    QHash<QString, qsizetype> index;
    index.reserve(files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!index.contains(files[i].path))
            index.insert(files[i].path, i);
    }
    return index;
}

// A staging that waited, with the files as they stand now: one whose entry became used, or more
// used, meanwhile is left out (the user staged it as it was); the on-disk test reads today's status.
QList<MediaFile> stillStageable(const ProjectManager& pm, const QList<MediaFile>& files) {
    const QHash<QString, qsizetype> index = firstIndexByPath(pm.mediaFiles());
    QList<MediaFile> out;
    out.reserve(files.size());
    for (const MediaFile& file : files) {
        const auto hit = index.constFind(file.path);
        if (hit == index.cend()) {
            out.append(file);
            continue;
        }
        const MediaFile& live = pm.mediaFiles()[*hit];
        if (useGrewSinceStaged(file, live)) {
            AppLog::warning(QStringLiteral("Skipping file now in use: ") +
                            path::lastPathComponent(file.path));
            continue;
        }
        MediaFile staged = file;
        staged.status = live.status;
        out.append(staged);
    }
    return out;
}

// The items of a restore that waited that are still staged (the operation may have removed some).
QList<RecycleBinItem> stillStaged(const ProjectManager& pm, const QList<RecycleBinItem>& items) {
    QSet<QUuid> staged;
    for (const RecycleBinItem& item : pm.recycleBin())
        staged.insert(item.id);
    QList<RecycleBinItem> out;
    for (const RecycleBinItem& item : items) {
        if (staged.contains(item.id))
            out.append(item);
    }
    return out;
}

void finished(std::optional<OperationGate::Scope>& scope, const std::function<void()>& done) {
    scope->release();
    if (done)
        done();
}

} // namespace

RecycleBin::RecycleBin(ProjectManager& manager, CleanupServices services)
    : m_manager(&manager), m_services(services.resolved(manager)) {}

bool RecycleBin::addToRecycleBin(const QList<MediaFile>& files, std::function<void()> done) {
    if (!m_manager)
        return false;
    ProjectManager& pm = *m_manager;
    auto scope = pm.tryBeginOperation(QStringLiteral("Adding files to the recycle bin…"));
    if (!scope) {
        pm.runWhenIdle(QStringLiteral("Add %1 file(s) to the recycle bin").arg(files.size()),
                       [manager = m_manager, files, services = m_services, done = std::move(done)] {
                           if (manager)
                               (void)RecycleBin(*manager, services)
                                   .addToRecycleBin(stillStageable(*manager, files), done);
                       });
        return false;
    }
    stage(files);
    finished(scope, done);
    return true;
}

void RecycleBin::stage(const QList<MediaFile>& files) {
    ProjectManager& pm = *m_manager;
    AppLog::userAction(QStringLiteral("Adding ") + QString::number(files.size()) +
                       QStringLiteral(" file(s) to recycle bin"));
    QSet<QString> staged;
    staged.reserve(pm.recycleBin().size() + files.size());
    for (const RecycleBinItem& item : pm.recycleBin())
        staged.insert(item.mediaFile.path);
    // The last entry per path wins, as the bin's lookup does.
    QHash<QString, qsizetype> indexByPath;
    indexByPath.reserve(pm.mediaFiles().size());
    for (qsizetype i = 0; i < pm.mediaFiles().size(); ++i)
        indexByPath.insert(pm.mediaFiles()[i].path, i);
    if (files.isEmpty()) {
        pm.updateSummary();
        return;
    }
    const ProtectedFolderTest protection = ProtectedFolderTest::forManager(pm, m_services.files.get());
    QList<qsizetype> toStage;
    QList<RecycleBinItem> added;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const MediaFile& file : files) {
        if (staged.contains(file.path))
            continue;
        const QString name = path::lastPathComponent(file.path);
        if (!file.isOnDisk()) {
            AppLog::warning(QStringLiteral("Skipping offline file: ") + name);
            continue;
        }
        if (protection.isInProtectedFolder(file.matchedPath.value_or(file.path))) {
            AppLog::warning(QStringLiteral("Skipping protected file: ") + name);
            continue;
        }
        if (const auto hit = indexByPath.constFind(file.path); hit != indexByPath.cend())
            toStage.append(*hit);
        RecycleBinItem item;
        item.mediaFile = file; // as the user saw it: the use it had when staged is kept with it
        item.addedAt = now;
        added.append(item);
        staged.insert(file.path);
    }
    if (!toStage.isEmpty()) {
        pm.modifyMediaFiles([&](QList<MediaFile>& list) {
            for (const qsizetype i : std::as_const(toStage))
                list[i].status = MediaFileStatus::inRecycleBin;
        });
    }
    if (!added.isEmpty())
        pm.modifyRecycleBin([&](QList<RecycleBinItem>& bin) { bin.append(added); });
    pm.updateSummary();
}

bool RecycleBin::removeFromRecycleBin(const QList<RecycleBinItem>& items, std::function<void()> done) {
    if (!m_manager)
        return false;
    ProjectManager& pm = *m_manager;
    // A copy: the caller may pass the bin itself, which the restore empties.
    const QList<RecycleBinItem> chosen = items;
    auto scope = pm.tryBeginOperation(QStringLiteral("Restoring files from the recycle bin…"));
    if (!scope) {
        pm.runWhenIdle(QStringLiteral("Restore %1 file(s) from the recycle bin").arg(chosen.size()),
                       [manager = m_manager, chosen, services = m_services, done = std::move(done)] {
                           if (manager)
                               (void)RecycleBin(*manager, services)
                                   .removeFromRecycleBin(stillStaged(*manager, chosen), done);
                       });
        return false;
    }
    AppLog::userAction(QStringLiteral("Restoring ") + QString::number(chosen.size()) +
                       QStringLiteral(" file(s) from recycle bin"));
    if (chosen.isEmpty())
        pm.updateSummary();
    else
        restore(chosen);
    finished(scope, done);
    return true;
}

bool RecycleBin::restoreAllFromRecycleBin(std::function<void()> done) {
    if (!m_manager)
        return false;
    ProjectManager& pm = *m_manager;
    auto scope = pm.tryBeginOperation(QStringLiteral("Restoring files from the recycle bin…"));
    if (!scope) {
        pm.runWhenIdle(QStringLiteral("Restore all files from the recycle bin"),
                       [manager = m_manager, services = m_services, done = std::move(done)] {
                           if (manager)
                               (void)RecycleBin(*manager, services).restoreAllFromRecycleBin(done);
                       });
        return false;
    }
    AppLog::userAction(QStringLiteral("Restoring all files from recycle bin"));
    const QList<RecycleBinItem> items = pm.recycleBin();
    if (items.isEmpty()) {
        pm.setRecycleBin({});
        pm.updateSummary();
    } else {
        restore(items);
    }
    finished(scope, done);
    return true;
}

// Each item leaves the bin, its entry (the first with its exact path) comes back online, and the
// restore is recorded, also for an item whose file has no entry any more.
void RecycleBin::restore(const QList<RecycleBinItem>& items) {
    ProjectManager& pm = *m_manager;
    QSet<QUuid> ids;
    for (const RecycleBinItem& item : items)
        ids.insert(item.id);
    pm.modifyRecycleBin([&](QList<RecycleBinItem>& bin) {
        bin.removeIf([&](const RecycleBinItem& staged) { return ids.contains(staged.id); });
    });
    const QHash<QString, qsizetype> indexByPath = firstIndexByPath(pm.mediaFiles());
    QList<AuditLogManager::Request> audit;
    audit.reserve(items.size());
    pm.modifyMediaFiles([&](QList<MediaFile>& list) {
        for (const RecycleBinItem& item : items) {
            if (const auto hit = indexByPath.constFind(item.mediaFile.path); hit != indexByPath.cend())
                list[*hit].status = MediaFileStatus::online;
            audit.append({AuditAction::restored, item.mediaFile, std::nullopt});
        }
    });
    if (m_services.auditLog)
        m_services.auditLog->log(audit);
    pm.updateSummary();
}

} // namespace tarnwick
