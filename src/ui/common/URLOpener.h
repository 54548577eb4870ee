#pragma once

#include <QUrl>

#include <functional>

namespace tarnwick {

// Hands a link to the desktop (browser, mail program); true when the desktop took it.
using URLOpener = std::function<bool(const QUrl& url)>;

URLOpener desktopURLOpener();

} // namespace tarnwick
