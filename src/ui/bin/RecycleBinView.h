#pragma once

#include "model/RecycleBinItem.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QStyledItemDelegate>
#include <QUuid>
#include <QWidget>

#include <functional>

class QLabel;
class QListView;
class QPushButton;
class QStackedWidget;

namespace tarnwick {

class ProjectManagerFace;

// The bin's items in bin order, one row each (name, size, time added).
class RecycleBinModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { itemIdRole = Qt::UserRole + 1, sizeTextRole, timeTextRole };
    using QAbstractListModel::QAbstractListModel;

    void setItems(QList<RecycleBinItem> items);
    const QList<RecycleBinItem>& items() const { return m_items; }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QList<RecycleBinItem> m_items;
};

// Paints a bin row: the file name on one line, then the size and the time of day in captions.
class RecycleBinRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The right-hand pane: header with the bin's total, the staged files, and the clean-up actions.
// Restores run here; the other actions raise the window's presentations.
class RecycleBinView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> moveToTrash;       // "Delete Files"
        std::function<void()> moveToFolder;      // the folder choice, then its confirmation
        std::function<void()> deletePermanently; // the typed confirmation sheet
        std::function<void()> transcode;         // the transcode confirmation sheet
    };

    // `selection` is the window's bin selection, kept across rebuilds.
    RecycleBinView(ProjectManagerFace& manager, QSet<QUuid>& selection, Actions actions,
                   QWidget* parent = nullptr);

    QLabel* totalLabel() const { return m_total; }
    QListView* list() const { return m_list; }
    RecycleBinModel* model() const { return m_model; }
    bool showsEmptyState() const;
    // Footer buttons in order: Restore All, Move to Trash, Move to Folder..., Delete
    // Permanently, Transcode & Replace.
    const QList<QPushButton*>& footerButtons() const { return m_buttons; }
    // The row menu's "Restore" over the given identifiers (bin order), then clears the selection.
    void restoreItems(const QSet<QUuid>& ids);
    // The rows a menu opened at `pos` (viewport coordinates) is for: the selection when opened on a
    // selected row, that row alone otherwise, none off the rows.
    QSet<QUuid> menuItemsAt(const QPoint& pos) const;

private:
    void refresh();
    void syncSelection();
    void showRowMenu(const QPoint& pos);

    ProjectManagerFace& m_manager;
    QSet<QUuid>& m_selection;
    QLabel* m_total = nullptr;
    QStackedWidget* m_content = nullptr;
    QListView* m_list = nullptr;
    RecycleBinModel* m_model = nullptr;
    QList<QPushButton*> m_buttons;
    bool m_refreshing = false;
    qint64 m_shownVersion = -1;
};

} // namespace tarnwick
