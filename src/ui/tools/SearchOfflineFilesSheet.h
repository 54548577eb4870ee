#pragma once

#include "model/ScoredMatch.h"
#include "ui/common/ViewHelpers.h"

#include <QList>
#include <QSet>
#include <QUuid>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QTreeView;

namespace tarnwick {

class FilePanel;
class ProjectManagerFace;
class SecurityScopedAccess;

// What the sheet asks of the linked-media operations (tests hand in their own).
struct OfflineSearchOperations {
    using Progress = std::function<void(const QString&)>;
    std::function<QCoro::Task<QList<ScoredMatch>>(QString folder, bool ignoreExtension, Progress progress)>
        scan;
    std::function<bool()> hasMissingAEPLinks;
    std::function<QCoro::Task<int>(QString folder, Progress progress)> searchMissingAEP;
    std::function<QCoro::Task<void>(QList<ScoredMatch> matches)> apply;

    static OfflineSearchOperations forManager(ProjectManagerFace& manager);
};

// Header texts: "2 offline media files", "1 missing AE project", or "No offline files".
QStringList offlineCountTexts(qsizetype offlineFiles, qsizetype missingAEProjects);

// Searches a folder for the offline media (and missing After Effects projects), shows the scored
// candidates grouped by offline file, and relinks the chosen ones.
class SearchOfflineFilesSheet : public QWidget {
    Q_OBJECT
public:
    enum class Page { start, scanning, applying, results };

    SearchOfflineFilesSheet(ProjectManagerFace& manager, FilePanel& panel, SecurityScopedAccess& grants,
                            OfflineSearchOperations operations, QWidget* parent = nullptr);

    Page page() const;
    const QList<ScoredMatch>& matches() const { return m_matches; }
    const QList<OfflineMatchGroup>& groups() const { return m_groups; }
    const QSet<QUuid>& selectedMatches() const { return m_selected; }
    const QString& scanProgress() const { return m_scanProgress; }
    QStringList headerTexts() const;
    QString summaryText() const;       // "Found 3 potential matches"
    QString summaryDetailText() const; // "for 2 offline files", empty when hidden
    QString bannerText() const;        // empty when no banner
    bool showsNoMatchPage() const;
    QPushButton* applyBestButton() const { return m_applyBest; }
    QPushButton* applySelectedButton() const { return m_applySelected; }
    QPushButton* doneButton() const { return m_done; }
    QCheckBox* ignoreExtensionToggle() const { return m_ignoreExtension; }
    QTreeView* list() const { return m_list; }

    void chooseFolder();
    void startScan(const QString& folder);
    void selectBest();
    void selectAll();
    void selectNone();
    void setSelection(const QSet<QUuid>& ids);
    void applyBest();
    void applySelected();

Q_SIGNALS:
    void scanFinished();
    void applyFinished();

private:
    // The constructor's sections: each makes its page (or part of one) and keeps its widgets.
    QWidget* buildStartPage();
    QWidget* buildScanningPage();
    QWidget* buildApplyingPage();
    QWidget* buildResultsPage();
    QWidget* buildBanner(QWidget* results);
    QWidget* buildNoMatchPage(QWidget* results);
    QWidget* buildMatchListPage(QWidget* results);
    QCoro::Task<void> runScan(QString folder);
    QCoro::Task<void> runApply(QList<ScoredMatch> chosen);
    void setProgress(const QString& text);
    void showResults();
    void syncListSelection();
    void updatePage();
    void updateHeader();
    void updateButtons();

    ProjectManagerFace& m_manager;
    FilePanel& m_panel;
    SecurityScopedAccess& m_grants;
    OfflineSearchOperations m_ops;
    bool m_isScanning = false;
    bool m_isApplying = false;
    bool m_hasScanned = false;
    bool m_syncing = false;
    QString m_scanProgress;
    QList<ScoredMatch> m_matches;
    QList<OfflineMatchGroup> m_groups;
    QSet<QUuid> m_selected;
    int m_aepResolved = 0;

    QLabel* m_counts = nullptr;
    QPushButton* m_done = nullptr;
    QStackedWidget* m_pages = nullptr;
    QLabel* m_progressLabel = nullptr;
    QLabel* m_applyingLabel = nullptr;
    QCheckBox* m_ignoreExtension = nullptr;
    QWidget* m_banner = nullptr;
    QLabel* m_bannerText = nullptr;
    QStackedWidget* m_resultBody = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_summaryDetail = nullptr;
    QTreeView* m_list = nullptr;
    QStandardItemModel* m_model = nullptr;
    QPushButton* m_applyBest = nullptr;
    QPushButton* m_applySelected = nullptr;
};

} // namespace tarnwick
