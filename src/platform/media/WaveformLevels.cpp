#include "platform/media/WaveformLevels.h"

#include "platform/media/FFmpegHandles.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libswresample/swresample.h>
}

namespace tarnwick {

WaveformLevels::WaveformLevels(int bucketCount, double expectedSamples)
    : m_levels(std::max(bucketCount, 0), 0.0f) {
    const double total = expectedSamples >= bucketCount ? expectedSamples : double(bucketCount);
    m_perBucket = bucketCount > 0 ? std::max(total / bucketCount, 1.0) : 1.0;
}

void WaveformLevels::add(const int16_t* samples, qsizetype count) {
    const qsizetype last = m_levels.size() - 1;
    if (last < 0)
        return;
    float* levels = m_levels.data();
    for (qsizetype i = 0; i < count; ++i, ++m_index) {
        const qsizetype bucket = std::min<qsizetype>(last, qsizetype(double(m_index) / m_perBucket));
        const float level = float(std::abs(int32_t(samples[i]))) / 32767.0f;
        if (levels[bucket] < level)
            levels[bucket] = level;
    }
}

QList<float> WaveformLevels::normalised() const {
    QList<float> levels = m_levels;
    const auto loudest = std::max_element(levels.cbegin(), levels.cend());
    if (loudest == levels.cend() || !(*loudest > 0))
        return levels;
    const float peak = *loudest;
    for (float& level : levels)
        level = std::min(level / peak, 1.0f);
    return levels;
}

namespace {

struct ResamplerCloser {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerCloser>;

int firstAudioStream(const AVFormatContext* format) {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return int(i);
    }
    return -1;
}

// Interleaved signed 16-bit at the decoder's own rate and channels.
ResamplerHandle interleavedS16(const AVCodecContext* codec) {
    AVChannelLayout layout{};
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&codec->ch_layout) == 0)
        av_channel_layout_default(&layout, std::max(codec->ch_layout.nb_channels, 1));
    else
        av_channel_layout_copy(&layout, &codec->ch_layout);
    SwrContext* raw = nullptr;
    const int made = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_S16, codec->sample_rate, &layout,
                                         codec->sample_fmt, codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    ResamplerHandle resampler(raw);
    if (made < 0 || swr_init(raw) < 0)
        return {};
    return resampler;
}

class PeakReader {
public:
    PeakReader(AVCodecContext* codec, WaveformLevels& levels) : m_codec(codec), m_levels(levels) {
        m_channels = std::max(codec->ch_layout.nb_channels, 1);
    }

    bool addFrame(const AVFrame* frame) {
        if (frame->format == AV_SAMPLE_FMT_S16) {
            m_levels.add(reinterpret_cast<const int16_t*>(frame->data[0]),
                         qsizetype(frame->nb_samples) * m_channels);
            return true;
        }
        if (!m_resampler && !(m_resampler = interleavedS16(m_codec)))
            return false;
        const int room = swr_get_out_samples(m_resampler.get(), frame->nb_samples);
        if (room <= 0)
            return true;
        m_buffer.resize(size_t(room) * size_t(m_channels));
        uint8_t* out = reinterpret_cast<uint8_t*>(m_buffer.data());
        const int converted =
            swr_convert(m_resampler.get(), &out, room, const_cast<const uint8_t**>(frame->extended_data),
                        frame->nb_samples);
        if (converted < 0)
            return false;
        m_levels.add(m_buffer.data(), qsizetype(converted) * m_channels);
        return true;
    }

private:
    AVCodecContext* m_codec;
    WaveformLevels& m_levels;
    ResamplerHandle m_resampler;
    std::vector<int16_t> m_buffer;
    int m_channels = 1;
};

} // namespace

QList<float> extractWaveformLevels(const QString& path, int bucketCount, const std::atomic_bool* cancel) {
    if (bucketCount < 1)
        return {};
    media::FormatHandle format = media::openInput(path);
    if (!format)
        return {};
    const int index = firstAudioStream(format.get());
    if (index < 0)
        return {};
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVStream* stream = format->streams[index];
    media::CodecHandle codec = media::openDecoder(stream, 1);
    if (!codec)
        return {};
    const double duration = media::durationSeconds(format.get()).value_or(0.0);
    const double rate = stream->codecpar->sample_rate > 0 ? stream->codecpar->sample_rate : 44100.0;
    const int channels =
        stream->codecpar->ch_layout.nb_channels > 0 ? stream->codecpar->ch_layout.nb_channels : 1;
    WaveformLevels levels(bucketCount, channels * (rate * duration));
    PeakReader reader(codec.get(), levels);
    media::PacketHandle packet(av_packet_alloc());
    media::FrameHandle frame(av_frame_alloc());
    if (!packet || !frame)
        return {};
    bool reading = true;
    bool sentEnd = false;
    while (reading && !(cancel && cancel->load(std::memory_order_relaxed))) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) {
            reading = reader.addFrame(frame.get());
            av_frame_unref(frame.get());
            continue;
        }
        if (received != AVERROR(EAGAIN) || sentEnd)
            break;
        if (av_read_frame(format.get(), packet.get()) < 0) {
            avcodec_send_packet(codec.get(), nullptr);
            sentEnd = true;
            continue;
        }
        if (packet->stream_index == index)
            avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
    }
    return levels.normalised();
}

} // namespace tarnwick
