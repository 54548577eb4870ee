#pragma once

#include <QString>

#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

// Owning handles for the media libraries' objects, and the steps every reader of a file shares.
namespace tarnwick::media {

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameCloser {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using FormatHandle = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecHandle = std::unique_ptr<AVCodecContext, CodecCloser>;
using FrameHandle = std::unique_ptr<AVFrame, FrameCloser>;
using PacketHandle = std::unique_ptr<AVPacket, PacketCloser>;

// Opened and its streams probed; empty on failure.
FormatHandle openInput(const QString& path);
// A decoder for the stream with `threads` threads (0: as many as the library likes); empty on failure.
CodecHandle openDecoder(const AVStream* stream, int threads);
// The container's duration, else the longest stream's; absent when neither is known.
std::optional<double> durationSeconds(const AVFormatContext* format);

} // namespace tarnwick::media
