#include "platform/media/FFmpegCommands.h"

#include "platform/FFmpegNumbers.h"
#include "platform/StrictTextDecoding.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace tarnwick::ffmpegCommands {

QString scaleFilter(QSizeF size) {
    return QStringLiteral("scale=%1:%2:force_original_aspect_ratio=decrease")
        .arg(qint64(std::trunc(size.width())))
        .arg(qint64(std::trunc(size.height())));
}

QString seekText(double seconds, int decimals) {
    // "-ss inf" or "-ss nan" would make ffmpeg fail; an unknown time is the start.
    const double at = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    return QString::asprintf(decimals == 3 ? "%.3f" : "%.2f", at);
}

QStringList frameArguments(const QString& path, const QString& seek, QSizeF size, const QString& quality,
                           const QString& outputPath) {
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-loglevel"),
            QStringLiteral("error"),
            QStringLiteral("-ss"),
            seek,
            QStringLiteral("-i"),
            path,
            QStringLiteral("-vframes"),
            QStringLiteral("1"),
            QStringLiteral("-vf"),
            scaleFilter(size),
            QStringLiteral("-q:v"),
            quality,
            QStringLiteral("-y"),
            outputPath};
}

QStringList frameArgumentsDecodingFromStart(const QString& path, const QString& seek, QSizeF size,
                                            const QString& quality, const QString& outputPath) {
    QStringList arguments = frameArguments(path, seek, size, quality, outputPath);
    // "-ss" after the input: an output option, reached by decoding.
    const qsizetype at = arguments.indexOf(QStringLiteral("-ss"));
    arguments.remove(at, 2);
    arguments.insert(arguments.indexOf(QStringLiteral("-i")) + 2, seek);
    arguments.insert(arguments.indexOf(QStringLiteral("-i")) + 2, QStringLiteral("-ss"));
    return arguments;
}

QStringList ffprobeDurationArguments(const QString& path) {
    return {QStringLiteral("-v"),   QStringLiteral("quiet"),        QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), path};
}

QStringList ffmpegInfoArguments(const QString& path) {
    return {QStringLiteral("-i"), path, QStringLiteral("-hide_banner")};
}

std::optional<double> durationFromFFprobeJson(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue format = document.object().value(QLatin1String("format"));
    if (!format.isObject())
        return std::nullopt;
    const QJsonValue duration = format.toObject().value(QLatin1String("duration"));
    if (!duration.isString())
        return std::nullopt;
    return ffmpegNumbers::duration(duration.toString());
}

std::optional<double> durationFromFFmpegText(const QByteArray& text) {
    const std::optional<QString> decoded = strict::decodeUtf8(text);
    if (!decoded)
        return std::nullopt;
    static const QString marker = QStringLiteral("Duration: ");
    for (const QString& line : decoded->split(QLatin1Char('\n'))) {
        const qsizetype at = line.indexOf(marker);
        if (at < 0)
            continue;
        const qsizetype from = at + marker.size();
        const qsizetype comma = line.indexOf(QLatin1Char(','), from);
        if (comma < 0)
            continue;
        const QStringList parts = line.mid(from, comma - from).trimmed().split(QLatin1Char(':'));
        if (parts.size() != 3)
            continue;
        if (const auto seconds = ffmpegNumbers::durationFromClock(parts[0], parts[1], parts[2]))
            return seconds;
    }
    return std::nullopt;
}

} // namespace tarnwick::ffmpegCommands
