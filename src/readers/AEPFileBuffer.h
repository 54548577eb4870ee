#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <cstdlib>
#include <memory>

namespace tarnwick {

// The bytes of one project file. Large buffers ask the kernel for huge pages: a project of
// hundreds of MB otherwise spends as long faulting in 4 KiB pages as reading them.
class AEPFileBuffer {
public:
    explicit AEPFileBuffer(qint64 capacity);

    char* data() { return m_data.get(); }
    qint64 size() const { return m_size; }
    qint64 capacity() const { return m_capacity; }
    QByteArrayView view() const { return QByteArrayView(m_data.get(), m_size); }

    void append(const char* bytes, qint64 count);
    void resize(qint64 size) { m_size = std::min(size, m_capacity); }

private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    void reallocate(qint64 capacity);

    std::unique_ptr<char, Free> m_data;
    qint64 m_size = 0;
    qint64 m_capacity = 0;
};

} // namespace tarnwick
