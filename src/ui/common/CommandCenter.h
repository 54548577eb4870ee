#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

namespace tarnwick {

// Where commands are posted by name and heard by the window. Posts made on other threads are
// delivered on the centre's own (GUI) thread. Only the sixteen command names are accepted, and
// only "openProjects" ({"urls": QList<QUrl>}) and "importDaVinciCSV" ({"url": QUrl}) carry a
// payload; anything else is refused and logged rather than handed to a handler that cannot use it.
class CommandCenter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QVariantMap& payload)>;

    explicit CommandCenter(QObject* parent = nullptr);
    ~CommandCenter() override;

    // The process's centre (created on first use on the GUI thread).
    static CommandCenter& shared();

    // Whether `payload` is what `name` carries.
    static bool isValidPost(const QString& name, const QVariantMap& payload);

    // Returns false (and logs) when the post is refused; delivery itself may be queued.
    bool post(const QString& name, const QVariantMap& payload = {});

    // Handlers run on the centre's thread, in the order they subscribed. The subscription ends
    // when `context` is destroyed.
    void subscribe(const QString& name, QObject* context, Handler handler);

Q_SIGNALS:
    // Every delivered command, after the handlers ran.
    void posted(const QString& name, const QVariantMap& payload);

private:
    void deliver(const QString& name, const QVariantMap& payload);

    struct Subscription;
    QHash<QString, std::vector<std::shared_ptr<Subscription>>> m_subscriptions;
};

} // namespace tarnwick
