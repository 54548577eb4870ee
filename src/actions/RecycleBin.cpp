#include "actions/RecycleBin.h"

#include "actions/ProtectedFolderTest.h"
#include "actions/RemovalRules.h"
#include "analysis/FileStatusScan.h"
#include "analysis/MediaFilterIndex.h"
#include "analysis/MediaRescanner.h"
#include "analysis/ProjectManager.h"
#include "analysis/UsageAggregator.h"
#include "platform/AppLog.h"
#include "platform/MemoryRelease.h"
#include "platform/PathText.h"
#include "stores/AuditLogManager.h"

#include "analysis/TakeResult.h"
#include "platform/ThreadPools.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <utility>

namespace tarnwick {

namespace {

// A staging that waited, with the files as they stand now: one whose entry became used, or more
// used, meanwhile is left out (the user staged it as it was); the on-disk test reads today's status.
QList<MediaFile> stillStageable(const ProjectManager& pm, const QList<MediaFile>& files) {
    const QHash<QString, qsizetype> index = RemovalRules::firstIndexByPath(pm.mediaFiles());
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

// More files than this are sorted out on a worker while the GUI thread goes on; the result is then
// applied in one step. Fewer are done at once, which a view may rely on.
constexpr qsizetype bulkCount = 2000;

// What staging changes: media-list positions to mark as staged, and the new bin items.
struct StagePlan {
    QList<qsizetype> toStage;
    QList<RecycleBinItem> added;
    // The media list with the plan applied, when the worker made it (the view's rows share the
    // manager's list, so changing it in place would copy 100,000 records on the GUI thread).
    std::optional<QList<MediaFile>> media;
    std::optional<QList<RecycleBinItem>> bin; // the bin with `added`, when the worker made it
    // Which rows the new bin holds, made with it: the filter's bin pass then costs nothing here.
    std::optional<std::vector<quint8>> binned;
    std::optional<ProjectManager::PreparedSummary> summary; // of the lists the worker made
};

// Any thread: reads only what it is given (the protected-folder test is this thread's alone).
StagePlan planStaging(const QList<MediaFile>& files, const QList<RecycleBinItem>& bin,
                      const QList<MediaFile>& media, const ProtectedFolderTest& protection) {
    QSet<QString> staged;
    staged.reserve(bin.size() + files.size());
    for (const RecycleBinItem& item : bin)
        staged.insert(item.mediaFile.path);
    // The last entry per path wins, as the bin's lookup does.
    QHash<QString, qsizetype> indexByPath;
    indexByPath.reserve(media.size());
    for (qsizetype i = 0; i < media.size(); ++i)
        indexByPath.insert(media[i].path, i);
    StagePlan plan;
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
            plan.toStage.append(*hit);
        RecycleBinItem item;
        item.mediaFile = file; // as the user saw it: the use it had when staged is kept with it
        item.addedAt = now;
        plan.added.append(std::move(item));
        staged.insert(file.path);
    }
    return plan;
}

// How a restore checks its files, as a rescan would; taken on the GUI thread, used on any.
struct StatusCheck {
    std::shared_ptr<FileStatusScan> scan;
    QList<ProjectFile> projects; // for the relative-path candidates
    FileStatusChecking::Options options;

    static StatusCheck of(ProjectManager& pm) {
        return {pm.fileStatusScan(), pm.projects(), pm.fileStatusOptions()};
    }

