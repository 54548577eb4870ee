#pragma once

#include "ui/common/ModalFrame.h"

#include <QDialog>
#include <QMargins>

#include <optional>

namespace tarnwick {

class SheetBody;

// A sheet: a window-modal dialog over the main window holding one content widget, opened with
// open() so the caller's code keeps running (no nested event loop). It deletes itself when
// closed; `dismissed` tells the owner to clear the state that presented it. While it shows it
// has the keyboard (Escape closes it; Return presses the focused button, else the default one, which
// is never one that acts on files; its buttons carry mnemonics; see DialogButtons.h), the window behind is
// dimmed, and it stays inside the screen's available area with its window frame, also as its content
// grows: the content's SheetBody scrolls (all of the content, where it has none and must).
class Sheet : public QDialog {
    Q_OBJECT
public:
    Sheet(QWidget* window, QWidget* content);

    // Creates and opens a sheet around `content` (which it takes over).
    static Sheet* present(QWidget* window, QWidget* content);

    QWidget* content() const { return m_content; }
    // Sizes and moves the sheet so that it and the window manager's `decoration` round it lie inside
    // `available` (screen coordinates).
    void placeWithin(const QRect& available, const QMargins& decoration = {});

Q_SIGNALS:
    void dismissed();

protected:
    bool event(QEvent* event) override;
    void done(int result) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void scrollContent();

    QWidget* m_content = nullptr;
    SheetBody* m_scroll = nullptr;
    std::optional<modalFrame::Placement> m_placed; // the area it was last placed in
    bool m_dismissed = false;
    bool m_mnemonicsGiven = false;
};

} // namespace tarnwick
