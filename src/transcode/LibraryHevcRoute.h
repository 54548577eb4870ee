#pragma once

#include "transcode/InProcessRoute.h"

#include <functional>

extern "C" {
#include <libavcodec/codec_id.h>
}

struct AVCodec;

namespace tarnwick {

// The in-process route on the FFmpeg libraries: one interleaved pass that demuxes, decodes,
// converts the video to 8-bit 4:2:0 cropped to even sizes, encodes it with libx265 (the shared
// settings) and the audio as 24-bit PCM at 48 kHz, and muxes a QuickTime file tagged hvc1.
class LibraryHevcRoute : public InProcessRoute {
public:
    // Tests replace the decoder lookup to play a codec this build cannot decode.
    using DecoderLookup = std::function<const AVCodec*(AVCodecID)>;
    explicit LibraryHevcRoute(DecoderLookup findDecoder = {});

    RouteResult transcode(TranscodeEngine& engine, const TranscodeRequest& request,
                          const std::atomic_bool& cancelled) override;

private:
    DecoderLookup m_findDecoder;
};

} // namespace tarnwick
