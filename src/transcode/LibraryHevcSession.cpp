#include "transcode/LibraryHevcSession.h"

#include "platform/AVHandles.h"
#include "transcode/FFmpegArguments.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace tarnwick {

namespace {

struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using CodecPtr = av::CodecHandle;
using FramePtr = av::FrameHandle;
using PacketPtr = av::PacketHandle;

bool isFullRange(const AVFrame* f) {
    return f->color_range == AVCOL_RANGE_JPEG || f->format == AV_PIX_FMT_YUVJ420P ||
           f->format == AV_PIX_FMT_YUVJ422P || f->format == AV_PIX_FMT_YUVJ444P;
}

} // namespace

struct LibraryHevcSession::State {
    DecoderLookup findDecoder;
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    QString outputPath;
    int64_t origin = 0; // AV_TIME_BASE units: the earliest stream start
    PacketPtr packet{av_packet_alloc()};
    PacketPtr encoded{av_packet_alloc()};
    FramePtr decoded{av_frame_alloc()};

    struct Video {
        int index = -1;
        AVStream* stream = nullptr;
        CodecPtr decoder;
        CodecPtr encoder;
        std::unique_ptr<SwsContext, SwsFree> sws;
        int swsFormat = -1, swsWidth = 0, swsHeight = 0, swsSpace = 0, swsFull = 0; // what sws is set up for
        FramePtr converted{av_frame_alloc()};
        bool fullRange = false;
        AVStream* outStream = nullptr;
    } video;

    struct Audio {
        int index = -1;
        AVStream* stream = nullptr;
        CodecPtr decoder;
        CodecPtr encoder;
        std::unique_ptr<SwrContext, SwrFree> swr;
        FramePtr converted{av_frame_alloc()};
        int capacity = 0;
        int64_t nextPts = -1;
        AVStream* outStream = nullptr;
    };
    std::vector<Audio> audio;
    std::vector<int> laneOfStream; // input stream → audio lane, -1 none

    ~State() {
        if (out) {
            if (out->pb)
                avio_closep(&out->pb);
            avformat_free_context(out);
        }
        if (in)
            avformat_close_input(&in);
    }

    const AVCodec* decoderFor(AVCodecID id) const {
        return findDecoder ? findDecoder(id) : avcodec_find_decoder(id);
    }

    void write(AVPacket* p, const AVCodecContext* enc, AVStream* st) {
        av_packet_rescale_ts(p, enc->time_base, st->time_base);
        p->stream_index = st->index;
        if (const int rc = av_interleaved_write_frame(out, p); rc < 0)
            throw TranscodeError::encodingFailed(QStringLiteral("could not write the output: ") +
                                                 av::errorText(rc));
    }

    // Sends one frame (or the flush) and writes every packet the encoder has ready.
    void encode(AVCodecContext* enc, AVStream* st, const AVFrame* frame) {
        int rc = avcodec_send_frame(enc, frame);
        if (rc < 0 && rc != AVERROR_EOF)
            throw TranscodeError::encodingFailed(QStringLiteral("encoder refused a frame: ") +
                                                 av::errorText(rc));
        while ((rc = avcodec_receive_packet(enc, encoded.get())) == 0)
            write(encoded.get(), enc, st);
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
            throw TranscodeError::encodingFailed(QStringLiteral("encoder failed: ") + av::errorText(rc));
    }

    void openVideoDecoder(const QString& name);
    void openAudioDecoders();
    void openVideoEncoder();
    void openAudioEncoder(Audio& lane);
    void videoFrame(AVFrame* f, const std::atomic_bool& cancelled, const TranscodeProgress& onProgress);
    void convert(const AVFrame* f);
    void audioFrames(Audio& lane, const AVFrame* f);
    void drainVideo(const std::atomic_bool& cancelled, const TranscodeProgress& onProgress);
    void drainAudio(Audio& lane);
};

LibraryHevcSession::LibraryHevcSession(DecoderLookup findDecoder) : m(std::make_unique<State>()) {
    m->findDecoder = std::move(findDecoder);
}

LibraryHevcSession::~LibraryHevcSession() = default;

double LibraryHevcSession::duration() const {
    if (m->in && m->in->duration != AV_NOPTS_VALUE && m->in->duration > 0)
        return double(m->in->duration) / AV_TIME_BASE;
    return 0;
}

