// The welcome guide's pages after its first, each reached with the Right key as a user would.
#include "app/tour/ScreenshotTour.h"

#include "ui/window/ContentView.h"
#include "ui/window/WelcomeView.h"

#include <QKeyEvent>

namespace tarnwick {

void ScreenshotTour::welcomePages() {
    for (int page = 2; page <= int(WelcomeView::steps().size()); ++page) {
        m_steps << act(
                       [this] {
                           QWidget* target = QApplication::focusWidget();
                           if (!target)
                               target = view().welcomeView();
                           if (!target)
                               return;
                           QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
                           QApplication::sendEvent(target, &press);
                       },
                       400)
                << shot(QStringLiteral("welcome-page-%1").arg(page));
    }
}

} // namespace tarnwick
