#pragma once

#include <QString>

namespace tarnwick {

// What the views ask of the desktop around the window: show a file in the file manager, put text
// on the clipboard, open a file with its default application. Calls return at once and report no
// failure; tests use a fake.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // Shows the file selected in a file manager window (its folder when that is all the desktop can do).
    virtual void revealFile(const QString& path) = 0;
    // Replaces the clipboard's content with plain text.
    virtual void copyText(const QString& text) = 0;
    // Opens the file with the desktop's default application for it.
    virtual void openFile(const QString& path) = 0;
};

} // namespace tarnwick
