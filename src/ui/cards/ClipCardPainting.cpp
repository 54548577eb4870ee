#include "model/MediaFileStatus.h"
#include "ui/BrandPalette.h"
#include "ui/SymbolIcons.h"
#include "ui/cards/ClipCard.h"
#include "ui/preview/ScrubEngine.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace tarnwick {

namespace {

QFont cardFont(qreal pixels, QFont::Weight weight = QFont::Normal, bool mono = false) {
    QFont font = mono ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPixelSize(int(pixels));
    font.setWeight(weight);
    return font;
}

void drawSymbolColumn(QPainter& p, const QRect& area, const QString& symbol, int symbolSize,
                      const QString& text, const QFont& font, const QColor& color, int spacing = 8) {
    const QFontMetrics metrics(font);
    const int total = symbolSize + spacing + metrics.height();
    const int top = area.center().y() - total / 2;
    const QPixmap pixmap = symbolIcon(symbol, color).pixmap(symbolSize, symbolSize);
    p.drawPixmap(area.center().x() - symbolSize / 2, top, pixmap);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRect(area.left(), top + symbolSize + spacing, area.width(), metrics.height()),
               Qt::AlignCenter, text);
}

void drawAspectFill(QPainter& p, const QRect& area, const QImage& image) {
    const QSizeF scaled = QSizeF(image.size()).scaled(area.size(), Qt::KeepAspectRatioByExpanding);
    const QRectF target(area.center().x() - scaled.width() / 2 + 0.5,
                        area.center().y() - scaled.height() / 2 + 0.5, scaled.width(), scaled.height());
    p.save();
    p.setClipRect(area);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, image);
    p.restore();
}

int drawBadge(QPainter& p, int x, int y, const CardBadge& badge) {
    const QFont font = cardFont(10, QFont::DemiBold);
    const QFontMetrics metrics(font);
    const int w = metrics.horizontalAdvance(badge.text) + 12;
    const int h = metrics.height() + 4;
    const QRectF rect(x, y, w, h);
    p.setPen(Qt::NoPen);
    p.setBrush(badge.solid ? Color::withOpacity(badge.color, 0.9) : QColor(0, 0, 0, 115));
    p.drawRoundedRect(rect, h / 2.0, h / 2.0);
    p.setFont(font);
    p.setPen(badge.solid ? QColor(0, 0, 0, 217) : badge.color);
    p.drawText(rect, Qt::AlignCenter, badge.text);
    return w;
}

} // namespace

void ClipCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Color::brandBackground());
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    p.setClipPath(card);
    p.fillRect(rect(), Color::brandSurface());
    paintPreview(p);
    paintScrubStrip(p);
    paintInfo(p);
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    if (m_selected)
        p.setPen(QPen(Color::brandAccent(), 2.5));
    else
        p.setPen(QPen(Color::brandSurfaceSunken(), 1));
    p.drawPath(card);
}

void ClipCard::paintPreview(QPainter& p) {
    if (playing())
        return; // the inline player covers it
    const QRect area = previewRect();
    switch (m_kind) {
    case ClipKind::video:
        paintVideo(p, area);
        break;
    case ClipKind::image:
        paintStill(p, area);
        break;
    case ClipKind::audio:
    case ClipKind::other:
        paintIconPreview(p, area);
        break;
    }
}

void ClipCard::paintVideo(QPainter& p, const QRect& area) {
    p.fillRect(area, Color::brandBackground());
    if (const std::optional<QImage> image = shownImage()) {
        drawAspectFill(p, area, *image);
    } else {
        const QString symbol = !m_hasVideoUrl                     ? QStringLiteral("film.stack")
                               : (m_engine && m_engine->failed()) ? QStringLiteral("exclamationmark.triangle")
                                                                  : QStringLiteral("hourglass");
        drawSymbolColumn(p, area, symbol, 24, placeholderText(), cardFont(11), Color::brandTextTertiary());
    }
    const bool ready = m_engine && m_engine->ready();
    if (m_hovering && ready && m_engine->loadingFrame()) {
        const qreal w = area.width();
        QLinearGradient band(0, 0, 0.6 * w, 0);
        band.setColorAt(0, Qt::transparent);
        band.setColorAt(0.5, Color::withOpacity(Color::brandTextPrimary(), 0.1));
        band.setColorAt(1, Qt::transparent);
        p.save();
        p.setClipRect(area);
        p.translate(m_shimmerPhase * w, 0);
        p.setCompositionMode(QPainter::CompositionMode_Screen);
        p.fillRect(QRectF(0, area.top(), 0.6 * w, area.height()), band);
        p.restore();
    }
    if (m_hovering && ready)
        paintTimecodeBar(p, area);
    paintBadgeRow(p, area, badges());
}

