#include "readers/PrprojTextFilters.h"

#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "readers/JsonEscape.h"

#include <QStringList>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <string_view>

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

std::optional<QString> pathOfFileURL(const QString& text) {
    static constexpr QLatin1StringView scheme("file://");
    if (!text.startsWith(scheme, Qt::CaseInsensitive))
        return std::nullopt;
    QString rest = text.mid(scheme.size());
    if (rest.startsWith(QLatin1StringView("localhost/"), Qt::CaseInsensitive))
        rest = rest.mid(9);
    const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(rest.toUtf8()));
    if (decoded.isEmpty())
        return std::nullopt;
    if (!decoded.startsWith(u'/'))
        return QStringLiteral("//") + decoded; // a server: file://nas/share/a.mov
    // file:///C:/Media/a.mov names a drive path.
    if (decoded.size() >= 4 && decoded[2] == u':' && (decoded[3] == u'/' || decoded[3] == u'\\'))
        return decoded.mid(1);
    return decoded;
}

namespace {

bool ends(QStringView s, std::string_view with) {
    return s.endsWith(QLatin1StringView(with.data(), static_cast<qsizetype>(with.size())));
}
bool ends(std::string_view s, std::string_view with) {
    return s.ends_with(with);
}
bool holds(QStringView s, std::string_view part) {
    return s.contains(QLatin1StringView(part.data(), static_cast<qsizetype>(part.size())));
}

// The editor's render and cache folders; each begins with a slash.
constexpr std::array<std::string_view, 10> kCacheFolders = {
    "/adobe premiere pro preview files/",
    "/preview files/",
    "/media cache/",
    "/media cache files/",
    "/peak files/",
    "/adobe premiere pro auto-save/",
    "/adobe premiere pro video previews/",
    "/adobe premiere pro audio previews/",
    "/video previews/",
    "/audio previews/",
};

bool holdsCacheFolder(QStringView lowerPath) {
    if (holds(lowerPath, ".prv/"))
        return true;
    return std::any_of(kCacheFolders.begin(), kCacheFolders.end(),
                       [&](std::string_view f) { return holds(lowerPath, f); });
}

// The same over bytes in one pass: every folder, ".prv/" included, ends or begins at a slash.
bool holdsCacheFolder(std::string_view lowerPath) {
    for (std::size_t at = lowerPath.find('/'); at != std::string_view::npos;
         at = lowerPath.find('/', at + 1)) {
        if (at >= 4 && lowerPath.substr(at - 4, 4) == ".prv")
            return true;
        if (at + 1 >= lowerPath.size())
            break;
        const std::string_view rest = lowerPath.substr(at);
        for (std::string_view f : kCacheFolders) {
            if (f[1] == rest[1] && rest.starts_with(f))
                return true;
        }
    }
    return false;
}

// The rules on the lower-cased path and its lower-cased last component. Only where a file lives, or
// a peak or conformed-audio file's own extension, marks it: a name or title of any other file (a
// camera's UUID name, a clip called "Rendered take 2") says nothing about who made it.
template <typename View> bool isRenderOrCacheFileLowered(View lowerPath, View fileName) {
    if (holdsCacheFolder(lowerPath))
        return true;
    return ends(fileName, ".pek") || ends(fileName, ".cfa");
}

} // namespace

bool isRenderOrCacheFile(const QString& path) {
    if (!QtPrivate::isAscii(QStringView(path))) {
        const QString lowerPath = text::lowered(path);
        return isRenderOrCacheFileLowered<QStringView>(
            lowerPath, text::lowered(tarnwick::path::lastPathComponent(path)));
    }
    // ASCII (nearly every path): lowered into bytes on the stack, searched as bytes. The media scan
    // asks this for every path it reads.
    QVarLengthArray<char, 512> bytes(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        bytes[i] = static_cast<char>(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c);
    }
    const std::string_view lowerPath(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    // The last component as path::lastPathComponent takes it: after trailing slashes are dropped.
    std::size_t end = lowerPath.size();
    while (end > 1 && lowerPath[end - 1] == '/')
        --end;
    const std::string_view trimmed = lowerPath.substr(0, end);
    const std::string_view fileName =
        trimmed == "/"
            ? trimmed
            : trimmed.substr(trimmed.rfind('/') == std::string_view::npos ? 0 : trimmed.rfind('/') + 1);
    return isRenderOrCacheFileLowered(lowerPath, fileName);
}

} // namespace tarnwick::prproj
