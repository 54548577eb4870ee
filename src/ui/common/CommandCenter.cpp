#include "ui/common/CommandCenter.h"

#include "platform/AppLog.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace tarnwick {

struct CommandCenter::Subscription {
    QPointer<QObject> context;
    Handler handler;
};

CommandCenter::CommandCenter(QObject* parent) : QObject(parent) {}

CommandCenter::~CommandCenter() = default;

CommandCenter& CommandCenter::shared() {
    static CommandCenter center;
    // First used from a worker thread, it still belongs to the GUI thread.
    static const bool onGuiThread = [] {
        if (auto* app = QCoreApplication::instance(); app && center.thread() != app->thread())
            center.moveToThread(app->thread());
        return true;
    }();
    Q_UNUSED(onGuiThread);
    return center;
}

namespace {

bool isUsable(const QUrl& url) {
    return url.isValid() && !url.isEmpty();
}

} // namespace

bool CommandCenter::isValidPost(const CommandPost& post) {
    struct Visitor {
        // A URL command posted as a bare command has nothing to work on.
        bool operator()(Command command) const {
            return command != Command::openProjects && command != Command::importDaVinciCSV;
        }
        bool operator()(const OpenProjects& open) const {
            return std::all_of(open.urls.begin(), open.urls.end(), isUsable);
        }
        bool operator()(const ImportDaVinciCSV& csv) const { return isUsable(csv.url); }
    };
    return std::visit(Visitor{}, post);
}

bool CommandCenter::post(const CommandPost& post) {
    if (!isValidPost(post)) {
        AppLog::error(
            QStringLiteral("Refused command \"%1\" with an unexpected payload").arg(text(commandOf(post))));
        return false;
    }
    if (QThread::currentThread() == thread()) {
        deliver(post);
    } else {
        QMetaObject::invokeMethod(
            this, [this, post] { deliver(post); }, Qt::QueuedConnection);
    }
    return true;
}

void CommandCenter::subscribe(Command command, QObject* context, Handler handler) {
    m_subscriptions[command].push_back(
        std::make_shared<Subscription>(Subscription{context, std::move(handler)}));
}

void CommandCenter::deliver(const CommandPost& post) {
    auto it = m_subscriptions.find(commandOf(post));
    if (it != m_subscriptions.end()) {
        auto& list = it->second;
        std::erase_if(list, [](const auto& s) { return s->context.isNull(); });
        // A handler may subscribe further; run over a copy.
        const auto current = list;
        for (const auto& s : current) {
            if (!s->context.isNull())
                s->handler(post);
        }
    }
    Q_EMIT posted(post);
}

} // namespace tarnwick