void LibraryHevcSession::openSource(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const QByteArray url = QByteArray("file:") + QFile::encodeName(path);
    if (const int rc = avformat_open_input(&m->in, url.constData(), nullptr, nullptr); rc < 0)
        throw TranscodeError::cannotReadAsset(av::errorText(rc));
    if (const int rc = avformat_find_stream_info(m->in, nullptr); rc < 0)
        throw TranscodeError::cannotReadAsset(av::errorText(rc));
    m->origin = m->in->start_time != AV_NOPTS_VALUE ? m->in->start_time : 0;
    m->laneOfStream.assign(m->in->nb_streams, -1);
    for (unsigned i = 0; i < m->in->nb_streams; ++i) {
        const AVStream* s = m->in->streams[i];
        // Cover art is a picture attached to the file, never the movie's video.
        if (m->video.index < 0 && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            m->video.index = int(i);
    }
    if (m->video.index < 0)
        throw TranscodeError::noVideoTrack(name);
    m->openVideoDecoder(name);
    m->openAudioDecoders();
}

void LibraryHevcSession::State::openVideoDecoder(const QString&) {
    video.stream = in->streams[video.index];
    const AVCodec* codec = decoderFor(video.stream->codecpar->codec_id);
    if (!codec)
        throw TranscodeError::cannotReadAsset(QStringLiteral("no decoder for the video track"));
    video.decoder.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(video.decoder.get(), video.stream->codecpar);
    video.decoder->pkt_timebase = video.stream->time_base;
    video.decoder->thread_count = 0; // one per core, as the ffmpeg program decodes
    if (const int rc = avcodec_open2(video.decoder.get(), codec, nullptr); rc < 0)
        throw TranscodeError::cannotReadAsset(QStringLiteral("video decoder: ") + av::errorText(rc));
    if (video.decoder->width < 2 || video.decoder->height < 2)
        throw TranscodeError::cannotReadAsset(QStringLiteral("video track has no usable size"));
}

// Every audio track must be decodable: going on without one would replace the original with a
// file that lost it. Refusing here sends the file to ffmpeg instead.
void LibraryHevcSession::State::openAudioDecoders() {
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* s = in->streams[i];
        if (s->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        const AVCodec* codec = decoderFor(s->codecpar->codec_id);
        if (!codec)
            throw TranscodeError::cannotReadAsset(QStringLiteral("an audio track cannot be decoded here (") +
                                                  QString::fromUtf8(avcodec_get_name(s->codecpar->codec_id)) +
                                                  QLatin1Char(')'));
        Audio lane;
        lane.index = int(i);
        lane.stream = s;
        lane.decoder.reset(avcodec_alloc_context3(codec));
        avcodec_parameters_to_context(lane.decoder.get(), s->codecpar);
        lane.decoder->pkt_timebase = s->time_base;
        lane.decoder->thread_count = 1; // audio decodes in a fraction of the video's time
        if (const int rc = avcodec_open2(lane.decoder.get(), codec, nullptr); rc < 0)
            throw TranscodeError::cannotReadAsset(QStringLiteral("audio decoder: ") + av::errorText(rc));
        if (lane.decoder->ch_layout.nb_channels < 1 || lane.decoder->sample_rate < 1)
            throw TranscodeError::cannotReadAsset(QStringLiteral("an audio track has no channels or rate"));
        laneOfStream[i] = int(audio.size());
        audio.push_back(std::move(lane));
    }
}

void LibraryHevcSession::openOutput(const QString& path) {
    m->outputPath = path;
    const QByteArray url = QByteArray("file:") + QFile::encodeName(path);
    if (const int rc = avformat_alloc_output_context2(&m->out, nullptr, "mov", url.constData()); rc < 0)
        throw TranscodeError::cannotCreateWriter(av::errorText(rc));
    m->openVideoEncoder();
    for (State::Audio& lane : m->audio)
        m->openAudioEncoder(lane);
    if (const int rc = avio_open(&m->out->pb, url.constData(), AVIO_FLAG_WRITE); rc < 0)
        throw TranscodeError::cannotCreateWriter(av::errorText(rc));
    if (const int rc = avformat_write_header(m->out, nullptr); rc < 0)
        throw TranscodeError::cannotCreateWriter(av::errorText(rc));
}

void LibraryHevcSession::State::openVideoEncoder() {
    const HevcSettings& s = hevcSettings;
    const AVCodec* codec = avcodec_find_encoder_by_name(s.encoder);
    if (!codec)
        throw TranscodeError::cannotCreateWriter(QStringLiteral("no libx265 encoder"));
    const AVCodecContext* dec = video.decoder.get();
    video.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = video.encoder.get();
    // libx265 refuses odd sizes: the last column and row go.
    enc->width = dec->width & ~1;
    enc->height = dec->height & ~1;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = video.stream->time_base;
    enc->framerate = av_guess_frame_rate(in, video.stream, nullptr);
    enc->sample_aspect_ratio = dec->sample_aspect_ratio;
    enc->color_primaries = dec->color_primaries;
    enc->color_trc = dec->color_trc;
    enc->colorspace = dec->colorspace;
    video.fullRange = dec->color_range == AVCOL_RANGE_JPEG || dec->pix_fmt == AV_PIX_FMT_YUVJ420P ||
                      dec->pix_fmt == AV_PIX_FMT_YUVJ422P || dec->pix_fmt == AV_PIX_FMT_YUVJ444P;
    enc->color_range = video.fullRange ? AVCOL_RANGE_JPEG : dec->color_range;
    if (out->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // 0 lets libx265 choose its frame threads from the cores, as the ffmpeg program does; the
    // context's default of 1 runs one frame at a time.
    enc->thread_count = 0;
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "crf", s.crf, 0);
    av_dict_set(&options, "preset", s.preset, 0);
    av_dict_set(&options, "x265-params", s.x265Params, 0);
    const int rc = avcodec_open2(enc, codec, &options);
    av_dict_free(&options);
    if (rc < 0)
        throw TranscodeError::cannotCreateWriter(QStringLiteral("libx265: ") + av::errorText(rc));

    AVStream* st = avformat_new_stream(out, nullptr);
    avcodec_parameters_from_context(st->codecpar, enc);
    st->codecpar->codec_tag = MKTAG(s.tag[0], s.tag[1], s.tag[2], s.tag[3]);
    st->time_base = enc->time_base;
    st->avg_frame_rate = enc->framerate;
    // The pixels keep their coded orientation; the display matrix tells players how to turn them.
    size_t size = 0;
    if (const uint8_t* matrix = av_stream_get_side_data(video.stream, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
        if (uint8_t* copy = av_stream_new_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, size))
            std::memcpy(copy, matrix, size);
    }
    video.converted->format = enc->pix_fmt;
    video.converted->width = enc->width;
    video.converted->height = enc->height;
    if (av_frame_get_buffer(video.converted.get(), 0) < 0)
        throw TranscodeError::cannotCreateWriter(QStringLiteral("out of memory"));
    video.outStream = st;
}

// 24-bit PCM at 48 kHz with the track's own channels. FFmpeg 5.1's mov muxer chooses the channel
// layout atom itself: mono, stereo and the layouts it knows get their tag, but it has no way to
// write the "discrete, in order" tag for three or more channels of no known layout, so such
// tracks carry no layout tag.
void LibraryHevcSession::State::openAudioEncoder(Audio& lane) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S24LE);
    lane.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = lane.encoder.get();
    const AVCodecContext* dec = lane.decoder.get();
    enc->thread_count = 1; // PCM: a copy
    enc->sample_fmt = AV_SAMPLE_FMT_S32;
    enc->sample_rate = 48000;
    enc->time_base = AVRational{1, 48000};
    if (dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&enc->ch_layout, dec->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&enc->ch_layout, &dec->ch_layout);
    if (const int rc = avcodec_open2(enc, codec, nullptr); rc < 0)
        throw TranscodeError::cannotCreateWriter(QStringLiteral("audio encoder: ") + av::errorText(rc));
    lane.outStream = avformat_new_stream(out, nullptr);
    avcodec_parameters_from_context(lane.outStream->codecpar, enc);
    lane.outStream->time_base = enc->time_base;

    AVChannelLayout inLayout{};
    if (dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&inLayout, dec->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&inLayout, &dec->ch_layout);
    SwrContext* swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &inLayout,
                                 dec->sample_fmt, dec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    lane.swr.reset(swr);
    if (rc < 0 || (rc = swr_init(swr)) < 0)
        throw TranscodeError::cannotCreateWriter(QStringLiteral("resampler: ") + av::errorText(rc));
    lane.converted->format = enc->sample_fmt;
    lane.converted->sample_rate = enc->sample_rate;
    av_channel_layout_copy(&lane.converted->ch_layout, &enc->ch_layout);
}

