#pragma once

#include "ui/preview/StripLoaders.h"

#include <QList>
#include <QWidget>

namespace tarnwick {

namespace stripGeometry {
// The fraction of a click at x on a strip `width` wide (x itself when 1 or narrower), clamped.
double seekFraction(double x, double width);
// W / count - 1 per cell of a filmstrip.
double filmstripCellWidth(double width, qsizetype count);
// W / n - 1 (W - 1 for no samples), never under 1.
double waveformBarWidth(double width, qsizetype count);
// Whether bar i of n is at or before the playhead.
bool waveformBarPlayed(qsizetype index, qsizetype count, double playhead);
} // namespace stripGeometry

// The base of both strips: clipped to a rounded rectangle, a click seeks.
class ScrubStrip : public QWidget {
    Q_OBJECT
public:
    explicit ScrubStrip(QWidget* parent = nullptr);
    double playhead() const { return m_playhead; }
    void setPlayhead(double playhead);

Q_SIGNALS:
    void seekRequested(double fraction);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    virtual void paintLayers(QPainter& p) = 0;
    void paintPlayhead(QPainter& p, bool glow);

private:
    double m_playhead = 0;
};

// Twenty frames side by side, each stretched to fill its share.
class FilmstripStrip : public ScrubStrip {
    Q_OBJECT
public:
    explicit FilmstripStrip(QWidget* parent = nullptr) : ScrubStrip(parent) {}
    void setFrames(QList<FilmFrame> frames);
    const QList<FilmFrame>& frames() const { return m_frames; }

protected:
    void paintLayers(QPainter& p) override;

private:
    QList<FilmFrame> m_frames;
};

// One bar per level, the played part in the accent colour.
class WaveformStrip : public ScrubStrip {
    Q_OBJECT
public:
    explicit WaveformStrip(QWidget* parent = nullptr) : ScrubStrip(parent) {}
    void setSamples(QList<float> samples);
    const QList<float>& samples() const { return m_samples; }

protected:
    void paintLayers(QPainter& p) override;

private:
    QList<float> m_samples;
};

} // namespace tarnwick
