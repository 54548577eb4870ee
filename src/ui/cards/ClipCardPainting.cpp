#include "model/MediaFileStatus.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/cards/ClipCard.h"
#include "ui/preview/ScrubEngine.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QToolButton>
#include <QVariantAnimation>

namespace tarnwick {

namespace {

// Symbols drawn into the cards come from the pixmap cache: drawing one costs more than the card.
QPixmap symbolPixmap(const QString& symbol, const QColor& color, int size, qreal ratio) {
    const QString key =
        QStringLiteral("card-symbol/%1/%2/%3/%4")
            .arg(symbol, QString::number(color.rgba()), QString::number(size), QString::number(ratio));
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = symbolIcon(symbol, color).pixmap(QSize(size, size), ratio);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

void drawSymbolColumn(QPainter& p, const QRect& area, const QString& symbol, int symbolSize,
                      const QString& text, const QFont& font, const QColor& color, int spacing = 8) {
    const QFontMetrics metrics(font);
    const int total = symbolSize + spacing + metrics.height();
    const int top = area.center().y() - total / 2;
    const qreal ratio = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    p.drawPixmap(QRect(area.center().x() - symbolSize / 2, top, symbolSize, symbolSize),
                 symbolPixmap(symbol, color, symbolSize, ratio));
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

void drawBadge(QPainter& p, const QFont& font, const QRect& rect, const CardBadge& badge) {
    const qreal radius = rect.height() / 2.0;
    p.setPen(Qt::NoPen);
    // A plain badge sits on the picture: its backing is dark enough that even the grey text reads
    // over a white frame, with a faint rim that keeps it apart from a black one.
    p.setBrush(badge.solid ? Color::withOpacity(badge.color, 0.9) : Color::pictureBadgeBacking());
    p.drawRoundedRect(rect, radius, radius);
    if (!badge.solid) {
        p.setPen(QPen(Color::pictureBadgeRim(), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    }
    p.setFont(font);
    p.setPen(badge.solid ? Color::solidBadgeText() : badge.color);
    p.drawText(rect, Qt::AlignCenter, badge.text);
}

} // namespace

void ClipCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Hovering, playing and the shimmer change the picture many times a second: drawn directly.
    // Otherwise the card is drawn once into a picture that repaints and scroll steps reuse.
    const bool moving = m_hovering || playing() || shimmerRunning() ||
                        m_stripAnimation->state() == QAbstractAnimation::Running;
    if (moving) {
        paintCard(p);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (!m_pictureValid || m_picture.size() != pixels) {
        if (m_picture.size() != pixels)
            m_picture = QPixmap(pixels);
        m_picture.setDevicePixelRatio(ratio);
        QPainter picture(&m_picture);
        paintCard(picture);
        m_pictureValid = true;
    }
    p.drawPixmap(0, 0, m_picture);
}

void ClipCard::paintCard(QPainter& p) {
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
        const QString symbol = !m_hasVideoURL                     ? QStringLiteral("film.stack")
                               : (m_engine && m_engine->failed()) ? QStringLiteral("exclamationmark.triangle")
                                                                  : QStringLiteral("hourglass");
        drawSymbolColumn(p, area, symbol, 24, placeholderText(), m_fonts.placeholder,
                         Color::brandTextTertiary());
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
    paintBadgeRow(p);
}

void ClipCard::paintTimecodeBar(QPainter& p, const QRect& area) {
    const QRect bar(area.left(), area.bottom() - 23, area.width(), 24);
    p.fillRect(bar, Color::timecodeBarBacking());
    p.fillRect(QRectF(bar.left(), bar.top(), area.width() * m_scrubFraction, 24),
               Color::withOpacity(Color::brandAccent(), 0.35));
    const QRect text = bar.adjusted(8, 0, -8, 0);
    p.setFont(m_fonts.timecode);
    p.setPen(Color::brandTextPrimary());
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
               timecodeString(m_scrubFraction * m_engine->duration()));
    p.setFont(m_fonts.duration);
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
        drawSymbolColumn(p, area,
                         m_stillFailed ? QStringLiteral("exclamationmark.triangle") : QStringLiteral("photo"),
                         26, placeholderText(), m_fonts.placeholder, Color::brandTextTertiary());
    } else {
        drawSymbolColumn(p, area, QStringLiteral("photo.badge.exclamationmark"), 26,
                         QStringLiteral("Offline"), m_fonts.placeholder, Color::brandTextTertiary());
    }
    paintBadgeRow(p);
}

void ClipCard::paintIconPreview(QPainter& p, const QRect& area) {
    p.fillRect(area, Color::brandSurface());
    if (m_kind == ClipKind::audio)
        drawSymbolColumn(p, area, QStringLiteral("waveform"), 34, placeholderText(), m_fonts.placeholder,
                         Color::withOpacity(Color::brandCyan(), 0.85), 6);
    else
        drawSymbolColumn(p, area, QStringLiteral("doc"), 30, cardTexts::extensionLabel(m_file.path),
                         m_fonts.extension, Color::brandTextTertiary(), 6);
    paintBadgeRow(p);
}

QList<std::pair<CardBadge, QRect>> ClipCard::placedBadges() const {
    const CardBadges row = badges();
    const QRect area = previewRect();
    const QFontMetrics metrics(m_fonts.badge);
    const int h = metrics.height() + 4;
    // The select button sits in the top-leading corner, so the badges start after it.
    int x = area.left() + 8 + m_select->width() + 6;
    const int y = area.top() + 8 + (m_select->height() - 18) / 2;
    QList<std::pair<CardBadge, QRect>> placed;
    for (const CardBadge& badge : row.leading) {
        const int w = metrics.horizontalAdvance(badge.text) + 12;
        placed.append({badge, QRect(x, y, w, h)});
        x += w + 6;
    }
    int right = area.right() - 8 - m_trash->width() - 6;
    for (const CardBadge& badge : row.trailing) {
        const int w = metrics.horizontalAdvance(badge.text) + 12;
        right -= w;
        placed.append({badge, QRect(right, y, w, h)});
        right -= 6;
    }
    return placed;
}

void ClipCard::paintBadgeRow(QPainter& p) {
    for (const auto& [badge, rect] : placedBadges())
        drawBadge(p, m_fonts.badge, rect, badge);
}

void ClipCard::paintScrubStrip(QPainter& p) {
    if (m_kind != ClipKind::video || m_playing)
        return;
    const QRectF strip(0, previewHeight, width(), stripHeight);
    p.fillRect(strip, Color::brandSurfaceRaised());
    if (!(m_hovering && m_engine && m_engine->ready()))
        return;
    const qreal w = width();
    p.fillRect(QRectF(0, previewHeight, m_stripFraction * w, stripHeight), Color::brandAccent());
    const qreal knob = std::clamp(m_stripFraction * w - 3.5, 0.0, std::max(0.0, w - 7));
    p.setPen(Qt::NoPen);
    p.setBrush(Color::brandAccent());
    p.drawEllipse(QRectF(knob, previewHeight + stripHeight / 2.0 - 3.5, 7, 7));
}

void ClipCard::paintInfo(QPainter& p) {
    const CardInfoLayout& info = infoLayout();
    auto draw = [&p](const CardInfoText& piece, const QFont& font, Qt::Alignment alignment) {
        if (piece.text.isEmpty() || piece.rect.width() <= 0)
            return;
        p.setFont(font);
        p.setPen(piece.color);
        p.drawText(piece.rect, alignment | Qt::AlignVCenter, piece.text);
    };
    draw(info.name, m_fonts.name, Qt::AlignLeft);
    draw(info.status, m_fonts.status, Qt::AlignLeft);
    draw(info.size, m_fonts.size, Qt::AlignLeft);
    draw(info.project, m_fonts.project, Qt::AlignRight);
    if (!info.shield.isEmpty()) {
        const qreal ratio = p.device() ? p.device()->devicePixelRatioF() : 1.0;
        p.drawPixmap(info.shield, symbolPixmap(QStringLiteral("exclamationmark.shield.fill"),
                                               Color::brandAmber(), CardInfoLayout::shieldSize, ratio));
    }
    draw(info.summary, m_fonts.summary, Qt::AlignRight);
}

} // namespace tarnwick
