#include "ui/common/URLOpener.h"

#include <QDesktopServices>

namespace tarnwick {

URLOpener desktopURLOpener() {
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

} // namespace tarnwick
