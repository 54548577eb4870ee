#pragma once

#include "ui/preview/ScrubFrameSource.h"

#include <QSize>
#include <QString>

#include <memory>

namespace tarnwick {

class ThumbnailGenerator;
class VideoDecoder;

// Frames for one clip: an in-process decoder kept open between frames (opening costs more than
// decoding one frame), on the generator's four decoding slots; or ffmpeg through the generator.
class MediaScrubFrameSource : public ScrubFrameSource,
                              public std::enable_shared_from_this<MediaScrubFrameSource> {
public:
    MediaScrubFrameSource(QString path, ThumbnailGenerator& generator, QSize frameSize);
    ~MediaScrubFrameSource() override;

    void load(bool ffmpegFromStart, LoadDone done) override;
    void frame(double seconds, bool useFFmpeg, FrameDone done) override;
    void close() override;

    bool holdsDecoder() const { return m_decoder != nullptr; }

private:
    void loadWithFFmpeg(LoadDone done);

    QString m_path;
    QString m_openPath;
    ThumbnailGenerator& m_generator;
    QSize m_frameSize;
    std::shared_ptr<VideoDecoder> m_decoder;
    int m_epoch = 0; // bumped by close(): a decoder handed back from an older epoch is let go
};

} // namespace tarnwick
