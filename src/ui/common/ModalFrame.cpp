#include "ui/common/ModalFrame.h"

#include "ui/brand/BrandPalette.h"

#include <QDialog>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

#include <algorithm>

namespace tarnwick::modalFrame {

namespace {

const char* const dimmingName = "modalDimming";

// A translucent layer over the whole window (menu bar included), shown while any of its dialogs is.
class Dimming : public QWidget {
public:
    explicit Dimming(QWidget* window) : QWidget(window) {
        setObjectName(QString::fromLatin1(dimmingName));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        window->installEventFilter(this);
        follow();
    }

    void keep(QDialog* dialog) {
        if (!m_dialogs.contains(dialog)) {
            m_dialogs.append(dialog);
            dialog->installEventFilter(this);
            connect(dialog, &QObject::destroyed, this, [this] { release(); });
        }
        follow();
        watchPictures();
        show();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent()) {
            if (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded)
                follow();
        } else if (event->type() == QEvent::Hide) {
            m_dialogs.removeAll(static_cast<QDialog*>(watched));
            watched->removeEventFilter(this);
            release();
        }
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintPictures(painter);
        painter.fillRect(rect(), Color::modalBackdrop());
    }

private:
    void follow() {
        setGeometry(parentWidget()->rect());
        raise();
    }
    void release() {
        m_dialogs.removeAll(nullptr);
        for (const auto& dialog : std::as_const(m_dialogs))
            if (dialog->isVisible())
                return;
        hide(); // kept for the next dialog
        stopWatchingPictures();
    }

    // A video's picture is a window of its own that the window's other widgets never hold: the
    // dimming, which lies over it, draws its frames itself, or the picture would go black.
    QList<QVideoWidget*> pictures() const {
        QList<QVideoWidget*> shown;
        for (QVideoWidget* video : parentWidget()->findChildren<QVideoWidget*>())
            if (video->window() == parentWidget() && video->isVisible())
                shown.append(video);
        return shown;
    }

    void watchPictures() {
        stopWatchingPictures();
        for (QVideoWidget* video : pictures()) {
            m_pictureConnections << connect(
                video->videoSink(), &QVideoSink::videoFrameChanged, this,
                [this, picture = QPointer<QVideoWidget>(video)] {
                    if (picture)
                        update(QRect(picture->mapTo(parentWidget(), QPoint()), picture->size()));
                });
        }
    }

    void stopWatchingPictures() {
        for (const QMetaObject::Connection& connection : std::as_const(m_pictureConnections))
            disconnect(connection);
        m_pictureConnections.clear();
    }

    void paintPictures(QPainter& painter) {
        for (QVideoWidget* video : pictures()) {
            const QImage frame = video->videoSink()->videoFrame().toImage();
            const QPoint at = video->mapTo(parentWidget(), QPoint());
            const QRect area(at, video->size());
            painter.save();
            // Only what shows of it: a card's player may be scrolled partly out of its grid.
            painter.setClipRegion(video->visibleRegion().translated(at));
            painter.fillRect(area, Qt::black);
            if (!frame.isNull()) {
                QRect fitted(QPoint(), frame.size().scaled(area.size(), Qt::KeepAspectRatio));
                fitted.moveCenter(area.center());
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(fitted, frame);
            }
            painter.restore();
        }
    }

    QList<QPointer<QDialog>> m_dialogs;
    QList<QMetaObject::Connection> m_pictureConnections;
};

// A line along the inside of the dialog's edge, above its content; clicks go through it.
class Frame : public QWidget {
public:
    explicit Frame(QDialog* dialog) : QWidget(dialog) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        dialog->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() && (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded ||
                                    event->type() == QEvent::Show))
            follow();
        return QWidget::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const qreal line = modalFrame::width;
        painter.setPen(QPen(Color::brandBorder(), line));
        painter.drawRect(QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2));
    }

private:
    void follow() {
        setGeometry(parentWidget()->rect());
        raise();
    }
};

// The margins between a window's frame and its own rectangle.
QMargins frameMargins(const QWidget& window) {
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

// Places its dialog again when the window manager's frame round it is not the one it was placed
// with: the frame is known only once the dialog is mapped, moved or activated.
class Placer : public QObject {
public:
    Placer(QDialog* dialog, Place place) : QObject(dialog), m_dialog(dialog), m_place(std::move(place)) {
        dialog->installEventFilter(this);
    }
    void setPlace(Place place) { m_place = std::move(place); }
    void placeNow() {
        m_placed = false;
        check();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == m_dialog && (type == QEvent::Move || type == QEvent::Resize ||
                                    type == QEvent::WindowActivate || type == QEvent::Show))
            check();
        return QObject::eventFilter(watched, event);
    }

private:
    void check() {
        if (!m_dialog->isVisible() || m_placing)
            return;
        const QMargins margins = decoration(*m_dialog);
        if (m_placed && margins == m_used)
            return;
        QScreen* where = m_dialog->screen();
        if (!where)
            return;
        m_placed = true;
        m_used = margins;
        m_placing = true;
        m_place(where->availableGeometry(), margins);
        m_placing = false;
    }

    QDialog* m_dialog;
    Place m_place;
    QMargins m_used;
    bool m_placed = false;
    bool m_placing = false;
};

} // namespace

void dimWindowBehind(QDialog& dialog) {
    QWidget* parent = dialog.parentWidget();
    if (!parent)
        return;
    QWidget* window = parent->window();
    auto* dimming = window->findChild<Dimming*>(QString::fromLatin1(dimmingName), Qt::FindDirectChildrenOnly);
    if (!dimming)
        dimming = new Dimming(window);
    dimming->keep(&dialog);
}

QWidget* dimming(const QWidget& window) {
    auto* found = window.findChild<Dimming*>(QString::fromLatin1(dimmingName), Qt::FindDirectChildrenOnly);
    return found && found->isVisible() ? found : nullptr;
}

void addFrame(QDialog& dialog) {
    new Frame(&dialog);
}

void setDialogButtons(QDialog& dialog) {
    const Qt::WindowFlags type = dialog.windowFlags() & Qt::WindowType_Mask;
    dialog.setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
}

QMargins decoration(const QDialog& dialog) {
    const QMargins own = frameMargins(dialog);
    if (!own.isNull())
        return own;
    const QWidget* behind = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    return behind && behind->isVisible() ? frameMargins(*behind) : QMargins();
}

void keepOnScreen(QDialog& dialog, Place place) {
    Placer* placer = nullptr;
    for (QObject* child : dialog.children()) {
        if (auto* found = dynamic_cast<Placer*>(child))
            placer = found;
    }
    if (placer)
        placer->setPlace(std::move(place));
    else
        placer = new Placer(&dialog, std::move(place));
    placer->placeNow();
}

QRect placedWithin(QRect dialog, QMargins decoration, QRect available) {
    return placedWithin(dialog.marginsAdded(decoration), available).marginsRemoved(decoration);
}

QRect placedWithin(QRect frame, QRect available) {
    if (available.isEmpty())
        return frame;
    frame.setWidth(std::min(frame.width(), available.width()));
    frame.setHeight(std::min(frame.height(), available.height()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    return frame;
}

} // namespace tarnwick::modalFrame
