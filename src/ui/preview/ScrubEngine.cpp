#include "ui/preview/ScrubEngine.h"

#include "platform/MediaExtensions.h"
#include "platform/MemoryRelease.h"
#include "platform/ProVideoFormats.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/preview/MediaScrubFrameSource.h"
#include "ui/preview/ScrubCacheBudget.h"
#include "ui/preview/ThumbnailGenerator.h"

#include <QFileInfo>
#include <QPointer>

#include <tuple>
#include <utility>

namespace tarnwick {

namespace {

std::shared_ptr<ScrubFrameSource> sharedSource(const std::optional<QString>& path) {
    if (!path)
        return nullptr;
    return std::make_shared<MediaScrubFrameSource>(*path, ThumbnailGenerator::shared(),
                                                   ScrubEngine::frameSize);
}

double clampedFraction(double x) {
    if (x <= 0)
        return 0;
    if (x > 1)
        return 1;
    return x;
}

} // namespace

ScrubEngine::ScrubEngine(std::optional<QString> path, QObject* parent)
    : ScrubEngine(path, sharedSource(path),
                  {ThumbnailGenerator::shared().services().sandboxed,
                   ThumbnailGenerator::shared().services().proVideoInstalled},
                  &ScrubCacheBudget::shared(), parent) {}

ScrubEngine::ScrubEngine(std::optional<QString> path, std::shared_ptr<ScrubFrameSource> source,
                         ScrubEnginePolicy policy, ScrubCacheBudget* budget, QObject* parent)
    : QObject(parent), m_path(std::move(path)), m_source(std::move(source)), m_policy(policy),
      m_budget(budget) {}

ScrubEngine::~ScrubEngine() {
    if (m_budget)
        m_budget->forget(this);
    // Up to 48 frames of 640 x 360 and the poster, made on the decoding threads: not freed on the GUI
    // thread.
    if (!m_cache.isEmpty() || m_posterImage)
        memory::releaseLater(
            std::make_tuple(std::move(m_cache), std::move(m_posterImage), std::move(m_displayImage)));
}

int ScrubEngine::bucketFor(double fraction) {
    return int(clampedFraction(fraction) * (buckets - 1));
}

void ScrubEngine::prepare() {
    if (m_ready || m_failed)
        return;
    if (!m_path || !m_source) {
        m_failed = true;
        Q_EMIT changed();
        return;
    }
    m_prepared = true;
    m_keepsFrames = true;
    if (m_budget)
        m_budget->touch(this);
    if (m_posterImage) {
        m_ready = true;
        Q_EMIT changed();
        return;
    }
    if (m_loading)
        return;
    m_loading = true;
    const QString extension = QFileInfo(*m_path).suffix().toLower();
    const bool ffmpegFromStart =
        mediaExtensions::proVideo().contains(extension) && !m_policy.sandboxed && !m_policy.proVideoInstalled;
    QPointer<ScrubEngine> self(this);
    m_source->load(ffmpegFromStart, [self](ScrubLoadResult result) {
        if (self)
            self->loadFinished(std::move(result));
    });
}

void ScrubEngine::loadFinished(ScrubLoadResult result) {
    m_loading = false;
    m_useFFmpeg = result.useFFmpeg;
    m_duration = result.duration;
    if (!result.poster) {
        m_failed = true;
        Q_EMIT changed();
        return;
    }
    m_posterImage = std::move(result.poster);
    m_displayImage = m_posterImage;
    // A card that went away while loading is ready again at its next prepare().
    m_ready = m_prepared;
    Q_EMIT changed();
}

void ScrubEngine::scrub(double fraction) {
    if (!m_ready || !(m_duration > 0))
        return;
    const double f = clampedFraction(fraction);
    const int bucket = bucketFor(f);
    if (bucket == m_lastBucket)
        return;
    m_lastBucket = bucket;
    if (const auto hit = m_cache.constFind(bucket); hit != m_cache.cend()) {
        m_displayImage = *hit;
        m_loadingFrame = false;
        Q_EMIT changed();
        return;
    }
    const double time = f * m_duration;
    setLoadingFrame(true);
    if (m_generating) {
        m_pendingTime = time;
        return;
    }
    startFrame(time, bucket);
}

void ScrubEngine::startFrame(double time, int bucket) {
    // A card being scrubbed counts as shown for the budget.
    m_keepsFrames = true;
    if (m_budget)
        m_budget->touch(this);
    m_generating = true;
    m_inFlight = ++m_nextRequest;
    QPointer<ScrubEngine> self(this);
    m_source->frame(
        time, m_useFFmpeg,
        [self, bucket, request = m_inFlight, generation = m_generation](std::optional<QImage> frame) {
            if (self)
                self->frameFinished(std::move(frame), bucket, request, generation);
        });
}

void ScrubEngine::frameFinished(std::optional<QImage> frame, int bucket, quint64 request,
                                quint64 generation) {
    if (frame) {
        cacheInsert(*frame, bucket);
        // A frame asked for before the pointer left or the card was reset is kept, never shown.
        if (generation == m_generation)
            setDisplay(frame);
    }
    if (request != m_inFlight)
        return; // reset() already let go of this request
    m_generating = false;
    m_inFlight = 0;
    if (m_pendingTime) {
        const double pending = *m_pendingTime;
        m_pendingTime.reset();
        const double duration = m_duration > 0.0001 ? m_duration : 0.0001;
        const int next = bucketFor(pending / duration);
        if (const auto hit = m_cache.constFind(next); hit != m_cache.cend()) {
            m_displayImage = *hit;
            setLoadingFrame(false);
            return;
        }
        startFrame(pending, next);
        return;
    }
    setLoadingFrame(false);
}

void ScrubEngine::cacheInsert(const QImage& frame, int bucket) {
    if (!m_keepsFrames)
        return;
    if (!m_cache.contains(bucket))
        m_cacheOrder.append(bucket);
    m_cache.insert(bucket, frame);
    while (m_cacheOrder.size() > cacheLimit)
        m_cache.remove(m_cacheOrder.takeFirst());
}

void ScrubEngine::reset() {
    if (m_source)
        m_source->close();
    m_pendingTime.reset();
    m_generating = false;
    m_inFlight = 0;
    m_loadingFrame = false;
    m_lastBucket = -1;
    m_ready = false;
    m_prepared = false;
    ++m_generation;
    m_displayImage = m_posterImage;
    Q_EMIT changed();
}

void ScrubEngine::endHover() {
    ++m_generation;
    m_pendingTime.reset();
    m_lastBucket = -1;
    m_loadingFrame = false;
    if (m_posterImage)
        m_displayImage = m_posterImage;
    Q_EMIT changed();
}

void ScrubEngine::dropFrameCache() {
    m_keepsFrames = false;
    if (!m_cache.isEmpty())
        memory::releaseLater(std::exchange(m_cache, {}));
    m_cacheOrder.clear();
    if (!m_prepared && m_source)
        m_source->close();
}

void ScrubEngine::setDisplay(const std::optional<QImage>& image) {
    m_displayImage = image;
    Q_EMIT changed();
}

void ScrubEngine::setLoadingFrame(bool value) {
    m_loadingFrame = value;
    Q_EMIT changed();
}

} // namespace tarnwick
