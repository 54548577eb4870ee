#include "ui/preview/ThumbnailGenerator.h"

#include "platform/AppLog.h"
#include "platform/FFmpegLocation.h"
#include "platform/IdleThreads.h"
#include "platform/MediaExtensions.h"
#include "platform/ProVideoFormats.h"
#include "platform/ThreadNames.h"
#include "platform/media/FFmpegCommands.h"
#include "platform/media/FFmpegRoute.h"
#include "platform/media/ImageFiles.h"
#include "platform/media/VideoDecoder.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/CommandCenter.h"
#include "ui/preview/ThumbnailProgressTracker.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QtConcurrent>

#include <qcoro/qcorofuture.h>

#include <cmath>

namespace tarnwick {

namespace {

QString roundedDimension(double value) {
    return QString::number(qint64(std::round(value))); // halves away from zero
}

QSize pixelSize(QSizeF size) {
    return QSize(std::max(1, int(std::lround(size.width()))), std::max(1, int(std::lround(size.height()))));
}

// Counts one decode on the tracker, from a worker thread, for as long as it lives.
class TrackedOperation {
public:
    explicit TrackedOperation(ThumbnailProgressTracker* tracker) : m_tracker(tracker) {
        if (m_tracker)
            QMetaObject::invokeMethod(
                m_tracker, [t = m_tracker] { t->increment(); }, Qt::QueuedConnection);
    }
    ~TrackedOperation() {
        if (m_tracker)
            QMetaObject::invokeMethod(
                m_tracker, [t = m_tracker] { t->decrement(); }, Qt::QueuedConnection);
    }
    TrackedOperation(const TrackedOperation&) = delete;
    TrackedOperation& operator=(const TrackedOperation&) = delete;

private:
    QPointer<ThumbnailProgressTracker> m_tracker;
};

} // namespace

ThumbnailGeneratorServices ThumbnailGeneratorServices::system() {
    ThumbnailGeneratorServices services;
    services.findFFmpeg = []() -> std::optional<QString> {
        const std::optional<FFmpegLocation> found = tarnwick::findFFmpeg();
        return found ? std::optional<QString>(found->path) : std::nullopt;
    };
    services.sandboxed = SecurityScopedAccess::isSandboxed();
    services.proVideoInstalled = mediaLibrariesCanReadMxf();
    services.openPath = [](const QString& path) {
        const std::optional<QUrl> url = SecurityScopedAccess::shared().ensureAccess(path);
        return url ? url->toLocalFile() : path;
    };
    services.coveredByGrant = [](const QString& path) {
        return SecurityScopedAccess::shared().grantedRoot(path).has_value();
    };
    services.recommendProVideoFormats = [] {
        CommandCenter::shared().post(Command::proVideoFormatsRecommended);
    };
    services.temporaryFolder = QDir::tempPath();
    return services;
}

ThumbnailGenerator& ThumbnailGenerator::shared() {
    static ThumbnailGenerator generator(ThumbnailGeneratorServices::system(),
                                        &ThumbnailProgressTracker::shared());
    return generator;
}

ThumbnailGenerator::ThumbnailGenerator(ThumbnailGeneratorServices services, ThumbnailProgressTracker* tracker,
                                       QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_tracker(tracker) {
    if (m_services.temporaryFolder.isEmpty())
        m_services.temporaryFolder = QDir::tempPath();
    nameThreads(m_decoding, "ThumbDecoding");
    nameThreads(m_children, "ThumbChildren");
    m_decoding.setMaxThreadCount(maxConcurrentOperations);
    m_children.setMaxThreadCount(1);
    m_decoding.setExpiryTimeout(idleThreadExpiryMs);
    m_children.setExpiryTimeout(idleThreadExpiryMs);
}

ThumbnailGenerator::~ThumbnailGenerator() {
    m_decoding.clear();
    m_children.clear();
    m_decoding.waitForDone();
    m_children.waitForDone();
}

QString ThumbnailGenerator::videoKey(const QString& path, QSizeF size) {
    return path + QStringLiteral("_small_") + roundedDimension(size.width()) + QLatin1Char('x') +
           roundedDimension(size.height());
}

QString ThumbnailGenerator::imageKey(const QString& path, QSizeF size) {
    return path + QStringLiteral("_img_small_") + roundedDimension(size.width()) + QLatin1Char('x') +
           roundedDimension(size.height());
}

std::optional<QImage> ThumbnailGenerator::cachedImage(const QString& key) const {
    const auto hit = m_cache.constFind(key);
    return hit == m_cache.cend() ? std::nullopt : std::optional<QImage>(*hit);
}

// Emptied wholesale when full: no recency bookkeeping on a cache of small images.
void ThumbnailGenerator::storeInCache(const QString& key, const QImage& image) {
    if (m_cache.size() >= maxCacheSize)
        m_cache = {};
    m_cache.insert(key, image);
}

QCoro::Task<std::optional<QImage>> ThumbnailGenerator::generateSmallThumbnail(QString path, QSizeF size,
                                                                              RequestToken token) {
    const QString key = videoKey(path, size);
    if (auto hit = cachedImage(key))
        co_return hit;
    QPointer<ThumbnailGenerator> self(this);
    const QString extension = QFileInfo(path).suffix().toLower();
    if (mediaExtensions::proVideo().contains(extension) && !m_services.sandboxed &&
        !m_services.proVideoInstalled) {
        QFuture<bool> checking = QtConcurrent::run(&m_children, [path] { return QFileInfo(path).isFile(); });
        const bool exists = co_await checking;
        if (!self || !exists || token.isCancelled())
            co_return std::nullopt;
        QCoro::Task<std::optional<QImage>> fallback = ffmpegOrPlaceholder(path, extension, size);
        co_return co_await fallback;
    }
    const QString openPath = m_services.openPath ? m_services.openPath(path) : path;
    QFuture<SlotResult> decoding =
        QtConcurrent::run(&m_decoding, [this, openPath, token, box = pixelSize(size)] {
            return decodeInSlot(openPath, token, [&](QImage& image) {
                std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(openPath);
                if (!decoder)
                    return SlotResult::Outcome::unreadable;
                const double duration = decoder->duration();
                // A tenth into the clip, within a second of it, like a poster.
                const double at = duration > 0 ? duration * 0.1 : 0.1;
                std::optional<QImage> frame = decoder->frameAt(at, box, FrameFit::stretch, 1.0, token.flag());
                if (!frame && token.isCancelled())
                    return SlotResult::Outcome::dropped;
                if (!frame)
                    return SlotResult::Outcome::noFrame;
                image = std::move(*frame);
                return SlotResult::Outcome::done;
            });
        });
    const SlotResult result = co_await decoding;
    if (!self)
        co_return std::nullopt;
    switch (result.outcome) {
    case SlotResult::Outcome::done:
        storeInCache(key, result.image);
        co_return result.image;
    case SlotResult::Outcome::unreadable:
        recommendProVideoFormatsIfNeeded(extension, path);
        if (mediaExtensions::proVideo().contains(extension) ||
            mediaExtensions::cameraRaw().contains(extension)) {
            QCoro::Task<std::optional<QImage>> fallback = ffmpegOrPlaceholder(path, extension, size);
            co_return co_await fallback;
        }
        co_return std::nullopt;
    case SlotResult::Outcome::noFrame:
        AppLog::error(QStringLiteral("Thumbnail generation failed for ") + QFileInfo(path).fileName() +
                      QStringLiteral(": no frame could be decoded"));
        co_return std::nullopt;
    case SlotResult::Outcome::dropped:
    case SlotResult::Outcome::noFile:
        co_return std::nullopt;
    }
    co_return std::nullopt;
}

// On a decoding slot: nothing for a cancelled request or a missing file, else `decode` counted
// and tracked as one decode.
ThumbnailGenerator::SlotResult
ThumbnailGenerator::decodeInSlot(const QString& openPath, const RequestToken& token,
                                 const std::function<SlotResult::Outcome(QImage&)>& decode) {
    SlotResult slot;
    if (token.isCancelled())
        return slot;
    if (!QFileInfo(openPath).isFile()) {
        slot.outcome = SlotResult::Outcome::noFile;
        return slot;
    }
    ++m_decodesStarted;
    TrackedOperation tracked(m_tracker);
    slot.outcome = decode(slot.image);
    return slot;
}

QCoro::Task<std::optional<QImage>> ThumbnailGenerator::ffmpegOrPlaceholder(QString path, QString extension,
                                                                           QSizeF size) {
    QPointer<ThumbnailGenerator> self(this);
    QCoro::Task<std::optional<QImage>> framing = ffmpegThumbnail(path, size, 0.1);
    std::optional<QImage> image = co_await framing;
    if (!self)
        co_return std::nullopt;
    if (!image)
        image = placeholderThumbnail(extension, size);
    storeInCache(videoKey(path, size), *image);
    co_return image;
}

QCoro::Task<std::optional<QImage>> ThumbnailGenerator::imageThumbnail(QString path, QSizeF size,
                                                                      RequestToken token) {
    const QString key = imageKey(path, size);
    if (auto hit = cachedImage(key))
        co_return hit;
    QPointer<ThumbnailGenerator> self(this);
    const QString openPath = m_services.openPath ? m_services.openPath(path) : path;
    QFuture<SlotResult> loading = QtConcurrent::run(&m_decoding, [this, openPath, token, size] {
        return decodeInSlot(openPath, token, [&](QImage& image) {
            const std::optional<QImage> loaded = loadImageFile(openPath);
            if (!loaded)
                return SlotResult::Outcome::unreadable;
            image = fitImage(*loaded, size);
            return SlotResult::Outcome::done;
        });
    });
    const SlotResult result = co_await loading;
    if (!self || result.outcome != SlotResult::Outcome::done)
        co_return std::nullopt;
    storeInCache(key, result.image);
    co_return result.image;
}

QCoro::Task<std::optional<QImage>> ThumbnailGenerator::loadImage(QString path) {
    const QString openPath = m_services.openPath ? m_services.openPath(path) : path;
    QFuture<std::optional<QImage>> loading =
        QtConcurrent::run(&m_decoding, [openPath]() -> std::optional<QImage> {
            if (!QFileInfo(openPath).isFile())
                return std::nullopt;
            return loadImageFile(openPath);
        });
    co_return co_await loading;
}

std::optional<QString> ThumbnailGenerator::locateFFmpeg() {
    if (!m_ffmpeg)
        m_ffmpeg = m_services.findFFmpeg ? m_services.findFFmpeg() : std::nullopt;
    if (*m_ffmpeg && (*m_ffmpeg)->isEmpty())
        return std::nullopt;
    return *m_ffmpeg;
}

QCoro::Task<std::optional<QImage>> ThumbnailGenerator::ffmpegThumbnail(QString path, QSizeF size,
                                                                       double position, RequestToken token) {
    const std::optional<QString> ffmpeg = locateFFmpeg();
    if (!ffmpeg)
        co_return std::nullopt;
    QFuture<std::optional<QImage>> running = QtConcurrent::run(
        &m_children,
        [ffmpeg = *ffmpeg, path, size, position, token, s = m_services]() -> std::optional<QImage> {
            if (token.isCancelled())
                return std::nullopt;
            const std::optional<double> duration = ffmpegRoute::probeDuration(ffmpeg, path, s.probeLimit);
            const double seek = duration ? *duration * position : position;
            return ffmpegRoute::frame({ffmpeg, path, ffmpegCommands::seekText(seek, 2), size,
                                       QStringLiteral("2"), QStringLiteral("thumb_"), s.temporaryFolder,
                                       s.frameLimit});
        });
    co_return co_await running;
}

QCoro::Task<std::optional<QImage>> ThumbnailGenerator::scrubFrame(QString path, double seconds, QSizeF size,
                                                                  RequestToken token) {
    const std::optional<QString> ffmpeg = locateFFmpeg();
    if (!ffmpeg)
        co_return std::nullopt;
    QFuture<std::optional<QImage>> running = QtConcurrent::run(
        &m_children,
        [ffmpeg = *ffmpeg, path, size, seconds, token, s = m_services]() -> std::optional<QImage> {
            if (token.isCancelled())
                return std::nullopt;
            return ffmpegRoute::frame({ffmpeg, path, ffmpegCommands::seekText(seconds, 3), size,
                                       QStringLiteral("3"), QStringLiteral("scrub_"), s.temporaryFolder,
                                       s.frameLimit});
        });
    co_return co_await running;
}

QCoro::Task<std::optional<double>> ThumbnailGenerator::probeDuration(QString path) {
    const std::optional<QString> ffmpeg = locateFFmpeg();
    if (!ffmpeg)
        co_return std::nullopt;
    QFuture<std::optional<double>> probing =
        QtConcurrent::run(&m_children, [ffmpeg = *ffmpeg, path, limit = m_services.probeLimit] {
            return ffmpegRoute::probeDuration(ffmpeg, path, limit);
        });
    co_return co_await probing;
}

void ThumbnailGenerator::recommendProVideoFormatsIfNeeded(const QString& extension, const QString& path) {
    if (!mediaExtensions::proVideo().contains(extension))
        return;
    // With MXF support in the media libraries a file that still fails is damaged, not unsupported:
    // installing the formats would not help it.
    if (m_services.proVideoInstalled)
        return;
    if (m_services.sandboxed && !(m_services.coveredByGrant && m_services.coveredByGrant(path)))
        return;
    Q_EMIT proVideoFormatsRecommended();
    if (m_services.recommendProVideoFormats)
        m_services.recommendProVideoFormats();
}

QImage ThumbnailGenerator::placeholderThumbnail(const QString& extension, QSizeF size) {
    QImage image(pixelSize(size), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF all(QPointF(0, 0), size);
    QPainterPath rounded;
    rounded.addRoundedRect(all, 2, 2);
    painter.fillPath(rounded, Color::placeholderFill());
    painter.fillRect(QRectF(0, 0, size.width(), 3), Color::systemGray()); // the band along the top
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(1, int(std::lround(std::max(size.width() * 0.28, 6.0)))));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(all.translated(0, 1), Qt::AlignCenter, extension.toUpper());
    return image;
}

QImage ThumbnailGenerator::waveformPlaceholder(QSizeF size) {
    static constexpr double pattern[12] = {0.3, 0.6, 0.9, 0.7, 0.5, 0.8, 1.0, 0.6, 0.4, 0.7, 0.5, 0.3};
    const QColor& purple = Color::systemPurple();
    QImage image(pixelSize(size), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(QPointF(0, 0), size), 2, 2);
    QColor faint = purple;
    faint.setAlphaF(0.3f);
    painter.fillPath(rounded, faint);
    const int bars = int(size.width() / 3);
    for (int i = 0; i < bars; ++i) {
        const double bar = size.height() * pattern[i % 12] * 0.7;
        painter.fillRect(QRectF(3 * i + 1, (size.height() - bar) * 0.5, 2, bar), purple);
    }
    return image;
}

} // namespace tarnwick
