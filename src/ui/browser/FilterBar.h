#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace tarnwick {

class FilterChipToggle;
class ProjectManagerFace;

// The strip above every detail mode: the search text, five filter chips and the file count. It
// holds no state: every edit goes to the manager, and the controls follow the manager's fields.
class FilterBar : public QWidget {
    Q_OBJECT
public:
    explicit FilterBar(ProjectManagerFace& manager, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }
    FilterChipToggle* chip(const QString& label) const;
    QString countText() const;

private:
    void syncFromManager();
    void syncCount();

    ProjectManagerFace& m_manager;
    QLineEdit* m_search = nullptr;
    QList<FilterChipToggle*> m_chips;
    QLabel* m_count = nullptr;
};

} // namespace tarnwick
