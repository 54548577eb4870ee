#pragma once

#include "ui/window/CleanupOperations.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QUrl>
#include <QUuid>

#include <optional>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QVBoxLayout;

namespace tarnwick {

class BrandButton;
class ContentView;
class DropZoneRow;
class ProjectDisclosureRow;
class ProjectManager;
class ReclaimableCallout;
class SequenceRow;
class SummaryRow;

// The window's leading column: drop zone, summary, projects with their timelines, timeline
// rules, filters, options, protected folders and the clean-up actions ("Sweep"). Each section
// refreshes only on the manager's groups it reads.
class SidebarView : public QScrollArea {
    Q_OBJECT
public:
    explicit SidebarView(ContentView& window, QWidget* parent = nullptr);
    ~SidebarView() override;

    QSize sizeHint() const override { return {272, 700}; }

    // For tests and the later views: the pieces as shown.
    DropZoneRow* dropZone() const { return m_dropZone; }
    ReclaimableCallout* callout() const { return m_callout; }
    QList<SummaryRow*> visibleSummaryRows() const;
    QList<ProjectDisclosureRow*> projectRows() const { return m_projectRows; }
    QList<SequenceRow*> sequenceRows() const { return m_sequenceRows; }
    QLabel* emptyProjectsHint() const { return m_emptyHint; }
    QAbstractButton* clearFilterChip() const { return m_clearFilter; }
    std::optional<QString> unattributedNotice(const QUuid& projectID) const;
    QString ruleCountsShown() const;
    QString protectedCountShown() const;
    QAbstractButton* toggle(const QString& title) const;
    BrandButton* sweepButton(int index) const { return m_sweep.value(index); }
    void setExpanded(const QUuid& projectID, bool expanded);

    // "Add All Unused to Bin" and the move of every safe unused file; each runs once at a time.
    void addAllUnusedToBin();
    void startUnusedMove(const QUrl& folder);
    bool isUnusedMoveRunning() const { return m_unusedMoveRunning; }
    const QList<CleanupOperations::Conflict>& deleteConflicts() const { return m_deleteConflicts; }
    // Adds the sidebar's alerts to the window's chain (after the window's own).
    void addPresentations();

private:
    void build();
    void addSection(const QString& title, const QString& image);
    void refreshSummary();
    void rebuildProjects();
    void refreshSelection();
    void refreshRules();
    void refreshToggles();
    void refreshSweep();
    void chooseUnusedMoveFolder();

    ContentView& m_window;
    ProjectManager& m_manager;
    QWidget* m_body = nullptr;
    QVBoxLayout* m_layout = nullptr;
    DropZoneRow* m_dropZone = nullptr;
    ReclaimableCallout* m_callout = nullptr;
    QList<SummaryRow*> m_summaryRows;
    QWidget* m_summaryDivider = nullptr;
    QWidget* m_projectsBox = nullptr;
    QVBoxLayout* m_projectsLayout = nullptr;
    QLabel* m_emptyHint = nullptr;
    QList<ProjectDisclosureRow*> m_projectRows;
    QList<SequenceRow*> m_sequenceRows;
    QHash<QUuid, QLabel*> m_notices;
    QAbstractButton* m_clearFilter = nullptr;
    QLabel* m_ruleCounts = nullptr;
    QLabel* m_folderCount = nullptr;
    QHash<QString, QAbstractButton*> m_toggles;
    QList<BrandButton*> m_sweep;
    QSet<QUuid> m_expandedProjectIDs;

    bool m_showDeleteSafetyWarning = false;
    QList<CleanupOperations::Conflict> m_deleteConflicts;
    QList<MediaFile> m_pendingDeleteFiles;
    std::optional<QUrl> m_pendingUnusedMoveFolder;
    bool m_showingUnusedMoveConfirm = false;
    bool m_unusedMoveRunning = false;
};

} // namespace tarnwick
