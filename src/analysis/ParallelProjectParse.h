#pragma once

#include "model/ProjectFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <coroutine>
#include <functional>
#include <optional>

namespace tarnwick {

// One project read by the reader, already turned into the record the manager keeps.
struct ParsedProject {
    ProjectFile project;
    qint64 mediaPathCount = 0; // the reader's raw sets, for the statistics
    qint64 usedPathCount = 0;
};

// Exactly one of `parsed` and `error` is meaningful.
struct ParseOutcome {
    QUrl url;
    std::optional<ParsedProject> parsed;
    QString error;       // the error's description when reading failed
    qsizetype order = 0; // the location's position in the list given (a file may be given twice)
};

// Reads projects on a pool of its own, at most `width` at a time, started in the caller's order and
// handed back on the GUI thread in the order they finish. Progress from a reader is posted to the
// GUI thread.
class ParallelProjectParse : public QObject {
    Q_OBJECT
public:
    using Progress = std::function<void(const QString& message, double fraction)>;
    // Runs on a worker thread; may throw (a tarnwick::Error's description becomes the outcome's error).
    using ParseFunction = std::function<ParsedProject(const QUrl& url, const Progress& progress)>;

    struct Callbacks {
        std::function<void(const QUrl& url, const QString& message, double fraction)> progress;
        std::function<void(const ParseOutcome& outcome)> finished;
    };

    ParallelProjectParse(ParseFunction parse, int width);
    ~ParallelProjectParse() override; // waits for readers still running

    QCoro::Task<QList<ParseOutcome>> run(QList<QUrl> urls, Callbacks callbacks);

    static ParseOutcome parseOne(const ParseFunction& parse, const QUrl& url, const Progress& progress);

private:
    // Resumes the waiting run() when an outcome arrives.
    struct Arrival {
        std::coroutine_handle<>* waiting;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { *waiting = handle; }
        void await_resume() const noexcept {}
    };

    void start(const QUrl& url, qsizetype order);

    ParseFunction m_parse;
    Callbacks m_callbacks;
    QList<ParseOutcome> m_arrived;
    std::coroutine_handle<> m_waiting;
    QThreadPool m_pool;
};

} // namespace tarnwick
