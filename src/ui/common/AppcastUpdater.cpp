#include "ui/common/AppcastUpdater.h"

#include "platform/AppLog.h"
#include "platform/Appcast.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace tarnwick {

namespace {

bool isUsableFeed(const QUrl& url) {
    return url.isValid() && !url.isEmpty() &&
           (url.scheme() == u"https" || url.scheme() == u"http" || url.scheme() == u"file");
}

// The feed is small; anything bigger is not a feed.
constexpr qint64 maximumFeedBytes = 4 * 1024 * 1024;

} // namespace

AppcastUpdater::AppcastUpdater(const QUrl& feedURL, const QString& currentVersion, QObject* parent)
    : SoftwareUpdater(parent), m_feedURL(feedURL), m_currentVersion(currentVersion),
      m_network(new QNetworkAccessManager(this)) {}

AppcastUpdater::~AppcastUpdater() {
    // Quitting mid-check is no failure: nobody is left to be told.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

bool AppcastUpdater::canCheckForUpdates() const {
    return m_started && isUsableFeed(m_feedURL) && !m_reply;
}

void AppcastUpdater::start() {
    if (m_started)
        return;
    m_started = true;
    if (canCheckForUpdates())
        Q_EMIT canCheckForUpdatesChanged(true);
}

void AppcastUpdater::checkForUpdates() {
    if (!canCheckForUpdates())
        return;
    QNetworkRequest request(m_feedURL);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    setChecking(true);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
}

void AppcastUpdater::setChecking(bool checking) {
    Q_EMIT canCheckForUpdatesChanged(!checking && canCheckForUpdates());
}

void AppcastUpdater::finish(QNetworkReply* reply) {
    reply->deleteLater();
    m_reply = nullptr;
    UpdateCheckResult result;
    result.currentVersion = m_currentVersion;
    if (reply->error() != QNetworkReply::NoError) {
        result.errorText = reply->errorString();
    } else {
        const QByteArray body = reply->read(maximumFeedBytes + 1);
        const auto parsed = parseAppcast(body);
        const auto newest = newestItem(parsed.items);
        if (body.size() > maximumFeedBytes) {
            result.errorText = QStringLiteral("The update feed is too large.");
        } else if (!newest) {
            result.errorText = parsed.errorText.isEmpty()
                                   ? QStringLiteral("The update feed lists no versions.")
                                   : QStringLiteral("The update feed could not be read: ") + parsed.errorText;
        } else {
            result.latestVersion = newest->comparableVersion();
            result.downloadPage = newest->downloadPage;
            result.outcome = compareVersions(result.latestVersion, m_currentVersion) > 0
                                 ? UpdateCheckResult::Outcome::updateAvailable
                                 : UpdateCheckResult::Outcome::upToDate;
        }
    }
    if (result.outcome == UpdateCheckResult::Outcome::failed)
        AppLog::error(QStringLiteral("Update check failed: ") + result.errorText);
    else
        AppLog::info(QStringLiteral("Update check: latest version ") + result.latestVersion);
    setChecking(false);
    Q_EMIT checkFinished(result);
}

} // namespace tarnwick
