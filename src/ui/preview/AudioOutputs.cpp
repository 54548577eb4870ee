#include "ui/preview/AudioOutputs.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>

namespace tarnwick {

bool audioOutputAvailable() {
    return !QMediaDevices::defaultAudioOutput().isNull() || !QMediaDevices::audioOutputs().isEmpty();
}

bool attachAudioOutput(QMediaPlayer& player) {
    if (!audioOutputAvailable())
        return false;
    player.setAudioOutput(new QAudioOutput(&player));
    return true;
}

} // namespace tarnwick
