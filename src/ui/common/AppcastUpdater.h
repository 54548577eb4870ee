#pragma once

#include "platform/SoftwareUpdater.h"

#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace tarnwick {

// Checks an appcast feed (RSS items with a version and a download link) against the running
// version. Without a feed URL it can never check. One check at a time; a check gives up after
// `timeoutMs`.
class AppcastUpdater : public SoftwareUpdater {
    Q_OBJECT
public:
    AppcastUpdater(const QUrl& feedURL, const QString& currentVersion, QObject* parent = nullptr);
    ~AppcastUpdater() override;

    bool canCheckForUpdates() const override;
    void start() override;
    void checkForUpdates() override;

    QUrl feedURL() const { return m_feedURL; }
    static constexpr int timeoutMs = 20'000;

private:
    void finish(QNetworkReply* reply);
    void setChecking(bool checking);

    QUrl m_feedURL;
    QString m_currentVersion;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    bool m_started = false;
};

} // namespace tarnwick
