#include "support/ReferenceProjectText.h"

#include "platform/Graphemes.h"
#include "platform/PathText.h"

#include <algorithm>
#include <array>

namespace tarnwick::testing::reference {

namespace {

int hexDigits(const QString& text, qsizetype at) {
    if (at + 4 > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = at; i < at + 4; ++i) {
        const char16_t c = text[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// "\uXXXX" at `at` (the backslash), a surrogate pair as two escapes; none for anything else.
std::optional<QString> unicodeEscape(const QString& text, qsizetype at) {
    const int unit = hexDigits(text, at + 2);
    if (unit < 0 || QChar::isLowSurrogate(char16_t(unit)))
        return std::nullopt;
    if (!QChar::isHighSurrogate(char16_t(unit)))
        return QString(QChar(char16_t(unit)));
    const bool escaped = at + 7 < text.size() && text[at + 6] == u'\\' && text[at + 7] == u'u';
    const int low = escaped ? hexDigits(text, at + 8) : -1;
    if (low < 0 || !QChar::isLowSurrogate(char16_t(low)))
        return std::nullopt;
    const QChar pair[] = {QChar(char16_t(unit)), QChar(char16_t(low))};
    return QString(pair, 2);
}

} // namespace

std::optional<QString> between(const QString& line, const char* open, const char* close, bool closeAfter) {
    const QLatin1StringView o(open);
    const QLatin1StringView c(close);
    const qsizetype at = line.indexOf(o);
    if (at < 0)
        return std::nullopt;
    const qsizetype from = at + o.size();
    const qsizetype to = closeAfter ? line.indexOf(c, from) : line.indexOf(c);
    if (to < from)
        return std::nullopt;
    return line.mid(from, to - from);
}

QString decodeEntities(QString text) {
    static const std::array<std::pair<const char*, const char*>, 8> entities = {{
        {"&amp;", "&"},
        {"&lt;", "<"},
        {"&gt;", ">"},
        {"&apos;", "'"},
        {"&quot;", "\""},
        {"&#39;", "'"},
        {"&#34;", "\""},
        {"&#38;", "&"},
    }};
    for (const auto& [entity, character] : entities)
        text.replace(QLatin1StringView(entity), QLatin1StringView(character));
    return text;
}

std::optional<QString> jsonValue(const QString& text, const char* key) {
    const QString needle = u'"' + QLatin1StringView(key) + QStringLiteral("\":\"");
    qsizetype i = text.indexOf(needle);
    if (i < 0)
        return std::nullopt;
    QString value;
    for (i += needle.size(); i < text.size() && text[i] != u'"';) {
        if (text[i] != u'\\') {
            value += text[i++];
            continue;
        }
        if (i + 1 == text.size())
            break;
        const QChar letter = text[i + 1];
        if (letter == u'u') {
            if (const std::optional<QString> unit = unicodeEscape(text, i)) {
                value += *unit;
                i += 6 * unit->size();
                continue;
            }
        } else if (letter == u'n') {
            value += u'\n';
        } else if (letter == u'r') {
            value += u'\r';
        } else if (letter == u't') {
            value += u'\t';
        } else {
            value += letter;
        }
        i += 2;
    }
    return value.isEmpty() ? std::nullopt : std::optional(value);
}

bool looksLikePath(const QString& text) {
    if (text.isEmpty() ||
        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    if (text.startsWith(u'/') || text.startsWith(QLatin1StringView("\\\\")))
        return true;
    const QString one = graphemes::prefix(text, 1);
    const QString two = graphemes::prefix(text, 2);
    const QString three = graphemes::prefix(text, 3);
    const QString separator = three.mid(two.size());
    return two.mid(one.size()) == QStringLiteral(":") &&
           (separator == QStringLiteral("/") || separator == QStringLiteral("\\"));
}

QString forwardSlashed(QString text) {
    if (text.startsWith(QLatin1StringView("\\\\?\\UNC\\")))
        text = QStringLiteral("//") + text.mid(8);
    else if (text.startsWith(QLatin1StringView("\\\\?\\")))
        text.remove(0, 4);
    return text.replace(u'\\', u'/');
}

std::optional<QString> fileURLPath(const QString& text) {
    if (!text.startsWith(QLatin1StringView("file://"), Qt::CaseInsensitive))
        return std::nullopt;
    QString rest = text.mid(7);
    if (rest.startsWith(QLatin1StringView("localhost/"), Qt::CaseInsensitive))
        rest.remove(0, 9);
    const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(rest.toUtf8()));
    if (path.isEmpty())
        return std::nullopt;
    if (!path.startsWith(u'/'))
        return QStringLiteral("//") + path;
    const bool drive = path.size() >= 4 && path[2] == u':' && (path[3] == u'/' || path[3] == u'\\');
    return drive ? path.mid(1) : path;
}

bool isEditorsCache(const QString& path) {
    static const QStringList folders = {
        QStringLiteral(".prv/"),
        QStringLiteral("/adobe premiere pro preview files/"),
        QStringLiteral("/preview files/"),
        QStringLiteral("/media cache/"),
        QStringLiteral("/media cache files/"),
        QStringLiteral("/peak files/"),
        QStringLiteral("/adobe premiere pro auto-save/"),
        QStringLiteral("/adobe premiere pro video previews/"),
        QStringLiteral("/adobe premiere pro audio previews/"),
        QStringLiteral("/video previews/"),
        QStringLiteral("/audio previews/"),
    };
    const QString lower = path.toLower();
    if (std::any_of(folders.begin(), folders.end(), [&](const QString& f) { return lower.contains(f); }))
        return true;
    const QString name = path::lastPathComponent(path).toLower();
    return name.endsWith(QStringLiteral(".pek")) || name.endsWith(QStringLiteral(".cfa"));
}

QString canonical(const QString& text) {
    return text.normalized(QString::NormalizationForm_C);
}
QString titleKey(const QString& title) {
    return canonical(title.toLower());
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if ((c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029) {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

} // namespace tarnwick::testing::reference
