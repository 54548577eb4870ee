#pragma once

#include "ui/preview/ScrubFrameSource.h"

#include <QSize>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

namespace tarnwick {

class ThumbnailGenerator;
class VideoDecoder;

// Frames for one clip: an in-process decoder kept open between frames (opening costs more than
// decoding one frame), on the generator's four decoding slots; or ffmpeg through the generator.
// A decoder left idle for `idleCloseMs` is closed (its threads and buffers go); the next frame
// opens it again.
class MediaScrubFrameSource : public ScrubFrameSource,
                              public std::enable_shared_from_this<MediaScrubFrameSource> {
public:
    MediaScrubFrameSource(QString path, ThumbnailGenerator& generator, QSize frameSize);
    ~MediaScrubFrameSource() override;

    void load(bool ffmpegFromStart, LoadDone done) override;
    void frame(double seconds, bool useFFmpeg, FrameDone done) override;
    void close() override;

    bool holdsDecoder() const { return m_decoder != nullptr; }

    static constexpr int idleCloseMs = 5000;
    // Tests fire the idle close without waiting for it.
    QTimer& idleTimerForTesting() { return m_idle; }
    void closeIdleDecoder();

private:
    void loadWithFFmpeg(LoadDone done);
    void keepDecoder(std::shared_ptr<VideoDecoder> decoder);

    QString m_path;
    QString m_openPath;
    ThumbnailGenerator& m_generator;
    QSize m_frameSize;
    std::shared_ptr<VideoDecoder> m_decoder;
    int m_epoch = 0; // bumped by close(): a decoder handed back from an older epoch is let go
    // Set by close(): a frame still decoding stops (a long group of pictures may take a while).
    std::shared_ptr<std::atomic_bool> m_closed = std::make_shared<std::atomic_bool>(false);
    QTimer m_idle;
};

} // namespace tarnwick
