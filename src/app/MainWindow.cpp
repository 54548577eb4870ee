#include "app/MainWindow.h"

#include "platform/AppLog.h"
#include "platform/Preferences.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/ModalFrame.h"
#include "ui/common/OverlayHost.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace tarnwick {

MainWindow::MainWindow(CommandCenter& commands, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tarnwick"));
    // What the window cannot show scrolls; Tab scrolls the control it reaches into view.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("contentScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("rootContent"));
    content->setAutoFillBackground(true);
    QPalette p = content->palette();
    p.setColor(QPalette::Window, Color::brandBackground());
    content->setPalette(p);
    scroll->setPalette(p);
    scroll->setWidget(content);
    setCentralWidget(scroll);
    m_overlayHost = new OverlayHost(content);
    // Maximised by the window manager, the window may be resized before Qt hears of the new
    // state: a place becomes the normal one only once it has lasted a moment in the normal state.
    m_placeSettles.setSingleShot(true);
    m_placeSettles.setInterval(placeSettleMs);
    connect(&m_placeSettles, &QTimer::timeout, this, [this] {
        if (!isVisible() || (windowState() & notNormal))
            return;
        // Back from maximised, where the window manager put it back: within the free area of now.
        if (std::exchange(m_fitWhenSettled, false))
            fitScreen();
        m_normalPlace = geometry();
    });
    m_frameWatch.setInterval(frameWatchIntervalMs);
    connect(&m_frameWatch, &QTimer::timeout, this, &MainWindow::checkFrame);
    if (QScreen* primary = QGuiApplication::primaryScreen())
        setMinimumSize(minimumSizeWithin(primary->availableGeometry(), {}));

    for (const Command command : allCommands()) {
        commands.subscribe(command, this, [this](const CommandPost& post) { handle(post); });
        m_subscribed.append(command);
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::setCommandHandler(Command command, CommandHandler handler) {
    m_handlers[command] = std::move(handler);
}

void MainWindow::setContentView(ContentView* view) {
    auto* content = static_cast<QScrollArea*>(centralWidget())->widget();
    if (!content->layout()) {
        auto* layout = new QVBoxLayout(content);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    content->layout()->addWidget(view);
    m_contentView = view;
    for (const Command command : allCommands())
        setCommandHandler(command, [view](const CommandPost& post) { view->handleCommand(post); });
}

void MainWindow::handle(const CommandPost& post) {
    const auto it = m_handlers.find(commandOf(post));
    if (it == m_handlers.end()) {
        AppLog::debug(QStringLiteral("Command received: ") + text(commandOf(post)));
        return;
    }
    it->second(post);
}

QSize MainWindow::minimumSizeWithin(const QRect& available, const QMargins& frame) {
    const QSize preferred(preferredMinimumWidth, preferredMinimumHeight);
    if (available.isEmpty())
        return preferred;
    const QSize room = available.marginsRemoved(frame).size();
    return preferred.boundedTo(room).expandedTo(QSize(1, 1));
}

QMargins MainWindow::frameMargins() const {
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    // Until the window manager has drawn its frame, the one it drew last time.
    return frame.isNull() ? m_assumedFrame : frame;
}

void MainWindow::fitWithin(const QRect& available, const QMargins& frame) {
    m_seenFrame = frameMargins();
    if (!frame.isNull() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        m_normalFrame = frame;
    setMinimumSize(minimumSizeWithin(available, frame));
    // Maximised or full screen, the window manager sizes the window: a geometry set now would be
    // taken as the place to go back to.
    if (available.isEmpty() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QRect room = available.marginsRemoved(frame);
    QRect placed = geometry();
    placed.setSize(placed.size().boundedTo(room.size()));
    // Until the frame is known (a first start, before the window manager has framed the window),
    // the window manager places it: a place set now would put the title bar where the client's top
    // edge was meant to go, under a panel.
    if (!frame.isNull() || m_placedByUs) {
        placed.moveLeft(std::clamp(placed.left(), room.left(), room.right() - placed.width() + 1));
        placed.moveTop(std::clamp(placed.top(), room.top(), room.bottom() - placed.height() + 1));
    }
    if (placed == geometry())
        return;
    if (placed.topLeft() == geometry().topLeft())
        resize(placed.size());
    else
        setGeometry(placed);
    m_normalPlace = placed;
}

void MainWindow::fitScreen() {
    if (QScreen* where = screen())
        fitWithin(where->availableGeometry(), placeFrame());
}

// Qt 6.4 measures the frame again only now and then: back from maximised it may go on reporting
// the borderless frame of the maximised window (openbox: 0, 19, 0, 0 for 1, 20, 1, 5). The frame
// round the normal window is never taken smaller than the one seen round it before.
QMargins MainWindow::placeFrame() const {
    const QMargins now = frameMargins();
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return m_normalFrame.isNull() ? now : m_normalFrame;
    return {std::max(now.left(), m_normalFrame.left()), std::max(now.top(), m_normalFrame.top()),
            std::max(now.right(), m_normalFrame.right()), std::max(now.bottom(), m_normalFrame.bottom())};
}

// The screen's free area changes with its panels; the window may move to another screen.
void MainWindow::followScreen() {
    QScreen* where = screen();
    if (where == m_followed)
        return;
    if (m_followed)
        disconnect(m_followed, nullptr, this, nullptr);
    m_followed = where;
    if (where)
        connect(where, &QScreen::availableGeometryChanged, this, [this] { fitScreen(); });
}

bool MainWindow::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);

    switch (event->type()) {
    case QEvent::Show:
    case QEvent::ScreenChangeInternal:
        followScreen();
        fitScreen();
        watchFrame();
        // Maximised only once shown in its kept place, which the window manager then keeps as the
        // place to go back to (mapped maximised, the window's first size became that place).
        if (event->type() == QEvent::Show && m_maximizeWhenShown && windowHandle())
            windowHandle()->installEventFilter(this);
        break;
    case QEvent::WindowStateChange:
        if (windowState() & notNormal) {
            m_placeSettles.stop(); // that move was the window manager's, on its way to maximised
        } else {
            // The window manager puts it back a moment later; a fit now would take its place.
            m_fitWhenSettled = true;
            m_placeSettles.start();
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
        // The window manager's frame is known only once the window is mapped.
        if (event->type() != QEvent::Resize && isVisible() && frameMargins() != m_seenFrame &&
            !m_fitWhenSettled)
            fitScreen();
        if (event->type() != QEvent::WindowActivate && !(windowState() & notNormal))
            m_placeSettles.start();
        break;
    default:
        break;
    }
    return handled;
}

// The window manager draws its frame (or another one, back from maximised) a moment after the
// window shows, and no event says when: a short watch fits the window once the frame is known.
void MainWindow::watchFrame() {
    m_frameChecks = frameWatchChecks;
    if (!m_frameWatch.isActive())
        m_frameWatch.start();
}

void MainWindow::checkFrame() {
    if (--m_frameChecks <= 0)
        m_frameWatch.stop();
    if (isVisible() && frameMargins() != m_seenFrame && !m_fitWhenSettled)
        fitScreen();
}

// The first exposure: the window is mapped, so the state goes to the window manager as a request
// about a window it manages, not as a property it reads while mapping it.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed() &&
        std::exchange(m_maximizeWhenShown, false)) {
        windowHandle()->removeEventFilter(this);
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() | Qt::WindowMaximized); }, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::keepGeometryIn(Preferences& preferences) {
    m_geometryStore = &preferences;
    const QRect saved = preferences.value(QString::fromLatin1(geometryKey)).toRect();
    if (!saved.isValid())
        return;
    // Back on its screen while that screen is there, else on the primary one; inside its free area
    // with the frame the window manager drew round it last time (known only once it is shown).
    QScreen* where = QGuiApplication::primaryScreen();
    const QString screenName = preferences.value(QString::fromLatin1(screenKey)).toString();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == screenName)
            where = screen;
    const QRect frame = preferences.value(QString::fromLatin1(frameKey)).toRect();
    const QMargins margins(saved.left() - frame.left(), saved.top() - frame.top(),
                           frame.right() - saved.right(), frame.bottom() - saved.bottom());
    const bool plausible = frame.contains(saved) && std::max({margins.left(), margins.top(), margins.right(),
                                                              margins.bottom()}) <= 200;
    m_assumedFrame = plausible ? margins : QMargins();
    m_normalFrame = m_assumedFrame;
    if (where)
        setMinimumSize(minimumSizeWithin(where->availableGeometry(), m_assumedFrame));
    setGeometry(
        modalFrame::placedWithin(saved, m_assumedFrame, where ? where->availableGeometry() : QRect()));
    m_placedByUs = true;
    m_normalPlace = geometry();
    m_maximizeWhenShown = preferences.value(QString::fromLatin1(maximizedKey)).toBool();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (!event->isAccepted() || !m_geometryStore)
        return;
    const bool maximized = isMaximized() || isFullScreen();
    const QRect normal = m_normalPlace.isValid() ? m_normalPlace : normalGeometry();
    const QRect client = maximized && normal.isValid() ? normal : geometry();
    // A maximised window's frame has no borders: the one kept is the frame of its normal place.
    const QMargins frame = placeFrame();
    m_geometryStore->setValue(QString::fromLatin1(geometryKey), client);
    m_geometryStore->setValue(QString::fromLatin1(frameKey), client.marginsAdded(frame));
    m_geometryStore->setValue(QString::fromLatin1(screenKey), screen() ? screen()->name() : QString());
    m_geometryStore->setValue(QString::fromLatin1(maximizedKey), maximized);
}

void MainWindow::attachReviewPrompt(ReviewPrompt& prompt) {
    if (m_contentView)
        m_contentView->presentations().attachReviewPrompt(prompt);
}

Sheet* MainWindow::reviewSheet() const {
    return m_contentView ? m_contentView->presentations().reviewSheet() : nullptr;
}

} // namespace tarnwick
