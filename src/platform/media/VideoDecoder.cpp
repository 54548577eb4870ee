#include "platform/media/VideoDecoder.h"

#include "platform/media/FFmpegHandles.h"

#include <QTransform>

#include <cmath>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace tarnwick {

struct VideoDecoder::State {
    media::FormatHandle format;
    media::CodecHandle codec;
    media::FrameHandle frame;
    media::FrameHandle held; // the newest decoded frame
    media::PacketHandle packet;
    SwsContext* scaler = nullptr;
    AVStream* stream = nullptr;
    int rotation = 0;
    bool intraOnly = false; // every frame a key frame: seeking is always the short way
    // The container seeks to key frames and its index lists them; a transport stream's lands anywhere.
    bool keysIndexed = true;
    bool haveHeld = false;
    bool positioned = false; // the decoder continues from `heldPts`
    bool drained = false;
    int64_t heldPts = AV_NOPTS_VALUE;
    int64_t previousPts = AV_NOPTS_VALUE;
    // The last packet fed to the decoder: where reading picks up again after a seek that found nothing.
    int64_t fedPos = -1;
    int64_t fedDts = AV_NOPTS_VALUE;
    bool passingFed = false; // reading again what was fed already
    // Key frames seen fed: the distance between the last two is how far back a seek first looks.
    int64_t lastKeyPts = AV_NOPTS_VALUE;
    int64_t keyInterval = 0;
    int fedThisRequest = 0;
    int decodeLimit = defaultDecodeLimit;
    const std::atomic_bool* cancelled = nullptr;
    int seeks = 0;

    ~State() { sws_freeContext(scaler); }

    enum class Scan { key, passed, ended, cancelled };
    enum class Found { key, resume, nothing };

    int64_t targetTimestamp(double seconds) const;
    int64_t streamStart() const;
    int64_t oneSecond() const;
    int64_t decodeReach() const;
    bool isCancelled() const { return cancelled && cancelled->load(std::memory_order_relaxed); }
    bool mustSeek(int64_t target) const;
    bool seek(int64_t target);
    Found findKey(int64_t target, bool forward);
    Scan scanForKey(int64_t target, bool anyPacket);
    void seekDemuxer(int64_t timestamp);
    void startFromKey(int64_t target);
    bool resume();
    bool alreadyFed();
    bool feed(int64_t target);
    bool holdFrame(int64_t target, bool skipped);
    bool decodeUntil(int64_t target);
    std::optional<QImage> convertHeld(QSize box, FrameFit fit);
};

namespace {

int displayRotation(const AVStream* stream) {
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t))
        return 0;
    double theta = -std::round(av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix)));
    if (std::isnan(theta))
        return 0;
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    return (int(std::lround(theta / 90)) * 90) % 360;
}

int videoStreamIndex(const AVFormatContext* format) {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
            avcodec_find_decoder(stream->codecpar->codec_id))
            return int(i);
    }
    return -1;
}

QSize fittedSize(QSizeF picture, QSize box, FrameFit fit) {
    if (fit == FrameFit::stretch || picture.isEmpty())
        return box;
    if (picture.width() <= box.width() && picture.height() <= box.height())
        return picture.toSize().expandedTo(QSize(1, 1));
    return picture.scaled(QSizeF(box), Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1));
}

} // namespace

VideoDecoder::VideoDecoder(std::unique_ptr<State> state) : d(std::move(state)) {}
VideoDecoder::~VideoDecoder() = default;

std::unique_ptr<VideoDecoder> VideoDecoder::open(const QString& path, int threads) {
    auto state = std::make_unique<State>();
    state->format = media::openInput(path);
    if (!state->format)
        return nullptr;
    AVFormatContext* format = state->format.get();
    const int index = videoStreamIndex(format);
    if (index < 0)
        return nullptr;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    state->stream = format->streams[index];
    state->codec = media::openDecoder(state->stream, std::max(threads, 1));
    if (!state->codec)
        return nullptr;
    state->frame.reset(av_frame_alloc());
    state->held.reset(av_frame_alloc());
    state->packet.reset(av_packet_alloc());
    if (!state->frame || !state->held || !state->packet)
        return nullptr;
    state->rotation = displayRotation(state->stream);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(state->stream->codecpar->codec_id);
    state->intraOnly = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    return std::unique_ptr<VideoDecoder>(new VideoDecoder(std::move(state)));
}

