#pragma once

#include "platform/AppLog.h"

#include <QStringList>

#include <algorithm>
#include <memory>
#include <mutex>

namespace tarnwick::test {

// Captures what AppLog is given while alive. The captured list outlives this object, since an
// abandoned worker thread may still log.
class DiskFactsLogCapture {
public:
    DiskFactsLogCapture() {
        AppLog::setSink([state = m_state](const AppLog::Record& record) {
            std::lock_guard lock(state->mutex);
            state->messages.append(record.message);
        });
    }
    ~DiskFactsLogCapture() { AppLog::setSink({}); }

    QStringList messages() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->messages;
    }
    bool contains(const QString& fragment) const {
        const QStringList all = messages();
        return std::any_of(all.begin(), all.end(), [&](const QString& m) { return m.contains(fragment); });
    }

private:
    struct State {
        std::mutex mutex;
        QStringList messages;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace tarnwick::test
