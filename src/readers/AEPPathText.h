#pragma once

#include <QByteArrayView>
#include <QSet>
#include <QString>

#include <optional>

// Byte-level helpers of the After Effects path scans.
namespace tarnwick::aep {

// Strict decoders: any invalid sequence, an odd byte count or an unpaired surrogate gives none.
std::optional<QString> decodeUtf8(QByteArrayView bytes);
std::optional<QString> decodeUtf16BE(QByteArrayView bytes);

// Adds the candidate, backslashes turned into slashes, when it is a plausible footage path.
void addIfPlausible(const std::optional<QString>& candidate, QSet<QString>& into);

// The body of a JSON string with its escapes undone ("\\", "\/", "\"", the control escapes and "\uXXXX"
// with surrogate pairs), when every backslash starts a valid escape and at least one of "\\", "\/",
// "\"" or "\u" is there; none otherwise (plain text such as C:\new\take.mov stays as it is).
std::optional<QString> jsonUnescaped(QStringView text);

// A candidate that followed a double quote: JSON text (After Effects keeps footage paths in it) is
// unescaped before backslashes are folded, so E:\\Footage\\a.mov gives E:/Footage/a.mov.
void addIfPlausibleQuoted(const std::optional<QString>& candidate, QSet<QString>& into);

// Bytes that continue a run of 8-bit path text: printable, the tab, or anything above 0x7F.
inline bool continuesRun(uchar b) {
    return b >= 0x20 || b == 0x09;
}

inline bool isAsciiLetter(uchar b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

// A path extension, lower-cased, of 1 to 6 characters and not one of After Effects' own.
bool qualifiesAsFootageExtension(QStringView extension);

// The path extension with "\" counted as a separator like "/": the text after the last "." of the
// last component, trailing separators ignored; none for ".hidden" or "name.".
QStringView pathExtension(QStringView path);

// Text below U+0300 has a grapheme boundary between any two units except CR LF: no combining
// marks, joiners, prepended or Hangul letters live there.
bool breaksEverywhereButCrLf(QStringView text);

// Number of characters (grapheme clusters).
qsizetype characterCount(QStringView text);

// Scalars that count towards a candidate's printable share: 32-126 and 161 upwards.
inline bool isPrintableScalar(char32_t c) {
    return (c >= 32 && c <= 126) || (c >= 161 && (c < 0xD800 || c > 0xDFFF));
}

// The scans over the candidates starting in [from, to) (even offsets for UTF-16), reading the
// bytes around them as needed: ranges can be scanned apart, in parallel, with the same result.
void scanUtf8Range(QByteArrayView bytes, qint64 from, qint64 to, QSet<QString>& into);
void scanUtf16Range(QByteArrayView bytes, qint64 from, qint64 to, QSet<QString>& into);

// Candidates the scans decoded and judged on their own (the others were judged as tails of a run
// prepared once), counted over the process: the measure of the scans' work.
qint64 candidatesDecodedAlone();

// First position in [from, end) where a candidate of the 8-bit (or the UTF-16) scan may begin or
// meet its drive colon: "/" or "\" after a control byte or a double quote, ":" two bytes after one
// (or, for UTF-16, one of the three at an odd offset after a 0 byte), or end. The scans skip
// everything else at memory speed.
qint64 nextUtf8Mark(const uchar* data, qint64 from, qint64 end);
qint64 nextUtf16Mark(const uchar* data, qint64 from, qint64 end);

} // namespace tarnwick::aep
