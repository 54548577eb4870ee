#include "ui/cards/CardInfoLayout.h"

#include "model/MediaFile.h"
#include "model/MediaFileStatus.h"
#include "ui/brand/BrandPalette.h"
#include "ui/cards/CardTexts.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>

#include <algorithm>

namespace tarnwick {

namespace {

QFont cardFont(int pixels, QFont::Weight weight = QFont::Normal, bool mono = false) {
    QFont font = mono ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

// Elided only when it does not fit: eliding to a width measured from the text itself can still
// cut it, as the measured width is rounded.
QString fitted(const QFontMetrics& metrics, const QString& text, Qt::TextElideMode mode, int width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    return metrics.elidedText(text, mode, width);
}

} // namespace

CardFonts CardFonts::make() {
    CardFonts fonts;
    fonts.name = cardFont(12, QFont::Bold, true);
    fonts.status = cardFont(10);
    fonts.size = cardFont(12, QFont::Bold, true);
    fonts.project = cardFont(11);
    fonts.summary = cardFont(11, QFont::Medium);
    fonts.badge = cardFont(10, QFont::DemiBold);
    fonts.placeholder = cardFont(11);
    fonts.extension = cardFont(11, QFont::Normal, true);
    fonts.timecode = cardFont(11, QFont::Bold, true);
    fonts.duration = cardFont(11, QFont::Normal, true);
    return fonts;
}

CardInfoLayout CardInfoLayout::make(const MediaFile& file, int width, const CardFonts& fonts) {
    CardInfoLayout layout;
    layout.width = width;
    const int left = inset;
    const int right = width - inset;
    const int room = std::max(0, right - left);

    const QFontMetrics nameMetrics(fonts.name);
    layout.name = {fitted(nameMetrics, QFileInfo(file.path).fileName(), Qt::ElideMiddle, room),
                   QRect(left, top, room, nameMetrics.height()), Color::brandTextPrimary()};

    const int rowTop = top + nameMetrics.height() + 6;
    int x = left;
    auto leading = [&](CardInfoText& piece, QString text, const QFont& font, QColor color) {
        const int w = QFontMetrics(font).horizontalAdvance(text);
        piece = {std::move(text), QRect(x, rowTop, w + 1, rowHeight), color};
        x += w + 8;
    };
    leading(layout.status, text(file.status), fonts.status,
            file.isOnDisk() ? Color::brandGreen() : Color::brandRed());
    leading(layout.size, cardTexts::sizeText(file.size), fonts.size, Color::brandTextSecondary());

    // From the trailing edge: project, shield, timeline summary.
    int end = right;
    const bool referenced = !file.projectNames.isEmpty();
    const QString project = referenced ? file.projectNames.first() : QStringLiteral("Not referenced");
    const int space = std::max(0, end - x);
    const QString summary = cardTexts::timelineSummary(file.sequenceNames);
    const QFontMetrics summaryMetrics(fonts.summary);
    const QFontMetrics projectMetrics(fonts.project);
    // The timeline summary has the higher priority for the room left.
    const int summaryWidth =
        summary.isEmpty() ? 0 : std::min(summaryMetrics.horizontalAdvance(summary), space * 2 / 3);
    const int shieldWidth = file.hasUnattributedSequenceUsage ? shieldSize + 8 : 0;
    const int projectWidth =
        std::min(projectMetrics.horizontalAdvance(project),
                 std::max(0, space - summaryWidth - shieldWidth - (summary.isEmpty() ? 0 : 8)));
    layout.project = {fitted(projectMetrics, project, Qt::ElideRight, projectWidth),
                      QRect(end - projectWidth, rowTop, projectWidth, rowHeight),
                      referenced ? Color::brandTextSecondary() : Color::brandTextTertiary()};
    end -= projectWidth + 8;
    if (file.hasUnattributedSequenceUsage) {
        layout.shield = QRect(end - shieldSize, rowTop + 3, shieldSize, shieldSize);
        end -= shieldWidth;
    }
    if (!summary.isEmpty()) {
        layout.summary = {fitted(summaryMetrics, summary, Qt::ElideRight, summaryWidth),
                          QRect(end - summaryWidth, rowTop, summaryWidth, rowHeight),
                          Color::brandTextPrimary()};
        layout.summaryHelp = cardTexts::timelineHelp(file.sequenceNames);
    }
    return layout;
}

CardHelp CardInfoLayout::helpAt(QPoint point) const {
    // The shield is small: its help answers a little around it, not over the neighbouring texts.
    const QRect shieldArea = shield.adjusted(-3, -3, 3, 3);
    if (!shield.isEmpty() && shieldArea.contains(point))
        return {cardTexts::unattributedUsageHelp(), shieldArea};
    if (!summary.text.isEmpty() && summary.rect.contains(point))
        return {summaryHelp, summary.rect};
    return {};
}

} // namespace tarnwick
