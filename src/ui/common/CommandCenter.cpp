#include "ui/common/CommandCenter.h"

#include "platform/AppLog.h"
#include "ui/common/CommandNames.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QUrl>

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

bool isUrlList(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<QList<QUrl>>())
        return false;
    const auto urls = value.value<QList<QUrl>>();
    return std::all_of(urls.begin(), urls.end(), [](const QUrl& u) { return u.isValid() && !u.isEmpty(); });
}

bool isUrl(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<QUrl>() && value.toUrl().isValid() &&
           !value.toUrl().isEmpty();
}

} // namespace

bool CommandCenter::isValidPost(const QString& name, const QVariantMap& payload) {
    if (!CommandName::all().contains(name))
        return false;
    if (name == CommandName::openProjects)
        return payload.size() == 1 && isUrlList(payload.value(CommandName::urlsKey));
    if (name == CommandName::importDaVinciCSV)
        return payload.size() == 1 && isUrl(payload.value(CommandName::urlKey));
    return payload.isEmpty();
}

bool CommandCenter::post(const QString& name, const QVariantMap& payload) {
    if (!isValidPost(name, payload)) {
        AppLog::error(QStringLiteral("Refused command \"%1\" with an unexpected payload").arg(name));
        return false;
    }
    if (QThread::currentThread() == thread()) {
        deliver(name, payload);
    } else {
        QMetaObject::invokeMethod(
            this, [this, name, payload] { deliver(name, payload); }, Qt::QueuedConnection);
    }
    return true;
}

void CommandCenter::subscribe(const QString& name, QObject* context, Handler handler) {
    auto& list = m_subscriptions[name];
    list.push_back(std::make_shared<Subscription>(Subscription{context, std::move(handler)}));
}

void CommandCenter::deliver(const QString& name, const QVariantMap& payload) {
    auto it = m_subscriptions.find(name);
    if (it != m_subscriptions.end()) {
        auto& list = it.value();
        std::erase_if(list, [](const auto& s) { return s->context.isNull(); });
        // A handler may subscribe further; run over a copy.
        const auto current = list;
        for (const auto& s : current) {
            if (!s->context.isNull())
                s->handler(payload);
        }
    }
    Q_EMIT posted(name, payload);
}

} // namespace tarnwick
