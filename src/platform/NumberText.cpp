#include "platform/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tarnwick::number {

QString fixed(double value, int decimals) {
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("nan")
                                 : (value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf"));
    // std::to_chars never consults the locale and rounds like printf's "%.*f" (exact ties to even).
    std::array<char, 400> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return QString::number(value, 'f', decimals);
    return QString::fromLatin1(buffer.data(), end - buffer.data());
}

QString seconds1(double seconds) {
    return fixed(seconds, 1) + QLatin1Char('s');
}

} // namespace tarnwick::number
