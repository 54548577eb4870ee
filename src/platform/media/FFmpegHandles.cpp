#include "platform/media/FFmpegHandles.h"

#include <QFile>

#include <mutex>

namespace tarnwick::media {

FormatHandle openInput(const QString& path) {
    static std::once_flag quiet;
    // Warnings such as deprecated pixel formats are not worth a line on every preview.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    AVFormatContext* context = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&context, name.constData(), nullptr, nullptr) < 0)
        return {};
    FormatHandle format(context);
    if (avformat_find_stream_info(context, nullptr) < 0)
        return {};
    return format;
}

CodecHandle openDecoder(const AVStream* stream, int threads) {
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        return {};
    CodecHandle codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return {};
    codec->thread_count = threads;
    // Frame threads must fill their pipeline before the first frame comes out: worth it for long
    // groups of pictures, pure waste for a codec whose every frame stands alone.
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(stream->codecpar->codec_id);
    if (descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY))
        codec->thread_type = FF_THREAD_SLICE;
    codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return {};
    return codec;
}

std::optional<double> durationSeconds(const AVFormatContext* format) {
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return double(format->duration) / AV_TIME_BASE;
    double longest = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            longest = std::max(longest, double(stream->duration) * av_q2d(stream->time_base));
    }
    return longest > 0 ? std::optional<double>(longest) : std::nullopt;
}

} // namespace tarnwick::media
