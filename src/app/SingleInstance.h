#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalSocket;
class QThread;

namespace tarnwick {

// One window per user. The first start holds a lock file in the store folder and listens on a local
// socket beside it; a later start hands its project files to that window and ends. A lock whose
// holder is gone is taken over. The socket is answered on a thread of its own, so a later start
// is answered at once even while the window's thread is busy; the projects reach it in turn.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        primary,    // holds the lock and listens: this process runs the window
        handedOver, // the running window took the projects
        failed,     // another process holds the lock but took nothing
    };

    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Blocks for at most `timeoutMs` (before the window exists).
    Role start(const QStringList& projects, int timeoutMs = 10000);

    const QString& socketPath() const { return m_socketPath; }

Q_SIGNALS:
    // Absolute paths another start was given (possibly none: it only wants the window shown).
    void projectsReceived(const QStringList& paths);

private:
    void listen();
    static bool handOver(const QString& socketPath, const QStringList& projects, int timeoutMs);
    // On the listening thread.
    void receive(QLocalSocket* socket);

    QLockFile m_lock;
    QString m_socketPath;
    std::unique_ptr<QThread> m_listener;
};

} // namespace tarnwick
