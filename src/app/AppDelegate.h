#pragma once

#include <QString>

#include <functional>

namespace tarnwick {

class SecurityScopedAccess;

// The work done around launch: fonts before the first window, then the saved grants and the
// professional video formats once launch has finished.
class AppDelegate {
public:
    struct Environment {
        QString fontFolder; // the application's font resources
        SecurityScopedAccess* grants = nullptr;
        bool sandboxed = false;
        std::function<bool()> mediaLibrariesCanReadMxf; // empty: ask the media libraries
    };

    explicit AppDelegate(Environment environment);

    // "fonts" beside the executable: where scripts/run puts the downloaded font files.
    static QString bundledFontFolder();

    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

    // Registers every .ttf directly in `folder` for this process; returns how many were found
    // (registered or not). Logs nothing when there are none.
    static int registerBundledFonts(const QString& folder);
    void registerProVideoFormats();

private:
    Environment m_environment;
};

} // namespace tarnwick
