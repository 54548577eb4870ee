#include "ui/cards/CardTexts.h"

#include "model/MediaFile.h"
#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace tarnwick {

CardGridLayout CardGridLayout::forWidth(int viewWidth) {
    CardGridLayout layout;
    const int available = std::max(1, viewWidth - 2 * padding);
    layout.columns = std::max(1, (available + spacing) / (minColumnWidth + spacing));
    const int share = (available - spacing * (layout.columns - 1)) / layout.columns;
    // A window narrower than one column shrinks the card rather than cutting it off.
    layout.columnWidth = std::min(maxColumnWidth, std::max(1, share));
    const int rowWidth = layout.columns * layout.columnWidth + spacing * (layout.columns - 1);
    layout.leftInset = padding + std::max(0, (available - rowWidth) / 2);
    return layout;
}

int CardGridLayout::rowCount(int cardCount) const {
    return cardCount <= 0 ? 0 : (cardCount + columns - 1) / columns;
}

int CardGridLayout::contentHeight(int cardCount) const {
    const int rows = rowCount(cardCount);
    return rows == 0 ? 0 : 2 * padding + rows * cardHeight + (rows - 1) * spacing;
}

QRect CardGridLayout::cardRect(int index) const {
    const int row = index / columns;
    const int column = index % columns;
    return {leftInset + column * (columnWidth + spacing), padding + row * (cardHeight + spacing), columnWidth,
            cardHeight};
}

std::pair<int, int> CardGridLayout::visibleRange(int top, int height, int cardCount) const {
    if (cardCount <= 0)
        return {0, 0};
    const int pitch = cardHeight + spacing;
    const int firstRow = std::max(0, (top - padding) / pitch - 1);
    const int lastRow = std::min(rowCount(cardCount) - 1, (top + height - padding) / pitch + 1);
    const int first = std::min(cardCount, firstRow * columns);
    const int end = std::min(cardCount, (lastRow + 1) * columns);
    return {first, std::max(first, end)};
}

QString timecodeString(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("00:00");
    const auto total = static_cast<long long>(seconds);
    return QString::asprintf("%02lld:%02lld", total / 60, total % 60);
}

UsageLabel usageLabel(const MediaFile& file) {
    const bool solid = file.usageCount == 0 && !file.isAEFootage;
    if (file.usageCount >= 1)
        return {QStringLiteral("Used %1×").arg(file.usageCount), Color::brandGreen(), solid};
    if (file.isFromDaVinciCSV && file.usageCount == 0 && !file.isAEFootage)
        return {QStringLiteral("DaVinci CSV"), Color::brandCyan(), solid};
    if (file.isAEFootage)
        return {QStringLiteral("In AE"), Color::brandGreen(), solid};
    return {QStringLiteral("Unused"), Color::brandAmber(), solid};
}

namespace cardTexts {

QString clipCount(qsizetype count) {
    return QString::number(count) + (count == 1 ? QStringLiteral(" clip") : QStringLiteral(" clips"));
}

QString selectionCount(qsizetype count) {
    return QStringLiteral("%1 selected").arg(count);
}

QString hint() {
    return QStringLiteral("· hover to scrub · ⊕ to select");
}

QString sizeText(qint64 bytes) {
    if (bytes == 0)
        return QStringLiteral("—");
    return formatFileByteCount(bytes);
}

QString timelineSummary(const QStringList& names) {
    if (names.isEmpty())
        return {};
    if (names.size() == 1)
        return names.first();
    // One pass: a name holding "%1" or "%2" is shown as it is, never filled in.
    return QStringLiteral("%1 +%2").arg(names.first(), QString::number(names.size() - 1));
}

QString timelineHelp(QStringList names) {
    std::sort(names.begin(), names.end());
    return names.join(QStringLiteral(", "));
}

QString unattributedUsageHelp() {
    return QStringLiteral("Some timeline usage could not be attributed and remains protected");
}

double hoverFraction(double x, double width) {
    const double fraction = width > 1 ? x / width : x;
    if (fraction <= 0)
        return 0;
    if (fraction > 1)
        return 1;
    return fraction;
}

QString extensionLabel(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    return extension.isEmpty() ? QStringLiteral("FILE") : extension.toUpper();
}

} // namespace cardTexts
} // namespace tarnwick
