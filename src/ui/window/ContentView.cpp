#include "ui/window/ContentView.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/Preferences.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/cleanup/WindowFacts.h"
#include "ui/common/CommandActions.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/DialogButtons.h"
#include "ui/common/FilePanel.h"
#include "ui/common/KeyboardOwner.h"
#include "ui/common/LinuxDesktopServices.h"
#include "ui/window/AnalyzingOverlay.h"
#include "ui/window/BusyStatus.h"
#include "ui/window/WelcomeView.h"
#include "ui/window/WindowPresentations.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick {

namespace {
const QString welcomeKey = QStringLiteral("hasCompletedWelcome");

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(1);
    line->setStyleSheet(
        Color::styleSheet(QStringLiteral("background: %1; border: none;"), {Color::brandBorder()}));
    return line;
}

bool hasLocalFileURLs(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return false;
    const auto urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& u) { return u.isLocalFile(); });
}
} // namespace

ContentView::ContentView(std::unique_ptr<ProjectManagerFace> manager, Services services, QWidget* parent)
    : QWidget(parent), m_manager(std::move(manager)), m_services(std::move(services)) {
    setObjectName(QStringLiteral("contentView"));
    if (!m_services.operations)
        m_services.operations = makeCleanupOperations();
    // Without an opener of its own the desktop asks the opener program, which says whether a file
    // manager took the folder.
    if (!m_services.desktop)
        m_services.desktop =
            std::make_shared<LinuxDesktopServices>(QDBusConnection::sessionBus(), m_services.openURL);
    if (!m_services.openURL)
        m_services.openURL = desktopURLOpener();
    m_filePanel = m_services.filePanel ? m_services.filePanel : &FilePanel::system();
    m_grants = m_services.grants ? m_services.grants : &SecurityScopedAccess::shared();
    m_preferences = m_services.preferences ? m_services.preferences : &Preferences::shared();
    m_hasCompletedWelcome = m_preferences->value(welcomeKey, false).toBool();

    setAcceptDrops(true);
    qApp->installEventFilter(this);
    m_keyboard = new KeyboardOwner(this);

    m_facts = new WindowFacts(*m_manager, *m_services.operations, this);
    m_runner = new CleanupRunner(*m_manager, *m_services.operations, this);
    buildPresentations();
    buildLayout();

    connect(m_facts, &WindowFacts::updated, this, &ContentView::updateToolbarState);
    connect(m_runner, &CleanupRunner::changed, this, &ContentView::updateBusyStatus);
    connect(m_manager.get(), &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        if (groups & (ProjectManagerFace::Change::progress | ProjectManagerFace::Change::moveProgress |
                      ProjectManagerFace::Change::transcodeProgress)) {
            updateOverlays();
            updateBusyStatus();
        }
        if (groups & (ProjectManagerFace::Change::mediaFiles | ProjectManagerFace::Change::aeLinks))
            updateToolbarState();
    });
    updateToolbarState();
    updateOverlays();
    updateBusyStatus();
}

ProjectManager& ContentView::manager() const {
    return m_manager->manager();
}

ContentView::~ContentView() {
    qApp->removeEventFilter(this);
    // The facts worker reads the operations: stop it before they go.
    delete m_facts;
    m_facts = nullptr;
    // Runs read the manager and the operations: no result comes back once the window goes.
    delete m_runner;
    m_runner = nullptr;
    // Child views read the manager while they go; delete them first.
    const auto children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
}

const QStringList& ContentView::toolbarTitles() {
    static const QStringList titles{QStringLiteral("Open Projects"), QStringLiteral("DaVinci CSV"),
                                    QStringLiteral("Easy Import")};
    return titles;
}

