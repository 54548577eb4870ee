#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace tarnwick {

// One release announced by an update feed (an RSS <item>).
struct AppcastItem {
    QString title;
    QString version;      // build version ("sparkle:version")
    QString shortVersion; // user-facing version ("sparkle:shortVersionString")
    QUrl downloadPage;    // the item's http(s) <link>, else its http(s) enclosure URL, else empty

    // The version compared against the running application's.
    QString comparableVersion() const { return shortVersion.isEmpty() ? version : shortVersion; }
};

struct AppcastParseResult {
    QList<AppcastItem> items;
    QString errorText; // non-empty when the feed is not well-formed XML
};

// Reads the items of an appcast; items without any version are left out.
AppcastParseResult parseAppcast(const QByteArray& xml);

// Numeric comparison of dotted versions ("1.10" > "1.9", "1.2" == "1.2.0"); a non-numeric part
// compares as text. Negative, zero or positive like strcmp.
int compareVersions(const QString& a, const QString& b);

// The item with the highest version, or nothing for an empty list.
std::optional<AppcastItem> newestItem(const QList<AppcastItem>& items);

} // namespace tarnwick
