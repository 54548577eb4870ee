// The tour's media views: cards with hover scrubbing and playback, the scrub sheets, the table,
// the storage map and the image preview.
#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "app/MainWindow.h"
#include "platform/PathText.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/browser/StorageMapView.h"
#include "ui/cards/ClipCard.h"
#include "ui/cards/ClipCardsView.h"
#include "ui/common/Sheet.h"
#include "ui/common/ViewHelpers.h"
#include "ui/preview/ClipKind.h"
#include "ui/scrub/MediaScrubView.h"
#include "ui/window/ContentView.h"

#include <QCursor>
#include <QFileInfo>
#include <QTableView>

#include <algorithm>

namespace tarnwick {

namespace {

// The first live card of `kind` (or, with `ready`, the first video card whose engine has its poster).
ClipCard* firstCard(ContentView& view, ClipKind kind, bool ready = false) {
    auto* cards = view.findChild<ClipCardsView*>();
    if (!cards)
        return nullptr;
    // In grid order: the live cards are kept by their index, in no order.
    const QHash<int, ClipCard*>& live = cards->grid()->liveCards();
    QList<int> indices = live.keys();
    std::sort(indices.begin(), indices.end());
    for (const int index : std::as_const(indices)) {
        ClipCard* card = live.value(index);
        if (card->kind() == kind && (!ready || (card->scrubEngine() && card->scrubEngine()->ready())))
            return card;
    }
    return nullptr;
}

} // namespace

void ScreenshotTour::cards() {
    m_steps << act([this] { view().setDetailViewMode(DetailViewMode::cards); }, 2500) // posters and stills
            << shot(QStringLiteral("cards"));
}

void ScreenshotTour::cardsHover() {
    hoverFirstVideoCard();
    m_steps << shot(QStringLiteral("cards-hover"));
    endHover();
}

// The pointer a third of the way over the first video card that has its poster, moved there on the
// screen so that the card sees it enter and move as a user's pointer.
void ScreenshotTour::hoverFirstVideoCard() {
    m_steps << act(
        [this] {
            if (ClipCard* card = firstCard(view(), ClipKind::video, true))
                QCursor::setPos(card->mapToGlobal(QPoint(card->width() / 3, 80)));
        },
        1500);
}

// The pointer leaves the cards for the window's top left corner.
void ScreenshotTour::endHover() {
    m_steps << act([this] { QCursor::setPos(m_window.mapToGlobal(QPoint(1, 1))); }, 300);
}

void ScreenshotTour::scrubVideo() {
    scrubSheet(false);
}

void ScreenshotTour::scrubAudio() {
    scrubSheet(true);
}

// The scrub sheet of the first file on disk of its kind.
void ScreenshotTour::scrubSheet(bool audio) {
    m_steps << act(
                   [this, audio] {
                       for (const MediaFile& file : manager().mediaFiles()) {
                           if (file.isOnDisk() &&
                               mediaKind(file) == (audio ? ClipKind::audio : ClipKind::video)) {
                               const QString path = standingPath(file);
                               Sheet::present(&m_window,
                                              createMediaScrubView(path, QFileInfo(path).fileName(), audio));
                               break;
                           }
                       }
                   },
                   3000)
            << shotAndClose(audio ? QStringLiteral("sheet-scrub-audio") : QStringLiteral("sheet-scrub-video"),
                            500);
}

void ScreenshotTour::importedTable() {
    m_steps << act([this] { view().setDetailViewMode(DetailViewMode::table); }, 2500) // thumbnails arrive
            << shot(QStringLiteral("imported-table"));
}

// A selected row with the keyboard in the table: every text of the row in the selection's colour,
// the current cell without a block of its own.
void ScreenshotTour::tableSelectedRow() {
    const auto select = [this](bool on) {
        auto* list = view().findChild<MediaFileListView*>();
        if (!list || list->model()->rowCount() < 2)
            return;
        list->setSelectedFiles(on ? QSet<QUuid>{list->model()->file(1).id} : QSet<QUuid>{});
        if (on) {
            list->table()->setCurrentIndex(list->model()->index(1, MediaTableModel::fileName));
            list->table()->setFocus(Qt::TabFocusReason);
        }
    };
    m_steps << act(
                   [this, select] {
                       view().setDetailViewMode(DetailViewMode::table);
                       select(true);
                   },
                   400)
            << shot(QStringLiteral("table-selected-row")) << act([select] { select(false); }, 200);
}

void ScreenshotTour::smallScreens() {
    const auto onScreen = [this](QRect available) { return [this, available] { placeWindowOn(available); }; };
    const auto back = [this] { putWindowBack(); };
    // 1366 × 768 under a 44-point panel; 1024 × 600 under a 27-point one.
    if (screenHolds(QRect(0, 44, 1366, 724)))
        m_steps << act(onScreen(QRect(0, 44, 1366, 724)), 400) << shot(QStringLiteral("window-1366x768"));
    m_steps << act(onScreen(QRect(0, 27, 1024, 573)), 400) << shot(QStringLiteral("window-1024x600"))
            << act(back, 400);
}

void ScreenshotTour::importedMap() {
    m_steps << act([this] { view().setDetailViewMode(DetailViewMode::map); }, 300)
            << shot(QStringLiteral("imported-map"));
}

void ScreenshotTour::importedMapProject() {
    m_steps << act(
                   [this] {
                       if (auto* map = view().findChild<StorageMapView*>();
                           map && !map->footprints().isEmpty())
                           map->drillInto(map->footprints().first().project.name);
                   },
                   300)
            << shot(QStringLiteral("imported-map-project"));
}

// The preview of the first image on disk in the table.
void ScreenshotTour::imagePreview() {
    m_steps << act(
                   [this] {
                       view().setDetailViewMode(DetailViewMode::table);
                       auto* table = view().findChild<MediaFileListView*>();
                       for (int row = 0; table && row < table->model()->rowCount(); ++row) {
                           const MediaFile& file = table->model()->file(row);
                           if (file.isOnDisk() &&
                               mediaKindFromExtension(path::pathExtension(file.path)) == MediaKind::image) {
                               table->previewRow(row);
                               break;
                           }
                       }
                   },
                   800)
            << shotAndClose(QStringLiteral("sheet-image-preview"));
}

// The view narrowed by the filter to one clip, once posters, stills and thumbnails arrived.
void ScreenshotTour::narrowTo(DetailViewMode mode, const QString& filter) {
    m_steps << act(
        [this, mode, filter] {
            view().setDetailViewMode(mode);
            manager().updateFilters([&](FilterSettings& filters) { filters.filterText = filter; });
        },
        2500);
}

void ScreenshotTour::resetNarrowing() {
    m_steps << act(
        [this] {
            if (auto* cards = view().findChild<ClipCardsView*>())
                for (ClipCard* card : cards->grid()->liveCards())
                    card->stopPlayback();
            manager().updateFilters([](FilterSettings& filters) { filters.filterText = QString(); });
        },
        300);
}

// A bright poster under its badges, then the video card after play was pressed (its controls, or
// the note of a system without sound).
void ScreenshotTour::brightPosterAndVideoPlaying() {
    narrowTo(DetailViewMode::cards, QStringLiteral("Snowfield"));
    m_steps << shot(QStringLiteral("cards-bright-poster"));
    m_steps << act(
                   [this] {
                       if (ClipCard* card = firstCard(view(), ClipKind::video))
                           card->startAudioPlayback();
                   },
                   1500)
            << shot(QStringLiteral("cards-video-playing"));
    resetNarrowing();
}

void ScreenshotTour::audioPlayPressed() {
    narrowTo(DetailViewMode::cards, QStringLiteral("Room_Tone"));
    m_steps << act(
                   [this] {
                       if (ClipCard* card = firstCard(view(), ClipKind::audio))
                           card->startAudioPlayback();
                   },
                   1000)
            << shot(QStringLiteral("cards-audio-play-pressed"));
    resetNarrowing();
}

// A name with CJK text and underscores in the table.
void ScreenshotTour::tableCjkName() {
    narrowTo(DetailViewMode::table, QStringLiteral("_Street_"));
    m_steps << shot(QStringLiteral("table-cjk-name"));
    resetNarrowing();
}

} // namespace tarnwick
