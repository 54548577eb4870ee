#include "readers/PrprojTextFilters.h"

#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "readers/JsonEscape.h"

#include <QStringList>

#include <array>

namespace tarnwick::prproj {

std::optional<std::string_view> textBetween(std::string_view line, std::string_view start,
                                            std::string_view end, bool searchEndAfterStart) {
    const std::size_t s = line.find(start);
    if (s == std::string_view::npos)
        return std::nullopt;
    const std::size_t valueStart = s + start.size();
    const std::size_t e = line.find(end, searchEndAfterStart ? valueStart : 0);
    if (e == std::string_view::npos || e < valueStart)
        return std::nullopt;
    return line.substr(valueStart, e - valueStart);
}

std::optional<QString> textBetween(const QString& line, const QString& start, const QString& end,
                                   bool searchEndAfterStart) {
    const qsizetype s = line.indexOf(start);
    if (s < 0)
        return std::nullopt;
    const qsizetype valueStart = s + start.size();
    const qsizetype e = line.indexOf(end, searchEndAfterStart ? valueStart : 0);
    if (e < 0 || e < valueStart)
        return std::nullopt;
    return line.mid(valueStart, e - valueStart);
}

QString decodeXMLEntities(const QString& text) {
    if (!text.contains(u'&'))
        return text;
    static const std::array<std::pair<QLatin1StringView, QLatin1StringView>, 8> entities = {{
        {QLatin1StringView("&amp;"), QLatin1StringView("&")},
        {QLatin1StringView("&lt;"), QLatin1StringView("<")},
        {QLatin1StringView("&gt;"), QLatin1StringView(">")},
        {QLatin1StringView("&apos;"), QLatin1StringView("'")},
        {QLatin1StringView("&quot;"), QLatin1StringView("\"")},
        {QLatin1StringView("&#39;"), QLatin1StringView("'")},
        {QLatin1StringView("&#34;"), QLatin1StringView("\"")},
        {QLatin1StringView("&#38;"), QLatin1StringView("&")},
    }};
    QString out = text;
    for (const auto& [entity, replacement] : entities)
        out.replace(entity, replacement);
    return out;
}

std::optional<QString> jsonStringValue(const QString& key, const QString& text) {
    const QString needle = u'"' + key + QStringLiteral("\":\"");
    const qsizetype at = text.indexOf(needle);
    if (at < 0)
        return std::nullopt;
    QString value;
    qsizetype i = at + needle.size();
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text[i];
        if (c == u'"')
            break;
        if (c != u'\\') {
            value.append(c);
            ++i;
            continue;
        }
        if (i + 1 >= n)
            break; // a trailing backslash ends the value
        if (const std::optional<JsonEscape> escape =
                jsonEscapeAt(text, i, JsonControlEscapes::lineBreaksAndTab)) {
            value.append(escape->decoded());
            i += escape->length;
            continue;
        }
        const QChar e = text[i + 1];
        i += 2;
        // A "\u" without a character: the backslash and the "u" are dropped and what follows reads as
        // text. Any other letter stands for itself.
        if (e != u'u')
            value.append(e);
    }
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

bool isPlausiblePath(const QString& s) {
    if (s.isEmpty())
        return false;
    bool allDigits = true;
    for (QChar c : s) {
        if (!(c >= u'0' && c <= u'9')) {
            allDigits = false;
            break;
        }
    }
    if (allDigits)
        return false;
    if (s.startsWith(u'/'))
        return true;
    if (s.startsWith(QLatin1StringView("\\\\")))
        return true;
    // Drive form: any first character (one character even when made of several code points), then
    // ":" and a slash or backslash, each a character of its own.
    const QString one = graphemes::prefix(s, 1);
    const QString two = graphemes::prefix(s, 2);
    const QString three = graphemes::prefix(s, 3);
    if (three.size() == two.size())
        return false;
    const QStringView second = QStringView(two).mid(one.size());
    const QStringView third = QStringView(three).mid(two.size());
    return second == u":" && (third == u"\\" || third == u"/");
}

QString normalizedWindowsPath(const QString& s) {
    QString out;
    if (s.startsWith(QLatin1StringView("\\\\?\\UNC\\")))
        out = QStringLiteral("//") + s.mid(8);
    else if (s.startsWith(QLatin1StringView("\\\\?\\")))
        out = s.mid(4);
    else if (s.startsWith(QLatin1StringView("\\\\")))
        out = QStringLiteral("//") + s.mid(2);
    else
        out = s;
    out.replace(u'\\', u'/');
    return out;
}

namespace {

bool isHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// ^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\. , case-insensitive
bool startsWithUuidAndDot(const QString& name) {
    static constexpr std::array<int, 5> groups = {8, 4, 4, 4, 12};
    qsizetype i = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (int k = 0; k < groups[g]; ++k, ++i) {
            if (i >= name.size() || !isHex(name[i]))
                return false;
        }
        const QChar sep = g + 1 < groups.size() ? u'-' : u'.';
        if (i >= name.size() || name[i] != sep)
            return false;
        ++i;
    }
    return true;
}

} // namespace

bool isRenderOrCacheFile(const QString& path, const std::optional<QString>& title) {
    const QString lowerPath = text::lowered(path);
    const QString fileName = text::lowered(tarnwick::path::lastPathComponent(path));
    if (fileName.startsWith(QLatin1StringView("rendered")))
        return true;
    if (title && text::lowered(*title).startsWith(QLatin1StringView("rendered")))
        return true;
    if (lowerPath.contains(QLatin1StringView(".prv/")))
        return true;
    static const std::array<QLatin1StringView, 10> fragments = {
        QLatin1StringView("/adobe premiere pro preview files/"),
        QLatin1StringView("/preview files/"),
        QLatin1StringView("/media cache/"),
        QLatin1StringView("/media cache files/"),
        QLatin1StringView("/peak files/"),
        QLatin1StringView("/adobe premiere pro auto-save/"),
        QLatin1StringView("/adobe premiere pro video previews/"),
        QLatin1StringView("/adobe premiere pro audio previews/"),
        QLatin1StringView("/video previews/"),
        QLatin1StringView("/audio previews/"),
    };
    for (QLatin1StringView f : fragments) {
        if (lowerPath.contains(f))
            return true;
    }
    if (startsWithUuidAndDot(fileName))
        return true;
    return fileName.endsWith(QLatin1StringView(".pek")) || fileName.endsWith(QLatin1StringView(".cfa"));
}

} // namespace tarnwick::prproj