void LibraryHevcSession::State::videoFrame(AVFrame* f, const std::atomic_bool& cancelled,
                                           const TranscodeProgress& onProgress) {
    if (cancelled.load())
        throw TranscodeError::cancelled();
    AVCodecContext* enc = video.encoder.get();
    const AVRational tb = video.stream->time_base;
    int64_t pts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    if (pts == AV_NOPTS_VALUE)
        pts = 0;
    pts -= av_rescale_q(origin, AV_TIME_BASE_Q, tb);
    if (onProgress) {
        const double total = in->duration > 0 ? double(in->duration) / AV_TIME_BASE : 0;
        const double seconds = double(pts) * av_q2d(tb);
        onProgress(total > 0 ? std::clamp(seconds / total, 0.0, 0.95) : 0.0);
    }
    AVFrame* frame = f;
    // An even-sized 8-bit 4:2:0 frame goes to the encoder as decoded; anything else is converted,
    // taking the even top-left part (a crop, not a scale).
    if (f->format != AV_PIX_FMT_YUV420P || f->width != enc->width || f->height != enc->height) {
        convert(f);
        frame = video.converted.get();
    }
    frame->pts = pts;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    encode(enc, video.outStream, frame);
}

// Slices of the frame are converted in parallel (swscale's own threads), so the conversion keeps
// pace with the decoder's and the encoder's threads instead of running one core between them.
void LibraryHevcSession::State::convert(const AVFrame* f) {
    const AVCodecContext* enc = video.encoder.get();
    const int w = std::min(f->width & ~1, enc->width);
    const int h = std::min(f->height & ~1, enc->height);
    const int full = isFullRange(f) ? 1 : 0;
    const int space = f->colorspace != AVCOL_SPC_UNSPECIFIED ? f->colorspace : SWS_CS_DEFAULT;
    if (!video.sws || video.swsFormat != f->format || video.swsWidth != w || video.swsHeight != h ||
        video.swsSpace != space || video.swsFull != full) {
        SwsContext* sws = sws_alloc_context();
        video.sws.reset(sws);
        if (!sws)
            throw TranscodeError::encodingFailed(QStringLiteral("out of memory"));
        av_opt_set_int(sws, "srcw", w, 0);
        av_opt_set_int(sws, "srch", h, 0);
        av_opt_set_int(sws, "src_format", f->format, 0);
        av_opt_set_int(sws, "dstw", enc->width, 0);
        av_opt_set_int(sws, "dsth", enc->height, 0);
        av_opt_set_int(sws, "dst_format", enc->pix_fmt, 0);
        av_opt_set_int(sws, "sws_flags", SWS_BICUBIC, 0);
        av_opt_set_int(sws, "threads", 0, 0); // one per core
        if (sws_init_context(sws, nullptr, nullptr) < 0)
            throw TranscodeError::encodingFailed(QStringLiteral("cannot convert the video's pixel format"));
        const int* coefficients = sws_getCoefficients(space);
        sws_setColorspaceDetails(sws, coefficients, full, coefficients, full, 0, 1 << 16, 1 << 16);
        video.swsFormat = f->format;
        video.swsWidth = w;
        video.swsHeight = h;
        video.swsSpace = space;
        video.swsFull = full;
    }
    if (av_frame_make_writable(video.converted.get()) < 0)
        throw TranscodeError::encodingFailed(QStringLiteral("out of memory"));
    // A view of the even top-left part: the same planes, the last odd column and row left out.
    FramePtr view(av_frame_alloc());
    if (!view || av_frame_ref(view.get(), f) < 0)
        throw TranscodeError::encodingFailed(QStringLiteral("out of memory"));
    view->width = w;
    view->height = h;
    if (const int rc = sws_scale_frame(video.sws.get(), video.converted.get(), view.get()); rc < 0)
        throw TranscodeError::encodingFailed(QStringLiteral("cannot convert the video's pixel format: ") +
                                             av::errorText(rc));
}

