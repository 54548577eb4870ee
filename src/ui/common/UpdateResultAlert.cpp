#include "ui/common/UpdateResultAlert.h"

#include "platform/SoftwareUpdater.h"
#include "ui/common/AlertDialog.h"

namespace tarnwick {

AlertDialog* presentUpdateResult(QWidget* window, const UpdateCheckResult& result, URLOpener openURL) {
    using Outcome = UpdateCheckResult::Outcome;
    using Role = AlertButton::Role;
    switch (result.outcome) {
    case Outcome::updateAvailable: {
        const QUrl page = result.downloadPage;
        QList<AlertButton> buttons;
        if (page.isValid() && !page.isEmpty())
            buttons.append({QStringLiteral("Download"), Role::normal, [openURL, page] { openURL(page); }});
        buttons.append({QStringLiteral("Later"), Role::cancel, {}});
        return AlertDialog::present(window, QStringLiteral("A new version of Tarnwick is available!"),
                                    QStringLiteral("Tarnwick %1 is now available—you have %2.")
                                        .arg(result.latestVersion, result.currentVersion),
                                    buttons);
    }
    case Outcome::upToDate:
        return AlertDialog::present(window, QStringLiteral("You’re up to date!"),
                                    QStringLiteral("Tarnwick %1 is currently the newest version available.")
                                        .arg(result.currentVersion),
                                    {{QStringLiteral("OK"), Role::normal, {}}});
    case Outcome::failed:
        break;
    }
    return AlertDialog::present(
        window, QStringLiteral("Update Error!"),
        QStringLiteral("An error occurred in retrieving update information. Please try "
                       "again later.\n\n") +
            result.errorText,
        {{QStringLiteral("OK"), Role::normal, {}}});
}

} // namespace tarnwick
