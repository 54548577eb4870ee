#pragma once

#include "model/MediaFile.h"
#include "ui/common/GuardedStaging.h"

#include <QSet>
#include <QUuid>
#include <QWidget>

#include <functional>

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTableView;

namespace tarnwick {

class MediaTableDelegate;
class MediaTableModel;
class MediaThumbnailStore;
class ProjectManagerFace;

// What the table asks of the window: the safety check, staging, reveal, copy, combine, preview.
struct MediaBrowserActions {
    // One reason per delete-safety conflict of the files (none: safe to stage).
    std::function<QStringList(const QList<MediaFile>&)> deleteSafetyConflicts;
    GuardedStaging::Stage addToRecycleBin; // calls its second argument once the files are staged
    std::function<void(const MediaFile&)> reveal;
    std::function<void(const QList<MediaFile>&)> copyPaths;
    // Starts merging the files into one entry, or queues it while the manager is busy; returns at
    // once and calls its second argument once the merge happened.
    std::function<void(const QList<MediaFile>&, std::function<void()> done)> combine;
    std::function<void(const MediaFile&)> preview;
};

// The "Table" mode: the filtered, sorted media list with its header bar, badges and context menu.
// The selection is a set of ids that survives re-sorting and refiltering.
class MediaFileListView : public QWidget {
    Q_OBJECT
public:
    MediaFileListView(ProjectManagerFace& manager, MediaBrowserActions actions,
                      MediaThumbnailStore* thumbnails, QWidget* parent = nullptr);
    ~MediaFileListView() override;

    const QSet<QUuid>& selectedFiles() const { return m_selected; }
    void setSelectedFiles(const QSet<QUuid>& ids);
    void setThumbnailActivity(int activeOperations);

    // The rows a context menu opened at `row` acts on: the selection when the row is selected,
    // only that row otherwise, none for empty space (row -1). Table order.
    QList<MediaFile> contextRows(int row) const;
    QMenu* buildContextMenu(const QList<MediaFile>& files, QWidget* parent);
    void addSelectionToBin(const QList<MediaFile>& files);
    void addHeaderSelectionToBin();
    void activateRow(int row);
    // Opens the preview of a row, as a click on its thumbnail does.
    void previewRow(int row);

    QTableView* table() const { return m_table; }
    MediaTableModel* model() const { return m_model; }
    QPushButton* addButton() const { return m_addButton; }
    QString selectionText() const;
    QString emptyTitle() const;
    QString emptyDescription() const;
    bool showsEmptyState() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Leaving the table mode starts the next visit at the default order, largest first.
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

Q_SIGNALS:
    void selectedFilesChanged(const QSet<QUuid>& ids);

private:
    void build();
    QWidget* buildHeader();
    void buildEmptyPage();
    void buildTable();
    void connectTable();
    void refresh();
    // The window's other pages are hidden while it shows: this one's rows wait until it is shown.
    void updateSight();
    void syncSelectionToTable();
    void readSelectionFromTable();
    void syncHeader();
    void dropHiddenThumbnailRequests();
    void showContextMenu(const QPoint& pos);
    void clearSelection();
    void fitColumns();
    void fitRowHeights();

    ProjectManagerFace& m_manager;
    MediaBrowserActions m_actions;
    GuardedStaging m_staging;
    MediaThumbnailStore* m_thumbnails = nullptr;
    QSet<QUuid> m_selected;
    qsizetype m_shownSelected = 0; // of m_selected, the rows the table shows
    bool m_syncingSelection = false;

    MediaTableModel* m_model = nullptr;
    MediaTableDelegate* m_delegate = nullptr;
    QList<int> m_tallRows; // rows given the three-line height at the last reset
    QTableView* m_table = nullptr;
    QStackedWidget* m_body = nullptr;
    QLabel* m_selectionLabel = nullptr;
    QWidget* m_activity = nullptr;
    QLabel* m_activityCount = nullptr;
    QPushButton* m_addButton = nullptr;
    QLabel* m_emptyTitle = nullptr;
    QLabel* m_emptyDescription = nullptr;
};

} // namespace tarnwick
