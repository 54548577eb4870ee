#pragma once

#include <QUrl>

class QMediaPlayer;

namespace tarnwick {

// Gives the player its source. Qt 6.4's FFmpeg backend hands FFmpeg a local path in Latin-1, so a
// file whose path holds any other character (an accent, a Japanese name) cannot be opened by that
// path: such a file is opened here (a regular file only, never blocking) and played through its
// descriptor's name under /proc/self/fd, the descriptor kept as long as the player has that source.
void setPlayerSource(QMediaPlayer& player, const QUrl& url);

} // namespace tarnwick
