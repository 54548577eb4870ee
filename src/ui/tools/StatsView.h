#pragma once

#include "stores/AllTimeStats.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QWidget>

#include <optional>

class QMenu;
class QAbstractButton;

namespace tarnwick {

// One figure of the statistics.
struct StatItem {
    QString icon;
    QColor color;
    QString value;
    QString label;
};

// The maker's site, at the end of the share text and on the card.
QString makerSite();
// Used files over analysed files in per cent; 0 without analysed files.
double averageUsage(const AllTimeStats& stats);
QString spaceSavedText(const AllTimeStats& stats);
// The six figures; the share card labels the fourth "Avg. Media Usage".
QList<StatItem> statItems(const AllTimeStats& stats, const QDateTime& now, bool forShareCard);
// The one-line share text.
QString shareText(const AllTimeStats& stats);

// The portrait card of the statistics, 270 × 480.
class StatsShareCard : public QWidget {
public:
    StatsShareCard(const AllTimeStats& stats, const QDateTime& now, QWidget* parent = nullptr);
    // The card at three times its size (810 × 1440).
    QImage render3x();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildFigures();  // the hero and the cards, scrolling
    QWidget* buildShareBar(); // "Share My Stats" and its menu
    void chooseImageFile();

    AllTimeStats m_stats;
    QDateTime m_now;
};

// The all-time statistics sheet with its share menu (copy image, save image, copy text).
class StatsView : public QWidget {
    Q_OBJECT
public:
    // `stats` is a snapshot; `now` null: the system clock.
    explicit StatsView(const AllTimeStats& stats, std::optional<QDateTime> now = {},
                       QWidget* parent = nullptr);

    static QSize preferredSize() { return {420, 600}; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    const QList<StatItem>& items() const { return m_items; }
    QString heroText() const;
    QAbstractButton* shareButton() const { return m_share; }
    QMenu* shareMenu() const { return m_menu; }
    // The card image, rendered at the first request of this opening and kept.
    const QImage& shareImage();
    int shareRenders() const { return m_renders; }
    bool saveImage(const QString& path);

private:
    QWidget* buildFigures();  // the hero and the cards, scrolling
    QWidget* buildShareBar(); // "Share My Stats" and its menu
    void chooseImageFile();

    AllTimeStats m_stats;
    QDateTime m_now;
    QList<StatItem> m_items;
    QAbstractButton* m_share = nullptr;
    QMenu* m_menu = nullptr;
    QImage m_image;
    int m_renders = 0;
};

} // namespace tarnwick
