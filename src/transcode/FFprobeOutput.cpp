#include "transcode/FFprobeOutput.h"

#include "platform/FFmpegNumbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tarnwick {

bool ProbeInfo::isStillImage() const {
    if (containerFormat == QLatin1String("image2") || containerFormat.endsWith(QLatin1String("_pipe")) ||
        containerFormat == QLatin1String("image2pipe"))
        return true;
    return videoFrameCount == 1;
}

bool ProbeInfo::isHighBitDepth() const {
    for (const char* depth : {"p10", "p12", "p14", "p16", "10le", "10be", "12le", "12be", "16le", "16be"})
        if (videoPixelFormat.contains(QLatin1String(depth)))
            return true;
    return false;
}

namespace ffprobe {

namespace {

std::optional<qint64> integralNumber(const QJsonValue& v) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 9.0e15)
        return std::nullopt;
    return static_cast<qint64>(d);
}

QString stringMember(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString() : QString();
}

int intMember(const QJsonObject& o, const char* key) {
    return int(integralNumber(o.value(QLatin1String(key))).value_or(0));
}

qint64 decimalStringMember(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString())
        return 0;
    return ffmpegNumbers::integer(v.toString()).value_or(0);
}

bool isAttachedPicture(const QJsonObject& stream) {
    const QJsonObject disposition = stream.value(QLatin1String("disposition")).toObject();
    return integralNumber(disposition.value(QLatin1String("attached_pic"))).value_or(0) == 1;
}

void takeVideo(ProbeInfo& info, const QJsonObject& s) {
    info.hasVideo = true;
    info.videoCodec = stringMember(s, "codec_name");
    info.videoWidth = intMember(s, "width");
    info.videoHeight = intMember(s, "height");
    info.videoBitRate = decimalStringMember(s, "bit_rate");
    info.videoPixelFormat = stringMember(s, "pix_fmt");
    info.videoFrameCount = decimalStringMember(s, "nb_frames");
}

void takeAudio(ProbeInfo& info, const QJsonObject& s) {
    info.hasAudio = true;
    info.audioCodec = stringMember(s, "codec_name");
    const QJsonValue rate = s.value(QLatin1String("sample_rate"));
    if (const auto n = integralNumber(rate))
        info.audioSampleRate = int(*n);
    else if (rate.isString())
        info.audioSampleRate = int(ffmpegNumbers::integer(rate.toString()).value_or(0));
    info.audioChannels = intMember(s, "channels");
    info.audioChannelLayout = stringMember(s, "channel_layout");
}

} // namespace

std::optional<ProbeInfo> parse(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject top = doc.object();
    ProbeInfo info;
    const QJsonValue streams = top.value(QLatin1String("streams"));
    for (const QJsonValue& value : streams.toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject s = value.toObject();
        const QString type = stringMember(s, "codec_type");
        // Cover art is a picture, not the movie's video.
        if (type == QLatin1String("video") && !info.hasVideo && !isAttachedPicture(s))
            takeVideo(info, s);
        else if (type == QLatin1String("audio") && !info.hasAudio)
            takeAudio(info, s);
    }
    const QJsonObject format = top.value(QLatin1String("format")).toObject();
    const QJsonValue duration = format.value(QLatin1String("duration"));
    if (duration.isString())
        info.duration = ffmpegNumbers::duration(duration.toString()).value_or(0); // 0: unknown
    info.containerFormat = stringMember(format, "format_name");
    return info;
}

QString probeLine(const ProbeInfo& info) {
    QString audio = QStringLiteral("none");
    if (info.hasAudio)
        audio = info.audioCodec + QLatin1Char(' ') + QString::number(info.audioChannels) +
                QStringLiteral("ch ") + QString::number(info.audioSampleRate) + QStringLiteral("Hz");
    return QStringLiteral("  Probe: ") + info.videoCodec + QLatin1Char(' ') +
           QString::number(info.videoWidth) + QLatin1Char('x') + QString::number(info.videoHeight) +
           QStringLiteral(", audio: ") + audio + QStringLiteral(", container: ") + info.containerFormat +
           QStringLiteral(", duration: ") + QString::asprintf("%.1f", info.duration) + QLatin1Char('s');
}

} // namespace ffprobe
} // namespace tarnwick
