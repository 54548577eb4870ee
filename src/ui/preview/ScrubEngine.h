#pragma once

#include "ui/preview/ScrubFrameSource.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace tarnwick {

class ScrubCacheBudget;
class ThumbnailGenerator;

struct ScrubEnginePolicy {
    bool sandboxed = false;
    bool proVideoInstalled = true; // the media libraries read MXF themselves
};

// Turns the pointer's position over a video card into frames of the clip: a poster at a tenth of
// the clip, 60 scrub positions, the frame at the exact hover time, the last 48 frames kept, and
// never more than one frame request in flight (while one runs, only the newest next is kept).
// GUI thread only; the card calls prepare() when it appears, scrub(to) on hover, endHover() when
// the pointer leaves, reset() when it disappears, and repaints on changed().
class ScrubEngine : public QObject {
    Q_OBJECT
public:
    static constexpr int buckets = 60;
    static constexpr int cacheLimit = 48;
    static constexpr QSize frameSize{640, 360};

    // The engine of a card: frames from the shared generator, caches under the shared budget.
    explicit ScrubEngine(std::optional<QString> path, QObject* parent = nullptr);
    ScrubEngine(std::optional<QString> path, std::shared_ptr<ScrubFrameSource> source,
                ScrubEnginePolicy policy, ScrubCacheBudget* budget, QObject* parent = nullptr);
    ~ScrubEngine() override;

    void prepare();
    void scrub(double fraction);
    void reset();
    // The pointer left the preview: back to the poster; a frame still on its way is cached but
    // not shown, and a request waiting its turn is dropped.
    void endHover();

    // The bucket of a fraction: clamped to 0…1, times 59, truncated.
    static int bucketFor(double fraction);

    const std::optional<QImage>& displayImage() const { return m_displayImage; }
    const std::optional<QImage>& posterImage() const { return m_posterImage; }
    double duration() const { return m_duration; }
    bool ready() const { return m_ready; }
    bool failed() const { return m_failed; }
    bool loadingFrame() const { return m_loadingFrame; }

    // For tests and the budget.
    int lastBucket() const { return m_lastBucket; }
    bool generating() const { return m_generating; }
    std::optional<double> pendingTime() const { return m_pendingTime; }
    bool useFFmpeg() const { return m_useFFmpeg; }
    const QList<int>& cacheOrder() const { return m_cacheOrder; }
    bool cacheHolds(int bucket) const { return m_cache.contains(bucket); }
    // The budget took this engine's frames; it keeps its poster.
    void dropFrameCache();

Q_SIGNALS:
    // Any of the shown fields was assigned.
    void changed();

private:
    void loadFinished(ScrubLoadResult result);
    void startFrame(double time, int bucket);
    void frameFinished(std::optional<QImage> frame, int bucket, quint64 request, quint64 generation);
    void cacheInsert(const QImage& frame, int bucket);
    void setDisplay(const std::optional<QImage>& image);
    void setLoadingFrame(bool value);

    std::optional<QString> m_path;
    std::shared_ptr<ScrubFrameSource> m_source;
    ScrubEnginePolicy m_policy;
    ScrubCacheBudget* m_budget;

    std::optional<QImage> m_displayImage;
    std::optional<QImage> m_posterImage;
    double m_duration = 0;
    bool m_ready = false;
    bool m_failed = false;
    bool m_loadingFrame = false;

    bool m_useFFmpeg = false;
    int m_lastBucket = -1;
    bool m_generating = false;
    std::optional<double> m_pendingTime;
    QHash<int, QImage> m_cache;
    QList<int> m_cacheOrder; // first insertion first

    bool m_loading = false;
    bool m_prepared = false; // prepare() since the last reset()
    bool m_keepsFrames = true;
    quint64 m_generation = 0; // bumped by endHover() and reset(): older frames are never shown
    quint64 m_nextRequest = 0;
    quint64 m_inFlight = 0; // the request `generating` stands for; 0 after reset()
};

} // namespace tarnwick
