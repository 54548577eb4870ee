#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tarnwick {

inline const QString supportAddress = QStringLiteral("support@tarnwick.app");
inline const QString feedbackAddress = QStringLiteral("feedback@tarnwick.app");

// The application's version and build as the application itself declares them; absent when not
// declared.
struct AppVersionInfo {
    std::optional<QString> shortVersion;
    std::optional<QString> build;

    static AppVersionInfo current();
};

// The operating system as people name it ("Debian GNU/Linux 12 (bookworm)").
QString operatingSystemVersionText();

// "Get Support": subject "Tarnwick Support Request" and a body ending in the version lines;
// a missing version or build reads "Unknown". Absent when no URL results.
QString supportMailBody(const AppVersionInfo& info, const QString& osVersion);
std::optional<QUrl> supportMailURL(const AppVersionInfo& info, const QString& osVersion);

// The review prompt's feedback mail; a missing version or build reads "?".
QString feedbackMailBody(const AppVersionInfo& info, const QString& osVersion);
std::optional<QUrl> feedbackMailURL(const AppVersionInfo& info, const QString& osVersion);

} // namespace tarnwick
