#pragma once

#include "model/ProjectFile.h"
#include "model/ProjectSequence.h"
#include "stores/SequenceUsageDecision.h"

#include <QAbstractListModel>
#include <QList>

namespace tarnwick {

class ProjectManagerFace;
class SequenceUsagePolicyStore;

// One project of the timelines pane with the timelines the search keeps.
struct VisibleSequenceProject {
    ProjectFile project;
    QList<ProjectSequence> sequences;
};

// The projects and timelines that `searchText` keeps: all of a project when the text is blank or
// matches its name, else the timelines whose display name contains it; empty projects left out.
QList<VisibleSequenceProject> visibleSequenceProjects(const QList<ProjectFile>& projects,
                                                      const QString& searchText);
// Unattributed timeline occurrences over all media of the project.
qint64 unattributedCount(const ProjectFile& project);
// "ID …" and the last 8 characters of the timeline's id.
QString sequenceIdCaption(const QString& id);

// The timelines pane as one flat list: a header row per project followed by its timeline rows.
// The policy is evaluated once per project per refresh, not once per row and paint.
class SequenceUsageModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { isHeaderRole = Qt::UserRole + 1, decisionRole, captionRole, unattributedRole };

    explicit SequenceUsageModel(ProjectManagerFace& manager, QObject* parent = nullptr);

    void setSearchText(const QString& text);
    const QString& searchText() const { return m_searchText; }
    // Rebuilds the rows from the manager (after any rule, override or project change).
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    int visibleTimelineCount() const { return m_timelineCount; }
    int visibleProjectCount() const { return m_projectCount; }
    // How many project policies the last refreshes evaluated in total.
    int policyEvaluations() const { return m_policyEvaluations; }
    // The row of a timeline by its id within a project name, or -1.
    int rowOf(const QString& projectName, const QString& sequenceID) const;

    bool isHeader(int row) const { return m_rows.at(row).header; }
    SequenceUsageDecision decision(int row) const { return m_rows.at(row).decision; }
    // Row actions (timeline rows only).
    void setCounted(int row, bool counted);
    void protectName(int row);
    void ignoreName(int row);
    bool canAddNameRule(int row) const;

Q_SIGNALS:
    // A row added a name rule.
    void rulesChanged();

private:
    struct Row {
        bool header = false;
        int project = 0; // index into m_visible
        ProjectSequence sequence;
        QString displayName;
        SequenceUsageDecision decision = SequenceUsageDecision::counted;
        qint64 unattributed = 0;
    };

    ProjectManagerFace& m_manager;
    QString m_searchText;
    QList<VisibleSequenceProject> m_visible;
    QList<Row> m_rows;
    int m_timelineCount = 0;
    int m_projectCount = 0;
    int m_policyEvaluations = 0;
};

} // namespace tarnwick
