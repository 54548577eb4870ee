#include "platform/media/FFmpegCommands.h"

#include "platform/StrictTextDecoding.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarnwick::ffmpegCommands {

QString scaleFilter(QSizeF size) {
    return QStringLiteral("scale=%1:%2:force_original_aspect_ratio=decrease")
        .arg(qint64(std::trunc(size.width())))
        .arg(qint64(std::trunc(size.height())));
}

QString seekText(double seconds, int decimals) {
    return QString::asprintf(decimals == 3 ? "%.3f" : "%.2f", std::max(seconds, 0.0));
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

QStringList ffprobeDurationArguments(const QString& path) {
    return {QStringLiteral("-v"),   QStringLiteral("quiet"),        QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), path};
}

QStringList ffmpegInfoArguments(const QString& path) {
    return {QStringLiteral("-i"), path, QStringLiteral("-hide_banner")};
}

std::optional<double> strictDouble(const QString& text) {
    QByteArray latin = text.toLatin1();
    if (latin.isEmpty() || latin.size() != text.size() || QChar(text.front()).isSpace())
        return std::nullopt;
    const char* begin = latin.constData();
    const char* end = begin + latin.size();
    if (*begin == '+')
        ++begin;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<double> durationFromFfprobeJson(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue format = document.object().value(QLatin1String("format"));
    if (!format.isObject())
        return std::nullopt;
    const QJsonValue duration = format.toObject().value(QLatin1String("duration"));
    if (!duration.isString())
        return std::nullopt;
    return strictDouble(duration.toString());
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
        const auto hours = strictDouble(parts[0]);
        const auto minutes = strictDouble(parts[1]);
        const auto seconds = strictDouble(parts[2]);
        if (hours && minutes && seconds)
            return *hours * 3600 + *minutes * 60 + *seconds;
    }
    return std::nullopt;
}

} // namespace tarnwick::ffmpegCommands
