#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

namespace tarnwick {

enum class FrameFit {
    keepAspect, // the whole picture inside the box, never enlarged
    stretch,    // exactly the box
};

// One open video file. The demuxer and the decoder stay open between frames, so scrubbing a clip
// pays for opening it once, and frames asked for in increasing order decode forward from where
// the last one ended instead of seeking back to a key frame each time. A frame decodes forward from
// the key frame before it, also where the container cannot seek to key frames (a transport stream
// whose only key frame may be its first). One caller at a time.
class VideoDecoder {
public:
    // Absent when the file cannot be opened or holds no video stream (attached pictures such as
    // cover art do not count). One thread suits many files decoded side by side (thumbnails);
    // a few suit one file decoded far forward (scrubbing through long groups of pictures).
    static std::unique_ptr<VideoDecoder> open(const QString& path, int threads = 1);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // The container's duration in seconds; 0 when it does not say.
    double duration() const;
    // Where the video's clock starts, in seconds (a transport stream's rarely at 0): frame times
    // count from here.
    double startTime() const;
    // The first frame at or after `seconds` (the last frame when that is past the end), turned
    // upright by the stream's display matrix and scaled into `box`. With a tolerance, any frame from
    // that much earlier on will do (a key frame near the time saves decoding up to it). At most
    // decodeLimit() frames are decoded towards one time: past that, the newest decoded frame (from a
    // group of pictures too long to decode to its end). Absent when `cancelled` is set meanwhile.
    std::optional<QImage> frameAt(double seconds, QSize box, FrameFit fit = FrameFit::keepAspect,
                                  double toleranceBefore = 0, const std::atomic_bool* cancelled = nullptr);

    static constexpr int defaultDecodeLimit = 1000;
    int decodeLimit() const;
    void setDecodeLimit(int frames);

    int rotation() const; // clockwise degrees: 0, 90, 180 or 270
    // The decoded pictures' pixel format, as the media libraries name it ("yuv422p10le").
    QString pixelFormat() const;
    int seekCount() const;

    struct State;

private:
    explicit VideoDecoder(std::unique_ptr<State> state);
    std::unique_ptr<State> d;
};

// The duration of a media file from its container, without decoding; absent when unknown.
std::optional<double> containerDuration(const QString& path);

} // namespace tarnwick
