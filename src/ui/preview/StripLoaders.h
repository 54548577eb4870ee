#pragma once

#include "ui/preview/RequestToken.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QUuid>

#include <qcoro/qcorotask.h>

namespace tarnwick {

class ThumbnailGenerator;

// One frame of the scrub sheet's filmstrip: its place in the clip, (i + 0.5) / count.
struct FilmFrame {
    QUuid id;
    double fraction = 0;
    QImage image; // at most 320 × 180
};

// The data of the scrub sheet's strips. Coroutines on the GUI thread; the decoding runs on the
// generator's slots (or its ffmpeg thread) and never on the GUI thread. None of them fails: a
// failure gives an empty list, a frame that cannot be made is left out. A cancelled token ends
// the work early (the sheet closed).
namespace stripLoaders {

inline constexpr int filmstripFrameCount = 20;
inline constexpr int waveformBarCount = 220;
inline constexpr QSize filmstripFrameSize{320, 180};

// Peak levels of the first audio stream, normalised so the loudest is 1.
QCoro::Task<QList<float>> extractWaveform(ThumbnailGenerator& generator, QString path, int bucketCount,
                                          RequestToken token = {});
// `count` frames at (i + 0.5) / count × duration, exact, from one decoder kept open across them.
QCoro::Task<QList<FilmFrame>> generateFrames(ThumbnailGenerator& generator, QString path, int count,
                                             double duration, RequestToken token = {});
// The same through ffmpeg, one child per frame; the sheet's fallback when the first gave nothing.
QCoro::Task<QList<FilmFrame>> generateFramesWithFFmpeg(ThumbnailGenerator& generator, QString path, int count,
                                                       double duration, RequestToken token = {});

} // namespace stripLoaders
} // namespace tarnwick