double VideoDecoder::duration() const {
    return media::durationSeconds(d->format.get()).value_or(0.0);
}

double VideoDecoder::startTime() const {
    return double(d->streamStart()) * av_q2d(d->stream->time_base);
}

int VideoDecoder::decodeLimit() const {
    return d->decodeLimit;
}

void VideoDecoder::setDecodeLimit(int frames) {
    d->decodeLimit = std::max(frames, 1);
}

int VideoDecoder::rotation() const {
    return d->rotation;
}

QString VideoDecoder::pixelFormat() const {
    const char* name = av_get_pix_fmt_name(d->codec->pix_fmt);
    return name ? QString::fromLatin1(name) : QString();
}

int VideoDecoder::seekCount() const {
    return d->seeks;
}

std::optional<QImage> VideoDecoder::frameAt(double seconds, QSize box, FrameFit fit, double toleranceBefore,
                                            const std::atomic_bool* cancelled) {
    if (box.isEmpty())
        return std::nullopt;
    const int64_t target = d->targetTimestamp(seconds);
    // Asked again for the frame already decoded: no work.
    if (d->positioned && d->haveHeld && d->heldPts != AV_NOPTS_VALUE &&
        (target == d->heldPts ||
         (target < d->heldPts && d->previousPts != AV_NOPTS_VALUE && target > d->previousPts)))
        return d->convertHeld(box, fit);
    d->cancelled = cancelled;
    d->fedThisRequest = 0;
    const int64_t earliest =
        toleranceBefore > 0 ? d->targetTimestamp(std::max(seconds - toleranceBefore, 0.0)) : target;
    const bool decoded = (!d->mustSeek(target) || d->seek(target)) && d->decodeUntil(earliest);
    d->cancelled = nullptr;
    if (!decoded)
        return std::nullopt;
    return d->convertHeld(box, fit);
}

int64_t VideoDecoder::State::streamStart() const {
    return stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
}

int64_t VideoDecoder::State::targetTimestamp(double seconds) const {
    const int64_t micros = std::llround(std::max(seconds, 0.0) * 1e6);
    return streamStart() + av_rescale_q(micros, AVRational{1, 1000000}, stream->time_base);
}

int64_t VideoDecoder::State::oneSecond() const {
    return av_rescale_q(1, AVRational{1, 1}, stream->time_base);
}

// How far decodeLimit frames go.
int64_t VideoDecoder::State::decodeReach() const {
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational{25, 1};
    return av_rescale_q(decodeLimit, av_inv_q(rate), stream->time_base);
}

bool VideoDecoder::State::mustSeek(int64_t target) const {
    if (!positioned || drained || heldPts == AV_NOPTS_VALUE || target < heldPts || intraOnly)
        return true;
    // Going forward a little: decoding on is cheaper than any seek.
    if (target - heldPts <= oneSecond())
        return false;
    // Further: seek only when a key frame lies between the decoded position and the target.
    if (keysIndexed) {
        const int entry = av_index_search_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
        if (entry >= 0) {
            if (const AVIndexEntry* key = avformat_index_get_entry(stream, entry))
                return key->timestamp > heldPts;
        }
    }
    return target - heldPts > 2 * oneSecond();
}

// Puts the decoder on the last key frame at or before `target`, or leaves it where it is when no
// key frame lies between its position and a later target.
bool VideoDecoder::State::seek(int64_t target) {
    ++seeks;
    const bool forward =
        positioned && !drained && haveHeld && heldPts != AV_NOPTS_VALUE && target > heldPts && fedPos >= 0;
    Found found = findKey(target, forward);
    if (found == Found::resume && !resume())
        found = findKey(target, false);
    if (found == Found::nothing) {
        positioned = false; // the demuxer has moved: the next request seeks afresh
        return false;
    }
    return true;
}

