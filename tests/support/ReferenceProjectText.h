#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The reference reading's own text rules, written out plainly: nothing of the reader's is reused, so
// that a fault there is not a fault here too.
namespace tarnwick::testing::reference {

// The text split at every line break Unicode knows (each of CR and LF ends a line of its own).
QStringList splitLines(const QString& text);

// The text after the first `open` up to `close`: the first `close` after `open` when `closeAfter`,
// else the line's first `close`, which must not start before the value does.
std::optional<QString> between(const QString& line, const char* open, const char* close, bool closeAfter);

// The entities the editor writes, replaced one kind after another.
QString decodeEntities(QString text);

// A JSON string value after `"key":"`. The editor's reading: "\n", "\r" and "\t" are escapes, any
// other letter stands for itself, a "\u" without a character is dropped; empty is none.
std::optional<QString> jsonValue(const QString& text, const char* key);

// A path the editor may have written: absolute, a share, or a drive letter (a character, ":" and a
// separator, each one character); never all digits.
bool looksLikePath(const QString& text);

// Windows forms in forward-slash form: long-path prefixes dropped, backslashes turned.
QString forwardSlashed(QString text);

// The path of a file URL, percent escapes decoded: a drive path as it is written on Windows, a
// server's path as a share; none for other text.
std::optional<QString> fileURLPath(const QString& text);

// The editor's previews and caches: by the folders they live in, or a peak or conformed-audio
// file's own extension.
bool isEditorsCache(const QString& path);

// Paths compare by canonical equivalence, titles by their lower-cased canonical form.
QString canonical(const QString& text);
QString titleKey(const QString& title);

} // namespace tarnwick::testing::reference