void LibraryHevcSession::State::audioFrames(Audio& lane, const AVFrame* f) {
    AVCodecContext* enc = lane.encoder.get();
    if (lane.nextPts < 0) {
        int64_t first =
            f ? (f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts) : 0;
        if (first == AV_NOPTS_VALUE)
            first = 0;
        first -= av_rescale_q(origin, AV_TIME_BASE_Q, lane.stream->time_base);
        lane.nextPts = std::max<int64_t>(0, av_rescale_q(first, lane.stream->time_base, enc->time_base));
    }
    const int inSamples = f ? f->nb_samples : 0;
    for (;;) {
        const int want = swr_get_out_samples(lane.swr.get(), inSamples);
        if (want <= 0 && !f)
            return;
        if (want > lane.capacity) {
            av_frame_unref(lane.converted.get());
            lane.converted->format = enc->sample_fmt;
            lane.converted->sample_rate = enc->sample_rate;
            av_channel_layout_copy(&lane.converted->ch_layout, &enc->ch_layout);
            lane.converted->nb_samples = want;
            if (av_frame_get_buffer(lane.converted.get(), 0) < 0)
                throw TranscodeError::encodingFailed(QStringLiteral("out of memory"));
            lane.capacity = want;
        }
        if (av_frame_make_writable(lane.converted.get()) < 0)
            throw TranscodeError::encodingFailed(QStringLiteral("out of memory"));
        const int n = swr_convert(lane.swr.get(), lane.converted->data, lane.capacity,
                                  f ? const_cast<const uint8_t**>(f->extended_data) : nullptr, inSamples);
        if (n < 0)
            throw TranscodeError::encodingFailed(QStringLiteral("audio read failed: ") + av::errorText(n));
        if (n > 0) {
            lane.converted->nb_samples = n;
            lane.converted->pts = lane.nextPts;
            lane.nextPts += n;
            encode(enc, lane.outStream, lane.converted.get());
            lane.converted->nb_samples = lane.capacity;
        }
        // A frame is taken in one call; the flush runs until the resampler is empty.
        if (f || n == 0)
            return;
    }
}

