// The tour's tool sheets, each opened by its command over some history, shot and closed.
#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"
#include "ui/common/Command.h"
#include "ui/tools/EasyImportSheet.h"
#include "ui/tools/SearchOfflineFilesSheet.h"
#include "ui/tools/StatsView.h"
#include "ui/window/ContentView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTreeView>

namespace tarnwick {

namespace {

QList<AuditLogEntry> auditHistory() {
    const QList<std::pair<AuditAction, const char*>> history{
        {AuditAction::movedToTrash, "/media/editor/Media/Shoot/Day1/A001_C002_take2.mov"},
        {AuditAction::movedToFolder, "/media/editor/Media/Shoot/Day2/B001_C007.mov"},
        {AuditAction::deletedPermanently, "/media/editor/Media/Renders/old_export_v3.mov"},
        {AuditAction::restored, "/media/editor/Media/Shoot/Day1/A001_C005.mov"},
        {AuditAction::transcoded, "/media/editor/Media/Interviews/int_cam_a.mxf"}};
    QList<AuditLogEntry> entries;
    qint64 age = 3 * 86400;
    for (const auto& [action, path] : history) {
        AuditLogEntry e;
        e.action = action;
        e.filePath = QString::fromUtf8(path);
        e.fileName = QFileInfo(e.filePath).fileName();
        e.fileSize = 1'850'000'000 + age * 1000;
        e.timestamp = QDateTime::currentDateTimeUtc().addSecs(-age);
        e.projectNames = {QStringLiteral("Harbour Promo")};
        if (action == AuditAction::movedToFolder)
            e.destinationPath = QStringLiteral("/media/editor/Archive/Shoot/Day2/B001_C007.mov");
        entries.append(e);
        age /= 6;
    }
    return entries;
}

// Copies of the offline files in `root`, so the search has candidates.
void writeOfflineCopies(const QList<MediaFile>& files, const QDir& root) {
    for (const MediaFile& file : files) {
        if (!file.isOffline())
            continue;
        const QFileInfo info(file.path);
        for (const QString& folder : QStringList{QStringLiteral("Recovered/") + info.dir().dirName(),
                                                 QStringLiteral("Old Drive/Misc")}) {
            root.mkpath(folder);
            QFile copy(root.filePath(folder + QLatin1Char('/') + info.fileName()));
            if (copy.open(QIODevice::WriteOnly))
                copy.write("demo");
        }
    }
}

// The library's projects are open already and would not be listed: copies of them in `root`.
void writeProjectCopies(const QList<QUrl>& projects, const QDir& root) {
    int n = 0;
    for (const QUrl& project : projects) {
        const QString folder = n % 2 == 0 ? QStringLiteral("Archive 2024") : QStringLiteral("Backups");
        root.mkpath(folder);
        QFile::copy(project.toLocalFile(), root.filePath(folder + QStringLiteral("/Old ") +
                                                         QFileInfo(project.toLocalFile()).fileName()));
        ++n;
    }
}

} // namespace

// Clean-ups in the audit log and the statistics, and a timeline rule.
void ScreenshotTour::seedHistory() {
    m_steps << act(
        [this] {
            AuditLogManager::shared().append(auditHistory());
            StatsManager::shared().recordDeletion(37, 18'400'000'000);
            StatsManager::shared().recordMove(12, 4'200'000'000);
            manager().addSequenceRule(QStringLiteral("dailies"), SequenceRuleAction::ignore);
        },
        100);
}

void ScreenshotTour::openSheet(Command command, const QString& name) {
    m_steps << act([this, command] { view().handleCommand(command); }, 500) << [this, name] {
        shoot(name);
        after(100, [this] { next(); });
    };
}

void ScreenshotTour::closeSheet() {
    m_steps << act([this] { closeDialogs(); }, 300);
}

void ScreenshotTour::statsSheet() {
    openSheet(Command::showStats, QStringLiteral("sheet-stats"));
    m_steps << [this] {
        if (auto* sheet = findSheet<StatsView>())
            sheet->saveImage(QDir(m_outDir).filePath(QStringLiteral("sheet-stats-share-card.png")));
        next();
    };
    closeSheet();
}

void ScreenshotTour::auditLogSheet() {
    openSheet(Command::viewAuditLog, QStringLiteral("sheet-audit-log"));
    closeSheet();
}

void ScreenshotTour::searchOfflineSheet() {
    openSheet(Command::searchOfflineFiles, QStringLiteral("sheet-search-offline"));
    m_steps << act(
                   [this] {
                       m_scratch = std::make_unique<QTemporaryDir>();
                       writeOfflineCopies(manager().mediaFiles(), QDir(m_scratch->path()));
                       if (auto* sheet = findSheet<SearchOfflineFilesSheet>())
                           sheet->startScan(m_scratch->path());
                   },
                   2000)
            << act(
                   [this] {
                       if (auto* sheet = findSheet<SearchOfflineFilesSheet>())
                           sheet->list()->expandAll();
                   },
                   300)
            << shot(QStringLiteral("sheet-search-offline-results"));
    closeSheet();
}

void ScreenshotTour::protectedFoldersSheet() {
    openSheet(Command::manageProtectedFolders, QStringLiteral("sheet-protected-folders"));
    closeSheet();
}

void ScreenshotTour::sequenceUsageSheet() {
    openSheet(Command::manageSequenceUsage, QStringLiteral("sheet-sequence-usage"));
    closeSheet();
}

void ScreenshotTour::easyImportSheet() {
    openSheet(Command::easyImport, QStringLiteral("sheet-easy-import"));
    if (!m_projects.isEmpty()) {
        m_steps << act(
                       [this] {
                           m_scratch = std::make_unique<QTemporaryDir>();
                           writeProjectCopies(m_projects, QDir(m_scratch->path()));
                           if (auto* sheet = findSheet<EasyImportSheet>())
                               sheet->startScan(m_scratch->path());
                       },
                       1500)
                << shot(QStringLiteral("sheet-easy-import-results"));
    }
    closeSheet();
}

} // namespace tarnwick
