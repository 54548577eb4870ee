#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace tarnwick {

// A 10 ms timer on the GUI thread: how late it fires is how long the event loop took to answer.
class EventLoopProbe : public QObject {
    Q_OBJECT
public:
    explicit EventLoopProbe(QObject* parent = nullptr);

    // Starts a new measurement.
    void reset();
    // The longest answer since reset(), in ms (the gap between two ticks, the 10 ms period included).
    qint64 longestMs() const;
    // Answers of more than 100 ms since reset().
    int slowAnswers() const { return m_slow; }
    // Processor time the GUI thread itself used in the busiest whole second since reset(), in ms.
    double busiestSecondCpuMs() const { return m_busiestSecond; }

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_sinceSecond;
    qint64 m_longest = 0;
    int m_slow = 0;
    double m_secondStartCpu = 0;
    double m_busiestSecond = 0;
};

} // namespace tarnwick
