#pragma once

#include <QPalette>

namespace tarnwick {

// The dark palette stock widgets use so they sit on the brand background.
QPalette brandWidgetPalette();

// Fusion style, the brand palette and the brand text font (13 px regular) for the whole app.
void applyBrandTheme();

} // namespace tarnwick
