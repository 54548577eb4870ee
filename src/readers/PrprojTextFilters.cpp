#include "readers/PrprojTextFilters.h"

#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QStringList>
#include <QVarLengthArray>

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

namespace {

std::optional<char32_t> hexScalar(QStringView four) {
    if (four.size() != 4)
        return std::nullopt;
    char32_t v = 0;
    for (QChar c : four) {
        const char16_t u = c.unicode();
        int d = -1;
        if (u >= u'0' && u <= u'9')
            d = u - u'0';
        else if (u >= u'a' && u <= u'f')
            d = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            d = u - u'A' + 10;
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<char32_t>(d);
    }
    return v;
}

bool isHighSurrogate(char32_t v) {
    return v >= 0xD800 && v <= 0xDBFF;
}
bool isLowSurrogate(char32_t v) {
    return v >= 0xDC00 && v <= 0xDFFF;
}

} // namespace

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
        const QChar e = text[i + 1];
        i += 2;
        switch (e.unicode()) {
        case u'n':
            value.append(u'\n');
            break;
        case u't':
            value.append(u'\t');
            break;
        case u'r':
            value.append(u'\r');
            break;
        case u'u': {
            const std::optional<char32_t> v = hexScalar(QStringView(text).mid(i, qMin<qsizetype>(4, n - i)));
            if (v && isHighSurrogate(*v) && i + 10 <= n && text[i + 4] == u'\\' && text[i + 5] == u'u') {
                // Characters beyond the Basic Multilingual Plane are written as a surrogate pair.
                const std::optional<char32_t> low = hexScalar(QStringView(text).mid(i + 6, 4));
                if (low && isLowSurrogate(*low)) {
                    const char32_t scalar = 0x10000 + ((*v - 0xD800) << 10) + (*low - 0xDC00);
                    value.append(QString::fromUcs4(&scalar, 1));
                    i += 10;
                    break;
                }
            }
            if (v && !isHighSurrogate(*v) && !isLowSurrogate(*v)) {
                value.append(QString::fromUcs4(&*v, 1));
                i += 4;
            }
            // Otherwise the backslash and the "u" are dropped and the four characters read as text.
            break;
        }
        default:
            value.append(e); // backslash, quote, slash and anything else stand for themselves
            break;
        }
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
bool startsWithUuidAndDot(QStringView name) {
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

// Text lower-cased as text::lowered does it. ASCII text (nearly every path) is lowered on the stack:
// the media scan asks this for every path it reads.
class LowerText {
public:
    explicit LowerText(const QString& s) {
        if (QtPrivate::isAscii(QStringView(s))) {
            m_ascii.resize(s.size());
            for (qsizetype i = 0; i < s.size(); ++i) {
                const char16_t c = s[i].unicode();
                m_ascii[i] = c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
            }
            m_view = QStringView(m_ascii.constData(), m_ascii.size());
        } else {
            m_other = text::lowered(s);
            m_view = m_other;
        }
    }
    LowerText(const LowerText&) = delete;
    LowerText& operator=(const LowerText&) = delete;

    QStringView view() const { return m_view; }

private:
    QVarLengthArray<char16_t, 256> m_ascii;
    QString m_other;
    QStringView m_view;
};

} // namespace

bool isRenderOrCacheFile(const QString& path, const std::optional<QString>& title) {
    const LowerText lowered(path);
    const QStringView lowerPath = lowered.view();
    const LowerText loweredName(tarnwick::path::lastPathComponent(path));
    const QStringView fileName = loweredName.view();
    if (fileName.startsWith(QLatin1StringView("rendered")))
        return true;
    if (title && LowerText(*title).view().startsWith(QLatin1StringView("rendered")))
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