void LibraryHevcSession::State::drainVideo(const std::atomic_bool& cancelled,
                                           const TranscodeProgress& onProgress) {
    int rc;
    while ((rc = avcodec_receive_frame(video.decoder.get(), decoded.get())) == 0) {
        videoFrame(decoded.get(), cancelled, onProgress);
        av_frame_unref(decoded.get());
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
        throw TranscodeError::encodingFailed(QStringLiteral("video decoding failed: ") + av::errorText(rc));
}

void LibraryHevcSession::State::drainAudio(Audio& lane) {
    int rc;
    while ((rc = avcodec_receive_frame(lane.decoder.get(), decoded.get())) == 0) {
        audioFrames(lane, decoded.get());
        av_frame_unref(decoded.get());
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
        throw TranscodeError::encodingFailed(QStringLiteral("audio read failed: ") + av::errorText(rc));
}

void LibraryHevcSession::run(const std::atomic_bool& cancelled, const TranscodeProgress& onProgress) {
    State& s = *m;
    for (;;) {
        const int rc = av_read_frame(s.in, s.packet.get());
        if (rc == AVERROR_EOF)
            break;
        if (rc < 0)
            throw TranscodeError::encodingFailed(QStringLiteral("read failed mid-stream: ") +
                                                 av::errorText(rc));
        const int index = s.packet->stream_index;
        if (index == s.video.index) {
            int sent;
            // EAGAIN: the decoder wants its frames taken before it accepts this packet.
            while ((sent = avcodec_send_packet(s.video.decoder.get(), s.packet.get())) == AVERROR(EAGAIN))
                s.drainVideo(cancelled, onProgress);
            av_packet_unref(s.packet.get());
            if (sent < 0)
                throw TranscodeError::encodingFailed(QStringLiteral("video decoding failed: ") +
                                                     av::errorText(sent));
            s.drainVideo(cancelled, onProgress);
        } else if (index >= 0 && index < int(s.laneOfStream.size()) && s.laneOfStream[index] >= 0) {
            State::Audio& lane = s.audio[s.laneOfStream[index]];
            int sent;
            while ((sent = avcodec_send_packet(lane.decoder.get(), s.packet.get())) == AVERROR(EAGAIN))
                s.drainAudio(lane);
            av_packet_unref(s.packet.get());
            if (sent < 0)
                throw TranscodeError::encodingFailed(QStringLiteral("audio read failed: ") +
                                                     av::errorText(sent));
            s.drainAudio(lane);
        } else {
            av_packet_unref(s.packet.get());
        }
    }
    avcodec_send_packet(s.video.decoder.get(), nullptr);
    s.drainVideo(cancelled, onProgress);
    s.encode(s.video.encoder.get(), s.video.outStream, nullptr);
    for (State::Audio& lane : s.audio) {
        avcodec_send_packet(lane.decoder.get(), nullptr);
        s.drainAudio(lane);
        s.audioFrames(lane, nullptr);
        s.encode(lane.encoder.get(), lane.outStream, nullptr);
    }
    if (const int rc = av_write_trailer(s.out); rc < 0)
        throw TranscodeError::encodingFailed(QStringLiteral("could not finish the output: ") +
                                             av::errorText(rc));
    if (const int rc = avio_closep(&s.out->pb); rc < 0)
        throw TranscodeError::encodingFailed(QStringLiteral("could not finish the output: ") +
                                             av::errorText(rc));
}

void LibraryHevcSession::abandonOutput() {
    if (m->out && m->out->pb)
        avio_closep(&m->out->pb);
}

} // namespace tarnwick
