#include "ui/common/SupportMail.h"

#include "platform/AppVersion.h"

#include <QSysInfo>

namespace tarnwick {

namespace {

QString declared(const QString& value) {
    return value.trimmed();
}

// Query-safe percent encoding: everything but unreserved characters is escaped, so '&', '=' and
// '+' inside a text cannot split the query.
QString encodeQueryValue(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

AppVersionInfo AppVersionInfo::current() {
    // Linux builds carry one version; it serves as the build number too.
    AppVersionInfo info;
    if (const auto v = declared(appVersion()); !v.isEmpty()) {
        info.shortVersion = v;
        info.build = v;
    }
    return info;
}

QString operatingSystemVersionText() {
    return QSysInfo::prettyProductName();
}

QString supportMailBody(const AppVersionInfo& info, const QString& osVersion) {
    const QString unknown = QStringLiteral("Unknown");
    return QStringLiteral("\n\n---\nApp: Tarnwick ") + info.shortVersion.value_or(unknown) +
           QStringLiteral(" (Build ") + info.build.value_or(unknown) + QStringLiteral(")\nLinux: ") +
           osVersion;
}

std::optional<QUrl> supportMailURL(const AppVersionInfo& info, const QString& osVersion) {
    const QString text = QStringLiteral("mailto:") + supportAddress + QStringLiteral("?subject=") +
                         encodeQueryValue(QStringLiteral("Tarnwick Support Request")) +
                         QStringLiteral("&body=") + encodeQueryValue(supportMailBody(info, osVersion));
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QString feedbackMailBody(const AppVersionInfo& info, const QString& osVersion) {
    const QString unknown = QStringLiteral("?");
    return QStringLiteral(
               "What went wrong, or what would make Tarnwick better for you?\n\n\n---\nTarnwick ") +
           info.shortVersion.value_or(unknown) + QStringLiteral(" (") + info.build.value_or(unknown) +
           QStringLiteral(")\n") + osVersion;
}

std::optional<QUrl> feedbackMailURL(const AppVersionInfo& info, const QString& osVersion) {
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(feedbackAddress);
    const QString query = QStringLiteral("subject=") + encodeQueryValue(QStringLiteral("Tarnwick feedback")) +
                          QStringLiteral("&body=") + encodeQueryValue(feedbackMailBody(info, osVersion));
    url.setQuery(query, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace tarnwick
