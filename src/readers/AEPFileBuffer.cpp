#include "readers/AEPFileBuffer.h"

#include <cstring>
#include <new>

#include <sys/mman.h>

namespace tarnwick {

namespace {

constexpr qint64 hugePage = 2 << 20;

char* allocate(qint64 capacity) {
    const qint64 bytes = std::max<qint64>(capacity, 1);
    void* p = nullptr;
    if (bytes >= 4 * hugePage) {
        const qint64 rounded = (bytes + hugePage - 1) / hugePage * hugePage;
        p = std::aligned_alloc(hugePage, static_cast<size_t>(rounded));
#ifdef MADV_HUGEPAGE
        if (p != nullptr)
            ::madvise(p, static_cast<size_t>(rounded), MADV_HUGEPAGE); // a hint; failure is harmless
#endif
    } else {
        p = std::malloc(static_cast<size_t>(bytes));
    }
    if (p == nullptr)
        throw std::bad_alloc();
    return static_cast<char*>(p);
}

} // namespace

AEPFileBuffer::AEPFileBuffer(qint64 capacity)
    : m_data(allocate(capacity)), m_capacity(std::max<qint64>(capacity, 0)) {}

void AEPFileBuffer::reallocate(qint64 capacity) {
    std::unique_ptr<char, Free> bigger(allocate(capacity));
    std::memcpy(bigger.get(), m_data.get(), static_cast<size_t>(m_size));
    m_data = std::move(bigger);
    m_capacity = capacity;
}

void AEPFileBuffer::append(const char* bytes, qint64 count) {
    if (m_size + count > m_capacity)
        reallocate(std::max(m_capacity * 2, m_size + count));
    std::memcpy(m_data.get() + m_size, bytes, static_cast<size_t>(count));
    m_size += count;
}

} // namespace tarnwick
