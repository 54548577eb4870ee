#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QAbstractItemView;

namespace tarnwick {

// Opens an item view's context menu from the keyboard (the Menu key, Shift+F10) at its current row
// rather than where the mouse pointer happens to be: `open` gets a point of the viewport inside the
// current cell, at its lower left (the viewport's top left without a current row), scrolled into
// view first. Whichever way the window system delivers the key, the menu opens once.
class KeyboardContextMenu : public QObject {
    Q_OBJECT
public:
    using Open = std::function<void(const QPoint& viewportPos)>;

    static KeyboardContextMenu* install(QAbstractItemView& view, Open open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyboardContextMenu(QAbstractItemView& view, Open open);
    void openAtCurrentRow();

    QAbstractItemView& m_view;
    Open m_open;
};

} // namespace tarnwick