// A container without an index of key frames lands anywhere: from there the packets are read, not
// decoded, up to the target, and where no key frame came, again from twice as far back. Past the
// distance decodeLimit frames cover, decoding starts at the stream's start (or goes on from the
// decoded position, going forward).
VideoDecoder::State::Found VideoDecoder::State::findKey(int64_t target, bool forward) {
    const int64_t start = streamStart();
    const int64_t reach = decodeReach();
    const int64_t firstStep = keyInterval > 0 ? std::min(keyInterval, oneSecond()) : oneSecond();
    for (int64_t step = 0;; step = step > 0 ? 2 * step : firstStep) {
        // Only a container that lands anywhere is read again where decoding stopped.
        const bool resumable = forward && !keysIndexed;
        int64_t at = target - step;
        const bool last = resumable && (at <= heldPts || step > reach);
        const bool fromStart = !resumable && (at <= start || step > reach);
        if (last)
            at = heldPts;
        // A transport stream decodes its first frame before the stream's start: a second earlier
        // lands before it.
        if (fromStart)
            at = start - oneSecond();
        seekDemuxer(at);
        const Scan scan = scanForKey(target, fromStart || intraOnly);
        if (scan == Scan::cancelled)
            return Found::nothing;
        if (scan == Scan::key) {
            // A key frame no later than the decoded position is not worth decoding from again.
            if (resumable && packet->pts != AV_NOPTS_VALUE && packet->pts <= heldPts) {
                av_packet_unref(packet.get());
                return Found::resume;
            }
            startFromKey(target);
            return Found::key;
        }
        if (last)
            return Found::resume;
        if (fromStart)
            return Found::nothing;
    }
}

void VideoDecoder::State::seekDemuxer(int64_t timestamp) {
    AVFormatContext* context = format.get();
    if (av_seek_frame(context, stream->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0)
        avformat_seek_file(context, stream->index, INT64_MIN, timestamp, timestamp, 0);
}

// Reads on to the first key frame shown by `target` (any packet when `anyPacket`), leaving it in
// `packet`; `passed` once the packets are past the target without one.
VideoDecoder::State::Scan VideoDecoder::State::scanForKey(int64_t target, bool anyPacket) {
    bool first = true;
    while (true) {
        if (isCancelled())
            return Scan::cancelled;
        if (av_read_frame(format.get(), packet.get()) < 0)
            return Scan::ended;
        if (packet->stream_index != stream->index) {
            av_packet_unref(packet.get());
            continue;
        }
        const bool key = anyPacket || (packet->flags & AV_PKT_FLAG_KEY);
        if (first && !key)
            keysIndexed = false;
        first = false;
        if (anyPacket || (key && (packet->pts == AV_NOPTS_VALUE || packet->pts <= target)))
            return Scan::key;
        const int64_t decoded = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        av_packet_unref(packet.get());
        if (key || (decoded != AV_NOPTS_VALUE && decoded > target))
            return Scan::passed;
    }
}

// The decoder starts afresh on the key frame the scan left in `packet`.
void VideoDecoder::State::startFromKey(int64_t target) {
    avcodec_flush_buffers(codec.get());
    positioned = true;
    drained = false;
    passingFed = false;
    haveHeld = false;
    heldPts = AV_NOPTS_VALUE;
    previousPts = AV_NOPTS_VALUE;
    feed(target);
    av_packet_unref(packet.get());
}

// Back to where decoding stopped, the decoder untouched: what was fed already is read again and
// passed over.
bool VideoDecoder::State::resume() {
    if (av_seek_frame(format.get(), stream->index, fedPos, AVSEEK_FLAG_BYTE) < 0)
        return false;
    passingFed = true;
    return true;
}

bool VideoDecoder::State::alreadyFed() {
    const bool before =
        packet->pos >= 0 && (packet->pos < fedPos ||
                             (packet->pos == fedPos && (packet->dts == AV_NOPTS_VALUE ||
                                                        fedDts == AV_NOPTS_VALUE || packet->dts <= fedDts)));
    passingFed = before;
    return before;
}

// Sends `packet` to the decoder; whether it was shown before `target` (and may be skipped).
bool VideoDecoder::State::feed(int64_t target) {
    // A frame shown before the target that nothing refers to need not be decoded at all.
    const bool early = packet->pts != AV_NOPTS_VALUE && packet->pts < target;
    codec->skip_frame = early ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    fedPos = packet->pos;
    fedDts = packet->dts;
    if ((packet->flags & AV_PKT_FLAG_KEY) && packet->pts != AV_NOPTS_VALUE) {
        if (lastKeyPts != AV_NOPTS_VALUE && packet->pts > lastKeyPts)
            keyInterval = packet->pts - lastKeyPts;
        lastKeyPts = packet->pts;
    }
    ++fedThisRequest;
    avcodec_send_packet(codec.get(), packet.get()); // a damaged packet is skipped
    return early;
}

// Keeps the frame just received; whether it is the one wanted.
bool VideoDecoder::State::holdFrame(int64_t target, bool skipped) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = frame->pts;
    av_frame_unref(held.get());
    av_frame_move_ref(held.get(), frame.get());
    haveHeld = true;
    previousPts = heldPts;
    heldPts = pts;
    if (pts != AV_NOPTS_VALUE && pts < target)
        return false;
    // Frames before the target may have been skipped: the held frame then stands only for times
    // from the target on.
    if (skipped && pts != AV_NOPTS_VALUE)
        previousPts = previousPts == AV_NOPTS_VALUE ? target - 1 : std::max(previousPts, target - 1);
    return true;
}

