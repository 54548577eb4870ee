#pragma once

#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

namespace tarnwick {

struct MediaFile;

// Columns of the card grid: as many of 300 to 460 wide as fit, 16 apart, inside 16 of padding.
struct CardGridLayout {
    static constexpr int minColumnWidth = 300;
    static constexpr int maxColumnWidth = 460;
    static constexpr int spacing = 16;
    static constexpr int padding = 16;
    static constexpr int cardHeight = 190 + 3 + 64; // preview, scrub strip, info area

    int columns = 1;
    int columnWidth = minColumnWidth;
    int leftInset = padding; // the row is centred when the columns reach their widest

    static CardGridLayout forWidth(int viewWidth);
    int rowCount(int cardCount) const;
    int contentHeight(int cardCount) const;
    QRect cardRect(int index) const;
    // Rows that meet the band [top, top + height), one more either side, clamped to the cards.
    std::pair<int, int> visibleRange(int top, int height, int cardCount) const;
};

// Seconds as "mm:ss" with no hour field; negative, infinite and NaN give "00:00".
QString timecodeString(double seconds);

struct UsageLabel {
    QString text;
    QColor color;
    bool solid = false; // unused and not After Effects footage
};
UsageLabel usageLabel(const MediaFile& file);

namespace cardTexts {

QString clipCount(qsizetype count);      // "12 clips", "1 clip"
QString selectionCount(qsizetype count); // "2 selected"
QString hint();
QString sizeText(qint64 bytes); // "—" for 0
// One name, or the first and " +N".
QString timelineSummary(const QStringList& names);
QString timelineHelp(QStringList names);
// The help of the shield shown when some timeline usage could not be attributed.
QString unattributedUsageHelp();
// The hover fraction of x over a preview `width` wide (raw x when 1 or narrower), clamped to 0…1.
double hoverFraction(double x, double width);
QString extensionLabel(const QString& path); // "MOV", or "FILE"

} // namespace cardTexts
} // namespace tarnwick
