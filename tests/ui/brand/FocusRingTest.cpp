#include "stores/AuditLogManager.h"
#include "support/ColourContrast.h"
#include "support/FakeScrubFrameSource.h"
#include "support/ProjectManagerHarness.h"
#include "ui/bin/BinWidgets.h"
#include "ui/bin/RecycleBinView.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandPrimaryButton.h"
#include "ui/brand/BrandStyle.h"
#include "ui/brand/BrandTheme.h"
#include "ui/brand/FocusRingButton.h"
#include "ui/browser/FilterBar.h"
#include "ui/cards/ClipCard.h"
#include "ui/cards/ClipCardGrid.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/FilterChipToggle.h"
#include "ui/preview/MediaPlayerView.h"
#include "ui/preview/ScrubEngine.h"
#include "ui/tools/AuditLogView.h"
#include "ui/tools/StatsView.h"
#include "ui/window/WelcomeDot.h"
#include "ui/window/WelcomeView.h"
#include "ui/window/WindowTestFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMediaPlayer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSlider>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

bool changed(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())}) >= 64;
}

// The ring as the pixels show it, scanned inwards from the button's left edge and top edge.
struct Ring {
    double outerOnSurroundings = 0; // the ring's outermost pixel against what is round the button
    double innerOnFill = 0;         // its innermost pixel against the button's own fill
    int gapLeft = 0;                // clear pixels between the ring and the label
    int gapTop = 0;
};

// Along `line` (points from outside the button inwards): where the ring starts (the first pixel the
// focus changed), where it ends (the last pixel before the button's fill shows again) and the first
// label pixel after it.
struct Scan {
    int ringStart = -1;
    int ringEnd = -1;
    int label = -1;
};

Scan scan(const QImage& rest, const QImage& focused, const QList<QPoint>& line, QColor fill) {
    Scan s;
    for (int i = 0; i < line.size(); ++i) {
        if (s.ringStart < 0) {
            if (changed(rest.pixelColor(line[i]), focused.pixelColor(line[i])))
                s.ringStart = i;
        } else if (s.ringEnd < 0) {
            if (contrastRatio(focused.pixelColor(line[i]), fill) < 1.2)
                s.ringEnd = i - 1;
        } else if (contrastRatio(rest.pixelColor(line[i]), fill) >= 1.5) {
            s.label = i;
            break;
        }
    }
    return s;
}

Ring measure(QWidget& button, const QColor& surroundings) {
    QWidget backdrop;
    backdrop.setAutoFillBackground(true);
    QPalette colors = backdrop.palette();
    colors.setColor(QPalette::Window, surroundings);
    backdrop.setPalette(colors);
    QPushButton other(QStringLiteral("Other"), &backdrop);
    button.setParent(&backdrop);
    button.resize(button.sizeHint().expandedTo(QSize(160, 0)));
    button.move(12, 12);
    other.move(12, button.height() + 24);
    backdrop.resize(button.width() + 24, button.height() + other.sizeHint().height() + 36);
    backdrop.show();
    backdrop.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&backdrop));
    other.setFocus(Qt::TabFocusReason);
    const QImage rest = backdrop.grab().toImage();
    button.setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(button.hasFocus());
    const QImage focused = backdrop.grab().toImage();
    button.setParent(nullptr);

    const QRect r = button.geometry();
    const QPoint middle = r.center();
    QList<QPoint> across, down;
    for (int x = r.left() - 4; x < middle.x(); ++x)
        across.append({x, middle.y()});
    // Down through the label's middle third, where a glyph is found in one column or another.
    const QColor fill = rest.pixelColor(r.left() + 8, r.top() + r.height() / 2);
    const Scan a = scan(rest, focused, across, fill);
    Scan d;
    for (int x = middle.x() - r.width() / 6; x <= middle.x() + r.width() / 6; ++x) {
        QList<QPoint> column;
        for (int y = r.top() - 4; y < r.bottom(); ++y)
            column.append({x, y});
        const Scan c = scan(rest, focused, column, fill);
        if (c.label >= 0 && (d.label < 0 || c.label < d.label))
            d = c;
    }
    Ring ring;
    if (a.ringStart < 0 || a.ringEnd < 0 || a.label < 0 || d.label < 0) {
        ADD_FAILURE() << "no ring or no label found";
        return ring;
    }
    ring.outerOnSurroundings = contrastRatio(focused.pixelColor(across[a.ringStart]), surroundings);
    ring.innerOnFill = contrastRatio(focused.pixelColor(across[a.ringEnd]), fill);
    ring.gapLeft = a.label - a.ringEnd - 1;
    ring.gapTop = d.label - d.ringEnd - 1;
    return ring;
}

