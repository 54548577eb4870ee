#pragma once

#include <QtGlobal>

#include <cstddef>
#include <string_view>

namespace tarnwick::prproj {

// Room for an inflated project: anonymous memory mapped for it alone, grown without copying. The text
// is read once, front to back, and the parts already read are handed back to the system while the
// rest is read, so the text and what is read out of it are not held in full at once. (Huge pages
// were tried: their first fault in a process took up to 200 ms on the development VM.)
class TextBuffer {
public:
    TextBuffer() = default;
    ~TextBuffer();
    TextBuffer(TextBuffer&& other) noexcept;
    TextBuffer& operator=(TextBuffer&& other) noexcept;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    char* data() { return m_data; }
    const char* data() const { return m_data; }
    qsizetype size() const { return m_size; }
    std::string_view view() const { return {m_data, static_cast<std::size_t>(m_size)}; }

    // Keeps the bytes up to the smaller size; the ones past the old size are unset. False when the
    // system has no room (the buffer is then unchanged).
    bool resize(qsizetype size);
    // Hands the whole units of kPage bytes inside [begin, end) back; they must not be read again.
    void release(qsizetype begin, qsizetype end);
    // Maps the pages of [begin, end) in one call ahead of writing them: cheaper than a fault per page.
    // Only a hint; nothing changes where the system does not offer it.
    void prefault(qsizetype begin, qsizetype end);

    static constexpr qsizetype kPage = qsizetype(64) << 10;

private:
    void unmap();

    char* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0; // mapped bytes, a multiple of kPage
};

} // namespace tarnwick::prproj
