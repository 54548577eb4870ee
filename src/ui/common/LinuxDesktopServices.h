#pragma once

#include "ui/common/DesktopServices.h"
#include "ui/common/URLOpener.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

namespace tarnwick {

// Reveals through the session bus's org.freedesktop.FileManager1 ShowItems (asynchronous; the
// file manager is started on demand), and opens the parent folder through the URL opener when
// there is no bus or the call fails (no such service, no reply). The clipboard is the
// application's. GUI thread only.
class LinuxDesktopServices : public QObject, public DesktopServices {
    Q_OBJECT
public:
    explicit LinuxDesktopServices(QDBusConnection bus = QDBusConnection::sessionBus(), URLOpener opener = {},
                                  QObject* parent = nullptr);

    void revealFile(const QString& path) override;
    void copyText(const QString& text) override;
    void openFile(const QString& path) override;

    // The ShowItems call for one file: its file URL (percent-encoded) and an empty startup id.
    static QDBusMessage showItemsMessage(const QString& path);
    static QUrl parentFolderURL(const QString& path);

private:
    QDBusConnection m_bus;
    URLOpener m_opener;
};

} // namespace tarnwick
