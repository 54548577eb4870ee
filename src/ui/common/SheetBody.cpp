#include "ui/common/SheetBody.h"

#include <QEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>

#include <algorithm>
#include <utility>

namespace tarnwick {

namespace {
// The least height the body keeps before the buttons give way: three lines of text.
constexpr int leastLines = 3;
} // namespace

SheetBody::SheetBody(QWidget* content, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    // No Tab stop of its own: what it holds takes the focus, and is scrolled into view when it does.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    const bool filled = content->autoFillBackground();
    setWidget(content);
    content->setAutoFillBackground(filled);
    // The focus is on the buttons below: the page keys scroll the body from there.
    for (const auto& [key, action] : {std::pair{Qt::Key_PageUp, QAbstractSlider::SliderPageStepSub},
                                      std::pair{Qt::Key_PageDown, QAbstractSlider::SliderPageStepAdd}}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setEnabled(false); // only while it scrolls: the keys are another list's otherwise
        connect(shortcut, &QShortcut::activated, this,
                [this, action] { verticalScrollBar()->triggerAction(action); });
        m_pageKeys.append(shortcut);
    }
}

int SheetBody::barWidth() const {
    return verticalScrollBar()->sizeHint().width();
}

QSize SheetBody::sizeHint() const {
    const QWidget* content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    QSize whole = content->sizeHint()
                      .expandedTo(content->minimumSizeHint())
                      .expandedTo(content->minimumSize())
                      .boundedTo(content->maximumSize());
    // Wrapped text is as tall as the width it is given makes it.
    if (content->hasHeightForWidth())
        whole.setHeight(content->heightForWidth(isVisible() ? viewport()->width() : whole.width()));
    if (m_scrolls)
        whole.rwidth() += barWidth();
    return whole;
}

QSize SheetBody::minimumSizeHint() const {
    const QWidget* content = widget();
    if (!content)
        return QScrollArea::minimumSizeHint();
    const QSize least = content->minimumSizeHint().expandedTo(content->minimumSize());
    const int height = std::min(sizeHint().height(), leastLines * fontMetrics().lineSpacing());
    const QSize minimum(least.width() + (m_scrolls ? barWidth() : 0), height);
    return m_room.isValid() ? minimum.boundedTo(m_room) : minimum;
}

void SheetBody::setRoom(QSize room) {
    m_room = room;
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    updateGeometry();
}

bool SheetBody::event(QEvent* event) {
    const bool handled = QScrollArea::event(event);
    // What it holds changed its size: the sheet round it asks again how large to be.
    if (event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        checkScrolling();
    }
    return handled;
}

void SheetBody::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (widget() && widget()->hasHeightForWidth() && event->size().width() != event->oldSize().width())
        updateGeometry();
    checkScrolling();
}

void SheetBody::checkScrolling() {
    const bool scrolls = verticalScrollBar()->maximum() > 0;
    if (scrolls != m_scrolls) {
        m_scrolls = scrolls;
        for (QShortcut* keys : std::as_const(m_pageKeys))
            keys->setEnabled(scrolls);
        updateGeometry();
    }
}

} // namespace tarnwick
