#pragma once

#include "analysis/CachedAEPParse.h"
#include "readers/AEPParser.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tarnwick {

// Reads one After Effects project; throws like AEPParser::parse. Each call must use a reader of
// its own, so two calls can run at once.
using AEPParseFunction = std::function<AEPParser::ParseResult(const QString& path)>;

// One parse of one file, whatever the number of paths it was reached by.
struct AEPParseRequest {
    QString cacheKey;
    QString path;            // the path given first (or the first readable one); the reader reads it
    QStringList statusPaths; // every link path the outcome decides, in the order they came, once each
    qint64 fileSize = -1;
    std::optional<qint64> modificationDate;

    AEPFileStamp stamp() const { return {fileSize, modificationDate}; }
};

struct AEPParseOutcome {
    AEPParseRequest request;
    std::optional<AEPParser::ParseResult> result;
    std::optional<QString> failure;
};

// The requests of one run, in the order their files were first named.
class AEPParseRequests {
public:
    static constexpr int maxConcurrentParses = 2;

    // Standardized, links resolved (the standardized path when the file is missing), NFC; letter
    // case kept.
    static QString cacheKey(const QString& path);

    // Adds `statusPath` to the request for the file at `path`, making it (one stat) when new.
    // Returns the request.
    const AEPParseRequest& add(const QString& path, const QString& statusPath);

    const QList<AEPParseRequest>& requests() const { return m_requests; }
    // The request for the file at `path`, if any.
    const AEPParseRequest* find(const QString& path) const;
    bool isEmpty() const { return m_requests.isEmpty(); }

    // Outcomes from the cache for requests whose entry is valid (logged as cache hits), in request
    // order; the rest are returned as pending, in request order.
    QList<AEPParseOutcome> takeCached(const QHash<QString, CachedAEPParse>& cache,
                                      QList<AEPParseRequest>& pending) const;

    // The reader of the system: a new AEPParser per call.
    static AEPParser::ParseResult parseWithOwnReader(const QString& path);
    // Runs `parse` over `pending` off the calling thread, at most `limit` at once; outcomes in the
    // order the parses finished. Never throws: a failure is the reader error's description.
    static QCoro::Task<QList<AEPParseOutcome>> parseAll(QList<AEPParseRequest> pending, int limit,
                                                        AEPParseFunction parse);
    // One parse, with its failure text.
    static AEPParseOutcome parseOne(const AEPParseRequest& request, const AEPParseFunction& parse);

    // Stores every successful outcome under its key, with its request's size and date.
    static void store(const QList<AEPParseOutcome>& outcomes, QHash<QString, CachedAEPParse>& cache);

private:
    QList<AEPParseRequest> m_requests;
    QHash<QString, qsizetype> m_byKey;
};

} // namespace tarnwick
