#include "transcode/MediaInspection.h"

#include "platform/AVHandles.h"

#include <QFile>

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace tarnwick {

namespace {

bool isRealVideo(const AVStream* s) {
    return s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

bool decodeFirstFrame(AVFormatContext* format, int streamIndex, QString& error) {
    const AVStream* stream = format->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        error = QStringLiteral("no decoder");
        return false;
    }
    av::CodecHandle ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0)
        return false;
    // One frame: slice threads only (one per core; HEVC's wavefront rows decode in parallel), so
    // no frame-thread pipeline has to fill first.
    ctx->thread_count = 0;
    ctx->thread_type = FF_THREAD_SLICE;
    if (const int rc = avcodec_open2(ctx.get(), codec, nullptr); rc < 0) {
        error = av::errorText(rc);
        return false;
    }
    av::PacketHandle packet(av_packet_alloc());
    av::FrameHandle frame(av_frame_alloc());
    bool flushed = false;
    for (;;) {
        const int got = avcodec_receive_frame(ctx.get(), frame.get());
        if (got == 0)
            return true;
        if (got != AVERROR(EAGAIN))
            return false;
        if (flushed)
            return false;
        int rc = 0;
        while ((rc = av_read_frame(format, packet.get())) == 0 && packet->stream_index != streamIndex)
            av_packet_unref(packet.get());
        if (rc < 0) {
            avcodec_send_packet(ctx.get(), nullptr);
            flushed = true;
            continue;
        }
        rc = avcodec_send_packet(ctx.get(), packet.get());
        av_packet_unref(packet.get());
        if (rc < 0 && rc != AVERROR(EAGAIN)) {
            error = av::errorText(rc);
            return false;
        }
    }
}

} // namespace

MediaFacts inspectMedia(const QString& path, bool decodeFrame) {
    MediaFacts facts;
    AVFormatContext* raw = nullptr;
    const QByteArray name = QByteArray("file:") + QFile::encodeName(path);
    if (const int rc = avformat_open_input(&raw, name.constData(), nullptr, nullptr); rc < 0) {
        facts.error = av::errorText(rc);
        return facts;
    }
    av::FormatHandle format(raw);
    if (const int rc = avformat_find_stream_info(format.get(), nullptr); rc < 0) {
        facts.error = av::errorText(rc);
        return facts;
    }
    facts.opened = true;
    int video = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* s = format->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && facts.audioStreams++ == 0)
            facts.audioCodec = QString::fromLatin1(avcodec_get_name(s->codecpar->codec_id));
        if (isRealVideo(s)) {
            ++facts.videoStreams;
            if (video < 0) {
                video = int(i);
                facts.videoCodec = QString::fromLatin1(avcodec_get_name(s->codecpar->codec_id));
            }
        }
    }
    const QByteArray demuxer = format->iformat ? QByteArray(format->iformat->name) : QByteArray();
    facts.isStillImage = demuxer == "image2" || demuxer.endsWith("_pipe") ||
                         (video >= 0 && format->streams[video]->nb_frames == 1);
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        facts.duration = double(format->duration) / AV_TIME_BASE;
    else if (video >= 0 && format->streams[video]->duration != AV_NOPTS_VALUE)
        facts.duration = double(format->streams[video]->duration) * av_q2d(format->streams[video]->time_base);
    if (decodeFrame && video >= 0)
        facts.decodedVideoFrame = decodeFirstFrame(format.get(), video, facts.error);
    return facts;
}

} // namespace tarnwick
