#pragma once

#include "platform/FileStatProbe.h"

#include <QString>

#include <QtGlobal>
#include <optional>

namespace tarnwick {

// A file opened for reading by descriptor, closed on destruction. Reads loop until the count or
// the end (network file systems return short reads) and retry interrupted calls.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Bytes read (fewer only at the end of the file), or -1 on a read error.
    qint64 readFully(char* buffer, qint64 count);
    qint64 readFullyAt(qint64 offset, char* buffer, qint64 count);
    std::optional<FileFacts> facts() const;

    void adviseSequential();
    void adviseRandom();
    // Starts reading [offset, offset + length) into the page cache without waiting for it.
    void adviseWillNeed(qint64 offset, qint64 length);
    // Drops the file's pages from the page cache so hashing a library does not evict everything else.
    void dropCachedPages();

private:
    int m_fd = -1;
};

} // namespace tarnwick
