#include "ui/common/AppcastUpdater.h"
#include "support/UiTestHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <optional>

using namespace tarnwick;
using Outcome = UpdateCheckResult::Outcome;

namespace {

// Answers every request on 127.0.0.1 with one canned HTTP response.
class FeedServer {
public:
    FeedServer(int status, QByteArray body) : m_status(status), m_body(std::move(body)) {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { serveNext(); });
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
    }
    QUrl url(const QString& path = QStringLiteral("/appcast.xml")) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    int requests = 0;

private:
    void serveNext() {
        QTcpSocket* socket = m_server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            ++requests;
            const QByteArray reason = m_status == 200 ? "OK" : "Not Found";
            socket->write("HTTP/1.1 " + QByteArray::number(m_status) + " " + reason +
                          "\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                          QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body);
            socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QTcpServer m_server;
    int m_status;
    QByteArray m_body;
};

QByteArray feedWith(const QString& version, const QString& link) {
    return QStringLiteral(
               R"(<?xml version="1.0"?><rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><item><title>Tarnwick %1</title><link>%2</link><sparkle:shortVersionString>%1</sparkle:shortVersionString>
<enclosure url="%2/file.tar.gz" sparkle:version="%1"/></item></channel></rss>)")
        .arg(version, link)
        .toUtf8();
}

std::optional<UpdateCheckResult> check(AppcastUpdater& updater) {
    std::optional<UpdateCheckResult> result;
    QObject::connect(&updater, &SoftwareUpdater::checkFinished,
                     [&result](const UpdateCheckResult& r) { result = r; });
    updater.checkForUpdates();
    QElapsedTimer timer;
    timer.start();
    while (!result && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return result;
}

} // namespace

TEST(AppcastUpdater, FindsANewerVersionAndItsDownloadPage) {
    FeedServer server(200, feedWith(QStringLiteral("1.3.0"), QStringLiteral("https://tarnwick.app/get")));
    AppcastUpdater updater(server.url(), QStringLiteral("1.2.9"));
    updater.start();
    QList<bool> states;
    QObject::connect(&updater, &SoftwareUpdater::canCheckForUpdatesChanged,
                     [&states](bool b) { states.append(b); });

    const auto result = check(updater);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->outcome, Outcome::updateAvailable);
    EXPECT_EQ(result->latestVersion, QStringLiteral("1.3.0"));
    EXPECT_EQ(result->currentVersion, QStringLiteral("1.2.9"));
    EXPECT_EQ(result->downloadPage, QUrl("https://tarnwick.app/get"));
    EXPECT_EQ(server.requests, 1);
    // Busy while checking, available again afterwards.
    EXPECT_EQ(states, (QList<bool>{false, true}));
    EXPECT_TRUE(updater.canCheckForUpdates());
}

TEST(AppcastUpdater, SameOrOlderVersionIsUpToDate) {
    for (const auto& version : {QStringLiteral("1.2.9"), QStringLiteral("1.2"), QStringLiteral("0.9.12")}) {
        FeedServer server(200, feedWith(version, QStringLiteral("https://tarnwick.app/get")));
        AppcastUpdater updater(server.url(), QStringLiteral("1.2.9"));
        updater.start();
        const auto result = check(updater);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->outcome, Outcome::upToDate) << version.toStdString();
    }
}

TEST(AppcastUpdater, ServerErrorsAndBrokenFeedsFailWithAReason) {
    struct Case {
        int status;
        QByteArray body;
    };
    const QList<Case> cases{{404, "gone"}, {200, "<rss><channel><item>"}, {200, "<rss><channel/></rss>"}};
    for (const auto& c : cases) {
        FeedServer server(c.status, c.body);
        AppcastUpdater updater(server.url(), QStringLiteral("1.0"));
        updater.start();
        const auto result = check(updater);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->outcome, Outcome::failed) << c.status << " " << c.body.toStdString();
        EXPECT_FALSE(result->errorText.isEmpty());
        EXPECT_TRUE(updater.canCheckForUpdates());
    }
}

TEST(AppcastUpdater, CannotCheckWithoutAFeedOrBeforeStarting) {
    AppcastUpdater none(QUrl(), QStringLiteral("1.0"));
    none.start();
    EXPECT_FALSE(none.canCheckForUpdates());
    none.checkForUpdates(); // does nothing, emits nothing
    AppcastUpdater notStarted(QUrl("http://127.0.0.1:9/appcast.xml"), QStringLiteral("1.0"));
    EXPECT_FALSE(notStarted.canCheckForUpdates());
    AppcastUpdater ftp(QUrl("ftp://127.0.0.1/appcast.xml"), QStringLiteral("1.0"));
    ftp.start();
    EXPECT_FALSE(ftp.canCheckForUpdates());
}

TEST(AppcastUpdater, QuittingDuringACheckReportsNoFailure) {
    QTcpServer silent; // accepts the connection and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    UiLogCapture log;
    int finished = 0;
    {
        AppcastUpdater updater(
            QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(silent.serverPort())),
            QStringLiteral("1.0"));
        updater.start();
        QObject::connect(&updater, &SoftwareUpdater::checkFinished, [&finished] { ++finished; });
        updater.checkForUpdates();
        ASSERT_FALSE(updater.canCheckForUpdates());
        QElapsedTimer timer;
        timer.start();
        while (!silent.hasPendingConnections() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(finished, 0);
    for (const auto& line : log.lines)
        EXPECT_FALSE(line.contains(QStringLiteral("Update check failed"))) << line.toStdString();
}
