#pragma once

#include "ui/common/Command.h"
#include "ui/common/Sheet.h"

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <map>

class QScreen;

namespace tarnwick {

class CommandCenter;
class ContentView;
class OverlayHost;
class Preferences;
class ReviewPrompt;

// The one window. It subscribes to every command and runs the handler registered for it; the
// views that own the handlers register them as they are built. It never asks for more than its
// screen can show: where the screen is smaller than its least size, its content scrolls.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The least size of the whole window, its menu bar included, where the screen has room.
    static constexpr int preferredMinimumWidth = 1280;
    static constexpr int preferredMinimumHeight = 700;

    // The least size on a screen whose free area (less panels) is `available`, round which the
    // window manager draws `frame`: the preferred one, bounded by what the area leaves.
    static QSize minimumSizeWithin(const QRect& available, const QMargins& frame);

    using CommandHandler = std::function<void(const CommandPost& post)>;

    explicit MainWindow(CommandCenter& commands, QWidget* parent = nullptr);
    ~MainWindow() override;

    void setCommandHandler(Command command, CommandHandler handler);
    // The commands the window hears, in subscription order.
    const QList<Command>& subscribedCommands() const { return m_subscribed; }

    // Presents the prompt's sheet when the prompt asks to be shown, once the window is quiet
    // (after the content view is set).
    void attachReviewPrompt(ReviewPrompt& prompt);
    Sheet* reviewSheet() const;

    // Hosts the root view (taken over) and hands it every command.
    void setContentView(ContentView* view);
    ContentView* contentView() const { return m_contentView; }

    // Takes its least size from `available` and `frame`, and shrinks and moves itself into the
    // area where it is larger or lies outside it (moves only once the frame is known, or when it
    // was put back in a kept place; never while maximised). Done on its own for its screen; the
    // screenshot tour asks it for a smaller screen.
    void fitWithin(const QRect& available, const QMargins& frame);
    // Fits its own screen again.
    void fitScreen();

    // Takes the size and place the window had when it was last closed from `preferences` (on a
    // screen that is still there, else the primary one, within its free area), and keeps them
    // there when it closes. Called before the window is shown; a window closed maximised is
    // maximised once shown in that place.
    void keepGeometryIn(Preferences& preferences);
    static constexpr const char* geometryKey = "window/geometry";
    static constexpr const char* frameKey = "window/frame";
    static constexpr const char* screenKey = "window/screen";
    static constexpr const char* maximizedKey = "window/maximized";

    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void handle(const CommandPost& post);
    void followScreen();
    void watchFrame();
    void checkFrame();
    QMargins frameMargins() const;
    QMargins placeFrame() const;

    static constexpr int frameWatchIntervalMs = 100;
    static constexpr int frameWatchChecks = 20;
    static constexpr int placeSettleMs = 300;
    static constexpr Qt::WindowStates notNormal{Qt::WindowMaximized | Qt::WindowFullScreen |
                                                Qt::WindowMinimized};

    std::map<Command, CommandHandler> m_handlers;
    QList<Command> m_subscribed;
    OverlayHost* m_overlayHost = nullptr;
    ContentView* m_contentView = nullptr;
    QMargins m_seenFrame; // the window manager's frame when it was last fitted
    QPointer<QScreen> m_followed;
    Preferences* m_geometryStore = nullptr;
    QMargins m_assumedFrame;   // the window manager's frame of the last session, until this one's is known
    QMargins m_normalFrame;    // the frame round the window's normal (not maximised) place
    bool m_placedByUs = false; // a kept place was restored
    bool m_maximizeWhenShown = false; // it was maximised when it closed
    QTimer m_frameWatch;
    QTimer m_placeSettles;
    bool m_fitWhenSettled = false; // back from maximised: fitted once the window manager has placed it
    QRect m_normalPlace; // the window's last place in the normal state, kept when it closes maximised
    int m_frameChecks = 0;
};

} // namespace tarnwick
