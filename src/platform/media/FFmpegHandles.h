#pragma once

#include "platform/AVHandles.h"

#include <QString>

#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

// Owning handles for the media libraries' objects, and the steps every reader of a file shares.
namespace tarnwick::media {

using av::CodecHandle;
using av::FormatHandle;
using av::FrameHandle;
using av::PacketHandle;

// Opened and its streams probed; empty on failure.
FormatHandle openInput(const QString& path);
// A decoder for the stream with `threads` threads (0: as many as the library likes); empty on failure.
CodecHandle openDecoder(const AVStream* stream, int threads);
// The container's duration, else the longest stream's; absent when neither is known.
std::optional<double> durationSeconds(const AVFormatContext* format);

} // namespace tarnwick::media
