#include "platform/Appcast.h"

#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>

namespace tarnwick {

namespace {

// Attribute by local name, whatever namespace prefix the feed uses.
QString attribute(const QXmlStreamAttributes& attributes, QStringView localName) {
    for (const auto& a : attributes) {
        if (a.name() == localName)
            return a.value().toString().trimmed();
    }
    return {};
}

// The page is handed to the desktop's URL handler, so a feed may only point at a web page.
QUrl webLink(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const bool web = url.scheme() == u"https" || url.scheme() == u"http";
    return web && url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

void readEnclosure(const QXmlStreamAttributes& attributes, AppcastItem& item, QUrl& enclosureURL) {
    enclosureURL = webLink(attribute(attributes, u"url"));
    if (item.version.isEmpty())
        item.version = attribute(attributes, u"version");
    if (item.shortVersion.isEmpty())
        item.shortVersion = attribute(attributes, u"shortVersionString");
}

AppcastItem readItem(QXmlStreamReader& xml) {
    AppcastItem item;
    QUrl enclosureURL;
    while (xml.readNextStartElement()) {
        const auto name = xml.name();
        if (name == u"title") {
            item.title = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (name == u"link") {
            item.downloadPage = webLink(xml.readElementText());
        } else if (name == u"version") {
            item.version = xml.readElementText().trimmed();
        } else if (name == u"shortVersionString") {
            item.shortVersion = xml.readElementText().trimmed();
        } else if (name == u"enclosure") {
            readEnclosure(xml.attributes(), item, enclosureURL);
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (item.downloadPage.isEmpty())
        item.downloadPage = enclosureURL;
    return item;
}

} // namespace

AppcastParseResult parseAppcast(const QByteArray& xmlText) {
    AppcastParseResult result;
    QXmlStreamReader xml(xmlText);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"item") {
            auto item = readItem(xml);
            if (!item.comparableVersion().isEmpty())
                result.items.append(item);
        }
    }
    if (xml.hasError())
        result.errorText = xml.errorString();
    return result;
}

int compareVersions(const QString& a, const QString& b) {
    const auto left = a.trimmed().split(u'.');
    const auto right = b.trimmed().split(u'.');
    const auto count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const QString l = i < left.size() ? left[i] : QStringLiteral("0");
        const QString r = i < right.size() ? right[i] : QStringLiteral("0");
        bool lNumeric = false;
        bool rNumeric = false;
        const auto ln = l.toLongLong(&lNumeric);
        const auto rn = r.toLongLong(&rNumeric);
        if (lNumeric && rNumeric) {
            if (ln != rn)
                return ln < rn ? -1 : 1;
            continue;
        }
        if (const int c = l.compare(r); c != 0)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

std::optional<AppcastItem> newestItem(const QList<AppcastItem>& items) {
    if (items.isEmpty())
        return std::nullopt;
    return *std::max_element(items.begin(), items.end(), [](const auto& x, const auto& y) {
        return compareVersions(x.comparableVersion(), y.comparableVersion()) < 0;
    });
}

} // namespace tarnwick
