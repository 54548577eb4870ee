#include "readers/PrprojStageResults.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "readers/PrprojTextFilters.h"

namespace tarnwick::prproj {

namespace {

bool isAscii(const QString& s) {
    for (QChar c : s) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

void addUnique(QStringList& list, const QString& path) {
    if (!list.contains(path))
        list.append(path);
}

QString MediaTables::canonicalKey(const QString& path) {
    // Only non-ASCII spellings can have another canonically equal spelling; a few non-ASCII
    // characters (the Kelvin sign, for one) compose to ASCII, hence the second look-up in accept.
    return isAscii(path) ? path : text::nfc(path);
}

QString MediaTables::accept(const QString& path) {
    return accept(path, canonicalKey(path));
}

QString MediaTables::accept(const QString& path, const QString& key) {
    if (allPaths.contains(key))
        return key;
    const auto it = spellingByKey.constFind(key);
    if (it != spellingByKey.constEnd())
        return *it;
    if (key != path)
        spellingByKey.insert(key, path);
    allPaths.insert(path);
    return path;
}

QString MediaTables::titleKey(const QString& title) {
    // ASCII (nearly every title) lowers byte by byte and is NFC already; a title without capitals is
    // shared as it is.
    if (QtPrivate::isAscii(QStringView(title))) {
        qsizetype i = 0;
        while (i < title.size() && !(title[i] >= u'A' && title[i] <= u'Z'))
            ++i;
        if (i == title.size())
            return title;
        QString lower = title;
        QChar* c = lower.data();
        for (; i < lower.size(); ++i) {
            if (c[i] >= u'A' && c[i] <= u'Z')
                c[i] = QChar(c[i].unicode() + (u'a' - u'A'));
        }
        return lower;
    }
    return text::nfc(text::lowered(title));
}

QHash<QString, QStringList> MediaTables::linkedCompositions() const {
    QHash<QString, QStringList> out;
    for (auto it = pathsByTitle.cbegin(); it != pathsByTitle.cend(); ++it) {
        // Keys are lower-cased already; nearly every title is a file name and stops here.
        if (!it.key().endsWith(QLatin1StringView(".aep")) || !it.key().contains(u'/'))
            continue;
        const QString title = decodeXMLEntities(it.key());
        const qsizetype slash = title.lastIndexOf(u'/');
        if (slash <= 0)
            continue;
        const QStringView file = QStringView(title).sliced(slash + 1);
        for (const QString& path : *it) {
            if (titleKey(path::lastPathComponent(path)) == file)
                addUnique(out[path], title.first(slash));
        }
    }
    for (QStringList& compositions : out)
        compositions.sort();
    return out;
}

} // namespace tarnwick::prproj
