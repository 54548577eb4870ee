#pragma once

#include <QDialog>

namespace tarnwick {

// A sheet: a window-modal dialog over the main window holding one content widget, opened with
// open() so the caller's code keeps running (no nested event loop). It deletes itself when
// closed; `dismissed` tells the owner to clear the state that presented it.
class Sheet : public QDialog {
    Q_OBJECT
public:
    Sheet(QWidget* window, QWidget* content);

    // Creates and opens a sheet around `content` (which it takes over).
    static Sheet* present(QWidget* window, QWidget* content);

    QWidget* content() const { return m_content; }

Q_SIGNALS:
    void dismissed();

protected:
    void done(int result) override;

private:
    QWidget* m_content = nullptr;
    bool m_dismissed = false;
};

} // namespace tarnwick