void ContentView::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar();
    layout->addWidget(m_toolbar);

    m_split = new QSplitter(Qt::Horizontal, this);
    m_split->setChildrenCollapsible(false);
    m_split->setHandleWidth(1);
    m_split->setStyleSheet(
        Color::styleSheet(QStringLiteral("QSplitter::handle { background: %1; }"), {Color::brandBorder()}));
    if (m_services.factories.sidebar)
        m_sidebar = m_services.factories.sidebar(*m_context);
    if (m_sidebar.setDragging)
        connect(this, &ContentView::draggingChanged, this, m_sidebar.setDragging);
    QWidget* sidebar = m_sidebar.widget ? m_sidebar.widget : new QWidget(this);
    sidebar->setMinimumWidth(250);
    sidebar->setMaximumWidth(360);
    m_split->addWidget(sidebar);

    auto* detail = new QSplitter(Qt::Horizontal, m_split);
    detail->setChildrenCollapsible(false);
    detail->setHandleWidth(1);
    detail->addWidget(buildMediaPane());
    QWidget* bin = place(m_services.factories.recycleBin);
    bin->setObjectName(QStringLiteral("recycleBinPane"));
    bin->setMinimumWidth(250);
    detail->addWidget(bin);
    detail->setStretchFactor(0, 1);
    detail->setStretchFactor(1, 0);
    detail->setSizes({700, 300});
    m_split->addWidget(detail);
    m_split->setStretchFactor(0, 0);
    m_split->setStretchFactor(1, 1);
    m_split->setSizes({272, 1008});
    layout->addWidget(m_split, 1);
}

// The window's alerts and sheets, and the context its views are made with.
void ContentView::buildPresentations() {
    m_presentations = new WindowPresentations(
        {*m_manager, *m_services.operations, *m_runner, *m_filePanel, *m_grants, m_services.factories,
         m_services.openURL, [this] { showVolumeAccessPanel(); }, this,
         [this](const TranscodeCompleteResult& r) { showTranscodeResult(r); },
         [this] {
             return m_manager->progress().isAnalyzing || m_manager->moveProgress().isMoveInProgress ||
                    m_manager->transcodeProgress().isTranscodeInProgress || m_transcodeResult.has_value();
         }},
        this);
    QPointer<ContentView> self(this);
    m_context = std::make_unique<WindowContext>(
        WindowContext{*m_manager, *m_services.operations, *m_runner, *m_facts, *m_presentations, commands(),
                      *m_filePanel, *m_grants, m_selectedFiles, m_selectedRecycleBinItems, this,
                      [self](const QUuid& id) {
                          if (self)
                              self->isolateProject(id);
                      },
                      [self](const QList<QUrl>& urls) {
                          if (self)
                              self->handleDrop(urls);
                      },
                      [self] {
                          if (self)
                              self->exportUnusedCSV();
                      }});
    m_presentations->setContext(m_context.get());
    // The welcome guide is a presentation too: alerts raised under it (an import's prompts on a
    // first launch with projects) wait until it is done.
    m_presentations->chain().setHold([this] { return !m_hasCompletedWelcome; });
}

// Every pane of the application has its factory; without one (a test window) the place stays blank.
QWidget* ContentView::place(const ViewFactories::Pane& factory) {
    if (factory) {
        if (QWidget* view = factory(*m_context))
            return view;
    }
    return new QWidget(this);
}

QWidget* ContentView::buildMediaPane() {
    auto* pane = new QWidget(this);
    pane->setObjectName(QStringLiteral("mediaPane"));
    pane->setMinimumWidth(400);
    auto* column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(10, 6, 10, 6);
    auto* picker = new QWidget(pane);
    picker->setObjectName(QStringLiteral("viewPicker"));
    picker->setFixedWidth(220);
    picker->setAccessibleName(QStringLiteral("View"));
    auto* pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    m_modePicker = new QButtonGroup(this);
    m_modePicker->setExclusive(true);
    const QStringList labels{QStringLiteral("Cards"), QStringLiteral("Table"), QStringLiteral("Map")};
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QPushButton(labels[i], picker);
        button->setCheckable(true);
        button->setChecked(i == 0);
        button->setFont(Font::brand(12, Font::Weight::medium));
        pickerLayout->addWidget(button);
        m_modePicker->addButton(button, i);
    }
    picker->setStyleSheet(Color::styleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; padding: 3px 0; }"
                       "QPushButton:checked { background: %4; color: %5; }"),
        {Color::brandSurfaceRaised(), Color::brandTextSecondary(), Color::brandBorder(),
         Color::brandControl(), Color::brandTextPrimary()}));
    connect(m_modePicker, &QButtonGroup::idClicked, this,
            [this](int id) { setDetailViewMode(static_cast<DetailViewMode>(id)); });
    row->addWidget(picker);
    row->addStretch(1);
    // What runs in the background, and what waits for it.
    m_busyStatus = new QLabel(pane);
    m_busyStatus->setObjectName(QStringLiteral("busyStatus"));
    m_busyStatus->setFont(Font::brand(11));
    m_busyStatus->setStyleSheet(QStringLiteral("color: %1;").arg(Color::brandAmber().name()));
    m_busyStatus->hide();
    row->addWidget(m_busyStatus);
    // A clean-up run waiting its turn is cancelled here, through the runner like a running one.
    m_cancelWaiting = new QPushButton(QStringLiteral("Cancel"), pane);
    m_cancelWaiting->setObjectName(QStringLiteral("cancelWaitingRuns"));
    m_cancelWaiting->setFont(Font::brand(11));
    m_cancelWaiting->hide();
    connect(m_cancelWaiting, &QPushButton::clicked, this, [this] {
        for (const CleanupRun* run : QList<CleanupRun*>(m_runner->waiting()))
            m_runner->cancel(run->kind());
    });
    row->addWidget(m_cancelWaiting);
    column->addLayout(row);
    column->addWidget(divider(pane));
    QWidget* filterBar =
        m_services.factories.filterBar ? m_services.factories.filterBar(*m_context) : nullptr;
    if (filterBar) {
        column->addWidget(filterBar);
        m_initialFocus = filterBar->findChild<QLineEdit*>();
    }
    column->addWidget(divider(pane));

    m_detail = new QStackedWidget(pane);
    m_detail->addWidget(place(m_services.factories.clipCards));
    m_detail->addWidget(place(m_services.factories.mediaTable));
    m_detail->addWidget(place(m_services.factories.storageMap));
    column->addWidget(m_detail, 1);
    return pane;
}

