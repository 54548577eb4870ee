#pragma once

#include "ui/common/Command.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tarnwick {

// Where commands are posted and heard by the window. Posts made on other threads are delivered on
// the centre's own (GUI) thread. The commands that carry URLs are refused when posted bare or
// with an empty or invalid URL, and logged, rather than handed to a handler that cannot use them.
class CommandCenter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const CommandPost& post)>;

    explicit CommandCenter(QObject* parent = nullptr);
    ~CommandCenter() override;

    // The process's centre (created on first use on the GUI thread).
    static CommandCenter& shared();

    // Whether `post` carries what its command needs.
    static bool isValidPost(const CommandPost& post);

    // Returns false (and logs) when the post is refused; delivery itself may be queued.
    bool post(const CommandPost& post);

    // Handlers run on the centre's thread, in the order they subscribed. The subscription ends
    // when `context` is destroyed.
    void subscribe(Command command, QObject* context, Handler handler);

Q_SIGNALS:
    // Every delivered command, after the handlers ran.
    void posted(const tarnwick::CommandPost& post);

private:
    void deliver(const CommandPost& post);

    struct Subscription;
    std::map<Command, std::vector<std::shared_ptr<Subscription>>> m_subscriptions;
};

} // namespace tarnwick
