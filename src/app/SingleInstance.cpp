#include "app/SingleInstance.h"

#include "platform/AppLog.h"
#include "platform/ThreadNames.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <future>

namespace tarnwick {

namespace {

// A socket's path must fit in sockaddr_un; a deep store folder gets a name in the temporary folder.
constexpr qsizetype maxSocketPath = 100;
constexpr char ack[] = "ok\n";

QString socketPathFor(const QString& folder) {
    const QString path = QDir(folder).filePath(QStringLiteral("tarnwick.socket"));
    if (path.toUtf8().size() <= maxSocketPath)
        return path;
    return QStringLiteral("tarnwick-") +
           QString::fromLatin1(
               QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

QByteArray message(const QStringList& projects) {
    return QJsonDocument(QJsonArray::fromStringList(projects)).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_lock(QDir(folder).filePath(QStringLiteral("tarnwick.lock"))),
      m_socketPath(socketPathFor(folder)) {
    QDir().mkpath(folder);
    // Only a holder that is gone gives the lock up, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (m_listener) {
        m_listener->quit();
        m_listener->wait();
    }
}

SingleInstance::Role SingleInstance::start(const QStringList& projects, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (m_lock.tryLock(0)) {
            listen();
            return Role::primary;
        }
        // The holder may still be starting: its socket comes after its lock.
        if (handOver(m_socketPath, projects, int(std::max<qint64>(deadline.remainingTime(), 1))))
            return Role::handedOver;
        if (deadline.hasExpired())
            break;
        QThread::msleep(50);
    }
    AppLog::error(QStringLiteral("Another Tarnwick window holds ") + m_lock.fileName() +
                  QStringLiteral(" but did not answer"));
    return Role::failed;
}

void SingleInstance::listen() {
    std::promise<QString> listening; // empty, or why not
    std::future<QString> started = listening.get_future();
    m_listener.reset(QThread::create([this, &listening] {
        QLocalServer server;
        server.setSocketOptions(QLocalServer::UserAccessOption);
        // A socket left by a holder that is gone: ours now that we hold the lock.
        QLocalServer::removeServer(m_socketPath);
        if (!server.listen(m_socketPath)) {
            listening.set_value(server.errorString());
            return;
        }
        connect(&server, &QLocalServer::newConnection, &server, [this, &server] {
            while (QLocalSocket* socket = server.nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { receive(socket); });
                receive(socket);
            }
        });
        listening.set_value({});
        // Until quit(), also when asked before it runs.
        QEventLoop loop;
        loop.exec();
    }));
    nameThread(*m_listener, "SingleInstance");
    m_listener->start();
    if (const QString problem = started.get(); !problem.isEmpty()) {
        // The window still runs; later starts find the lock and say so.
        AppLog::error(QStringLiteral("Could not listen for other starts: ") + problem);
    }
}

void SingleInstance::receive(QLocalSocket* socket) {
    if (!socket->canReadLine())
        return;
    const QJsonDocument doc = QJsonDocument::fromJson(socket->readLine());
    if (!doc.isArray()) {
        socket->disconnectFromServer();
        return;
    }
    QStringList paths;
    for (const QJsonValue& value : doc.array()) {
        if (value.isString())
            paths.append(value.toString());
    }
    socket->write(ack);
    socket->flush();
    socket->disconnectFromServer();
    QMetaObject::invokeMethod(
        this, [this, paths] { Q_EMIT projectsReceived(paths); }, Qt::QueuedConnection);
}

bool SingleInstance::handOver(const QString& socketPath, const QStringList& projects, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(message(projects));
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1))))
            return false;
    }
    return socket.readLine() == ack;
}

} // namespace tarnwick
