#include "analysis/SideBySideRead.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

namespace {

// Buffers reused by every read on this thread: allocating them per read costs page faults and
// zeroing for each file.
struct ThreadBuffers {
    std::vector<std::unique_ptr<char[]>> chunks;
    std::vector<std::unique_ptr<char[]>> stretches;
    std::vector<qint64> stretchSizes;

    char* chunk(std::size_t i) {
        while (chunks.size() <= i)
            chunks.push_back(std::make_unique<char[]>(std::size_t(SideBySideRead::chunk)));
        return chunks[i].get();
    }
    char* stretch(std::size_t i, qint64 size) {
        while (stretches.size() <= i) {
            stretches.emplace_back();
            stretchSizes.push_back(0);
        }
        if (stretchSizes[i] < size) {
            stretches[i] = std::make_unique<char[]>(std::size_t(size));
            stretchSizes[i] = size;
        }
        return stretches[i].get();
    }
};

ThreadBuffers& threadBuffers() {
    thread_local ThreadBuffers buffers;
    return buffers;
}

} // namespace

SideBySideRead::SideBySideRead(std::vector<std::unique_ptr<ReadOnlyFile>> files)
    : SideBySideRead(std::move(files), Sha256(), 0) {}

SideBySideRead::SideBySideRead(std::vector<std::unique_ptr<ReadOnlyFile>> files, Sha256 sha, qint64 length)
    : m_files(std::move(files)), m_failed(m_files.size(), false), m_chunks(m_files.size(), nullptr),
      m_lengths(m_files.size(), 0), m_keptSize(m_files.size(), 0), m_endAt(m_files.size(), -1) {
    Class all{{}, std::move(sha), length};
    for (int i = 0; i < int(m_files.size()); ++i)
        all.readers.push_back(i);
    if (!all.readers.empty())
        m_classes.push_back(std::move(all));
}

void SideBySideRead::fail(int reader) {
    m_failed[std::size_t(reader)] = true;
    m_keptSize[std::size_t(reader)] = 0;
}

QByteArrayView SideBySideRead::kept(int reader) const {
    // The stretch buffers belong to this thread; kept() is read on the thread that read them.
    const qint64 size = m_keptSize[std::size_t(reader)];
    if (size <= 0)
        return {};
    return QByteArrayView(threadBuffers().stretches[std::size_t(reader)].get(), qsizetype(size));
}

char* SideBySideRead::destination(int reader, qint64 offsetInStretch, bool keep) {
    if (!keep)
        return threadBuffers().chunk(std::size_t(reader));
    return threadBuffers().stretch(std::size_t(reader), m_stretchLength) + offsetInStretch;
}

void SideBySideRead::read(qint64 from, qint64 to, Use use, const BeforeRead& before) {
    const bool keep = use == Use::compareAndKeep;
    if (keep) {
        m_stretchLength = std::max<qint64>(to - from, 0);
        std::fill(m_keptSize.begin(), m_keptSize.end(), 0);
    }
    for (qint64 at = from; at < to && !m_classes.empty(); at += chunk) {
        const qint64 want = std::min(chunk, to - at);
        for (Class& c : m_classes) {
            for (int r : c.readers) {
                char* into = destination(r, at - from, keep);
                qint64 n = 0;
                // A file whose end was seen holds nothing further: no read for that.
                const qint64 end = m_endAt[std::size_t(r)];
                if (end < 0 || at < end) {
                    if (before)
                        before(r);
                    n = m_files[std::size_t(r)]->readFullyAt(at, into, want);
                    if (n >= 0 && n < want)
                        m_endAt[std::size_t(r)] = at + n;
                }
                m_chunks[std::size_t(r)] = into;
                m_lengths[std::size_t(r)] = n;
                if (n < 0) {
                    fail(r);
                    continue;
                }
                m_bytesRead += n;
                if (keep)
                    m_keptSize[std::size_t(r)] += n;
            }
            c.readers.erase(
                std::remove_if(c.readers.begin(), c.readers.end(), [&](int r) { return failed(r); }),
                c.readers.end());
        }
        m_classes.erase(std::remove_if(m_classes.begin(), m_classes.end(),
                                       [](const Class& c) { return c.readers.empty(); }),
                        m_classes.end());
        std::vector<Class> added;
        for (std::size_t i = 0; i < m_classes.size(); ++i)
            split(i, added);
        for (Class& c : added)
            m_classes.push_back(std::move(c));
        for (Class& c : m_classes) {
            const int first = c.readers.front();
            const qint64 n = m_lengths[std::size_t(first)];
            if (use == Use::hash)
                c.sha.update(m_chunks[std::size_t(first)], std::size_t(n));
            c.length += n;
        }
    }
}

void SideBySideRead::split(std::size_t at, std::vector<Class>& added) {
    // Groups of equal chunks, each named by its first file; the first group keeps the class.
    std::vector<std::vector<int>> groups;
    for (int r : m_classes[at].readers) {
        const qint64 n = m_lengths[std::size_t(r)];
        const auto same = std::find_if(groups.begin(), groups.end(), [&](const std::vector<int>& g) {
            const int first = g.front();
            return m_lengths[std::size_t(first)] == n &&
                   std::memcmp(m_chunks[std::size_t(first)], m_chunks[std::size_t(r)], std::size_t(n)) == 0;
        });
        if (same == groups.end())
            groups.push_back({r});
        else
            same->push_back(r);
    }
    if (groups.size() < 2)
        return;
    Class& original = m_classes[at];
    for (std::size_t g = 1; g < groups.size(); ++g)
        added.push_back(Class{std::move(groups[g]), original.sha, original.length});
    original.readers = std::move(groups.front());
}

bool SideBySideRead::hasByteAt(int reader, qint64 offset, const BeforeRead& before) {
    if (const qint64 end = m_endAt[std::size_t(reader)]; end >= 0 && end <= offset)
        return false;
    char byte = 0;
    if (before)
        before(reader);
    const qint64 n = m_files[std::size_t(reader)]->readFullyAt(offset, &byte, 1);
    if (n < 0) {
        fail(reader);
        // The class may be left empty (the caller may be going through the classes); the next
        // read() drops it.
        for (Class& c : m_classes)
            c.readers.erase(std::remove(c.readers.begin(), c.readers.end(), reader), c.readers.end());
        return false;
    }
    m_bytesRead += n;
    return n > 0;
}

} // namespace tarnwick