void expectRingReads(const Ring& ring) {
    EXPECT_GE(ring.outerOnSurroundings, 3.0);
    EXPECT_GE(ring.innerOnFill, 3.0);
    EXPECT_GE(ring.gapLeft, 2);
    EXPECT_GE(ring.gapTop, 2);
}

struct BrandLook {
    BrandLook() : style(QApplication::style()->name()), colors(QApplication::palette()) {
        QApplication::setStyle(new BrandStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
        QApplication::setPalette(brandWidgetPalette());
    }
    ~BrandLook() {
        QApplication::setStyle(style);
        QApplication::setPalette(colors);
    }
    QString style;
    QPalette colors;
};

} // namespace

// The ring reads against the fill it sits on and against what lies round the button, and leaves
// room before the label: on the violet primary button, the accent-filled default of an alert, and
// the indigo "Transcode & Replace".
TEST(FocusRing, ReadsAgainstTheButtonAndItsSurroundingsWithAGapToTheLabel) {
    const BrandLook look;
    {
        SCOPED_TRACE("primary");
        BrandPrimaryButton primary(QStringLiteral("Get Started"));
        expectRingReads(measure(primary, Color::welcomeCardBackground()));
    }
    {
        SCOPED_TRACE("accent");
        FocusRingButton accent(QStringLiteral("Search Offline Files..."));
        accent.setProminent(true);
        expectRingReads(measure(accent, Color::brandSurfaceRaised()));
    }
    {
        SCOPED_TRACE("indigo");
        QPushButton* indigo = BinWidgets::tintedButton(QStringLiteral("Transcode & Replace"),
                                                       Color::darkSystemIndigo(), true, {}, nullptr);
        const auto drop = qScopeGuard([indigo] { delete indigo; });
        expectRingReads(measure(*indigo, Color::modalCardBackground()));
    }
    {
        SCOPED_TRACE("plain");
        QPushButton plain(QStringLiteral("Choose Folder..."));
        expectRingReads(measure(plain, Color::modalCardBackground()));
    }
}

