#pragma once

#include "ui/cleanup/CleanupOperations.h"
#include "ui/common/Command.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QVBoxLayout;

namespace tarnwick {

class BrandButton;
class CleanupRunner;
class CommandCenter;
class DropZoneRow;
class FilePanel;
class ProjectDisclosureRow;
class ProjectManagerFace;
class ReclaimableCallout;
class SecurityScopedAccess;
class SequenceRow;
class SummaryRow;
class PresentationChain;
class WindowFacts;

// The window's leading column: drop zone, summary, projects with their timelines, timeline
// rules, filters, options, protected folders and the clean-up actions ("Sweep"). Each section
// refreshes only on the manager's groups it reads.
class SidebarView : public QScrollArea {
    Q_OBJECT
public:
    struct Services {
        ProjectManagerFace& manager;
        CleanupOperations& operations;
        WindowFacts& facts;       // the sweep buttons' enabled states
        CleanupRunner& runner;    // the move of the unused files; its result goes to the window
        PresentationChain& chain; // the window's alerts and panels, where the sidebar's wait their turn
        CommandCenter& commands;  // the two "Manage…" buttons post
        FilePanel& panel;
        SecurityScopedAccess& grants;
        std::function<void()> exportUnused; // the window's export, as the menu runs it
    };

    explicit SidebarView(Services services, QWidget* parent = nullptr);
    ~SidebarView() override;

    QSize sizeHint() const override { return {272, 700}; }

    // The pieces as shown, for tests and the window.
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
    // From how many media paths, over the projects whose counts the manager has not worked out
    // yet, the rows are counted in slices on later turns (tests lower it).
    void setSlicedCountPaths(qsizetype paths) { m_slicedCountPaths = paths; }
    bool hasRowsToCount() const { return !m_uncounted.isEmpty(); }

    // "Add All Unused to Bin" and the move of every safe unused file (through the window's runner).
    void addAllUnusedToBin();
    // The folder choice for the move ("Move Unused to Folder…" and its menu command), then its
    // confirmation.
    void chooseUnusedMoveFolder();
    void startUnusedMove(const QUrl& folder);
    bool isUnusedMoveRunning() const;

private:
    void build();
    void buildSummary();
    void buildProjects();
    void buildFiltersAndOptions();
    void buildSweep();
    QLabel* addManagedSection(const QString& title, const QString& symbol, const QString& action,
                              Command command);
    void addToggle(const QString& title, const QString& help, std::function<void(bool)> onUserClick);
    void addSection(const QString& title, const QString& image);
    void refreshSummary();
    void rebuildProjects();
    // A change of the timeline policy alone: the rows stay, their counts and checks are refreshed.
    void refreshProjectRows();
    void countSlice();
    void scheduleCounting();
    void refreshSelection();
    void refreshRules();
    void refreshToggles();
    void refreshSweep();
    void warnOfConflicts(const QList<MediaFile>& eligible,
                         const QList<CleanupOperations::Conflict>& conflicts);
    void confirmUnusedMove(const QUrl& folder);

    Services m_services;
    ProjectManagerFace& m_manager;
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
    QList<QPointer<ProjectDisclosureRow>> m_uncounted;
    qsizetype m_slicedCountPaths = 5000;
    bool m_countScheduled = false;
    QAbstractButton* m_clearFilter = nullptr;
    QLabel* m_ruleCounts = nullptr;
    QLabel* m_folderCount = nullptr;
    QHash<QString, QAbstractButton*> m_toggles;
    QList<BrandButton*> m_sweep;
    QSet<QUuid> m_expandedProjectIDs;
};

} // namespace tarnwick
