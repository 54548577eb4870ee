#include "analysis/ParallelProjectParse.h"

#include "platform/Error.h"
#include "platform/IdleThreads.h"
#include "platform/ThreadNames.h"

#include <QMetaObject>
#include <QPointer>

#include <exception>
#include <utility>

namespace tarnwick {

ParallelProjectParse::ParallelProjectParse(ParseFunction parse, int width) : m_parse(std::move(parse)) {
    m_pool.setMaxThreadCount(std::max(width, 1));
    m_pool.setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(m_pool, "ProjectParse");
}

ParallelProjectParse::~ParallelProjectParse() {
    m_pool.waitForDone();
}

ParseOutcome ParallelProjectParse::parseOne(const ParseFunction& parse, const QUrl& url,
                                            const Progress& progress) {
    ParseOutcome outcome{url, std::nullopt, {}, 0};
    try {
        outcome.parsed = parse(url, progress);
    } catch (const Error& e) {
        outcome.error = e.description();
    } catch (const std::exception& e) {
        outcome.error = QString::fromUtf8(e.what());
    } catch (...) {
        outcome.error = QStringLiteral("Unknown error");
    }
    return outcome;
}

void ParallelProjectParse::start(const QUrl& url, qsizetype order) {
    m_pool.start([this, url, order] {
        // `this` outlives every child: the destructor waits for the pool before anything is freed.
        const Progress progress = [this, url](const QString& message, double fraction) {
            QMetaObject::invokeMethod(
                this,
                [this, url, message, fraction] {
                    if (m_callbacks.progress)
                        m_callbacks.progress(url, message, fraction);
                },
                Qt::QueuedConnection);
        };
        ParseOutcome outcome = parseOne(m_parse, url, progress);
        outcome.order = order;
        QMetaObject::invokeMethod(
            this,
            [this, outcome = std::move(outcome)]() mutable {
                m_arrived.append(std::move(outcome));
                // Nothing may touch `this` after the resume: the run may finish inside it.
                if (auto waiting = std::exchange(m_waiting, {}))
                    waiting.resume();
            },
            Qt::QueuedConnection);
    });
}

QCoro::Task<QList<ParseOutcome>> ParallelProjectParse::run(QList<QUrl> urls, Callbacks callbacks) {
    m_callbacks = std::move(callbacks);
    const qsizetype count = urls.size();
    qsizetype next = 0;
    for (; next < std::min<qsizetype>(count, m_pool.maxThreadCount()); ++next)
        start(urls[next], next);

    QList<ParseOutcome> outcomes;
    outcomes.reserve(count);
    while (outcomes.size() < count) {
        if (m_arrived.isEmpty())
            co_await Arrival{&m_waiting};
        while (!m_arrived.isEmpty()) {
            ParseOutcome outcome = m_arrived.takeFirst();
            if (m_callbacks.finished)
                m_callbacks.finished(outcome);
            outcomes.append(std::move(outcome));
            if (next < count) {
                start(urls[next], next);
                ++next;
            }
        }
    }
    m_callbacks = {};
    co_return outcomes;
}

} // namespace tarnwick
