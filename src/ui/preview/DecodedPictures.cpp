#include "ui/preview/DecodedPictures.h"

#include "platform/MemoryRelease.h"
#include "platform/media/VideoDecoder.h"

#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

#include <qcoro/qcorofuture.h>

#include <cmath>

namespace tarnwick {

namespace {

// A playing decoder runs ahead through long groups of pictures: a few threads keep up.
constexpr int playbackDecoderThreads = 4;

} // namespace

struct DecodedPictures::Decoded {
    std::shared_ptr<VideoDecoder> decoder;
    std::optional<QImage> image;
    QString pixelFormat;
    double duration = 0;
    double start = 0;
};

DecodedPictures::DecodedPictures(QString path, QThreadPool& pool, QObject* parent)
    : QObject(parent), m_path(std::move(path)), m_pool(pool) {}

DecodedPictures::~DecodedPictures() {
    m_gone->store(true);
}

void DecodedPictures::open() {
    if (m_opening || m_open)
        return;
    m_opening = true;
    openTask();
}

QCoro::Task<> DecodedPictures::openTask() {
    QPointer<DecodedPictures> self(this);
    QThreadPool* pool = &m_pool;
    QFuture<Decoded> opening = QtConcurrent::run(pool, [path = m_path] {
        Decoded result;
        // Closing joins the decoder's threads: whoever lets go of it last (a future's copy of the
        // result may be the GUI thread's), it closes on the release thread.
        result.decoder = memory::sharedUntilReleased(VideoDecoder::open(path, playbackDecoderThreads));
        if (result.decoder) {
            result.pixelFormat = result.decoder->pixelFormat();
            result.duration = result.decoder->duration();
            result.start = result.decoder->startTime();
        }
        return result;
    });
    Decoded result = co_await opening;
    if (!self)
        co_return;
    m_opening = false;
    m_open = result.decoder != nullptr;
    m_pixelFormat = result.pixelFormat;
    m_durationMs = std::isfinite(result.duration) ? std::llround(result.duration * 1000) : 0;
    m_startMs = std::isfinite(result.start) && result.start > 0 ? std::llround(result.start * 1000) : 0;
    m_decoder = std::move(result.decoder);
    Q_EMIT opened(m_open);
    if (m_open && m_pending)
        showAt(*std::exchange(m_pending, std::nullopt));
}

void DecodedPictures::showAt(qint64 ms) {
    if (m_busy || !m_open) {
        m_pending = ms;
        return;
    }
    m_busy = true;
    decodeTask(ms);
}

QCoro::Task<> DecodedPictures::decodeTask(qint64 ms) {
    QPointer<DecodedPictures> self(this);
    QThreadPool* pool = &m_pool;
    // The decoder goes with the request and comes back with the picture: one user at a time.
    QFuture<Decoded> decoding =
        QtConcurrent::run(pool, [decoder = std::exchange(m_decoder, nullptr), seconds = double(ms) / 1000,
                                 box = m_box, gone = m_gone]() mutable {
            Decoded result;
            if (decoder)
                result.image = decoder->frameAt(seconds, box, FrameFit::keepAspect, 0, gone.get());
            result.decoder = std::move(decoder);
            return result;
        });
    Decoded result = co_await decoding;
    if (!self)
        co_return;
    m_decoder = std::move(result.decoder);
    m_busy = false;
    if (result.image && !result.image->isNull())
        Q_EMIT picture(*result.image, ms);
    if (self && m_pending)
        showAt(*std::exchange(m_pending, std::nullopt));
}

} // namespace tarnwick
