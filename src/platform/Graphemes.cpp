#include "platform/Graphemes.h"

#include <QList>
#include <QTextBoundaryFinder>

namespace tarnwick::graphemes {

namespace {

// Latin-1 holds no extending, prepended or joining characters: every character is its own
// cluster except CR LF, which is one.
bool isSimple(QStringView s) {
    return QtPrivate::isLatin1(s);
}

qsizetype countSimple(QStringView s) {
    qsizetype n = s.size();
    for (qsizetype i = 1; i < s.size(); ++i) {
        if (s[i] == u'\n' && s[i - 1] == u'\r')
            --n;
    }
    return n;
}

// Offsets of every cluster boundary, 0 and size() included.
QList<qsizetype> boundaries(const QString& s) {
    QList<qsizetype> result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    result.append(0);
    qsizetype pos = 0;
    while ((pos = finder.toNextBoundary()) != -1 && pos <= s.size()) {
        if (pos > 0)
            result.append(pos);
        if (pos == s.size())
            break;
    }
    if (result.last() != s.size())
        result.append(s.size());
    return result;
}

} // namespace

qsizetype count(const QString& s) {
    if (s.isEmpty())
        return 0;
    if (isSimple(s))
        return countSimple(s);
    return boundaries(s).size() - 1;
}

qsizetype count(QStringView s) {
    return isSimple(s) ? countSimple(s) : count(s.toString());
}

qsizetype countUtf8(std::string_view utf8) {
    bool ascii = true;
    for (char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        qsizetype n = static_cast<qsizetype>(utf8.size());
        for (size_t i = 1; i < utf8.size(); ++i) {
            if (utf8[i] == '\n' && utf8[i - 1] == '\r')
                --n;
        }
        return n;
    }
    return count(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

QString prefix(const QString& s, qsizetype n) {
    if (n <= 0)
        return {};
    if (isSimple(s)) {
        qsizetype clusters = 0;
        qsizetype i = 0;
        while (i < s.size() && clusters < n) {
            i += (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ? 2 : 1;
            ++clusters;
        }
        return s.left(i);
    }
    const QList<qsizetype> b = boundaries(s);
    if (n >= b.size() - 1)
        return s;
    return s.left(b[n]);
}

QString suffix(const QString& s, qsizetype n) {
    if (n <= 0)
        return {};
    if (isSimple(s)) {
        qsizetype clusters = 0;
        qsizetype i = s.size();
        while (i > 0 && clusters < n) {
            i -= (s[i - 1] == u'\n' && i >= 2 && s[i - 2] == u'\r') ? 2 : 1;
            ++clusters;
        }
        return s.mid(i);
    }
    const QList<qsizetype> b = boundaries(s);
    const qsizetype total = b.size() - 1;
    if (n >= total)
        return s;
    return s.mid(b[total - n]);
}

} // namespace tarnwick::graphemes
