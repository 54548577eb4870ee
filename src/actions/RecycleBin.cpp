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

} // namespace

RecycleBin::RecycleBin(ProjectManager& manager, CleanupServices services)
    : m_manager(&manager), m_services(services.resolved(manager)) {}

bool RecycleBin::addToRecycleBin(const QList<MediaFile>& files) {
    if (!m_manager)
        return false;
    ProjectManager& pm = *m_manager;
    AppLog::userAction(QStringLiteral("Adding ") + QString::number(files.size()) +
                       QStringLiteral(" file(s) to recycle bin"));
    const auto scope = pm.tryBeginOperation(QStringLiteral("Adding files to the recycle bin…"));
    if (!scope) {
        AppLog::warning(QStringLiteral("Adding to the recycle bin refused: ") + pm.busyReason());
        return false;
    }
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
        return true;
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
        item.mediaFile = file;
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
    return true;
}

bool RecycleBin::removeFromRecycleBin(const QList<RecycleBinItem>& items) {
    if (!m_manager)
        return false;
    ProjectManager& pm = *m_manager;
    AppLog::userAction(QStringLiteral("Restoring ") + QString::number(items.size()) +
                       QStringLiteral(" file(s) from recycle bin"));
    const auto scope = pm.tryBeginOperation(QStringLiteral("Restoring files from the recycle bin…"));
    if (!scope) {
        AppLog::warning(QStringLiteral("Restoring from the recycle bin refused: ") + pm.busyReason());
        return false;
    }
    if (items.isEmpty()) {
        pm.updateSummary();
        return true;
    }
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
    return true;
}

bool RecycleBin::restoreAllFromRecycleBin() {
    if (!m_manager)
        return false;
    ProjectManager& pm = *m_manager;
    AppLog::userAction(QStringLiteral("Restoring all files from recycle bin"));
    const auto scope = pm.tryBeginOperation(QStringLiteral("Restoring files from the recycle bin…"));
    if (!scope) {
        AppLog::warning(QStringLiteral("Restoring from the recycle bin refused: ") + pm.busyReason());
        return false;
    }
    const QList<RecycleBinItem> items = pm.recycleBin();
    QList<AuditLogManager::Request> audit;
    audit.reserve(items.size());
    if (!items.isEmpty()) {
        const QHash<QString, qsizetype> indexByPath = firstIndexByPath(pm.mediaFiles());
        pm.modifyMediaFiles([&](QList<MediaFile>& list) {
            for (const RecycleBinItem& item : items) {
                if (const auto hit = indexByPath.constFind(item.mediaFile.path); hit != indexByPath.cend())
                    list[*hit].status = MediaFileStatus::online;
                audit.append({AuditAction::restored, item.mediaFile, std::nullopt});
            }
        });
    }
    if (m_services.auditLog && !audit.isEmpty())
        m_services.auditLog->log(audit);
    pm.setRecycleBin({});
    pm.updateSummary();
    return true;
}

} // namespace tarnwick
