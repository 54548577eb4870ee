#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QMenu;

namespace tarnwick {

class FilterChipToggle;
class ProjectManagerFace;

// The strip above every detail mode: the search text, five filter chips and the file count. It
// holds no state: every edit goes to the manager, and the controls follow the manager's fields.
// Where the strip is narrow the search field keeps its width and the last chips give way: they
// move into the "More" chip's menu.
class FilterBar : public QWidget {
    Q_OBJECT
public:
    // The least width of the search field's box, whatever the chips.
    static constexpr int searchLeastWidth = 200;

    explicit FilterBar(ProjectManagerFace& manager, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }
    FilterChipToggle* chip(const QString& label) const;
    // The chip that opens the menu of the chips that gave way; shown only while some did.
    FilterChipToggle* moreChip() const { return m_more; }
    QMenu* moreMenu() const { return m_moreMenu; }
    QString countText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void syncFromManager();
    void syncCount();
    // Shows the chips that fit beside the search field's least width, in order; the rest are
    // the "More" chip's.
    void fitChips();
    void showMoreMenu();

    ProjectManagerFace& m_manager;
    QWidget* m_searchBox = nullptr;
    QLineEdit* m_search = nullptr;
    QList<FilterChipToggle*> m_chips;
    FilterChipToggle* m_more = nullptr;
    QMenu* m_moreMenu = nullptr;
    QLabel* m_count = nullptr;
};

} // namespace tarnwick
