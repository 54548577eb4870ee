#pragma once

#include <QRect>

class QDialog;
class QWidget;

namespace tarnwick {

// What makes a sheet or an alert read as one over its window, whatever the window manager draws:
// the window behind is dimmed while it shows, and it has a frame of its own.
namespace modalFrame {

// The frame's width.
constexpr int width = 1;

// Dims the window `dialog` belongs to for as long as `dialog` shows (several dialogs share one
// dimming).
void dimWindowBehind(QDialog& dialog);
// The dimming over `window`, while some dialog keeps it.
QWidget* dimming(const QWidget& window);

// Draws the frame along the inside of `dialog`'s edge, over its content (which keeps its size).
void addFrame(QDialog& dialog);

// `frame` (a dialog's outer frame) shrunk to fit `available` where it is larger, and moved inside it.
QRect placedWithin(QRect frame, QRect available);

} // namespace modalFrame

} // namespace tarnwick
