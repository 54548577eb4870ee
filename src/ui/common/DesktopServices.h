#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace tarnwick {

// What the views ask of the desktop around the window: show a file in the file manager, put text
// on the clipboard, open a file with its default application. Calls return at once; only opening a
// file and revealing one report whether it worked, later. Tests use a fake.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // Shows the file selected in a file manager window (its folder when that is all the desktop can
    // do). `done` (on the GUI thread, once) is told false when nothing was shown.
    virtual void revealFile(const QString& path, std::function<void(bool shown)> done = {}) = 0;
    // Replaces the clipboard's content with plain text.
    virtual void copyText(const QString& text) = 0;
    // Opens the file with the desktop's default application for it. `done` (on the GUI thread,
    // once) is told false when nothing could open it: no opener, or no application for its type.
    virtual void openFile(const QString& path, std::function<void(bool opened)> done) = 0;
    // Opens a link (a mail to write, a page) with the desktop's application for its scheme; `done`
    // as for a file.
    virtual void openLink(const QUrl& url, std::function<void(bool opened)> done) = 0;
};

} // namespace tarnwick
