#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include "ui/common/Sheet.h"

#include <functional>

namespace tarnwick {

class CommandCenter;
class ContentView;
class OverlayHost;
class ReviewPrompt;

// The one window. It subscribes to every command by name and runs the handler registered for
// it; the views that own the handlers register them as they are built.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int minimumContentWidth = 1280;
    static constexpr int minimumContentHeight = 700;

    using CommandHandler = std::function<void(const QVariantMap& payload)>;

    explicit MainWindow(CommandCenter& commands, QWidget* parent = nullptr);
    ~MainWindow() override;

    void setCommandHandler(const QString& name, CommandHandler handler);
    // The commands the window heard, in subscription order of their names.
    const QStringList& subscribedCommands() const { return m_subscribed; }

    // Presents the prompt's sheet whenever the prompt asks to be shown.
    void attachReviewPrompt(ReviewPrompt& prompt);
    Sheet* reviewSheet() const { return m_reviewSheet.data(); }

    OverlayHost& overlayHost() { return *m_overlayHost; }

    // Hosts the root view (taken over) and hands it every command.
    void setContentView(ContentView* view);
    ContentView* contentView() const { return m_contentView; }

private:
    void handle(const QString& name, const QVariantMap& payload);
    void showReviewSheet(ReviewPrompt& prompt);

    QHash<QString, CommandHandler> m_handlers;
    QStringList m_subscribed;
    OverlayHost* m_overlayHost = nullptr;
    QPointer<Sheet> m_reviewSheet;
    ContentView* m_contentView = nullptr;
};

} // namespace tarnwick
