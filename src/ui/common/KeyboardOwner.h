#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QKeyEvent;

namespace tarnwick {

// Gives the whole keyboard of a window to what covers it while it shows: a layer drawn inside the
// window (the welcome guide, an overlay card) or a dialog over it (a sheet, an alert). Focus stays
// in the owner, no shortcut of the window fires, and a key that still lands behind the owner is
// handed to it instead. For a layer, Return or Enter presses the focused button, else its default
// one, and `keys` may take any key first; a dialog answers its keys itself, and takes the
// activation back when the window behind it is activated (a click there).
class KeyboardOwner : public QObject {
    Q_OBJECT
public:
    using Keys = std::function<bool(QKeyEvent& key)>; // true: taken

    explicit KeyboardOwner(QObject* parent = nullptr);
    ~KeyboardOwner() override;

    // `owner` (nullptr: none) takes the keyboard of its window; focus moves into it at once.
    void setOwner(QWidget* owner, Keys keys = {});
    QWidget* owner() const { return m_owner.data(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* coveredWindow() const;
    bool inCoveredWindow(const QObject* watched) const;
    bool isInsideOwner(const QObject* watched) const;
    bool handleKey(QKeyEvent& key);
    QList<QWidget*> controls() const; // the owner's controls in focus order
    void takeFocus(Qt::FocusReason reason = Qt::OtherFocusReason);

    QPointer<QWidget> m_owner;
    Keys m_keys;
};

} // namespace tarnwick
