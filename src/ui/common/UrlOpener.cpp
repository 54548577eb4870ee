#include "ui/common/UrlOpener.h"

#include <QDesktopServices>

namespace tarnwick {

UrlOpener desktopUrlOpener() {
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

} // namespace tarnwick