    // What a rescan would find at each item's path, by path. Blocking: a stat each.
    QHash<QString, FileStatusResult> run(const QList<RecycleBinItem>& items) const {
        QStringList paths;
        QSet<QString> asked;
        for (const RecycleBinItem& item : items) {
            if (!asked.contains(item.mediaFile.path)) {
                asked.insert(item.mediaFile.path);
                paths.append(item.mediaFile.path);
            }
        }
        QHash<QString, FileStatusResult> byPath;
        byPath.reserve(paths.size());
        for (FileStatusResult& result : scan->checkAll(paths, mergedRelativeCandidates(projects), options))
            byPath.insert(result.path, std::move(result));
        return byPath;
    }
};

// What a restore changes: media-list positions leaving the bin with what their file's check
// found, and an audit entry per item (made and encoded with the plan, so that the GUI thread only
// records them).
struct RestorePlan {
    QList<std::pair<qsizetype, std::optional<FileStatusResult>>> restored; // nothing: not checked
    AuditLogManager::Prepared audit;
    std::optional<QList<MediaFile>> media;                  // as StagePlan's
    std::optional<QList<RecycleBinItem>> bin;               // the bin without the restored items, likewise
    std::optional<std::vector<quint8>> binned;              // as StagePlan's
    std::optional<ProjectManager::PreparedSummary> summary; // likewise
};

// The plan without its audit entries (restoreEntries()).
RestorePlan planRestore(const QList<RecycleBinItem>& items, const QList<MediaFile>& media,
                        const QHash<QString, FileStatusResult>& checked) {
    const QHash<QString, qsizetype> indexByPath = RemovalRules::firstIndexByPath(media);
    RestorePlan plan;
    for (const RecycleBinItem& item : items) {
        const QString& path = item.mediaFile.path;
        if (const auto hit = indexByPath.constFind(path); hit != indexByPath.cend()) {
            const auto found = checked.constFind(path);
            plan.restored.append(
                {*hit, found == checked.cend() ? std::nullopt : std::optional<FileStatusResult>(*found)});
        }
    }
    return plan;
}

AuditLogManager::Prepared restoreEntries(const QList<RecycleBinItem>& items) {
    QList<AuditLogManager::Request> audit;
    audit.reserve(items.size());
    for (const RecycleBinItem& item : items)
        audit.append({AuditAction::restored, item.mediaFile, std::nullopt});
    return AuditLogManager::prepare(audit);
}

void stageInto(QList<MediaFile>& list, const StagePlan& plan) {
    for (const qsizetype i : std::as_const(plan.toStage))
        list[i].status = MediaFileStatus::inRecycleBin;
}

void applyStaging(ProjectManager& pm, StagePlan plan) {
    {
        ProjectManager::Edit edit(pm, ProjectManager::ListChange::entries);
        if (plan.media)
            edit.setMediaFiles(std::move(*plan.media));
        else if (!plan.toStage.isEmpty())
            edit.modifyMediaFiles([&](QList<MediaFile>& list) { stageInto(list, plan); });
        if (plan.bin)
            edit.setRecycleBin(std::move(*plan.bin));
        else if (!plan.added.isEmpty())
            edit.modifyRecycleBin([&](QList<RecycleBinItem>& bin) { bin.append(std::move(plan.added)); });
        edit.withPreparedSummary(std::move(plan.summary));
    }
    // After the commit: its summary bumps the list's version (same paths).
    if (plan.binned)
        pm.setBinnedRows(std::move(*plan.binned));
}

void restoreInto(QList<MediaFile>& list, const RestorePlan& plan) {
    for (const auto& [i, found] : std::as_const(plan.restored)) {
        list[i].status = MediaFileStatus::online; // out of the bin; then as a rescan finds it
        if (found)
            MediaRescanner::applyStatus(list[i], *found);
    }
}

// Each item leaves the bin, its entry (the first with its exact path) takes the status its file's
// check found (a file deleted while staged comes back missing, not online), and the restore is
// recorded, also for an item whose file has no entry any more.
QList<RecycleBinItem> withoutItems(QList<RecycleBinItem> bin, const QList<RecycleBinItem>& items) {
    QSet<QUuid> ids;
    ids.reserve(items.size());
    for (const RecycleBinItem& item : items)
        ids.insert(item.id);
    bin.removeIf([&](const RecycleBinItem& staged) { return ids.contains(staged.id); });
    return bin;
}

void applyRestore(ProjectManager& pm, const QList<RecycleBinItem>& items, RestorePlan plan,
                  AuditLogManager* auditLog) {
    {
        ProjectManager::Edit edit(pm, ProjectManager::ListChange::entries);
        edit.setRecycleBin(plan.bin ? std::move(*plan.bin) : withoutItems(pm.recycleBin(), items));
        if (plan.media)
            edit.setMediaFiles(std::move(*plan.media));
        else
            edit.modifyMediaFiles([&](QList<MediaFile>& list) { restoreInto(list, plan); });
        if (auditLog)
            auditLog->recorded(std::move(plan.audit));
        edit.withPreparedSummary(std::move(plan.summary));
    }
    if (plan.binned)
        pm.setBinnedRows(std::move(*plan.binned));
}

// A plan made on the worker from the lists as they were, applied once it is back; the lists cannot
// change meanwhile (the operation's gate is held), but a plan for an older list is made again here.
template <class Plan, class Make, class Apply>
QCoro::Task<void> onWorker(QPointer<ProjectManager> manager, std::optional<OperationGate::Scope> scope,
                           std::function<void()> done, Make make, Apply apply) {
    const qint64 mediaVersion = manager->mediaFilesVersion();
    const qint64 binVersion = manager->recycleBinVersion();
    // The worker lets go of its copies before its result is handed back: the lists are then not
    // shared when the plan is applied, and are not copied for that.
    auto lists = std::make_shared<std::pair<QList<MediaFile>, QList<RecycleBinItem>>>(manager->mediaFiles(),
                                                                                      manager->recycleBin());
    QFuture<Plan> planning = QtConcurrent::run(&recycleBinPool(), [make, lists] {
        Plan made = make(lists->first, lists->second);
        *lists = {};
        return made;
    });
    Plan plan = co_await takeResult(planning);
    if (!manager)
        co_return;
    if (manager->mediaFilesVersion() != mediaVersion || manager->recycleBinVersion() != binVersion)
        plan = make(manager->mediaFiles(), manager->recycleBin());
    apply(*manager, std::move(plan));
    finished(scope, done);
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
    if (files.size() > bulkCount) {
        AppLog::userAction(QStringLiteral("Adding ") + QString::number(files.size()) +
                           QStringLiteral(" file(s) to recycle bin"));
        // Built here (it reads the store), used only by the worker from now on.
        auto protection = std::make_shared<ProtectedFolderTest>(
            ProtectedFolderTest::forManager(pm, m_services.files.get()));
        (void)onWorker<StagePlan>(
            m_manager, std::move(scope), std::move(done),
            [files, protection, keepFiles = m_services.files,
             inputs = pm.summaryInputs()](const QList<MediaFile>& media, const QList<RecycleBinItem>& bin) {
                StagePlan plan = planStaging(files, bin, media, *protection);
                if (!plan.toStage.isEmpty()) {
                    plan.media = media;
                    stageInto(*plan.media, plan);
                }
                if (!plan.added.isEmpty()) {
                    plan.bin = bin + plan.added;
                    plan.binned = MediaFilterIndex::binnedRows(plan.media ? *plan.media : media, *plan.bin);
                    // The bin holds copies: freed here, not on the GUI thread with the plan.
                    plan.added = {};
                }
                plan.summary = inputs.prepare(plan.media ? *plan.media : media, plan.bin ? *plan.bin : bin);
                return plan;
            },
            [](ProjectManager& manager, StagePlan plan) { applyStaging(manager, std::move(plan)); });
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
    if (files.isEmpty()) {
        pm.edit(ProjectManager::ListChange::entries);
        return;
    }
    const ProtectedFolderTest protection = ProtectedFolderTest::forManager(pm, m_services.files.get());
    applyStaging(pm, planStaging(files, pm.recycleBin(), pm.mediaFiles(), protection));
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
    if (chosen.size() > bulkCount) {
        restoreOnWorker(std::move(scope), chosen, std::move(done));
        return false;
    }
    if (chosen.isEmpty())
        pm.edit(ProjectManager::ListChange::entries);
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
    if (items.size() > bulkCount) {
        restoreOnWorker(std::move(scope), items, std::move(done));
        return false;
    }
    if (items.isEmpty()) {
        pm.edit(ProjectManager::ListChange::entries).setRecycleBin({});
    } else {
        restore(items);
    }
    finished(scope, done);
    return true;
}

void RecycleBin::restore(const QList<RecycleBinItem>& items) {
    ProjectManager& pm = *m_manager;
    const QHash<QString, FileStatusResult> checked = StatusCheck::of(pm).run(items);
    RestorePlan plan = planRestore(items, pm.mediaFiles(), checked);
    plan.audit = restoreEntries(items);
    applyRestore(pm, items, std::move(plan), m_services.auditLog);
}

void RecycleBin::restoreOnWorker(std::optional<OperationGate::Scope> scope, QList<RecycleBinItem> items,
                                 std::function<void()> done) {
    // Checked once, on the worker; a plan made again for a newer list reuses the checks. The
    // entries are written there too (journal and sync: tens of megabytes), before the plan comes
    // back, so the restore reports only what is durable.
    auto checked = std::make_shared<std::optional<QHash<QString, FileStatusResult>>>();
    auto written = std::make_shared<std::optional<AuditLogManager::Prepared>>();
    (void)onWorker<RestorePlan>(
        m_manager, std::move(scope), std::move(done),
        [items, check = StatusCheck::of(*m_manager), checked, written, auditLog = m_services.auditLog,
         inputs = m_manager->summaryInputs()](const QList<MediaFile>& media,
                                              const QList<RecycleBinItem>& bin) {
            if (!*checked)
                *checked = check.run(items);
            if (!*written) {
                *written = restoreEntries(items);
                if (auditLog)
                    auditLog->write(**written);
            }
            RestorePlan plan = planRestore(items, media, **checked);
            plan.media = media;
            restoreInto(*plan.media, plan);
            // Applied: a check result per item, freed here rather than with the plan on the GUI thread.
            plan.restored = {};
            plan.bin = withoutItems(bin, items);
            if (!plan.bin->isEmpty())
                plan.binned = MediaFilterIndex::binnedRows(*plan.media, *plan.bin);
            plan.summary = inputs.prepare(*plan.media, *plan.bin);
            return plan;
        },
        [items, checked, written, auditLog = m_services.auditLog](ProjectManager& manager, RestorePlan plan) {
            plan.audit = std::move(**written);
            applyRestore(manager, items, std::move(plan), auditLog);
            // A check per item: freeing them here would stall the window.
            memory::releaseLater(std::exchange(*checked, std::nullopt));
        });
}

} // namespace tarnwick