// Decodes until the held frame is the first at or after `target`, or the last of the stream, or the
// newest after decodeLimit frames.
bool VideoDecoder::State::decodeUntil(int64_t target) {
    bool sentEnd = false;
    bool skipped = false;
    while (true) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) {
            if (holdFrame(target, skipped))
                return true;
            continue;
        }
        if (received == AVERROR_EOF) {
            drained = true;
            return haveHeld;
        }
        if (received != AVERROR(EAGAIN))
            return false;
        if (sentEnd)
            return haveHeld;
        if (isCancelled())
            return false;
        if (haveHeld && fedThisRequest >= decodeLimit)
            return true;
        if (av_read_frame(format.get(), packet.get()) < 0) {
            avcodec_send_packet(codec.get(), nullptr);
            sentEnd = true;
            continue;
        }
        if (packet->stream_index == stream->index && !(passingFed && alreadyFed()))
            skipped = feed(target) || skipped;
        av_packet_unref(packet.get());
    }
}

std::optional<QImage> VideoDecoder::State::convertHeld(QSize box, FrameFit fit) {
    const AVFrame* source = held.get();
    if (source->width <= 0 || source->height <= 0)
        return std::nullopt;
    const AVRational aspect = source->sample_aspect_ratio;
    const double pixelAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    const QSizeF stored(source->width * pixelAspect, source->height);
    const bool quarterTurn = rotation % 180 != 0;
    const QSize shown = fittedSize(quarterTurn ? stored.transposed() : stored, box, fit);
    const QSize scaled = quarterTurn ? shown.transposed() : shown;
    scaler = sws_getCachedContext(scaler, source->width, source->height, AVPixelFormat(source->format),
                                  scaled.width(), scaled.height(), AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr,
                                  nullptr, nullptr);
    if (!scaler)
        return std::nullopt;
    QImage image(scaled, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler, source->data, source->linesize, 0, source->height, planes, strides);
    if (rotation != 0)
        image = image.transformed(QTransform().rotate(rotation));
    return image;
}

std::optional<double> containerDuration(const QString& path) {
    media::FormatHandle format = media::openInput(path);
    if (!format)
        return std::nullopt;
    return media::durationSeconds(format.get());
}

} // namespace tarnwick
