#include "ui/common/LinuxDesktopServices.h"

#include <QClipboard>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <utility>

namespace tarnwick {

namespace {
constexpr int kRevealTimeoutMs = 10000;
}

LinuxDesktopServices::LinuxDesktopServices(QDBusConnection bus, URLOpener opener, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_opener(std::move(opener)) {}

QDBusMessage LinuxDesktopServices::showItemsMessage(const QString& path) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    const QString uri = QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
    message << QStringList{uri} << QString();
    return message;
}

QUrl LinuxDesktopServices::parentFolderURL(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).path());
}

void LinuxDesktopServices::revealFile(const QString& path, std::function<void(bool shown)> done) {
    const QUrl fallback = parentFolderURL(path);
    const auto answer = [done = std::move(done)](bool shown) {
        if (done)
            done(shown);
    };
    if (!m_bus.isConnected()) {
        openFolder(fallback, answer);
        return;
    }
    // A file manager that is not running yet is started by the bus; only an error falls back.
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(showItemsMessage(path), kRevealTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, fallback, answer](QDBusPendingCallWatcher* call) {
                if (call->isError())
                    openFolder(fallback, answer);
                else
                    answer(true);
                call->deleteLater();
            });
}

// The opener says false when no program could open the folder: a URL opener that could not hand
// it on, or an opener program that found no application (its exit status).
void LinuxDesktopServices::openFolder(const QUrl& folder, std::function<void(bool opened)> done) {
    if (m_opener)
        done(m_opener(folder));
    else
        runOpener(folder.toLocalFile(), std::move(done));
}

void LinuxDesktopServices::copyText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void LinuxDesktopServices::openFile(const QString& path, std::function<void(bool opened)> done) {
    runOpener(path, std::move(done));
}

void LinuxDesktopServices::openLink(const QUrl& url, std::function<void(bool opened)> done) {
    runOpener(url.toString(QUrl::FullyEncoded), std::move(done));
}

void LinuxDesktopServices::runOpener(const QString& target, std::function<void(bool opened)> done) {
    auto answered = std::make_shared<bool>(false);
    auto answer = [answered, done = std::move(done)](bool opened) {
        if (std::exchange(*answered, true) || !done)
            return;
        done(opened);
    };
    // xdg-open answers 0 when an application took the file, and fails (3, 4) when none can.
    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::errorOccurred, this, [process, answer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        answer(false);
        process->deleteLater();
    });
    connect(process, &QProcess::finished, this, [process, answer](int code, QProcess::ExitStatus status) {
        answer(status == QProcess::NormalExit && code == 0);
        process->deleteLater();
    });
    QTimer::singleShot(m_openAnswerMs, process, [answer] { answer(true); });
    process->start(m_fileOpener, {target});
}

} // namespace tarnwick
