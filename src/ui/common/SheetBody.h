#pragma once

#include <QList>
#include <QScrollArea>

class QShortcut;

namespace tarnwick {

// The part of an alert or a sheet above its buttons. Where the screen has room it is as large as what
// it holds; where it has not, it scrolls down (the wheel, its bar, Page Up and Page Down), so that the
// buttons below it stay in view. While it scrolls its bar takes its width beside the content rather
// than from it.
class SheetBody : public QScrollArea {
    Q_OBJECT
public:
    // Holds `content`, which it takes over.
    explicit SheetBody(QWidget* content, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool scrolls() const { return m_scrolls; }
    // At most `room` at least, where the screen is smaller than the least of what it holds: it then
    // scrolls across too.
    void setRoom(QSize room);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int barWidth() const;
    void checkScrolling();

    QList<QShortcut*> m_pageKeys;
    QSize m_room;
    bool m_scrolls = false;
};

} // namespace tarnwick
