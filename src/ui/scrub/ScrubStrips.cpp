#include "ui/scrub/ScrubStrips.h"

#include "ui/brand/BrandPalette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tarnwick {

namespace stripGeometry {

double seekFraction(double x, double width) {
    const double fraction = width > 1 ? x / width : x;
    return std::clamp(fraction, 0.0, 1.0);
}

double filmstripCellWidth(double width, qsizetype count) {
    return count <= 0 ? width : width / double(count) - 1;
}

double waveformBarWidth(double width, qsizetype count) {
    const double w = count <= 0 ? width - 1 : width / double(count) - 1;
    return std::max(1.0, w);
}

bool waveformBarPlayed(qsizetype index, qsizetype count, double playhead) {
    return double(index) / double(std::max<qsizetype>(count, 2) - 1) <= playhead;
}

} // namespace stripGeometry

ScrubStrip::ScrubStrip(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void ScrubStrip::setPlayhead(double playhead) {
    if (playhead == m_playhead)
        return;
    m_playhead = playhead;
    update();
}

void ScrubStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT seekRequested(stripGeometry::seekFraction(event->position().x(), width()));
}

void ScrubStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 3, 3);
    p.setClipPath(clip);
    paintLayers(p);
}

void ScrubStrip::paintPlayhead(QPainter& p, bool glow) {
    const QRectF line(m_playhead * width(), 0, 2, height());
    if (glow) {
        for (int spread = 3; spread >= 1; --spread)
            p.fillRect(line.adjusted(-spread, 0, spread, 0),
                       Color::withOpacity(Color::brandAccent(), 0.7 / (spread + 2)));
    }
    p.fillRect(line, Color::brandAccent());
}

void FilmstripStrip::setFrames(QList<FilmFrame> frames) {
    m_frames = std::move(frames);
    update();
}

void FilmstripStrip::paintLayers(QPainter& p) {
    if (m_frames.isEmpty()) {
        p.fillRect(rect(), Color::brandBackground());
    } else {
        const double cell = stripGeometry::filmstripCellWidth(width(), m_frames.size());
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        double x = 0;
        for (const FilmFrame& frame : m_frames) {
            const QRectF target(x, 0, cell, height());
            // Fill the cell, cropping what spills over.
            const QSizeF scaled =
                QSizeF(frame.image.size()).scaled(target.size(), Qt::KeepAspectRatioByExpanding);
            p.save();
            p.setClipRect(target, Qt::IntersectClip);
            p.drawImage(QRectF(target.center().x() - scaled.width() / 2,
                               target.center().y() - scaled.height() / 2, scaled.width(), scaled.height()),
                        frame.image);
            p.restore();
            x += cell + 1;
        }
    }
    paintPlayhead(p, true);
}

void WaveformStrip::setSamples(QList<float> samples) {
    m_samples = std::move(samples);
    update();
}

void WaveformStrip::paintLayers(QPainter& p) {
    p.fillRect(rect(), Color::brandBackground());
    const qsizetype n = m_samples.size();
    const double bar = stripGeometry::waveformBarWidth(width(), n);
    const double rowWidth = n * bar + std::max<qsizetype>(0, n - 1);
    double x = (width() - rowWidth) / 2;
    const double h = height();
    p.setPen(Qt::NoPen);
    for (qsizetype i = 0; i < n; ++i) {
        const double barHeight = std::max(2.0, h * double(m_samples[i]));
        p.setBrush(stripGeometry::waveformBarPlayed(i, n, playhead())
                       ? Color::brandAccent()
                       : Color::withOpacity(Color::brandCyan(), 0.55));
        p.drawRoundedRect(QRectF(x, (h - barHeight) / 2, bar, barHeight), bar / 2, bar / 2);
        x += bar + 1;
    }
    paintPlayhead(p, false);
}

} // namespace tarnwick
