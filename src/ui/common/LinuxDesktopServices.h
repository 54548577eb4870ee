#pragma once

#include "ui/common/DesktopServices.h"
#include "ui/common/URLOpener.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

namespace tarnwick {

// Reveals through the session bus's org.freedesktop.FileManager1 ShowItems (asynchronous; the
// file manager is started on demand), and opens the parent folder when there is no bus or the call
// fails (no such service, no reply): through the URL opener when one is given, else through the
// desktop's opener program. Files are opened by the desktop's opener program (xdg-open), whose
// exit status says whether an application took the file. The clipboard is the application's. GUI
// thread only.
class LinuxDesktopServices : public QObject, public DesktopServices {
    Q_OBJECT
public:
    explicit LinuxDesktopServices(QDBusConnection bus = QDBusConnection::sessionBus(), URLOpener opener = {},
                                  QObject* parent = nullptr);

    void revealFile(const QString& path, std::function<void(bool shown)> done = {}) override;
    void copyText(const QString& text) override;
    void openFile(const QString& path, std::function<void(bool opened)> done) override;
    void openLink(const QUrl& url, std::function<void(bool opened)> done) override;

    // The program that opens files with their application, given the file's path. One still
    // running after `answerAfterMs` has shown the file (some wait for the application to quit).
    void setFileOpener(const QString& program, int answerAfterMs = 5000) {
        m_fileOpener = program;
        m_openAnswerMs = answerAfterMs;
    }

    // The ShowItems call for one file: its file URL (percent-encoded) and an empty startup id.
    static QDBusMessage showItemsMessage(const QString& path);
    static QUrl parentFolderURL(const QString& path);

private:
    void openFolder(const QUrl& folder, std::function<void(bool opened)> done);
    void runOpener(const QString& target, std::function<void(bool opened)> done);

    QDBusConnection m_bus;
    URLOpener m_opener;
    QString m_fileOpener = QStringLiteral("xdg-open");
    int m_openAnswerMs = 5000;
};

} // namespace tarnwick
