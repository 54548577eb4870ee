#pragma once

#include <QMargins>
#include <QRect>

#include <functional>

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

// Asks the window manager for what a modal dialog has: a title and a close button, no minimise or
// maximise button (a manager that keeps those on every dialog, as Openbox does, still shows them).
void setDialogButtons(QDialog& dialog);

// `frame` (a dialog's outer frame) shrunk to fit `available` where it is larger, and moved inside it.
QRect placedWithin(QRect frame, QRect available);
// `dialog` (a dialog's own rectangle) placed so that it and the window manager's `decoration` round it
// lie inside `available`; the dialog's own rectangle.
QRect placedWithin(QRect dialog, QMargins decoration, QRect available);

// What the window manager's frame adds round `dialog`: its own once the frame is known, before that
// (a frame comes only after the dialog is shown) what the window behind it has; none without a
// window manager.
QMargins decoration(const QDialog& dialog);

// Where a dialog was placed: the area and the window manager's frame round it.
struct Placement {
    QRect available;
    QMargins decoration;
};

// Places `dialog` with `place` in its screen's available area now and again whenever the frame the
// window manager adds turns out other than the one it was placed with (called when it shows).
using Place = std::function<void(const QRect& available, const QMargins& decoration)>;
void keepOnScreen(QDialog& dialog, Place place);

} // namespace modalFrame

} // namespace tarnwick
