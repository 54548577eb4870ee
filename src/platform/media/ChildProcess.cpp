#include "platform/media/ChildProcess.h"

#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>

namespace tarnwick {

ChildResult runChild(const QString& program, const QStringList& arguments, ChildCapture capture,
                     std::chrono::milliseconds limit) {
    ChildResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (capture != ChildCapture::standardOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    if (capture != ChildCapture::standardError)
        process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(int(limit.count())))
        return result;
    result.started = true;
    const auto channel =
        capture == ChildCapture::standardError ? QProcess::StandardError : QProcess::StandardOutput;
    process.setReadChannel(channel);
    // Read while waiting so a chatty child never blocks on a full pipe.
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning) {
        const qint64 left = limit.count() - clock.elapsed();
        if (left <= 0) {
            result.timedOut = true;
            process.kill();
            process.waitForFinished(2000);
            return result;
        }
        process.waitForFinished(int(std::min<qint64>(left, 100)));
        if (capture != ChildCapture::nothing)
            result.output += process.readAll();
    }
    if (capture != ChildCapture::nothing)
        result.output += process.readAll();
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = result.crashed ? -1 : process.exitCode();
    return result;
}

} // namespace tarnwick
