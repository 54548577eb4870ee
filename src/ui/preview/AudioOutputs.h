#pragma once

class QMediaPlayer;

namespace tarnwick {

// Whether the system has a sound output to play through. Remote desktops and soundless
// workstations have none, and Qt's audio thread crashes on an output attached without a device.
bool audioOutputAvailable();

// Gives the player a sound output when the system has a device for it; without one the player
// stays silent (video still plays). Returns whether it attached one.
bool attachAudioOutput(QMediaPlayer& player);

} // namespace tarnwick
