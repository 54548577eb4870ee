#pragma once

#include <QObject>

namespace tarnwick {

// How many thumbnail decodes are running, for the media table to show. GUI thread only; the
// generator's workers reach it through queued calls.
class ThumbnailProgressTracker : public QObject {
    Q_OBJECT
public:
    static ThumbnailProgressTracker& shared();
    using QObject::QObject;

    int activeOperations() const { return m_active; }
    void setActiveOperations(int value);
    void increment() { setActiveOperations(m_active + 1); }
    // Never below 0.
    void decrement() { setActiveOperations(std::max(m_active - 1, 0)); }

Q_SIGNALS:
    void activeOperationsChanged(int value);

private:
    int m_active = 0;
};

} // namespace tarnwick