void ClipCard::paintTimecodeBar(QPainter& p, const QRect& area) {
    const QRect bar(area.left(), area.bottom() - 23, area.width(), 24);
    p.fillRect(bar, QColor(0, 0, 0, 128));
    p.fillRect(QRectF(bar.left(), bar.top(), area.width() * m_scrubFraction, 24),
               Color::withOpacity(Color::brandAccent(), 0.35));
    const QRect text = bar.adjusted(8, 0, -8, 0);
    p.setFont(cardFont(11, QFont::Bold, true));
    p.setPen(Color::brandTextPrimary());
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
               timecodeString(m_scrubFraction * m_engine->duration()));
    p.setFont(cardFont(11, QFont::Normal, true));
    p.setPen(Color::brandTextSecondary());
    p.drawText(text, Qt::AlignRight | Qt::AlignVCenter, timecodeString(m_engine->duration()));
    p.fillRect(QRectF(area.width() * m_scrubFraction, area.top(), 2, area.height()), Color::brandAccent());
}

void ClipCard::paintStill(QPainter& p, const QRect& area) {
    p.fillRect(area, Color::brandBackground());
    if (m_still) {
        const QSizeF fitted = QSizeF(m_still->size()).scaled(area.size(), Qt::KeepAspectRatio);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(area.center().x() - fitted.width() / 2 + 0.5,
                           area.center().y() - fitted.height() / 2 + 0.5, fitted.width(), fitted.height()),
                    *m_still);
    } else if (m_file.isOnDisk()) {
        drawSymbolColumn(p, area, QStringLiteral("photo"), 26, QStringLiteral("Loading…"), cardFont(11),
                         Color::brandTextTertiary());
    } else {
        drawSymbolColumn(p, area, QStringLiteral("photo.badge.exclamationmark"), 26,
                         QStringLiteral("Offline"), cardFont(11), Color::brandTextTertiary());
    }
    paintBadgeRow(p, area, badges());
}

void ClipCard::paintIconPreview(QPainter& p, const QRect& area) {
    p.fillRect(area, Color::brandSurface());
    if (m_kind == ClipKind::audio)
        drawSymbolColumn(p, area, QStringLiteral("waveform"), 34, QStringLiteral("Audio · press play"),
                         cardFont(11), Color::withOpacity(Color::brandCyan(), 0.85), 6);
    else
        drawSymbolColumn(p, area, QStringLiteral("doc"), 30, cardTexts::extensionLabel(m_file.path),
                         cardFont(11, QFont::Normal, true), Color::brandTextTertiary(), 6);
    paintBadgeRow(p, area, badges());
}

void ClipCard::paintBadgeRow(QPainter& p, const QRect& area, const CardBadges& row) {
    // The select button sits in the top-leading corner, so the badges start after it.
    int x = area.left() + 8 + m_select->width() + 6;
    const int y = area.top() + 8 + (m_select->height() - 18) / 2;
    for (const CardBadge& badge : row.leading)
        x += drawBadge(p, x, y, badge) + 6;
    int right = area.right() - 8 - m_trash->width() - 6;
    for (const CardBadge& badge : row.trailing) {
        const int w = QFontMetrics(cardFont(10, QFont::DemiBold)).horizontalAdvance(badge.text) + 12;
        right -= w;
        drawBadge(p, right, y, badge);
        right -= 6;
    }
}

