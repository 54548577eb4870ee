#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <malloc.h>
#include <time.h>

namespace tarnwick::bench {

// A field of /proc/self/status in kB ("VmRSS", "RssAnon", "VmHWM"), as MB.
inline double statusMB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// What the allocator has handed out and not had back (live heap), mapped blocks included, in MB.
inline double liveHeapMB() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

inline int threadCount() {
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Starts the peak (VmHWM) over from the current resident size.
inline void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// This thread's processor time so far, in milliseconds.
inline double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The longest gap between two ticks of a 10 ms timer while something runs on this thread, and
// when the longest ones ended (milliseconds since the meter started). A gap is also the time the
// thread waited for a processor on a busy machine: `longestWorkMs` is the most processor time the
// thread itself spent within one gap.
class StallMeter {
public:
    struct Gap {
        qint64 ms = 0;
        qint64 endedAt = 0;
        double workMs = 0;
    };

    StallMeter() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 gap = m_clock.restart();
            const double cpu = threadCpuMs();
            const double work = cpu - m_cpu;
            m_cpu = cpu;
            m_longest = std::max(m_longest, gap);
            m_longestWork = std::max(m_longestWork, work);
            if (gap >= 50)
                m_gaps.append({gap, m_since.elapsed(), work});
        });
        m_cpu = threadCpuMs();
        m_clock.start();
        m_since.start();
        m_timer.start();
    }
    qint64 longestMs() const { return std::max(m_longest, m_clock.elapsed()); }
    double longestWorkMs() const { return std::max(m_longestWork, threadCpuMs() - m_cpu); }
    // Gaps of 50 ms or more.
    const QList<Gap>& longGaps() const { return m_gaps; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
    double m_cpu = 0;
    double m_longestWork = 0;
    QList<Gap> m_gaps;
};

} // namespace tarnwick::bench
