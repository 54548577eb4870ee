#pragma once

#include "platform/SoftwareUpdater.h"
#include "ui/common/AppCommands.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/URLOpener.h"

namespace tarnwick::testing {

// The application's menu actions for a window under test, run as the application runs them: a
// panel's choice is granted, then posted to `centre`, to which the window subscribes.
class WindowActions {
public:
    WindowActions(CommandCenter& centre, FilePanel& panel, SecurityScopedAccess& grants,
                  URLOpener openURL = {})
        : m_commands({centre, panel, grants, m_updater,
                      [open = std::move(openURL)](const QUrl& url, std::function<void(bool)> done) {
                          done(open && open(url));
                      }}),
          m_actions(m_commands.makeActions(nullptr)) {}

    CommandActions* actions() const { return m_actions; }

private:
    // Never checks: no window under test asks for updates.
    class QuietUpdater : public SoftwareUpdater {
    public:
        bool canCheckForUpdates() const override { return false; }
        void checkForUpdates() override {}
    };

    QuietUpdater m_updater;
    AppCommands m_commands;
    CommandActions* m_actions;
};

} // namespace tarnwick::testing
