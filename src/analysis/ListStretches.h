#pragma once

#include "readers/ReaderTask.h"

#include <QThread>

#include <algorithm>
#include <vector>

namespace tarnwick {

// A pass over a long list split into stretches run side by side on readerPool(), the first on the
// caller. Short lists take one stretch: below a few thousand entries threads cost more than they save.
class ListStretches {
public:
    static constexpr qsizetype parallelFrom = 16384;

    explicit ListStretches(qsizetype size)
        : m_size(size), m_count(size < parallelFrom ? 1 : std::min(QThread::idealThreadCount(), 8)),
          m_step(std::max<qsizetype>((size + m_count - 1) / m_count, 1)) {}

    int count() const { return m_count; }

    // `work(stretch, from, to)` for each stretch; returns when all are done.
    template <typename F> void run(F&& work) const {
        std::vector<ReaderTask<void>> parts;
        for (int k = 1; k < m_count; ++k) {
            const qsizetype from = std::min(k * m_step, m_size);
            const qsizetype to = std::min(from + m_step, m_size);
            parts.emplace_back([&work, k, from, to] { work(k, from, to); });
        }
        work(0, qsizetype(0), std::min(m_step, m_size));
        for (auto& part : parts)
            part.get();
    }

private:
    qsizetype m_size;
    int m_count;
    qsizetype m_step;
};

} // namespace tarnwick
