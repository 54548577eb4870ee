#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

namespace tarnwick {

// What one update check found. `downloadPage` is where the user gets the newer version.
struct UpdateCheckResult {
    enum class Outcome { upToDate, updateAvailable, failed };
    Outcome outcome = Outcome::failed;
    QString currentVersion;
    QString latestVersion;
    QUrl downloadPage;
    QString errorText;
};

// The application's software-update service: whether a check can run now, and running one.
// The result of a check arrives as checkFinished() on the thread the updater lives on.
class SoftwareUpdater : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SoftwareUpdater() override = default;

    virtual bool canCheckForUpdates() const = 0;
    // Called once at start-up, before any window exists.
    virtual void start() {}
    virtual void checkForUpdates() = 0;

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void checkFinished(const tarnwick::UpdateCheckResult& result);
};

} // namespace tarnwick
