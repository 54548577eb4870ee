#include "ui/browser/MediaTableModel.h"

#include "analysis/ProjectManagerFace.h"
#include "model/MediaFileStatus.h"
#include "platform/MemoryRelease.h"
#include "ui/browser/MediaBadges.h"

#include <algorithm>

namespace tarnwick {

MediaTableModel::MediaTableModel(ProjectManagerFace& manager, QObject* parent)
    : QAbstractTableModel(parent), m_manager(manager) {
    connect(&m_manager, &ProjectManagerFace::sortKeysReady, this, [this] {
        if (m_waitingForKeys)
            refresh();
    });
    refresh();
}

int MediaTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MediaTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant MediaTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Status",  "File Name", "Size",    "Usage",
                                         "Storage", "Sequence",  "Projects"};
    return section >= 0 && section < columnCount_ ? QString::fromUtf8(titles[section]) : QVariant();
}

QVariant MediaTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const MediaFile& file = m_rows[index.row()];
    if (role == fileRole)
        return QVariant::fromValue(static_cast<const void*>(&file));
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (Column(index.column())) {
    case status:
        return MediaBadges::statusText(file);
    case fileName:
        return file.fileName();
    case size:
        return MediaBadges::sizeText(file.size);
    case usage:
        return MediaBadges::usageMark(file).pillText;
    case storage:
        return file.displayPath();
    case sequence: {
        const QString text = file.sequenceNamesText();
        return text.isEmpty() ? QStringLiteral("—") : text;
    }
    case projects:
        return file.projectNames.join(QStringLiteral(", "));
    case columnCount_:
        break;
    }
    return {};
}

MediaSortKey MediaTableModel::keyOf(Column column) {
    switch (column) {
    case status:
        return MediaSortKey::status;
    case fileName:
        return MediaSortKey::fileName;
    case size:
        return MediaSortKey::size;
    case usage:
        return MediaSortKey::usageCount;
    case storage:
        return MediaSortKey::storage;
    case sequence:
        return MediaSortKey::sequences;
    case projects:
    case columnCount_:
        break;
    }
    return MediaSortKey::projects;
}

void MediaTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount_)
        return;
    // The clicked column decides first; earlier columns stay behind it as tie-breakers.
    const MediaSortKey key = keyOf(Column(column));
    MediaSortOrder next{{key, order == Qt::AscendingOrder}};
    for (const MediaSortComparator& comparator : std::as_const(m_order)) {
        if (comparator.key != key)
            next.append(comparator);
    }
    if (next == m_order)
        return;
    m_order = std::move(next);
    refresh();
}

void MediaTableModel::resetSortOrder() {
    if (m_order == defaultOrder)
        return;
    m_order = defaultOrder;
    refresh();
}

void MediaTableModel::setInSight(bool inSight) {
    if (inSight == m_inSight)
        return;
    m_inSight = inSight;
    if (m_inSight && m_stale)
        refresh();
}

void MediaTableModel::refresh() {
    if (!m_inSight) {
        m_stale = true;
        m_waitingForKeys = false;
        if (!m_rows.isEmpty()) {
            beginResetModel();
            memory::releaseLater(std::exchange(m_rows, MediaRows()));
            m_tallRows.clear();
            endResetModel();
        }
        return;
    }
    m_stale = false;
    // A large list's texts are collated on a worker: the rows shown stay until its keys are back,
    // then change in one step.
    m_waitingForKeys = !m_manager.canSortNow(m_order);
    if (m_waitingForKeys)
        return;
    beginResetModel();
    // The old rows may hold the last reference to a list of 100,000 records (after Clear All).
    memory::releaseLater(std::exchange(m_rows, m_manager.sortedFilteredMediaRows(m_order)));
    m_tallRows = m_manager.relocationLinePositions(m_rows);
    endResetModel();
}

int MediaTableModel::rowOf(const QUuid& id, int first, int last) const {
    const int end = last < 0 ? int(m_rows.size()) : std::min(last + 1, int(m_rows.size()));
    for (int row = std::max(first, 0); row < end; ++row) {
        if (m_rows[row].id == id)
            return row;
    }
    return -1;
}

} // namespace tarnwick
