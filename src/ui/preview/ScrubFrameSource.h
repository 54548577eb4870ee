#pragma once

#include <QImage>

#include <functional>
#include <optional>

namespace tarnwick {

struct ScrubLoadResult {
    double duration = 0;          // 0 when unknown
    std::optional<QImage> poster; // absent: the engine has failed
    bool useFFmpeg = false;       // every later frame comes from ffmpeg
};

// Where a scrub engine gets its duration, poster and frames. Answers arrive on the engine's
// (GUI) thread, later, through the callbacks; one may arrive after close().
class ScrubFrameSource {
public:
    using LoadDone = std::function<void(ScrubLoadResult)>;
    using FrameDone = std::function<void(std::optional<QImage>)>;

    virtual ~ScrubFrameSource() = default;
    // Duration and the poster at a tenth of the clip; ffmpeg at once when `ffmpegFromStart`, else
    // the in-process decoder first and ffmpeg when that gives no duration or no poster.
    virtual void load(bool ffmpegFromStart, LoadDone done) = 0;
    // The frame at exactly `seconds`.
    virtual void frame(double seconds, bool useFFmpeg, FrameDone done) = 0;
    // Lets go of the open decoder; the next frame opens it again.
    virtual void close() = 0;
};

} // namespace tarnwick
