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
bool isRenderOrCacheFile(const QString& path, const std::optional<QString>& title);

} // namespace tarnwick::prproj
