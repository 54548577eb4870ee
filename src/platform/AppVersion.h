#pragma once

#include <QString>

namespace tarnwick {

// The application's version ("0.1.0"), set by the build.
QString appVersion();

} // namespace tarnwick
