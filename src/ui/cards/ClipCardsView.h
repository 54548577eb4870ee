#pragma once

#include "model/MediaFile.h"
#include "ui/cards/ClipCardGrid.h"
#include "ui/common/GuardedStaging.h"

#include <QSet>
#include <QUuid>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace tarnwick {

class ProjectManagerFace;

// The staging the cards ask of the window.
struct ClipCardsActions {
    // The reasons of the delete-safety conflicts of the files; empty when staging is safe.
    std::function<QStringList(const QList<MediaFile>&)> deleteSafetyConflicts;
    GuardedStaging::Stage addToRecycleBin; // calls its second argument once the files are staged
};

// The media pane's card mode: a header with the counts and the selection actions over the grid of
// the filtered media. The selection is shared with the window (see selectionChanged).
class ClipCardsView : public QWidget {
    Q_OBJECT
public:
    ClipCardsView(ProjectManagerFace& manager, ClipCardsActions actions, CardStillLoader loadStill,
                  ScrubEngineFactory makeEngine = {}, QWidget* parent = nullptr);

    const QSet<QUuid>& selection() const { return m_selection; }
    void setSelection(const QSet<QUuid>& selection);
    // Where the shared selection lives; read again each time the view is shown.
    void setSelectionSource(std::function<QSet<QUuid>()> source) { m_selectionSource = std::move(source); }

    ClipCardGrid* grid() const { return m_grid; }
    QLabel* clipCountLabel() const { return m_clipCount; }
    QLabel* selectionLabel() const { return m_selectionCount; }
    QPushButton* selectAllButton() const { return m_selectAll; }
    QPushButton* clearButton() const { return m_clear; }
    QPushButton* addToBinButton() const { return m_addToBin; }
    bool showsEmptyState() const;
    AlertDialog* deleteSafetyAlert() const { return m_staging.alert(); }
    const QList<MediaFile>& pendingDeleteFiles() const { return m_staging.pending(); }

    void selectAll();
    void clearSelection();
    void addSelectedToBin();
    void toggleSelection(const QUuid& id);
    void trashCard(const MediaFile& file);

protected:
    void showEvent(QShowEvent* event) override;

Q_SIGNALS:
    void selectionChanged(const QSet<QUuid>& selection);

private:
    void refreshFiles();
    void refreshHeader();
    void countShownSelection();
    void requestAddToBin(const QList<MediaFile>& files);
    void assignSelection(QSet<QUuid> selection, qsizetype shown);

    ProjectManagerFace& m_manager;
    ClipCardsActions m_actions;
    GuardedStaging m_staging;
    QSet<QUuid> m_selection;
    qsizetype m_shownSelected = 0; // of m_selection, the files the grid shows
    std::function<QSet<QUuid>()> m_selectionSource;

    QLabel* m_clipCount;
    QLabel* m_selectionCount;
    QPushButton* m_selectAll;
    QPushButton* m_clear;
    QPushButton* m_addToBin;
    QStackedWidget* m_body;
    ClipCardGrid* m_grid;
};

} // namespace tarnwick
