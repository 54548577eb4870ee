#include "readers/PrprojTextBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <utility>

namespace tarnwick::prproj {

namespace {

qsizetype roundUp(qsizetype n) {
    return (n + TextBuffer::kPage - 1) / TextBuffer::kPage * TextBuffer::kPage;
}

} // namespace

TextBuffer::~TextBuffer() {
    unmap();
}

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
    if (this != &other) {
        unmap();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

void TextBuffer::unmap() {
    if (m_data)
        ::munmap(m_data, static_cast<std::size_t>(m_capacity));
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

bool TextBuffer::resize(qsizetype size) {
    if (size < 0)
        return false;
    if (size <= m_capacity) {
        m_size = size;
        return true;
    }
    const qsizetype capacity = roundUp(size);
    void* p = m_data
                  ? ::mremap(m_data, static_cast<std::size_t>(m_capacity), static_cast<std::size_t>(capacity),
                             MREMAP_MAYMOVE) // moves the pages, never copies them
                  : ::mmap(nullptr, static_cast<std::size_t>(capacity), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return false;
    m_data = static_cast<char*>(p);
    m_capacity = capacity;
    m_size = size;
    return true;
}

void TextBuffer::prefault(qsizetype begin, qsizetype end) {
#if defined(MADV_POPULATE_WRITE)
    begin = begin / kPage * kPage;
    end = std::min(end, m_size);
    if (!m_data || end <= begin)
        return;
    ::madvise(m_data + begin, static_cast<std::size_t>(end - begin), MADV_POPULATE_WRITE);
#else
    Q_UNUSED(begin);
    Q_UNUSED(end);
#endif
}

void TextBuffer::release(qsizetype begin, qsizetype end) {
    begin = roundUp(std::max<qsizetype>(begin, 0));
    end = std::min(end, m_capacity) / kPage * kPage;
    if (!m_data || end <= begin)
        return;
    ::madvise(m_data + begin, static_cast<std::size_t>(end - begin), MADV_DONTNEED);
}

} // namespace tarnwick::prproj
