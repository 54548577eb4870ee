// The tour's keyboard and laptop states: the stats sheet scrolled by its keys, a card the focus
// scrolled into view, a playing card under a sheet, the table at 1280 points and the filter field
// on a 1024 × 600 screen.
#include "app/tour/ScreenshotTour.h"
#include "app/tour/TourKeys.h"

#include "analysis/FilterSettings.h"
#include "analysis/ProjectManager.h"
#include "app/MainWindow.h"
#include "ui/browser/FilterBar.h"
#include "ui/cards/ClipCard.h"
#include "ui/cards/ClipCardsView.h"
#include "ui/common/FilterChipToggle.h"
#include "ui/common/Sheet.h"
#include "ui/preview/ClipKind.h"
#include "ui/tools/StatsView.h"
#include "ui/window/ContentView.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace tarnwick {

namespace {

ClipCardsView* cardsView(ContentView& view) {
    return view.findChild<ClipCardsView*>();
}

} // namespace

// PageDown twice with the focus on the sheet's button: the figures scrolled, header and share bar
// in place. Shot on a short screen, where the figures do not all fit.
void ScreenshotTour::statsScrolledByKeys() {
    m_steps << act(
        [this] {
            placeWindowOn(QRect(0, 27, 1024, 573));
            view().handleCommand(Command::showStats);
        },
        500);
    m_steps << act(
                   [this] {
                       // Kept within the small screen, as the sheet keeps itself within a real one.
                       if (auto* stats = findSheet<StatsView>())
                           if (auto* sheet = qobject_cast<Sheet*>(stats->window()))
                               sheet->placeWithin(QRect(0, 27, 1024, 573));
                       tourKeys::press(Qt::Key_PageDown);
                       tourKeys::press(Qt::Key_Down);
                   },
                   300)
            << shot(QStringLiteral("sheet-stats-scrolled-by-keys"));
    closeSheet();
    m_steps << act([this] { putWindowBack(); }, 400);
}

// From the top of the grid, the grid's current card two rows down, below the grid's edge: the grid
// scrolls it into view, the focus on its select button.
void ScreenshotTour::cardFocusScrolls() {
    const auto toTop = [this] {
        if (ClipCardsView* cards = cardsView(view()))
            cards->grid()->revealCard(0);
    };
    const auto focusThirdRow = [this] {
        ClipCardsView* cards = cardsView(view());
        if (!cards)
            return;
        m_window.activateWindow(); // the ring shows on the active window's focus
        cards->grid()->setCurrentIndex(2 * cards->grid()->layout().columns);
        if (ClipCard* card = cards->grid()->liveCards().value(cards->grid()->currentIndex()))
            card->selectButton()->setFocus(Qt::TabFocusReason);
    };
    m_steps << act([this] { view().setDetailViewMode(DetailViewMode::cards); }, 1500) << act(toTop, 800)
            << act(focusThirdRow, 800) << shot(QStringLiteral("cards-focus-scrolled-into-view"))
            << act(toTop, 300);
}

// A video card playing while the statistics sheet is open over the window: its picture stays,
// dimmed with the window.
void ScreenshotTour::playingCardUnderSheet() {
    narrowTo(DetailViewMode::cards, QStringLiteral("Snowfield"));
    m_steps << act(
        [this] {
            if (ClipCardsView* cards = cardsView(view()))
                for (ClipCard* card : cards->grid()->liveCards())
                    if (card->kind() == ClipKind::video) {
                        card->startAudioPlayback();
                        break;
                    }
        },
        1200);
    m_steps << act([this] { view().handleCommand(Command::showStats); }, 800)
            << shot(QStringLiteral("cards-playing-under-sheet"));
    closeSheet();
    resetNarrowing();
}

// The table on a window 1280 points wide (the name column before the status), and the window on
// a 1024 × 600 screen with "Drone" typed in the filter field and the chips that gave way in the
// "More" menu.
void ScreenshotTour::laptopWidths() {
    const auto onScreen = [this](QRect available) { return [this, available] { placeWindowOn(available); }; };
    const auto filter = [this](const QString& text) {
        manager().updateFilters([&](FilterSettings& filters) { filters.filterText = text; });
        if (auto* bar = view().findChild<FilterBar*>())
            bar->searchField()->setFocus(Qt::TabFocusReason);
    };
    const auto openMore = [this] {
        if (auto* bar = view().findChild<FilterBar*>(); bar && bar->moreChip()->isVisible())
            bar->moreChip()->click();
    };
    const auto back = [this, filter] {
        if (auto* bar = view().findChild<FilterBar*>())
            bar->moreMenu()->close();
        filter({});
        putWindowBack();
    };
    m_steps << act([this] { view().setDetailViewMode(DetailViewMode::table); }, 300);
    if (screenHolds(QRect(0, 0, 1280, 800)))
        m_steps << act(onScreen(QRect(0, 0, 1280, 800)), 1500) << shot(QStringLiteral("table-at-1280"));
    m_steps << act(onScreen(QRect(0, 27, 1024, 573)), 400)
            << act([filter] { filter(QStringLiteral("Drone")); }, 400)
            << shot(QStringLiteral("window-1024x600-filter-field")) << act(openMore, 400)
            << shot(QStringLiteral("window-1024x600-more-filters")) << act(back, 400);
}

} // namespace tarnwick
