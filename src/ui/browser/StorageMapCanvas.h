#pragma once

#include "ui/browser/StorageMapModel.h"

#include <QFont>
#include <QHash>
#include <QWidget>

#include <utility>

namespace tarnwick {

// Paints the tiles of one level and reports clicks; the layout is redone only on resize or new items.
class StorageMapCanvas : public QWidget {
    Q_OBJECT
public:
    explicit StorageMapCanvas(QWidget* parent = nullptr);

    // Project level when `clips` is null, clip level otherwise; both lists must outlive the canvas
    // content. The items are unmerged: what is merged depends on the canvas size.
    void setContent(QList<MapTreemapItem> items, const QList<ProjectFootprint>* footprints,
                    const ProjectClips* clips, const StorageMap::MergeRule& rule);
    const QList<MapTreemapTile>& tiles() const { return m_tiles; }
    int tileAt(const QPointF& point) const;
    QString tooltipFor(int index) const;
    // The name a tile shows: its label, the label shortened, or empty (too small to hold any).
    QString shownName(int index) const;
    QColor colorFor(int index) const;

Q_SIGNALS:
    void tileClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void relayout();
    void paintLabel(QPainter& painter, const MapTreemapTile& tile, const QRectF& frame) const;
    QFont titleFont() const;
    std::pair<QString, QFont> shortName(const MapTreemapTile& tile) const;
    QStringList labelLines(const QString& label, const QFontMetricsF& metrics, qreal width) const;
    static constexpr qreal padding = 8;

    QList<MapTreemapItem> m_items;
    StorageMap::MergeRule m_rule;
    const QList<ProjectFootprint>* m_footprints = nullptr;
    const ProjectClips* m_clips = nullptr;
    QList<MapTreemapTile> m_tiles;
    // Each tile's short name once worked out (200 of them took 50 ms at each paint); reset with
    // the tiles.
    mutable QHash<qsizetype, std::pair<QString, QFont>> m_shortNames;
};

} // namespace tarnwick
