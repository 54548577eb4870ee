#include "readers/JsonEscape.h"

#include <QChar>

namespace tarnwick {

namespace {

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The unit of "\uXXXX" at `at` (the backslash), or -1.
int escapedUnit(QStringView text, qsizetype at) {
    if (at + 6 > text.size() || text[at] != u'\\' || text[at + 1] != u'u')
        return -1;
    int unit = 0;
    for (qsizetype k = at + 2; k < at + 6; ++k) {
        const int v = hexValue(text[k]);
        if (v < 0)
            return -1;
        unit = unit * 16 + v;
    }
    return unit;
}

std::optional<char16_t> controlUnit(char16_t letter, JsonControlEscapes controls) {
    switch (letter) {
    case u'n':
        return u'\n';
    case u'r':
        return u'\r';
    case u't':
        return u'\t';
    case u'b':
        return controls == JsonControlEscapes::all ? std::optional<char16_t>(u'\b') : std::nullopt;
    case u'f':
        return controls == JsonControlEscapes::all ? std::optional<char16_t>(u'\f') : std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<JsonEscape> jsonEscapeAt(QStringView text, qsizetype at, JsonControlEscapes controls) {
    if (at + 1 >= text.size() || text[at] != u'\\')
        return std::nullopt;
    const char16_t letter = text[at + 1].unicode();
    if (letter == u'\\' || letter == u'/' || letter == u'"')
        return JsonEscape{{letter, 0}, 1, 2, false};
    if (const std::optional<char16_t> control = controlUnit(letter, controls))
        return JsonEscape{{*control, 0}, 1, 2, true};
    const int unit = escapedUnit(text, at);
    if (unit < 0 || QChar::isLowSurrogate(char16_t(unit)))
        return std::nullopt;
    if (!QChar::isHighSurrogate(char16_t(unit)))
        return JsonEscape{{char16_t(unit), 0}, 1, 6, false};
    // Characters beyond the Basic Multilingual Plane are written as a surrogate pair.
    const int low = escapedUnit(text, at + 6);
    if (low < 0 || !QChar::isLowSurrogate(char16_t(low)))
        return std::nullopt;
    return JsonEscape{{char16_t(unit), char16_t(low)}, 2, 12, false};
}

} // namespace tarnwick
