#pragma once

#include "analysis/MediaRows.h"
#include "analysis/MediaSortComparator.h"
#include "model/MediaFile.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QUuid>

namespace tarnwick {

class ProjectManagerFace;

// Adapts the manager's cached, filtered and sorted rows to a table: they index the manager's list
// (no copy of the records) and are re-read only when the list or the order changes.
class MediaTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { status, fileName, size, usage, storage, sequence, projects, columnCount_ };
    static constexpr int fileRole = Qt::UserRole + 1; // the row's MediaFile

    explicit MediaTableModel(ProjectManagerFace& manager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    const MediaFile& file(int row) const { return m_rows[row]; }
    const MediaRows& rows() const { return m_rows; }
    // The rows whose file has a relocation line (a third line in the name cell), in row order.
    const QList<int>& tallRows() const { return m_tallRows; }
    // The row showing `id` among rows first..last (all by default), or -1.
    int rowOf(const QUuid& id, int first = 0, int last = -1) const;
    const MediaSortOrder& sortOrder() const { return m_order; }
    static MediaSortKey keyOf(Column column);

    // Back to one comparator: size, largest first.
    void resetSortOrder();
    // Re-reads the manager's sorted list (after a change of the list, the bin, projects or filters).
    void refresh();
    // The rows wait for the list's sort keys (made on a worker) before they change.
    bool isWaitingForSortKeys() const { return m_waitingForKeys; }
    // Out of sight, a refresh only lets the rows go (they hold the list they index): the list is
    // sorted once, when the table is back in sight, not at every change meanwhile.
    void setInSight(bool inSight);

private:
    ProjectManagerFace& m_manager;
    static inline const MediaSortOrder defaultOrder{{MediaSortKey::size, false}};
    MediaSortOrder m_order = defaultOrder;
    MediaRows m_rows;
    // Found from the manager's row flags, made with its summary pass: a reset (a sort, the table back
    // in sight) reads no record for them, and passes over the rows only when the list has some.
    QList<int> m_tallRows;
    bool m_waitingForKeys = false;
    bool m_inSight = true;
    bool m_stale = false;
};

} // namespace tarnwick
