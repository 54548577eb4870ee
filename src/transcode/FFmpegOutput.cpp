#include "transcode/FFmpegOutput.h"

#include "platform/FFmpegNumbers.h"
#include "platform/StrictTextDecoding.h"

#include <QRegularExpression>

#include <algorithm>

namespace tarnwick {

FFmpegProgressReader::FFmpegProgressReader(double duration, std::function<void(double)> onProgress)
    : m_duration(duration), m_onProgress(std::move(onProgress)) {}

std::optional<double> FFmpegProgressReader::fraction(const QString& value, double duration) {
    if (!(duration > 0))
        return std::nullopt;
    const auto micros = ffmpegNumbers::integer(value);
    if (!micros)
        return std::nullopt;
    const double f = double(*micros) / 1'000'000.0 / duration;
    return std::clamp(f, 0.0, 0.99);
}

void FFmpegProgressReader::feed(const char* data, qsizetype size) {
    const QByteArray chunk(data, size);
    const auto text = strict::decodeUtf8(chunk);
    if (!text)
        return;
    m_buffer += *text;
    // Only whole lines: a number cut at a chunk boundary would read as a smaller one and make
    // the bar jump back.
    const qsizetype lastBreak = m_buffer.lastIndexOf(QLatin1Char('\n'));
    if (lastBreak < 0)
        return;
    const QStringList pieces = QStringView(m_buffer).left(lastBreak).toString().split(QLatin1Char('\n'));
    for (const QString& piece : pieces)
        line(piece);
    m_buffer = m_buffer.mid(lastBreak + 1);
}

void FFmpegProgressReader::line(const QString& text) {
    static const QLatin1String key("out_time_ms=");
    if (!text.startsWith(key) || !m_onProgress)
        return;
    if (const auto f = fraction(text.mid(key.size()), m_duration))
        m_onProgress(*f);
}

void BoundedTail::feed(const char* data, qsizetype size) {
    m_data.append(data, size);
    if (m_data.size() > m_limit)
        m_data.remove(0, m_data.size() - m_limit);
}

namespace ffmpegText {

QString errorMessage(const QString& stderrText) {
    QString last;
    for (const QString& piece : stderrText.split(QLatin1Char('\n'))) {
        if (piece.isEmpty() || piece.startsWith(QLatin1String("  ")))
            continue;
        last = piece;
    }
    if (!last.isEmpty())
        return last;
    return stderrText.left(200);
}

QString decodeStderr(const QByteArray& data) {
    const auto text = strict::decodeUtf8(data);
    return text ? *text : QStringLiteral("Unknown error");
}

std::optional<double> durationFromText(const QString& text) {
    static const QLatin1String member("\"duration\"");
    const qsizetype first = text.indexOf(member);
    if (first >= 0) {
        const qsizetype from = first + member.size();
        const qsizetype second = text.indexOf(member, from);
        const QString rest = second >= 0 ? text.mid(from, second - from) : text.mid(from);
        for (QString piece : rest.split(QLatin1Char('"'))) {
            while (!piece.isEmpty() &&
                   (piece.front() == QLatin1Char(' ') || piece.front() == QLatin1Char('\t')))
                piece.remove(0, 1);
            while (!piece.isEmpty() &&
                   (piece.back() == QLatin1Char(' ') || piece.back() == QLatin1Char('\t')))
                piece.chop(1);
            if (const auto v = ffmpegNumbers::duration(piece); v && *v > 0)
                return v;
        }
    }
    static const QRegularExpression line(QStringLiteral("Duration: (\\d+):(\\d+):(\\d+\\.\\d+)"));
    const auto match = line.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QStringList parts = match.captured(0).remove(QStringLiteral("Duration: ")).split(QLatin1Char(':'));
    if (parts.size() != 3)
        return std::nullopt;
    return ffmpegNumbers::durationFromClock(parts[0], parts[1], parts[2]);
}

} // namespace ffmpegText
} // namespace tarnwick
