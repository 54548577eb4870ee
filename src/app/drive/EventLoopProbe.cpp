#include "app/drive/EventLoopProbe.h"

#include <algorithm>

#include <time.h>

namespace tarnwick {

namespace {

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

EventLoopProbe::EventLoopProbe(QObject* parent) : QObject(parent) {
    m_timer.setInterval(10);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &EventLoopProbe::tick);
    reset();
    m_timer.start();
}

void EventLoopProbe::reset() {
    m_longest = 0;
    m_slow = 0;
    m_busiestSecond = 0;
    m_secondStartCpu = threadCpuMs();
    m_sinceTick.start();
    m_sinceSecond.start();
}

qint64 EventLoopProbe::longestMs() const {
    return std::max(m_longest, m_sinceTick.elapsed());
}

void EventLoopProbe::tick() {
    const qint64 gap = m_sinceTick.restart();
    m_longest = std::max(m_longest, gap);
    if (gap > 100)
        ++m_slow;
    if (m_sinceSecond.elapsed() >= 1000) {
        const double cpu = threadCpuMs();
        m_busiestSecond =
            std::max(m_busiestSecond, (cpu - m_secondStartCpu) * 1000.0 / double(m_sinceSecond.restart()));
        m_secondStartCpu = cpu;
    }
}

} // namespace tarnwick
