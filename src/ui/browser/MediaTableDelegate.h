#pragma once

#include "model/MediaFile.h"

#include <QStyledItemDelegate>

#include <functional>

namespace tarnwick {

class MediaThumbnailStore;

// Paints every cell of the media table (badges, name lines, marks) without widgets per row, and
// answers tooltips by hit-testing the same marks it painted.
class MediaTableDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowHeight = 46;
    // A row's height: a name cell with a relocation line under the name
    // (MediaFilterIndex::hasRelocationLine) has three lines and is taller than the others.
    static int heightOf(const MediaFile& file);
    static int threeLineHeight();

    // One painted mark with its own tooltip.
    struct Mark {
        QRectF rect;
        QString tooltip;
        bool isThumbnail = false;
    };

    explicit MediaTableDelegate(MediaThumbnailStore* thumbnails, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // The marks of a cell in `rect`, as they are painted; the cell's own tooltip has an empty rect.
    QList<Mark> marks(const MediaFile& file, int column, const QRect& rect) const;
    // The tooltip at a point of a cell.
    QString tooltipAt(const MediaFile& file, int column, const QRect& rect, const QPoint& point) const;

    // Widths of the status column: the widest status text whole (minimum), and with its relocation
    // and protection marks too (ideal).
    struct ColumnWidths {
        int minimum = 0;
        int ideal = 0;
    };
    static ColumnWidths statusColumnWidths();
    // The size column's least width: the widest size text whole, in its bold face.
    static int sizeColumnWidth();

private:
    QList<Mark> layoutCell(QPainter* painter, const MediaFile& file, int column, const QRect& rect,
                           const QColor& ink = {}) const;

    MediaThumbnailStore* m_thumbnails = nullptr;
};

} // namespace tarnwick
