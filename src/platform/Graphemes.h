#pragma once

#include <QString>

#include <string_view>

// "Characters" are extended grapheme clusters (CR LF counts as one).
namespace tarnwick::graphemes {

qsizetype count(const QString& s);
qsizetype count(QStringView s); // copies only text beyond Latin-1
// UTF-8 input, ASCII fast path; invalid UTF-8 is counted per replacement character.
qsizetype countUtf8(std::string_view utf8);
QString prefix(const QString& s, qsizetype n);
QString suffix(const QString& s, qsizetype n);

} // namespace tarnwick::graphemes
