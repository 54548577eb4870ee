#pragma once

#include "platform/ReadOnlyFile.h"
#include "platform/Sha256.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

namespace tarnwick {

// Files of one recorded size read side by side, a chunk of each at a time. Files whose bytes differ
// are told apart by comparing them, and every run of bytes is hashed once for all the files that
// hold it: the files fall into classes of equal content so far, each with the digest of that
// content. A byte comparison is exact, and much cheaper than a digest.
class SideBySideRead {
public:
    // Small enough that the chunks of a few files stay in the processor's cache between the read,
    // the comparison and the digest.
    static constexpr qint64 chunk = 262144;

    struct Class {
        std::vector<int> readers; // in the order the files were given
        Sha256 sha;               // over the bytes read into the class while hashing
        qint64 length = 0;        // bytes its files returned so far, the same for each
    };

    enum class Use {
        hash,           // compare and feed each class's digest
        compare,        // compare only (a stretch the digests do not cover in this order)
        compareAndKeep, // compare, and keep each file's bytes of the stretch
    };

    // Called before each read of a file: the watchdog's clock, and which file a hang belongs to.
    using BeforeRead = std::function<void(int reader)>;

    // Every file starts in one class with a fresh digest.
    explicit SideBySideRead(std::vector<std::unique_ptr<ReadOnlyFile>> files);
    // Or in the given class, carrying on from `sha` (files already known to be equal so far).
    SideBySideRead(std::vector<std::unique_ptr<ReadOnlyFile>> files, Sha256 sha, qint64 length);

    // Reads [from, to) of every file still in a class, splitting classes whose bytes differ (a file
    // that ends early differs from one that goes on). A file whose read fails leaves its class.
    void read(qint64 from, qint64 to, Use use, const BeforeRead& before = {});
    // Whether file `reader` holds a byte at `offset`; a read error counts as failing (and leaves the
    // file's class, which stays in classes() even when empty until the next read()).
    bool hasByteAt(int reader, qint64 offset, const BeforeRead& before = {});

    std::vector<Class>& classes() { return m_classes; }
    int size() const { return int(m_files.size()); }
    bool failed(int reader) const { return m_failed[std::size_t(reader)]; }
    // The bytes of file `reader` from the last stretch read with compareAndKeep.
    // The view lasts until the next read on this thread.
    QByteArrayView kept(int reader) const;
    ReadOnlyFile& file(int reader) { return *m_files[std::size_t(reader)]; }
    qint64 bytesRead() const { return m_bytesRead; }

private:
    void fail(int reader);
    // Splits one class by the chunk each of its files returned; the new classes carry on from the
    // digest as it was before this chunk.
    void split(std::size_t at, std::vector<Class>& added);

    // Where file `reader`'s chunk goes: its buffer, or its place in the stretch being kept.
    char* destination(int reader, qint64 offsetInStretch, bool keep);

    std::vector<std::unique_ptr<ReadOnlyFile>> m_files;
    std::vector<bool> m_failed;
    std::vector<char*> m_chunks;    // each file's latest chunk
    std::vector<qint64> m_lengths;  // bytes each file returned for its latest chunk
    std::vector<qint64> m_keptSize; // bytes kept of the stretch, per file
    std::vector<qint64> m_endAt;    // where a read came back short (the file's end), or -1
    qint64 m_stretchLength = 0;
    std::vector<Class> m_classes;
    qint64 m_bytesRead = 0;
};

} // namespace tarnwick