void ClipCard::paintScrubStrip(QPainter& p) {
    if (m_kind != ClipKind::video || m_playing)
        return;
    const QRectF strip(0, previewHeight, width(), stripHeight);
    p.fillRect(strip, Color::brandSurfaceRaised());
    if (!(m_hovering && m_engine && m_engine->ready()))
        return;
    const qreal w = width();
    p.fillRect(QRectF(0, previewHeight, m_scrubFraction * w, stripHeight), Color::brandAccent());
    const qreal knob = std::clamp(m_scrubFraction * w - 3.5, 0.0, std::max(0.0, w - 7));
    p.setPen(Qt::NoPen);
    p.setBrush(Color::brandAccent());
    p.drawEllipse(QRectF(knob, previewHeight + stripHeight / 2.0 - 3.5, 7, 7));
}

void ClipCard::paintInfo(QPainter& p) {
    const int top = previewHeight + stripHeight + 12;
    const int left = 12;
    const int right = width() - 12;
    const QFont nameFont = cardFont(12, QFont::Bold, true);
    p.setFont(nameFont);
    p.setPen(Color::brandTextPrimary());
    const QFontMetrics nameMetrics(nameFont);
    p.drawText(QRect(left, top, right - left, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
               nameMetrics.elidedText(QFileInfo(m_file.path).fileName(), Qt::ElideMiddle, right - left));

    const int rowTop = top + nameMetrics.height() + 6;
    const int rowHeight = 16;
    int x = left;
    auto drawLeft = [&](const QString& text, const QFont& font, const QColor& color) {
        p.setFont(font);
        p.setPen(color);
        const int w = QFontMetrics(font).horizontalAdvance(text);
        p.drawText(QRect(x, rowTop, w + 1, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += w + 8;
    };
    drawLeft(text(m_file.status), cardFont(10), m_file.isOnDisk() ? Color::brandGreen() : Color::brandRed());
    drawLeft(cardTexts::sizeText(m_file.size), cardFont(12, QFont::Bold, true), Color::brandTextSecondary());

    // From the trailing edge: project, shield, timeline summary.
    int end = right;
    const bool referenced = !m_file.projectNames.isEmpty();
    const QFont small = cardFont(11);
    const QString project = referenced ? m_file.projectNames.first() : QStringLiteral("Not referenced");
    const int space = std::max(0, end - x);
    const QString summary = cardTexts::timelineSummary(m_file.sequenceNames);
    const QFont summaryFont = cardFont(11, QFont::Medium);
    // The timeline summary has the higher priority for the room left.
    const int summaryWidth =
        summary.isEmpty() ? 0 : std::min(QFontMetrics(summaryFont).horizontalAdvance(summary), space * 2 / 3);
    const int shieldWidth = m_file.hasUnattributedSequenceUsage ? 10 + 8 : 0;
    const int projectWidth =
        std::min(QFontMetrics(small).horizontalAdvance(project),
                 std::max(0, space - summaryWidth - shieldWidth - (summary.isEmpty() ? 0 : 8)));
    p.setFont(small);
    p.setPen(referenced ? Color::brandTextSecondary() : Color::brandTextTertiary());
    p.drawText(QRect(end - projectWidth, rowTop, projectWidth, rowHeight), Qt::AlignRight | Qt::AlignVCenter,
               QFontMetrics(small).elidedText(project, Qt::ElideRight, projectWidth));
    end -= projectWidth + 8;
    if (m_file.hasUnattributedSequenceUsage) {
        p.drawPixmap(
            end - 10, rowTop + 3,
            symbolIcon(QStringLiteral("exclamationmark.shield.fill"), Color::brandAmber()).pixmap(10, 10));
        end -= shieldWidth;
    }
    if (!summary.isEmpty()) {
        p.setFont(summaryFont);
        p.setPen(Color::brandTextPrimary());
        p.drawText(QRect(end - summaryWidth, rowTop, summaryWidth, rowHeight),
                   Qt::AlignRight | Qt::AlignVCenter,
                   QFontMetrics(summaryFont).elidedText(summary, Qt::ElideRight, summaryWidth));
    }
}

} // namespace tarnwick
