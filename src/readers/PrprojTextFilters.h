#pragma once

#include <QString>

#include <optional>
#include <string_view>

// Text rules of the project reader: values between markers on one line, XML entities, string values
// of JSON-style objects, plausible paths, Windows path forms, and the editor's own render and cache
// files, which are never project media.
namespace tarnwick::prproj {

// Text between the first start marker and the end marker (searched after the start marker when
// `searchEndAfterStart`, else anywhere in the line; it must not begin inside the start marker).
std::optional<std::string_view> textBetween(std::string_view line, std::string_view start,
                                            std::string_view end, bool searchEndAfterStart);
std::optional<QString> textBetween(const QString& line, const QString& start, const QString& end,
                                   bool searchEndAfterStart);

QString decodeXMLEntities(const QString& text);
std::optional<QString> jsonStringValue(const QString& key, const QString& text);
bool isPlausiblePath(const QString& s);
QString normalizedWindowsPath(const QString& s);
// The path a file URL names (file:///C:/a%20b.mov gives C:/a b.mov, file://nas/s/a.mov gives
// //nas/s/a.mov); absent when the text is no file URL.
std::optional<QString> pathOfFileURL(const QString& text);
// The editor's previews and caches, known by the folders they live in and the cache files' own
// extensions. A path in forward-slash form.
bool isRenderOrCacheFile(const QString& path);

} // namespace tarnwick::prproj
