#include "ui/preview/StripLoaders.h"

#include "platform/media/VideoDecoder.h"
#include "platform/media/WaveformLevels.h"
#include "ui/preview/ThumbnailGenerator.h"

#include <QPointer>
#include <QtConcurrent>

#include <qcoro/qcorofuture.h>

namespace tarnwick::stripLoaders {

namespace {

QString openPathOf(const ThumbnailGenerator& generator, const QString& path) {
    const auto& open = generator.services().openPath;
    return open ? open(path) : path;
}

double fractionOf(int index, int count) {
    return (index + 0.5) / count;
}

} // namespace

QCoro::Task<QList<float>> extractWaveform(ThumbnailGenerator& generator, QString path, int bucketCount,
                                          RequestToken token) {
    if (bucketCount < 1)
        co_return {};
    QFuture<QList<float>> reading = QtConcurrent::run(
        &generator.decodingPool(), [path = openPathOf(generator, path), bucketCount, token] {
            if (token.isCancelled())
                return QList<float>();
            return extractWaveformLevels(path, bucketCount, token.flag());
        });
    co_return co_await reading;
}

QCoro::Task<QList<FilmFrame>> generateFrames(ThumbnailGenerator& generator, QString path, int count,
                                             double duration, RequestToken token) {
    if (!(duration > 0) || count <= 0)
        co_return {};
    QFuture<QList<FilmFrame>> decoding = QtConcurrent::run(
        &generator.decodingPool(), [path = openPathOf(generator, path), count, duration, token] {
            QList<FilmFrame> frames;
            std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(path, 4);
            for (int i = 0; decoder && i < count && !token.isCancelled(); ++i) {
                const double fraction = fractionOf(i, count);
                if (auto image = decoder->frameAt(fraction * duration, filmstripFrameSize,
                                                  FrameFit::keepAspect, 0, token.flag()))
                    frames.append({QUuid::createUuid(), fraction, std::move(*image)});
            }
            return frames;
        });
    co_return co_await decoding;
}

QCoro::Task<QList<FilmFrame>> generateFramesWithFFmpeg(ThumbnailGenerator& generator, QString path, int count,
                                                       double duration, RequestToken token) {
    QList<FilmFrame> frames;
    if (!(duration > 0) || count <= 0)
        co_return frames;
    QPointer<ThumbnailGenerator> alive(&generator);
    for (int i = 0; i < count && alive && !token.isCancelled(); ++i) {
        const double fraction = fractionOf(i, count);
        QCoro::Task<std::optional<QImage>> framing =
            generator.scrubFrame(path, fraction * duration, QSizeF(filmstripFrameSize), token);
        std::optional<QImage> image = co_await framing;
        if (image)
            frames.append({QUuid::createUuid(), fraction, std::move(*image)});
    }
    co_return frames;
}

} // namespace tarnwick::stripLoaders
