#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

#include <optional>

class QProcess;

namespace tarnwick::testing {

// The lines a harness's child says to it ("ready", "first", ...) travel on a pipe of their own. The
// child's standard output carries its log, which the log's own thread writes in batches that may
// be larger than a pipe holds: a marker written there can land inside a log line, and a line read
// right after a wait for data may be only part of one.
class ChildMarkers {
public:
    ChildMarkers();
    ~ChildMarkers();
    ChildMarkers(const ChildMarkers&) = delete;
    ChildMarkers& operator=(const ChildMarkers&) = delete;

    // Before the child starts: it inherits the pipe's writing end and finds it in `environment`
    // (which the caller then gives to the child).
    void prepare(QProcess& child, QProcessEnvironment& environment);
    // Once the child started: the pipe then ends when the child does.
    void started();
    // The next whole line, without its '\n'; nothing once the child's end closed (or after the
    // generous timeout, so that a hung child fails the test rather than the run).
    std::optional<QByteArray> nextLine(int timeoutMs = 60000);
    // Reads lines up to `line`; false when the child ended first.
    bool waitFor(const QByteArray& line, int timeoutMs = 60000);

    // In the child: says one line to the harness (on standard output when run by hand).
    static void say(const QByteArray& line);

private:
    int m_read = -1;
    int m_write = -1;
    QByteArray m_buffer;
};

} // namespace tarnwick::testing
