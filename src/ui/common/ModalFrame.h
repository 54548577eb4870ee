#pragma once

#include <QRect>

class QDialog;
class QPainter;
class QWidget;

namespace tarnwick {

// What makes a sheet or an alert read as one over its window, whatever the window manager draws:
// the window behind is dimmed while it shows, and it has a frame of its own.
namespace modalFrame {

// The frame's width, which the dialog keeps as its contents margin.
constexpr int width = 1;

// Dims the window `dialog` belongs to for as long as `dialog` shows (several dialogs share one
// dimming).
void dimWindowBehind(QDialog& dialog);
// The dimming over `window`, while some dialog keeps it.
QWidget* dimming(const QWidget& window);

// Paints the frame round `rect`.
void paint(QPainter& painter, const QRect& rect);

// `frame` (a dialog's outer frame) shrunk to fit `available` where it is larger, and moved inside it.
QRect placedWithin(QRect frame, QRect available);

} // namespace modalFrame

} // namespace tarnwick