namespace {

// A slider that tells the test where its handle is.
struct HandleSlider : QSlider {
    using QSlider::initStyleOption;
    using QSlider::QSlider;
};

// One control where it shows: Tab comes to it from `away` (none: the focus is just cleared), and its
// ring is looked for in `area` of `where`.
struct Target {
    QWidget* control;
    QWidget* away;
    QWidget* where;
    QRect area;
};

// Grabs the area from the window, as it shows over what lies behind, at rest and focused: the
// pixels that changed to a colour reading at 3:1 against what showed there at rest make about half
// a ring round the area's edge at least. The focus stays.
void expectRing(const Target& t) {
    ASSERT_TRUE(t.control->focusPolicy() & Qt::TabFocus) << "Tab reaches it";
    QWidget* window = t.where->window();
    const QRect area(t.where->mapTo(window, t.area.topLeft()), t.area.size());
    if (t.away)
        t.away->setFocus(Qt::TabFocusReason);
    else
        t.control->clearFocus();
    ASSERT_FALSE(t.control->hasFocus());
    const QImage rest = window->grab(area).toImage();
    t.control->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(t.control->hasFocus());
    const QImage focused = window->grab(area).toImage();
    int reads = 0;
    for (int y = 0; y < rest.height(); ++y)
        for (int x = 0; x < rest.width(); ++x)
            reads += contrastRatio(focused.pixelColor(x, y), rest.pixelColor(x, y)) >= 3.0 ? 1 : 0;
    EXPECT_GE(reads, area.width() + area.height());
}

void showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// The card player's position: the base style shows no focus on a slider, the ring goes round its
// handle.
void slider() {
    QWidget surface;
    QPalette dark = surface.palette();
    dark.setColor(QPalette::Window, Color::brandBackground());
    surface.setPalette(dark);
    surface.setAutoFillBackground(true);
    auto* slider = new HandleSlider(Qt::Horizontal, &surface);
    slider->setRange(0, 100);
    slider->setValue(50);
    slider->setGeometry(10, 10, 200, 24);
    surface.resize(220, 44);
    showActive(surface);
    QStyleOptionSlider option;
    slider->initStyleOption(&option);
    const QRect handle =
        slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    expectRing({slider, nullptr, slider, handle});
}

// Both buttons of an alert: the default one looks no different at rest than focused unless it wears
// a ring of its own.
void alertButtons() {
    QWidget window;
    AlertDialog alert(&window, "Offline Media Detected", "2 files",
                      {{"Search Offline Files...", AlertButton::Role::normal, {}},
                       {"Not Now", AlertButton::Role::cancel, {}}});
    showActive(alert);
    const auto buttons = alert.buttons();
    for (int i = 0; i < buttons.size(); ++i) {
        SCOPED_TRACE(buttons.at(i)->text().toStdString());
        expectRing({buttons.at(i), buttons.at(1 - i), buttons.at(i), buttons.at(i)->rect()});
    }
}

// The bin's list of staged files: a frameless list, which the style leaves without any focus.
void binList() {
    ProjectManagerHarness harness;
    QList<MediaFile> files;
    QList<RecycleBinItem> bin;
    for (int i = 0; i < 3; ++i) {
        files.append(media(QStringLiteral("/m/clip%1.mov").arg(i), 0, MediaFileStatus::inRecycleBin, 1000));
        bin.append(binItem(files.last()));
    }
    harness.pm().edit(ProjectManager::ListChange::entries).setMediaFiles(files).setRecycleBin(bin);
    drainEvents();
    QSet<QUuid> selection;
    RecycleBinView pane(harness.pm(), selection, {});
    pane.resize(320, 500);
    showActive(pane);
    drainEvents();
    QListView* list = pane.list();
    expectRing({list, pane.footerButtons().first(), list, list->rect()});
}

// A tool sheet's list: the audit log's, as the timelines and the matches are made.
void auditLogList() {
    QTemporaryDir dir;
    AuditLogManager log(dir.path(), nullptr);
    AuditLogEntry entry;
    entry.fileName = QStringLiteral("A001.mov");
    log.append(entry);
    log.count();
    AuditLogView view(log);
    view.resize(560, 400);
    showActive(view);
    expectRing({view.list(), view.doneButton(), view.list(), view.list()->rect()});
}

// The error lines of "Move to Trash Failed", its first focus.
void errorList() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    BinWidgets::ErrorBox box = BinWidgets::errorBox(
        {QStringLiteral("A001.mov: Trash not supported"), QStringLiteral("B002.mov: Trash not supported")},
        80);
    layout->addWidget(box.frame);
    window.resize(400, 160);
    showActive(window);
    expectRing({box.scroll, nullptr, box.scroll, box.scroll->rect()});
}

// Skip, Back, the default "Next", and the page dots as clearly as the buttons, as they show on the
// guide's card.
void welcomeGuide() {
    WindowFixture f(false);
    showActive(*f.view);
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    guide->jumpToStep(1); // with "Back"
    f.settle();
    QList<QAbstractButton*> controls{guide->skipButton(), guide->backButton(), guide->forwardButton()};
    for (WelcomeDot* dot : guide->dots())
        controls.append(dot);
    for (int i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(i); // Skip, Back, Next, then the dots
        QAbstractButton* control = controls.at(i);
        QWidget* away = control == guide->skipButton() ? guide->backButton() : guide->skipButton();
        expectRing({control, away, control, control->rect()});
    }
}

// "Share My Stats", on its accent fill.
void statsShareButton() {
    StatsView view(AllTimeStats{}, QDateTime(QDate(2026, 6, 15), QTime(15, 0)));
    showActive(view);
    QAbstractButton* share = view.shareButton();
    expectRing({share, &view, share, share->rect()});
}

