#pragma once

#include <QObject>

namespace tarnwick {

class SoftwareUpdater;

// Follows the updater's canCheckForUpdates for as long as it lives: the initial value at once,
// then every change.
class CheckForUpdatesViewModel : public QObject {
    Q_OBJECT
public:
    explicit CheckForUpdatesViewModel(SoftwareUpdater& updater, QObject* parent = nullptr);

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);

private:
    void assign(bool canCheck);

    bool m_canCheckForUpdates = false;
};

} // namespace tarnwick
