// The tour's states from a first launch to an imported library.
#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "app/MainWindow.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

namespace tarnwick {

// The guide opens with the focus on Next; Tab takes it round to Skip and Shift+Tab back.
void ScreenshotTour::welcome() {
    const auto press = [](Qt::Key key) {
        if (QWidget* target = QApplication::focusWidget()) {
            QKeyEvent event(QEvent::KeyPress, key,
                            key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        }
    };
    // Without a window manager nothing makes the window active at start; a user's window is.
    m_steps << act([this] { m_window.activateWindow(); }, 800) << shot(QStringLiteral("welcome"))
            << act([press] { press(Qt::Key_Tab); }, 300) << shot(QStringLiteral("welcome-focus-skip"))
            << act([press] { press(Qt::Key_Backtab); }, 300);
}

void ScreenshotTour::empty() {
    m_steps << act([this] { view().setHasCompletedWelcome(true); }, 400) << shot(QStringLiteral("empty"));
}

// Caught on the import's first progress report; the tour goes on once the import is done.
void ScreenshotTour::analysing() {
    m_steps << [this] {
        ProjectManager& pm = manager();
        connect(&pm, &ProjectManager::progressChanged, this, [this, &pm] {
            if (pm.progress().isAnalyzing && pm.progress().totalFilesToScan > 0 && !m_analysingShot) {
                m_analysingShot = true;
                // After this turn's layouts, so the overlay shows the count too.
                QTimer::singleShot(0, this, [this, &pm] {
                    if (pm.progress().isAnalyzing)
                        shoot(QStringLiteral("analysing"));
                });
            }
        });
        connect(
            &view(), &ContentView::importFinished, this, [this] { after(1200, [this] { next(); }); },
            Qt::SingleShotConnection);
        view().handleDrop(m_projects);
    };
}

// The prompts an import raises come one at a time; each is shot, then answered "not now".
void ScreenshotTour::importPrompts() {
    for (int i = 0; i < 4; ++i) {
        m_steps << [this] {
            if (view().presentations().current()) {
                shoot(QStringLiteral("prompt-") +
                      view().presentations().currentName().section(QLatin1Char(' '), 0, 1));
                closeDialogs();
            }
            after(500, [this] { next(); });
        };
    }
}

void ScreenshotTour::imported() {
    m_steps << shot(QStringLiteral("imported"));
}

void ScreenshotTour::importedTimelines() {
    m_steps << act(
                   [this] {
                       if (!manager().projects().isEmpty())
                           sidebar()->setExpanded(manager().projects().first().id, true);
                   },
                   300)
            << shot(QStringLiteral("imported-timelines"));
}

void ScreenshotTour::importedSweep() {
    m_steps << act(
                   [this] {
                       QScrollBar* bar = sidebar()->verticalScrollBar();
                       bar->setValue(bar->maximum());
                   },
                   300)
            << shot(QStringLiteral("imported-sweep"));
}

} // namespace tarnwick
