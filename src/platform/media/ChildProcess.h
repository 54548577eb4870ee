#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace tarnwick {

// How a preview child (ffmpeg, ffprobe) ended. Always started with an argument list, never a shell.
struct ChildResult {
    bool started = false;
    bool timedOut = false; // killed after its time limit
    bool crashed = false;
    int exitCode = -1;
    QByteArray output; // the captured channel, read to its end
};

enum class ChildCapture { nothing, standardOutput, standardError };

// Runs `program` with `arguments` and waits for it, at most `limit`: a child still running then
// (a dead share, a broken file) is killed so that later work is not held up behind it. Standard
// input is the null device; the channel not captured goes to the null device.
ChildResult runChild(const QString& program, const QStringList& arguments, ChildCapture capture,
                     std::chrono::milliseconds limit);

} // namespace tarnwick
