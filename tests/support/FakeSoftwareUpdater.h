#pragma once

#include "platform/SoftwareUpdater.h"

namespace tarnwick {

// An updater whose ability to check is switched by the test; checks are counted.
class FakeSoftwareUpdater : public SoftwareUpdater {
    Q_OBJECT
public:
    using SoftwareUpdater::SoftwareUpdater;

    bool canCheckForUpdates() const override { return m_canCheck; }
    void start() override { ++starts; }
    void checkForUpdates() override { ++checks; }

    void setCanCheck(bool canCheck) {
        if (canCheck == m_canCheck)
            return;
        m_canCheck = canCheck;
        Q_EMIT canCheckForUpdatesChanged(canCheck);
    }

    int starts = 0;
    int checks = 0;

private:
    bool m_canCheck = false;
};

} // namespace tarnwick
