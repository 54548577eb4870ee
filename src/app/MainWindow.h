#pragma once

#include "ui/common/Command.h"
#include "ui/common/Sheet.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>

namespace tarnwick {

class CommandCenter;
class ContentView;
class OverlayHost;
class ReviewPrompt;

// The one window. It subscribes to every command and runs the handler registered for it; the
// views that own the handlers register them as they are built.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int minimumContentWidth = 1280;
    static constexpr int minimumContentHeight = 700;

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

    OverlayHost& overlayHost() { return *m_overlayHost; }

    // Hosts the root view (taken over) and hands it every command.
    void setContentView(ContentView* view);
    ContentView* contentView() const { return m_contentView; }

private:
    void handle(const CommandPost& post);

    std::map<Command, CommandHandler> m_handlers;
    QList<Command> m_subscribed;
    OverlayHost* m_overlayHost = nullptr;
    ContentView* m_contentView = nullptr;
};

} // namespace tarnwick