// The player bar's buttons (play, full screen).
void playerBarButtons() {
    QMediaPlayer player;
    MediaPlayerView view(&player);
    view.resize(480, 300);
    showActive(view);
    for (QToolButton* button : {view.playButton(), view.fullScreenButton()}) {
        SCOPED_TRACE(button->toolTip().toStdString());
        button->setEnabled(true);
        expectRing({button, nullptr, button, button->rect()});
    }
}

// A card's buttons over its poster: a band of the ring reads over a white frame and a black one.
void cardButtons(const QColor& frame) {
    auto source = std::make_shared<FakeScrubFrameSource>();
    MediaFile file;
    file.path = QStringLiteral("/media/a clip.mp4");
    file.status = MediaFileStatus::online;
    ScrubEngine engine(file.path, source, ScrubEnginePolicy{}, nullptr);
    ClipCard card{CardStillLoader{}};
    card.resize(300, CardGridLayout::cardHeight);
    card.showFile(file, &engine, false);
    QImage poster(320, 180, QImage::Format_RGB32);
    poster.fill(frame);
    source->answerLoad(10, poster);
    showActive(card);
    const std::pair<const char*, QToolButton*> buttons[] = {
        {"select", card.selectButton()}, {"trash", card.trashButton()}, {"play", card.playButton()}};
    for (const auto& [name, button] : buttons) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(button->isVisibleTo(&card));
        expectRing({button, nullptr, button, button->rect()});
    }
}

// The card grid is a Tab stop of its own whose keys move its current card: that card's ring lies in
// the gap round it.
void cardGrid() {
    ClipCardGrid grid(CardStillLoader{}, [](const MediaFile& file, QObject* parent) {
        return new ScrubEngine(file.path, std::make_shared<FakeScrubFrameSource>(), ScrubEnginePolicy{},
                               nullptr, parent);
    });
    QList<MediaFile> files;
    for (int i = 0; i < 20; ++i)
        files.append(
            media(QStringLiteral("/media/clip %1.mov").arg(i), 0, MediaFileStatus::online, 1000 + i));
    grid.setFiles(files);
    grid.resize(1000, 800);
    showActive(grid);
    drainEvents();
    grid.setCurrentIndex(5);
    expectRing({&grid, nullptr, grid.viewport(), grid.currentRingRect()});
}

// The filter field is borderless inside its rounded box: the box wears the ring while the field has
// the keyboard.
void filterFieldBox() {
    ProjectManagerHarness harness;
    FilterBar bar(harness.pm());
    showActive(bar);
    QWidget* box = bar.searchField()->parentWidget();
    expectRing({bar.searchField(), bar.chip(QStringLiteral("Unused")), box, box->rect()});
}

// A filter chip, reached from the field beside it.
void filterChip() {
    QWidget window;
    auto* field = new QLineEdit(&window);
    auto* chip = new FilterChipToggle(QStringLiteral("Deleted"), &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    layout->addWidget(chip);
    window.resize(400, 300);
    showActive(window);
    expectRing({chip, field, chip, chip->rect()});
}

struct RingRow {
    const char* widget;
    std::function<void()> check;
};

} // namespace

// Tab onto any control shows a ring round it that it does not wear at rest, in the app's look.
TEST(FocusRing, EveryControlWearsItOnlyWhileFocused) {
    const BrandLook look;
    const RingRow rows[] = {
        {"slider", slider},
        {"alert buttons", alertButtons},
        {"bin list", binList},
        {"error list", errorList},
        {"audit log list", auditLogList},
        {"welcome guide", welcomeGuide},
        {"stats share button", statsShareButton},
        {"player bar buttons", playerBarButtons},
        {"card buttons over white", [] { cardButtons(Qt::white); }},
        {"card buttons over black", [] { cardButtons(Qt::black); }},
        {"card grid", cardGrid},
        {"filter field box", filterFieldBox},
        {"filter chip", filterChip},
    };
    for (const RingRow& row : rows) {
        SCOPED_TRACE(row.widget);
        row.check();
    }
}
