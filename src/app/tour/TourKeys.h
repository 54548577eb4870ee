#pragma once

#include <Qt>

namespace tarnwick::tourKeys {

// A key pressed and released where the keyboard is, as a user presses it; nothing when no widget
// has the focus.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace tarnwick::tourKeys