CommandActions& ContentView::commandActions() {
    Q_ASSERT(m_services.actions);
    return *m_services.actions;
}

void ContentView::buildToolbar() {
    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("windowToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    CommandActions& actions = commandActions();
    // The menu's own actions, dressed for the toolbar: an icon, the toolbar's title and a tip.
    const auto place = [this](QAction* action, const QString& icon, const QColor& tint, const QString& title,
                              const QString& tip) -> QToolButton* {
        action->setIcon(symbolIcon(icon, tint));
        action->setIconText(title);
        action->setToolTip(tip);
        m_toolbar->addAction(action);
        return qobject_cast<QToolButton*>(m_toolbar->widgetForAction(action));
    };
    place(actions.forKind(MenuEntry::Kind::openProjectsPanel), QStringLiteral("film.stack"),
          Color::brandTextPrimary(), toolbarTitles()[0],
          QStringLiteral("Open Premiere Pro project files (.prproj)"));
    if (QToolButton* button = place(actions.forKind(MenuEntry::Kind::importDaVinciCSVPanel),
                                    QStringLiteral("arrow.down.doc"), Color::brandCyan(), toolbarTitles()[1],
                                    QStringLiteral("Import a DaVinci Resolve metadata CSV (Usage = 0)")))
        button->setStyleSheet(Color::styleSheet(QStringLiteral("color: %1;"), {Color::brandCyan()}));
    place(actions.forCommand(Command::easyImport), QStringLiteral("wand.and.stars"),
          Color::brandTextPrimary(), toolbarTitles()[2],
          QStringLiteral("Scan a folder and auto-find every Premiere project"));
    auto* spacer = new QWidget(m_toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(spacer);
    const auto trailing = [&](Command command, const QString& icon, const QString& tip) {
        QAction* action = actions.forCommand(command);
        if (QToolButton* button = place(action, icon, Color::brandTextSecondary(), tip, tip))
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        return action;
    };
    m_searchAction = trailing(Command::searchOfflineFiles, QStringLiteral("questionmark.folder"),
                              QStringLiteral("Search for offline / missing files"));
    m_refreshAction = trailing(Command::refreshFileStatus, QStringLiteral("arrow.clockwise"),
                               QStringLiteral("Refresh file status"));
    trailing(Command::viewAuditLog, QStringLiteral("list.bullet.rectangle.portrait"),
             QStringLiteral("View audit log"));
    trailing(Command::showStats, QStringLiteral("chart.bar.xaxis"), QStringLiteral("All-time stats"));
}

void ContentView::updateToolbarState() {
    // Both read precomputed facts: one pass per change of the media list, never per paint.
    const auto& facts = m_facts->facts();
    m_searchAction->setEnabled(facts.hasSearchableOffline || m_manager->hasAEPLinkIssues());
    m_refreshAction->setEnabled(!m_manager->mediaFiles().isEmpty());
}

void ContentView::setDetailViewMode(DetailViewMode mode) {
    m_detailViewMode = mode;
    const int index = static_cast<int>(mode);
    if (auto* button = m_modePicker->button(index))
        button->setChecked(true);
    m_detail->setCurrentIndex(index);
}

void ContentView::isolateProject(const QUuid& projectID) {
    m_manager->updateFilters([&](FilterSettings& filters) { filters.selectedProjectIDs = {projectID}; });
    setDetailViewMode(DetailViewMode::table);
}

// ---- Overlays ---------------------------------------------------------------------------------

AnalyzingOverlay* ContentView::analyzingOverlay() const {
    return qobject_cast<AnalyzingOverlay*>(m_analyzing.data());
}

void ContentView::updateOverlays() {
    auto sync = [this](QPointer<QWidget>& slot, bool wanted, const std::function<QWidget*()>& make) {
        if (wanted && !slot) {
            slot = make();
            if (slot) {
                slot->setParent(this);
                slot->show();
            }
        } else if (!wanted && slot) {
            delete slot.data();
        }
    };
    sync(m_analyzing, m_manager->progress().isAnalyzing,
         [this] { return new AnalyzingOverlay(*m_manager, this); });
    sync(m_moveOverlay, m_manager->moveProgress().isMoveInProgress, [this]() -> QWidget* {
        return m_services.factories.moveProgressOverlay ? m_services.factories.moveProgressOverlay(*m_context)
                                                        : nullptr;
    });
    const TranscodeRunProgress& transcoding = m_manager->transcodeProgress();
    sync(m_transcodeOverlay, transcoding.isTranscodeInProgress, [this]() -> QWidget* {
        return m_services.factories.transcodeProgressOverlay
                   ? m_services.factories.transcodeProgressOverlay(*m_context)
                   : nullptr;
    });
    // Raised by the run's result, through the runner like every clean-up result.
    sync(m_transcodeComplete, m_transcodeResult.has_value(), [this]() -> QWidget* {
        if (!m_services.factories.transcodeCompleteOverlay)
            return nullptr;
        return m_services.factories.transcodeCompleteOverlay(*m_context, *m_transcodeResult,
                                                             [this] { dismissTranscodeResult(); });
    });
    sync(m_welcome, !m_hasCompletedWelcome, [this] {
        return new WelcomeView(
            [this] {
                // On the next turn, not inside the guide's own click.
                QTimer::singleShot(0, this, [this] { setHasCompletedWelcome(true); });
            },
            this);
    });
    layoutLayers();
    // A card asks for room of its own: where the window is smaller, the window scrolls to it.
    updateGeometry();
}

QSize ContentView::minimumSizeHint() const {
    QSize least = QWidget::minimumSizeHint();
    for (const QWidget* layer : {m_analyzing.data(), m_moveOverlay.data(), m_transcodeOverlay.data(),
                                 m_transcodeComplete.data(), m_welcome.data()}) {
        if (layer)
            least = least.expandedTo(layer->minimumSizeHint());
    }
    return least;
}

void ContentView::showTranscodeResult(const TranscodeCompleteResult& result) {
    // A card still up for an earlier run gives way to the new one.
    m_transcodeResult.reset();
    updateOverlays();
    m_transcodeResult = result;
    updateOverlays();
}

void ContentView::dismissTranscodeResult() {
    m_transcodeResult.reset();
    m_manager->updateTranscodeProgress([](TranscodeRunProgress& transcode) {
        transcode.showTranscodeComplete = false;
        transcode.transcodeCompleteResult = std::nullopt;
    });
    // Not inside the card's own click. What waited for the card may show now.
    QTimer::singleShot(0, this, [this] {
        updateOverlays();
        m_presentations->chain().schedule();
    });
}

void ContentView::updateBusyStatus() {
    const bool overlay = m_manager->progress().isAnalyzing || m_manager->moveProgress().isMoveInProgress ||
                         m_manager->transcodeProgress().isTranscodeInProgress;
    const QString status =
        busyStatus::text(m_manager->isBusy(), m_manager->busyReason(), overlay, m_manager->queuedRequests());
    m_busyStatus->setText(status);
    m_busyStatus->setToolTip(status);
    m_busyStatus->setVisible(!status.isEmpty());
    QStringList waiting;
    for (const CleanupRun* run : m_runner->waiting())
        waiting.append(run->description());
    m_cancelWaiting->setToolTip(QStringLiteral("Cancel ") + waiting.join(QStringLiteral(", ")));
    m_cancelWaiting->setVisible(!waiting.isEmpty());
}

void ContentView::layoutLayers() {
    QWidget* top = nullptr;
    for (QWidget* layer : {m_analyzing.data(), m_moveOverlay.data(), m_transcodeOverlay.data(),
                           m_transcodeComplete.data(), m_welcome.data()}) {
        if (layer) {
            layer->setGeometry(rect());
            layer->raise();
            top = layer;
        }
    }
    if (top && !m_layered) {
        // The focus the first layer takes from the window, given back when the last one goes.
        QWidget* focus = window()->focusWidget();
        m_focusBeforeLayers = focus && !top->isAncestorOf(focus) ? focus : nullptr;
    }
    const bool layersGone = !top && m_layered;
    m_layered = top != nullptr;
    if (auto* guide = qobject_cast<WelcomeView*>(top))
        m_keyboard->setOwner(guide, [guide](QKeyEvent& key) { return guide->handleKey(key); });
    else
        m_keyboard->setOwner(top);
    if (layersGone)
        restoreFocus();
}

void ContentView::restoreFocus() {
    QWidget* back = m_focusBeforeLayers.data();
    m_focusBeforeLayers.clear();
    if (back && back->isVisible() && back->isEnabled() && back->window() == window()) {
        back->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Nothing had the focus yet (the guide of a first launch): where the window's own start puts it.
    if (m_initialFocus)
        m_initialFocus->setFocus(Qt::OtherFocusReason);
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window starts in the filter field, where typing filters (a layer over it gives the field
    // the focus once it goes).
    if (m_initialFocus && !m_layered && !window()->focusWidget())
        m_initialFocus->setFocus(Qt::OtherFocusReason);
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutLayers();
}

void ContentView::setHasCompletedWelcome(bool done) {
    if (m_hasCompletedWelcome == done && (done || m_welcome))
        return;
    m_hasCompletedWelcome = done;
    m_preferences->setValue(welcomeKey, done);
    updateOverlays();
    if (done)
        m_presentations->chain().schedule();
}

// ---- Drop target ------------------------------------------------------------------------------

QList<QUrl> ContentView::projectURLsFromDrop(const QList<QUrl>& urls) {
    QList<QUrl> out;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).suffix().toLower() == QLatin1String("prproj") && !QFileInfo(path).isDir())
            out.append(url);
    }
    return out;
}

void ContentView::handleDrop(const QList<QUrl>& urls) {
    const QList<QUrl> projects = projectURLsFromDrop(urls);
    if (projects.isEmpty())
        return;
    (void)m_grants->grant(projects);
    startImport(projects);
}

void ContentView::setDragging(bool dragging) {
    if (m_isDragging == dragging)
        return;
    m_isDragging = dragging;
    Q_EMIT draggingChanged(dragging);
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    // Return presses the focused button here as in the sheets; Qt's buttons outside a dialog take
    // Space only. Whatever covers the window (a sheet, the guide) owns its keys first.
    if (type == QEvent::KeyPress && watched == QApplication::focusWidget() && !m_keyboard->owner() &&
        dialogButtons::pressFocusedButton(*this, *static_cast<QKeyEvent*>(event)))
        return true;
    // The whole window is the drop target: file drops over any child (a line edit included) come here.
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::DragLeave &&
        type != QEvent::Drop)
        return QWidget::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget != this && !isAncestorOf(widget)))
        return QWidget::eventFilter(watched, event);
    switch (type) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!hasLocalFileURLs(drag->mimeData()))
            return QWidget::eventFilter(watched, event);
        drag->acceptProposedAction();
        setDragging(true);
        return true;
    }
    case QEvent::DragLeave:
        if (widget == this || !rect().contains(mapFromGlobal(QCursor::pos())))
            setDragging(false);
        return false;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!hasLocalFileURLs(drop->mimeData()))
            return QWidget::eventFilter(watched, event);
        drop->acceptProposedAction();
        setDragging(false);
        const QList<QUrl> urls = drop->mimeData()->urls();
        // Returns at once; the import runs on.
        QTimer::singleShot(0, this, [this, urls] { handleDrop(urls); });
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace tarnwick

namespace tarnwick {
CommandCenter& ContentView::commands() const {
    return m_services.commands ? *m_services.commands : CommandCenter::shared();
}

WelcomeView* ContentView::welcomeView() const {
    return qobject_cast<WelcomeView*>(m_welcome.data());
}
} // namespace tarnwick
