#pragma once

#include <QStyledItemDelegate>

namespace tarnwick {

// The easy import list: a folder header per group (its path in small type, cut at the head so
// the folder's own name stays), then one row per project: its checkbox, the file name in medium
// weight on a line of its own, and below it the size and date.
class EasyImportRows : public QStyledItemDelegate {
    Q_OBJECT
public:
    enum Role { projectIdRole = Qt::UserRole + 1, detailRole };

    using QStyledItemDelegate::QStyledItemDelegate;

    // The lines of a row as they are painted in a text area `width` wide.
    QStringList shownLines(const QStyleOptionViewItem& option, const QModelIndex& index, int width) const;
    static bool isHeader(const QModelIndex& index);
    static QFont nameFont(const QFont& base);
    static QFont captionFont(const QFont& base);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace tarnwick
