#pragma once

#include <QStringView>

#include <array>
#include <optional>

// The escapes of JSON strings, read where the project readers meet them inside larger text.
namespace tarnwick {

// What one escape stands for and how much text it takes.
struct JsonEscape {
    std::array<char16_t, 2> units{};
    qsizetype unitCount = 0; // 2 for a surrogate pair
    qsizetype length = 0;    // the escape's length in the text, backslash included
    bool control = false;    // one of the one-letter control escapes ("\n" and the like)

    QStringView decoded() const { return QStringView(units.data(), unitCount); }
};

// The one-letter control escapes a reader takes as escapes: all of "\b", "\f", "\n", "\r", "\t", or
// only the line breaks and the tab (the Premiere reader reads "\b" and "\f" as the letters).
enum class JsonControlEscapes { all, lineBreaksAndTab };

// The escape that starts with the backslash at `at`: "\\", "\/", "\"", a control escape of
// `controls`, or "\uXXXX" (a high surrogate only with the low one escaped right after it). None for
// anything else: a backslash at the end, another letter, bad hex digits or an unpaired surrogate.
std::optional<JsonEscape> jsonEscapeAt(QStringView text, qsizetype at, JsonControlEscapes controls);

} // namespace tarnwick
