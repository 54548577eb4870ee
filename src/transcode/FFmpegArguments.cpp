#include "transcode/FFmpegArguments.h"

namespace tarnwick::ffmpegArguments {

QString audioChoice(const std::optional<ProbeInfo>& probe) {
    if (!probe || !probe->hasAudio)
        return QStringLiteral("pcm_s24le");
    const QString codec = probe->audioCodec.toLower();
    if (codec == QLatin1String("aac") || codec == QLatin1String("mp3") || codec == QLatin1String("ac3") ||
        codec == QLatin1String("eac3"))
        return QStringLiteral("copy");
    return QStringLiteral("pcm_s24le");
}

QString pixelFormat(const std::optional<ProbeInfo>& probe) {
    return probe && probe->isHighBitDepth() ? QStringLiteral("yuv420p10le") : QStringLiteral("yuv420p");
}

QString evenCropFilter() {
    return QStringLiteral("crop=trunc(iw/2)*2:trunc(ih/2)*2");
}

QStringList transcode(const QString& sourcePath, const QString& outputPath,
                      const std::optional<ProbeInfo>& probe) {
    const HevcSettings& s = hevcSettings;
    return {
        QStringLiteral("-hide_banner"),
        QStringLiteral("-nostdin"),
        QStringLiteral("-progress"),
        QStringLiteral("pipe:1"),
        QStringLiteral("-i"),
        // "file:" keeps a name with a colon from being read as a protocol.
        QStringLiteral("file:") + sourcePath,
        QStringLiteral("-c:v"),
        QString::fromLatin1(s.encoder),
        QStringLiteral("-crf"),
        QString::number(s.crf),
        QStringLiteral("-preset"),
        QString::fromLatin1(s.preset),
        QStringLiteral("-pix_fmt"),
        pixelFormat(probe),
        QStringLiteral("-vf"),
        evenCropFilter(),
        QStringLiteral("-x265-params"),
        QString::fromLatin1(s.x265Params),
        QStringLiteral("-tag:v"),
        QString::fromLatin1(s.tag),
        QStringLiteral("-c:a"),
        audioChoice(probe),
        // Capital V: video streams that are not attached pictures (cover art).
        QStringLiteral("-map"),
        QStringLiteral("0:V"),
        QStringLiteral("-map"),
        QStringLiteral("0:a?"),
        QStringLiteral("-movflags"),
        QStringLiteral("+faststart"),
        // The output may be a descriptor's name with no extension to tell the format by.
        QStringLiteral("-f"),
        QStringLiteral("mov"),
        QStringLiteral("-y"),
        QStringLiteral("file:") + outputPath,
    };
}

} // namespace tarnwick::ffmpegArguments
