#include "app/MainWindow.h"

#include "platform/AppLog.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/CommandNames.h"
#include "ui/common/OverlayHost.h"
#include "ui/common/ReviewPrompt.h"
#include "ui/common/ReviewPromptSheet.h"
#include "ui/common/Sheet.h"
#include "ui/window/ContentView.h"

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

    for (const auto& name : CommandName::all()) {
        commands.subscribe(name, this, [this, name](const QVariantMap& payload) { handle(name, payload); });
        m_subscribed.append(name);
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::setCommandHandler(const QString& name, CommandHandler handler) {
    m_handlers.insert(name, std::move(handler));
}

void MainWindow::setContentView(ContentView* view) {
    auto* content = centralWidget();
    if (!content->layout()) {
        auto* layout = new QVBoxLayout(content);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    content->layout()->addWidget(view);
    m_contentView = view;
    for (const auto& name : CommandName::all())
        setCommandHandler(name,
                          [view, name](const QVariantMap& payload) { view->handleCommand(name, payload); });
}

void MainWindow::handle(const QString& name, const QVariantMap& payload) {
    const auto it = m_handlers.constFind(name);
    if (it == m_handlers.constEnd()) {
        AppLog::debug(QStringLiteral("Command received: ") + name);
        return;
    }
    it.value()(payload);
}

void MainWindow::attachReviewPrompt(ReviewPrompt& prompt) {
    connect(&prompt, &ReviewPrompt::isPresentingChanged, this, [this, &prompt](bool presenting) {
        if (presenting)
            showReviewSheet(prompt);
        else if (m_reviewSheet)
            m_reviewSheet->close();
    });
    if (prompt.isPresenting())
        showReviewSheet(prompt);
}

void MainWindow::showReviewSheet(ReviewPrompt& prompt) {
    if (m_reviewSheet)
        return;
    auto* content = new ReviewPromptSheet(prompt);
    m_reviewSheet = Sheet::present(this, content);
    connect(content, &ReviewPromptSheet::dismissRequested, m_reviewSheet.data(), &QDialog::close);
    // However the sheet goes away, the prompt is no longer presenting.
    connect(m_reviewSheet.data(), &Sheet::dismissed, &prompt, &ReviewPrompt::dismiss);
}

} // namespace tarnwick
