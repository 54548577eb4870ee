#include "ui/common/CheckForUpdatesViewModel.h"

#include "platform/SoftwareUpdater.h"

namespace tarnwick {

CheckForUpdatesViewModel::CheckForUpdatesViewModel(SoftwareUpdater& updater, QObject* parent)
    : QObject(parent) {
    connect(&updater, &SoftwareUpdater::canCheckForUpdatesChanged, this, &CheckForUpdatesViewModel::assign);
    assign(updater.canCheckForUpdates());
}

void CheckForUpdatesViewModel::assign(bool canCheck) {
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

} // namespace tarnwick
