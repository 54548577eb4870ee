#include "ui/tools/EasyImportRows.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>

namespace tarnwick {

namespace {
constexpr int lineGap = 2;
constexpr int verticalPadding = 4;
} // namespace

bool EasyImportRows::isHeader(const QModelIndex& index) {
    return !index.parent().isValid();
}

QFont EasyImportRows::nameFont(const QFont& base) {
    QFont font = base;
    font.setWeight(QFont::Medium);
    return font;
}

QFont EasyImportRows::captionFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF((base.pointSizeF() > 0 ? base.pointSizeF() : 10) * 0.85);
    return font;
}

QStringList EasyImportRows::shownLines(const QStyleOptionViewItem& option, const QModelIndex& index,
                                       int width) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    const QFontMetricsF caption(captionFont(option.font));
    if (isHeader(index))
        return {caption.elidedText(text, Qt::ElideLeft, width)};
    return {QFontMetricsF(nameFont(option.font)).elidedText(text, Qt::ElideMiddle, width),
            caption.elidedText(index.data(detailRole).toString(), Qt::ElideRight, width)};
}

void EasyImportRows::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // Background and checkbox as the style draws them; the texts are ours.
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    const QRect area =
        style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).adjusted(2, verticalPadding, -2, 0);
    const QStringList lines = shownLines(option, index, area.width());
    const QColor secondary = option.palette.color(QPalette::PlaceholderText);
    painter->save();
    if (isHeader(index)) {
        painter->setFont(captionFont(option.font));
        painter->setPen(secondary);
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, lines.value(0));
        painter->restore();
        return;
    }
    const QFont name = nameFont(option.font);
    const QFont caption = captionFont(option.font);
    const int nameHeight = QFontMetrics(name).height();
    painter->setFont(name);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(QRect(area.left(), area.top(), area.width(), nameHeight),
                      Qt::AlignLeft | Qt::AlignVCenter, lines.value(0));
    painter->setFont(caption);
    painter->setPen(secondary);
    painter->drawText(
        QRect(area.left(), area.top() + nameHeight + lineGap, area.width(), QFontMetrics(caption).height()),
        Qt::AlignLeft | Qt::AlignVCenter, lines.value(1));
    painter->restore();
}

QSize EasyImportRows::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int caption = QFontMetrics(captionFont(option.font)).height();
    if (isHeader(index))
        return {200, caption + 2 * verticalPadding + 4};
    return {200, QFontMetrics(nameFont(option.font)).height() + lineGap + caption + 2 * verticalPadding};
}

} // namespace tarnwick
