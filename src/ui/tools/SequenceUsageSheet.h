#pragma once

#include <QWidget>

class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace tarnwick {

class ProjectManagerFace;
class SequenceUsageModel;

// Which timelines prove that their clips are used: name rules for every project (with three
// presets), the active rules, and every timeline of the open projects with its own checkbox.
// Every change applies at once.
class SequenceUsageSheet : public QWidget {
    Q_OBJECT
public:
    explicit SequenceUsageSheet(ProjectManagerFace& manager, QWidget* parent = nullptr);

    SequenceUsageModel* model() const { return m_model; }
    QLineEdit* searchField() const { return m_search; }
    QAbstractButton* protectButton() const { return m_protect; }
    QAbstractButton* ignoreButton() const { return m_ignore; }
    QPushButton* presetsButton() const { return m_presets; }
    QAbstractButton* clearButton() const { return m_clear; }
    QListView* timelines() const { return m_timelines; }
    QLabel* timelinesTitle() const { return m_timelinesTitle; }
    // The texts the rules pane shows, one per rule ("No rules" when empty).
    QStringList shownRules() const;
    // The remove button of the rule with `pattern`, or null.
    QAbstractButton* removeButton(const QString& pattern) const;
    // The text of the timelines pane's empty state (empty while timelines show).
    QString emptyStateText() const;

    // 680 × 570; on a shorter screen its lists give up the height.
    QSize sizeHint() const override;

private:
    // The constructor's sections: each makes its part and keeps its widgets.
    QWidget* buildRuleEntry();
    QWidget* buildSearchField(QWidget* entry);
    QHBoxLayout* buildRuleActions(QWidget* entry);
    QWidget* buildRulesPane();
    QWidget* buildTimelinesPane();
    void addRuleFromSearch(bool protect);
    void rebuildRules();
    void updateControls();

    ProjectManagerFace& m_manager;
    SequenceUsageModel* m_model = nullptr;
    QLineEdit* m_search = nullptr;
    QAbstractButton* m_protect = nullptr;
    QAbstractButton* m_ignore = nullptr;
    QPushButton* m_presets = nullptr;
    QAbstractButton* m_clear = nullptr;
    QWidget* m_rulesHost = nullptr;
    QVBoxLayout* m_rules = nullptr;
    QListView* m_timelines = nullptr;
    QLabel* m_timelinesTitle = nullptr;
    QStackedWidget* m_timelineBody = nullptr;
    QLabel* m_emptyText = nullptr;
};

} // namespace tarnwick
