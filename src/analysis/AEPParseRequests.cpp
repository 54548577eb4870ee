#include "analysis/AEPParseRequests.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/ThreadNames.h"

#include <QFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include <sys/stat.h>

namespace tarnwick {

AEPFileStamp AEPFileStamp::of(const QString& path) {
    struct ::stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1'000'000'000 + qint64(st.st_mtim.tv_nsec)};
}

QString AEPParseRequests::cacheKey(const QString& path) {
    // Letter case is kept: on Linux "Comp.aep" and "comp.aep" are two projects with their own footage.
    return text::nfc(path::resolvingSymlinksInPath(path));
}

const AEPParseRequest& AEPParseRequests::add(const QString& path, const QString& statusPath) {
    const QString key = cacheKey(path);
    if (const auto found = m_byKey.constFind(key); found != m_byKey.cend()) {
        AEPParseRequest& request = m_requests[found.value()];
        if (!request.statusPaths.contains(statusPath))
            request.statusPaths.append(statusPath);
        // When the path given first cannot be read, a later path to the same file that can (through
        // another link, say) is the one to parse.
        if (request.fileSize < 0 && path != request.path) {
            const AEPFileStamp stamp = AEPFileStamp::of(path);
            if (stamp.size >= 0) {
                request.path = path;
                request.fileSize = stamp.size;
                request.modificationDate = stamp.modificationTime;
            }
        }
        return request;
    }
    // The path as given, not the resolved one: its size and date are what a later lookup compares.
    const AEPFileStamp stamp = AEPFileStamp::of(path);
    m_byKey.insert(key, m_requests.size());
    m_requests.append({key, path, {statusPath}, stamp.size, stamp.modificationTime});
    return m_requests.constLast();
}

const AEPParseRequest* AEPParseRequests::find(const QString& path) const {
    const auto found = m_byKey.constFind(cacheKey(path));
    return found == m_byKey.cend() ? nullptr : &m_requests[found.value()];
}

QList<AEPParseOutcome> AEPParseRequests::takeCached(const QHash<QString, CachedAEPParse>& cache,
                                                    QList<AEPParseRequest>& pending) const {
    QList<AEPParseOutcome> outcomes;
    for (const AEPParseRequest& request : m_requests) {
        const auto entry = cache.constFind(request.cacheKey);
        if (entry == cache.cend() || !entry->isValidFor(request.stamp())) {
            pending.append(request);
            continue;
        }
        outcomes.append({request, entry->result, std::nullopt});
        AppLog::info(QStringLiteral("AEP cache hit: ") + path::lastPathComponent(request.path));
    }
    return outcomes;
}

AEPParser::ParseResult AEPParseRequests::parseWithOwnReader(const QString& path) {
    AEPParser parser;
    return parser.parse(path);
}

AEPParseOutcome AEPParseRequests::parseOne(const AEPParseRequest& request, const AEPParseFunction& parse) {
    AEPParseOutcome outcome{request, std::nullopt, std::nullopt};
    try {
        outcome.result = parse(request.path);
    } catch (const Error& error) {
        outcome.failure = error.description();
    } catch (const std::exception& error) {
        outcome.failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
        // Reported as an unknown parse error by the caller.
    }
    return outcome;
}

QCoro::Task<QList<AEPParseOutcome>> AEPParseRequests::parseAll(QList<AEPParseRequest> pending, int limit,
                                                               AEPParseFunction parse) {
    QList<AEPParseOutcome> outcomes;
    if (pending.isEmpty() || limit < 1)
        co_return outcomes;
    if (!parse)
        parse = &AEPParseRequests::parseWithOwnReader;
    // A pool of `limit` threads: a parse starts only when one finishes, so memory and disk load stay
    // bounded however many projects an import links.
    QThreadPool pool;
    pool.setMaxThreadCount(limit);
    nameThreads(pool, "AEPParse");
    auto finishedOrder = std::make_shared<std::atomic_int>(0);
    QList<QFuture<std::pair<int, AEPParseOutcome>>> running;
    running.reserve(pending.size());
    for (const AEPParseRequest& request : std::as_const(pending)) {
        running.append(QtConcurrent::run(&pool, [request, parse, finishedOrder] {
            AEPParseOutcome outcome = parseOne(request, parse);
            return std::make_pair(finishedOrder->fetch_add(1), std::move(outcome));
        }));
    }
    std::vector<std::pair<int, AEPParseOutcome>> finished;
    finished.reserve(size_t(running.size()));
    for (QFuture<std::pair<int, AEPParseOutcome>>& future : running) {
        auto one = co_await future;
        finished.push_back(std::move(one));
    }
    std::sort(finished.begin(), finished.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [order, outcome] : finished)
        outcomes.append(std::move(outcome));
    co_return outcomes;
}

void AEPParseRequests::store(const QList<AEPParseOutcome>& outcomes, QHash<QString, CachedAEPParse>& cache) {
    for (const AEPParseOutcome& outcome : outcomes) {
        if (!outcome.result)
            continue;
        cache.insert(outcome.request.cacheKey,
                     {outcome.request.fileSize, outcome.request.modificationDate, *outcome.result});
    }
}

} // namespace tarnwick
