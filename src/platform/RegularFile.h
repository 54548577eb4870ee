#pragma once

#include <QByteArray>
#include <QString>

#include <QtGlobal>
#include <limits>
#include <optional>

namespace tarnwick {

// A file opened for reading only when it is a regular file. The open never blocks (a FIFO named
// like a project would wait for a writer forever) and the type is checked on the open descriptor,
// so a path swapped for a device or a pipe between a check and the open is still refused.
class RegularFile {
public:
    explicit RegularFile(const QString& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Why the open failed: the system's text, or "Not a regular file" / "Is a directory".
    const QString& errorString() const { return m_error; }
    int handle() const { return m_fd; }
    // The size at the open.
    qint64 size() const { return m_size; }

    // Reads from the current position to the end; absent (errorString() set) on a read error or
    // when the file holds more than `limit` bytes.
    std::optional<QByteArray> readAll(qint64 limit = std::numeric_limits<qint64>::max());

private:
    int m_fd = -1;
    qint64 m_size = 0;
    QString m_error;
};

} // namespace tarnwick
