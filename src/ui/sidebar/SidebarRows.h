#pragma once

#include "model/ProjectFile.h"
#include "model/ProjectSequence.h"

#include <QAbstractButton>
#include <QColor>
#include <QPointer>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QMenu;

namespace tarnwick {

class ProjectManagerFace;

// Reclaimable space at the top of the summary: the unused size large in amber, the count below.
class ReclaimableCallout : public QWidget {
    Q_OBJECT
public:
    explicit ReclaimableCallout(QWidget* parent = nullptr);
    void set(const QString& size, int count);
    QString sizeText() const;
    QString countText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_size = nullptr;
    QLabel* m_count = nullptr;
};

// Label on the left, value on the right; highlighted values are bold (amber unless coloured).
class SummaryRow : public QWidget {
    Q_OBJECT
public:
    explicit SummaryRow(QWidget* parent = nullptr);
    void set(const QString& label, const QString& value, bool highlight, std::optional<QColor> color);
    QString label() const;
    QString value() const;
    QColor valueColor() const;
    bool isBold() const;

private:
    QLabel* m_label = nullptr;
    QLabel* m_value = nullptr;
};

// The hint that projects can be dropped on the window; lights up while a drag hovers.
class DropZoneRow : public QWidget {
    Q_OBJECT
public:
    explicit DropZoneRow(QWidget* parent = nullptr);
    void setDragging(bool dragging);
    bool isDragging() const { return m_dragging; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_dragging = false;
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
};

// The expand button of a project row: the chevron symbol in its 14 × 24 frame, turned a quarter
// down while checked (expanded).
class DisclosureChevron : public QAbstractButton {
    Q_OBJECT
public:
    DisclosureChevron(const QColor& tint, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {14, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_tint;
};

// One project: expand chevron, selection bar, name with counts; a tap toggles it in the filter.
// Drawn by the row itself (only the chevron is a child): hundreds are built at once.
class ProjectDisclosureRow : public QWidget {
    Q_OBJECT
public:
    // `countNow` false: the counts stay empty until refreshCounts().
    ProjectDisclosureRow(ProjectManagerFace& manager, const ProjectFile& project, bool expanded,
                         QWidget* parent = nullptr, bool countNow = true);

    const ProjectFile& project() const { return m_project; }
    void refreshSelection();
    void refreshCounts();
    bool isSelected() const { return m_selected; }
    DisclosureChevron* expandButton() const { return m_chevron; }
    QString countsText() const { return m_counts; }
    QString timelinesText() const { return m_timelines; }
    QString errorText() const { return m_project.parseError.value_or(QString()); }
    // Why files this project lists need review because of another project; shown with the warnings.
    void setReviewNote(const QString& note);
    // The warning triangle's help: the warnings, then the review note, one to a line (empty: no triangle).
    QString warningText() const;
    // The context menu's actions in order: Show Only This Project, Remove from Filter, Remove Project.
    QMenu* contextMenu();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {120, sizeHint().height()}; }

Q_SIGNALS:
    void expandToggled(bool expanded);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void toggleSelection();
    QRect warningRect() const;

    QPointer<ProjectManagerFace> m_manager;
    ProjectFile m_project;
    bool m_expanded = false;
    bool m_selected = false;
    QString m_counts;
    QString m_timelines;
    QString m_reviewNote;
    DisclosureChevron* m_chevron = nullptr;
    QMenu* m_menu = nullptr;
};

// One timeline of an expanded project: a checkbox for whether its usage counts.
class SequenceRow : public QWidget {
    Q_OBJECT
public:
    SequenceRow(ProjectManagerFace& manager, const ProjectFile& project, const ProjectSequence& sequence,
                QWidget* parent = nullptr);
    void refresh();
    QCheckBox* checkBox() const { return m_check; }
    QString badgeTip() const;
    QMenu* contextMenu();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<ProjectManagerFace> m_manager;
    ProjectFile m_project;
    ProjectSequence m_sequence;
    bool m_ignored = false;
    QCheckBox* m_check = nullptr;
    QLabel* m_name = nullptr;
    QLabel* m_badge = nullptr;
    QMenu* m_menu = nullptr;
};

} // namespace tarnwick
