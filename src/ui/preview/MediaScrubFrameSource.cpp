#include "ui/preview/MediaScrubFrameSource.h"

#include "platform/MemoryRelease.h"
#include "platform/media/VideoDecoder.h"
#include "ui/preview/ThumbnailGenerator.h"

#include <QtConcurrent>

#include <qcoro/qcorofuture.h>

#include <cmath>

namespace tarnwick {

namespace {

struct DecodedFrame {
    std::shared_ptr<VideoDecoder> decoder;
    std::optional<QImage> image;
    double duration = 0;
};

// A scrub decoder runs ahead through long groups of pictures; a few threads shorten that.
constexpr int scrubDecoderThreads = 4;

// Closing a decoder joins its threads and frees its frames and scaler. Its last owner is often the
// GUI thread (a card that disappears, a frame that comes back after a reset), so whoever lets go of
// it last, it closes on the release thread.
std::shared_ptr<VideoDecoder> openDecoder(const QString& path) {
    return memory::sharedUntilReleased(VideoDecoder::open(path, scrubDecoderThreads));
}

// A coroutine that only runs `work` and hands its answer on; nothing waits for it.
template <typename Work> QCoro::Task<> detached(Work work) {
    QCoro::Task<> running = work();
    co_await running;
}

} // namespace

MediaScrubFrameSource::MediaScrubFrameSource(QString path, ThumbnailGenerator& generator, QSize frameSize)
    : m_path(std::move(path)), m_generator(generator), m_frameSize(frameSize) {
    const auto& open = generator.services().openPath;
    m_openPath = open ? open(m_path) : m_path;
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleCloseMs);
    QObject::connect(&m_idle, &QTimer::timeout, [this] { closeIdleDecoder(); });
}

MediaScrubFrameSource::~MediaScrubFrameSource() = default;

void MediaScrubFrameSource::load(bool ffmpegFromStart, LoadDone done) {
    if (ffmpegFromStart) {
        loadWithFFmpeg(std::move(done));
        return;
    }
    std::weak_ptr<MediaScrubFrameSource> weak = weak_from_this();
    QFuture<DecodedFrame> opening =
        QtConcurrent::run(&m_generator.decodingPool(), [path = m_openPath, box = m_frameSize] {
            DecodedFrame result;
            std::shared_ptr<VideoDecoder> decoder = openDecoder(path);
            if (!decoder)
                return result;
            result.duration = decoder->duration();
            if (!(std::isfinite(result.duration) && result.duration > 0))
                return result;
            result.image = decoder->frameAt(result.duration * 0.1, box);
            result.decoder = std::move(decoder);
            return result;
        });
    detached([weak, epoch = m_epoch, opening, done = std::move(done)]() mutable -> QCoro::Task<> {
        DecodedFrame result = co_await opening;
        auto self = weak.lock();
        if (!self)
            co_return;
        if (!result.image) {
            self->loadWithFFmpeg(std::move(done));
            co_return;
        }
        if (epoch == self->m_epoch)
            self->keepDecoder(std::move(result.decoder));
        done({result.duration, std::move(result.image), false});
    });
}

void MediaScrubFrameSource::loadWithFFmpeg(LoadDone done) {
    std::weak_ptr<MediaScrubFrameSource> weak = weak_from_this();
    detached([weak, done = std::move(done)]() mutable -> QCoro::Task<> {
        auto self = weak.lock();
        if (!self)
            co_return;
        ThumbnailGenerator& generator = self->m_generator;
        const QString path = self->m_path;
        const QSize size = self->m_frameSize;
        self.reset();
        QCoro::Task<std::optional<double>> probing = generator.probeDuration(path);
        const double duration = (co_await probing).value_or(0.0);
        const bool valid = std::isfinite(duration) && duration > 0;
        QCoro::Task<std::optional<QImage>> framing =
            generator.scrubFrame(path, valid ? duration * 0.1 : 0, QSizeF(size));
        std::optional<QImage> poster = co_await framing;
        if (weak.expired())
            co_return;
        done({valid ? duration : 0.0, std::move(poster), true});
    });
}

void MediaScrubFrameSource::frame(double seconds, bool useFFmpeg, FrameDone done) {
    std::weak_ptr<MediaScrubFrameSource> weak = weak_from_this();
    if (useFFmpeg) {
        detached([weak, &generator = m_generator, path = m_path, seconds, size = m_frameSize,
                  done = std::move(done)]() mutable -> QCoro::Task<> {
            QCoro::Task<std::optional<QImage>> framing = generator.scrubFrame(path, seconds, QSizeF(size));
            std::optional<QImage> image = co_await framing;
            if (!weak.expired())
                done(std::move(image));
        });
        return;
    }
    // The decoder goes with the request and comes back with the frame: one user at a time.
    QFuture<DecodedFrame> decoding = QtConcurrent::run(
        &m_generator.decodingPool(), [decoder = std::exchange(m_decoder, nullptr), path = m_openPath, seconds,
                                      box = m_frameSize, closed = m_closed]() mutable {
            DecodedFrame result;
            if (!decoder)
                decoder = openDecoder(path);
            if (decoder)
                result.image = decoder->frameAt(seconds, box, FrameFit::keepAspect, 0, closed.get());
            result.decoder = std::move(decoder);
            return result;
        });
    detached([weak, epoch = m_epoch, decoding, done = std::move(done)]() mutable -> QCoro::Task<> {
        DecodedFrame result = co_await decoding;
        auto self = weak.lock();
        if (!self)
            co_return;
        if (epoch == self->m_epoch && !self->m_decoder)
            self->keepDecoder(std::move(result.decoder));
        done(std::move(result.image));
    });
}

void MediaScrubFrameSource::keepDecoder(std::shared_ptr<VideoDecoder> decoder) {
    m_decoder = std::move(decoder);
    if (m_decoder)
        m_idle.start();
}

void MediaScrubFrameSource::closeIdleDecoder() {
    m_idle.stop();
    m_decoder.reset();
}

void MediaScrubFrameSource::close() {
    ++m_epoch;
    m_closed->store(true);
    m_closed = std::make_shared<std::atomic_bool>(false);
    m_idle.stop();
    m_decoder.reset();
}

} // namespace tarnwick
