#include "app/MainWindow.h"

#include "platform/AppLog.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/OverlayHost.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QVBoxLayout>

namespace tarnwick {

MainWindow::MainWindow(CommandCenter& commands, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tarnwick"));
    auto* content = new QWidget(this);
    content->setObjectName(QStringLiteral("rootContent"));
    content->setMinimumSize(minimumContentWidth, minimumContentHeight);
    content->setAutoFillBackground(true);
    QPalette p = content->palette();
    p.setColor(QPalette::Window, Color::brandBackground());
    content->setPalette(p);
    setCentralWidget(content);
    m_overlayHost = new OverlayHost(content);

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
    auto* content = centralWidget();
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

void MainWindow::attachReviewPrompt(ReviewPrompt& prompt) {
    if (m_contentView)
        m_contentView->presentations().attachReviewPrompt(prompt);
}

Sheet* MainWindow::reviewSheet() const {
    return m_contentView ? m_contentView->presentations().reviewSheet() : nullptr;
}

} // namespace tarnwick
