#pragma once

#include "ui/common/URLOpener.h"

class QWidget;

namespace tarnwick {

struct UpdateCheckResult;
class AlertDialog;

// Tells the user what an update check found; a newer version offers its download page.
AlertDialog* presentUpdateResult(QWidget* window, const UpdateCheckResult& result, URLOpener openURL);

} // namespace tarnwick
