#include "platform/FFmpegNumbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarnwick::ffmpegNumbers {

namespace {

// The text's bytes when it is all ASCII, else nothing (so digits of other scripts never pass).
QByteArray asciiBytes(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return {};
    }
    return text.toLatin1();
}

} // namespace

std::optional<qint64> integer(const QString& text) {
    const QByteArray bytes = asciiBytes(text);
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+')
        ++begin; // from_chars takes a minus only
    const char* digits = begin != end && *begin == '-' && begin == bytes.constData() ? begin + 1 : begin;
    if (digits == end || !std::all_of(digits, end, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    qint64 value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<double> decimal(const QString& text) {
    const QByteArray bytes = asciiBytes(text);
    if (bytes.isEmpty())
        return std::nullopt;
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (*begin == '+') {
        ++begin;
        if (begin != end && *begin == '-')
            return std::nullopt; // "+-5"
    }
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> duration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return std::nullopt;
    return seconds;
}

std::optional<double> duration(const QString& text) {
    const std::optional<double> value = decimal(text);
    return value ? duration(*value) : std::nullopt;
}

std::optional<double> durationFromClock(const QString& hours, const QString& minutes,
                                        const QString& seconds) {
    const auto h = duration(hours);
    const auto m = duration(minutes);
    const auto s = duration(seconds);
    if (!h || !m || !s)
        return std::nullopt;
    return duration(*h * 3600 + *m * 60 + *s);
}

} // namespace tarnwick::ffmpegNumbers
