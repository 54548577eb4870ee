// The tour's card-grid states: the grid by keys (its current card, then that card's buttons) and the
// demo's camera file (MPEG-2 4:2:2 in MXF, under a Japanese name) playing in its card and full screen.
#include "app/tour/ScreenshotTour.h"
#include "app/tour/TourKeys.h"

#include "app/MainWindow.h"
#include "ui/cards/ClipCard.h"
#include "ui/cards/ClipCardsView.h"
#include "ui/preview/ClipKind.h"
#include "ui/preview/MediaPlayerView.h"
#include "ui/window/ContentView.h"

#include <QKeyEvent>
#include <QScreen>
#include <QToolButton>

namespace tarnwick {

namespace {

ClipCardGrid* cardGrid(ContentView& view) {
    auto* cards = view.findChild<ClipCardsView*>();
    return cards ? cards->grid() : nullptr;
}

} // namespace

// Tab onto the grid, then Down twice and Right: the current card, two rows down, wears the ring and
// came into view; Tab goes on to that card's select button.
void ScreenshotTour::cardGridKeys() {
    const auto focusGrid = [this] {
        ClipCardGrid* grid = cardGrid(view());
        if (!grid)
            return;
        m_window.activateWindow(); // the ring shows on the active window's focus
        grid->revealCard(0);
        grid->setCurrentIndex(0);
        grid->setFocus(Qt::TabFocusReason);
    };
    const auto keys = [] {
        tourKeys::press(Qt::Key_Down);
        tourKeys::press(Qt::Key_Down);
        tourKeys::press(Qt::Key_Right);
    };
    const auto toTop = [this] {
        if (ClipCardGrid* grid = cardGrid(view()))
            grid->revealCard(0);
    };
    m_steps << act([this] { view().setDetailViewMode(DetailViewMode::cards); }, 1500) << act(focusGrid, 600)
            << act(keys, 800) << shot(QStringLiteral("cards-grid-current-card"))
            << act([] { tourKeys::press(Qt::Key_Tab); }, 400)
            << shot(QStringLiteral("cards-grid-card-buttons")) << act(toTop, 300);
}

// The camera file playing in its card: past its first frame, no failure; then full screen, where
// the picture goes on with the playback.
void ScreenshotTour::cameraCardPlaying() {
    narrowTo(DetailViewMode::cards, QStringLiteral("Street_Wide"));
    const auto player = [this]() -> MediaPlayerView* {
        if (ClipCardGrid* grid = cardGrid(view()))
            for (ClipCard* card : grid->liveCards())
                if (auto* view = card->findChild<MediaPlayerView*>())
                    return view;
        return nullptr;
    };
    const auto play = [this] {
        if (ClipCardGrid* grid = cardGrid(view()))
            for (ClipCard* card : grid->liveCards())
                if (card->kind() == ClipKind::video) {
                    card->startAudioPlayback();
                    return;
                }
    };
    const auto fullScreen = [player] {
        MediaPlayerView* view = player();
        if (!view)
            return;
        view->fullScreenButton()->click();
        // The tour's display has no window manager to make it fill the screen.
        if (QWidget* full = view->fullScreenWindow())
            full->setGeometry(full->screen()->geometry());
    };
    const auto leave = [player] {
        if (MediaPlayerView* view = player())
            if (QWidget* full = view->fullScreenWindow())
                full->close();
    };
    m_steps << act(play, 2500) << shot(QStringLiteral("cards-camera-mxf-playing")) << act(fullScreen, 1500)
            << shot(QStringLiteral("cards-camera-mxf-full-screen")) << act(leave, 400);
    resetNarrowing();
}

} // namespace tarnwick
