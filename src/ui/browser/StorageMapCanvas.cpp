#include "ui/browser/StorageMapCanvas.h"

#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace tarnwick {

StorageMapCanvas::StorageMapCanvas(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(60, 60);
}

void StorageMapCanvas::setContent(QList<MapTreemapItem> items, const QList<ProjectFootprint>* footprints,
                                  const ProjectClips* clips, const StorageMap::MergeRule& rule) {
    m_items = std::move(items);
    m_rule = rule;
    m_footprints = footprints;
    m_clips = clips;
    relayout();
}

void StorageMapCanvas::relayout() {
    m_tiles = StorageMap::layoutTiles(m_items, QSizeF(width() - 2 * padding, height() - 2 * padding), m_rule);
    m_shortNames.clear();
    update();
}

void StorageMapCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

int StorageMapCanvas::tileAt(const QPointF& point) const {
    const QPointF local = point - QPointF(padding, padding);
    for (int i = 0; i < m_tiles.size(); ++i) {
        if (m_tiles[i].rect.contains(local))
            return i;
    }
    return -1;
}

QColor StorageMapCanvas::colorFor(int index) const {
    const MapTreemapItem& item = m_tiles[index].item;
    if (!item.payloadIndex)
        return StorageMap::mergedTileColor();
    const int payload = *item.payloadIndex;
    if (m_clips)
        return payload < m_clips->clips.size() ? StorageMap::clipTileColor(m_clips->clips[payload])
                                               : StorageMap::mergedTileColor();
    if (m_footprints && payload < m_footprints->size())
        return StorageMap::projectTileColor((*m_footprints)[payload]);
    return StorageMap::mergedTileColor();
}

QFont StorageMapCanvas::titleFont() const {
    QFont title = font();
    title.setPixelSize(m_clips ? 10 : 11);
    title.setWeight(QFont::DemiBold);
    return title;
}

QString StorageMapCanvas::shownName(int index) const {
    const MapTreemapTile& tile = m_tiles[index];
    if (m_clips && !tile.item.payloadIndex)
        return {};
    const QRectF& rect = tile.rect;
    const QFontMetricsF metrics(titleFont());
    if (m_clips ? StorageMap::showsClipLabel(rect) : StorageMap::showsProjectLabel(rect)) {
        const qreal inset = m_clips ? 5 : 6;
        return labelLines(tile.item.label, metrics, rect.width() - 2 - 2 * inset).join(u' ');
    }
    return shortName(tile).first;
}

// In the title's font, or a size smaller when that keeps more of the name.
std::pair<QString, QFont> StorageMapCanvas::shortName(const MapTreemapTile& tile) const {
    const qsizetype index = &tile - m_tiles.constData();
    if (const auto known = m_shortNames.constFind(index); known != m_shortNames.cend())
        return known.value();
    const QFont font = titleFont();
    const QString name = StorageMap::shortTileName(tile.item.label, tile.rect, QFontMetricsF(font));
    QFont small = font;
    small.setPixelSize(9);
    const QString smaller = StorageMap::shortTileName(tile.item.label, tile.rect, QFontMetricsF(small));
    return m_shortNames[index] =
               smaller.size() > name.size() ? std::pair{smaller, small} : std::pair{name, font};
}

// Clip names take up to two lines, broken between words and elided, never inside a word;
// project names are cut in the middle, where similar names differ least.
QStringList StorageMapCanvas::labelLines(const QString& label, const QFontMetricsF& metrics,
                                         qreal width) const {
    if (m_clips)
        return StorageMap::tileNameLines(label, metrics, width, 2);
    return {metrics.elidedText(label, Qt::ElideMiddle, width)};
}

QString StorageMapCanvas::tooltipFor(int index) const {
    const MapTreemapItem& item = m_tiles[index].item;
    if (m_clips) {
        if (!item.payloadIndex || *item.payloadIndex >= m_clips->clips.size())
            return {};
        return StorageMap::clipTooltip(m_clips->clips[*item.payloadIndex]);
    }
    const ProjectFootprint* footprint = nullptr;
    if (item.payloadIndex && m_footprints && *item.payloadIndex < m_footprints->size())
        footprint = &(*m_footprints)[*item.payloadIndex];
    return StorageMap::projectTooltip(item, footprint);
}

void StorageMapCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(padding, padding);
    for (int i = 0; i < m_tiles.size(); ++i) {
        const QRectF& rect = m_tiles[i].rect;
        // Framed 2 points smaller around the rectangle's centre: the gap between neighbours.
        const QSizeF size(std::max(rect.width() - 2, 1.0), std::max(rect.height() - 2, 1.0));
        QRectF frame(QPointF(), size);
        frame.moveCenter(rect.center());
        QPainterPath shape;
        shape.addRoundedRect(frame, 3, 3);
        painter.fillPath(shape, Color::withOpacity(colorFor(i), 0.9));
        painter.setPen(QPen(Color::brandSurfaceSunken(), 1));
        painter.drawPath(shape);
        paintLabel(painter, m_tiles[i], frame);
    }
}

void StorageMapCanvas::paintLabel(QPainter& painter, const MapTreemapTile& tile, const QRectF& frame) const {
    const bool clipLevel = m_clips != nullptr;
    const QRectF& rect = tile.rect;
    if (clipLevel && !tile.item.payloadIndex)
        return;
    const QFont title = titleFont();
    // Black reads on the green-to-amber tiles; the dark merged tile needs light text.
    const QColor ink = tile.item.payloadIndex ? Color::mapTileInk() : Color::brandTextSecondary();
    painter.save();
    painter.setClipRect(frame);
    painter.setFont(title);
    painter.setPen(Color::withOpacity(ink, 0.85));
    const QFontMetricsF titleMetrics(title);
    if (clipLevel ? !StorageMap::showsClipLabel(rect) : !StorageMap::showsProjectLabel(rect)) {
        const auto [name, font] = shortName(tile);
        const qreal inset = StorageMap::shortNameInset;
        painter.setFont(font);
        painter.drawText(frame.adjusted(inset, inset, -inset, -inset), Qt::AlignLeft | Qt::AlignTop, name);
        painter.restore();
        return;
    }
    const qreal inset = clipLevel ? 5 : 6;
    QRectF text = frame.adjusted(inset, inset, -inset, -inset);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(clipLevel ? 9 : 10);
    const QStringList lines = labelLines(tile.item.label, titleMetrics, text.width());
    const QRectF titleRect(text.topLeft(), QSizeF(text.width(), titleMetrics.height() * lines.size()));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(
            QRectF(text.left(), text.top() + i * titleMetrics.height(), text.width(), titleMetrics.height()),
            Qt::AlignLeft | Qt::AlignTop, lines[i]);
    qreal y = titleRect.bottom() + 2;
    painter.setFont(mono);
    painter.setPen(Color::withOpacity(ink, 0.6));
    painter.drawText(QPointF(text.left(), y + QFontMetricsF(mono).ascent()),
                     formatFileByteCount(tile.item.bytes));
    y += QFontMetricsF(mono).height() + 2;
    if (!clipLevel && tile.item.payloadIndex && m_footprints &&
        *tile.item.payloadIndex < m_footprints->size() && StorageMap::showsProjectReclaimableLine(rect)) {
        QFont small = mono;
        small.setPixelSize(9);
        painter.setFont(small);
        painter.setPen(Color::mapTileDetail());
        const QString line = formatFileByteCount((*m_footprints)[*tile.item.payloadIndex].reclaimableBytes) +
                             QStringLiteral(" reclaimable");
        painter.drawText(QPointF(text.left(), y + QFontMetricsF(small).ascent()),
                         QFontMetricsF(small).elidedText(line, Qt::ElideRight, text.width()));
    }
    painter.restore();
}

void StorageMapCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int index = tileAt(event->position());
    if (index >= 0)
        Q_EMIT tileClicked(index);
}

bool StorageMapCanvas::event(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        m_shortNames.clear();
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = tileAt(help->pos());
        const QString text = index >= 0 ? tooltipFor(index) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

} // namespace tarnwick
