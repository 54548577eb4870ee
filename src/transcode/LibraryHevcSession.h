#pragma once

#include "transcode/TranscodeTypes.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

struct AVCodec;

namespace tarnwick {

// One pass of the in-process route over one source: opened, run, finished. Throws TranscodeError.
class LibraryHevcSession {
public:
    using DecoderLookup = std::function<const AVCodec*(AVCodecID)>;
    explicit LibraryHevcSession(DecoderLookup findDecoder);
    ~LibraryHevcSession();
    LibraryHevcSession(const LibraryHevcSession&) = delete;
    LibraryHevcSession& operator=(const LibraryHevcSession&) = delete;

    // Demuxer, the first video stream that is not cover art, a decoder for it and for every audio
    // stream; cannotReadAsset when any cannot be had (the engine then tries ffmpeg).
    void openSource(const QString& path);
    double duration() const;
    // The QuickTime file with its encoders; the header is written.
    void openOutput(const QString& path);
    // The interleaved pass, flushing and the trailer. Progress ≤ 0.95 until the trailer is written.
    void run(const std::atomic_bool& cancelled, const TranscodeProgress& onProgress);
    // Closes the output file without finishing it (before it is removed).
    void abandonOutput();

    struct State;

private:
    std::unique_ptr<State> m;
};

} // namespace tarnwick
