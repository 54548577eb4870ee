#include "ui/browser/StorageMapView.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/ByteCountText.h"
#include "platform/IdleThreads.h"
#include "platform/MemoryRelease.h"
#include "platform/ThreadNames.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/browser/StorageMapCanvas.h"
#include "ui/common/ElidedLabel.h"
#include "ui/common/Labels.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QSet>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace tarnwick {
namespace {

QFont systemFont(qreal pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setPixelSize(int(pixelSize));
    font.setWeight(weight);
    return font;
}

QFont monoDigits(qreal pixelSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(int(pixelSize));
    return font;
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setStyleSheet(Color::styleSheet(QStringLiteral("background:%1;"), {Color::brandSurfaceSunken()}));
    return line;
}

QFrame* swatch(const QString& style, QSize size, QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFixedSize(size);
    frame->setStyleSheet(style + QStringLiteral("border-radius:2px;"));
    return frame;
}

QHBoxLayout* row(QWidget* host, int spacing, int vertical) {
    auto* layout = new QHBoxLayout(host);
    layout->setContentsMargins(12, vertical, 12, vertical);
    layout->setSpacing(spacing);
    return layout;
}

QWidget* emptyState(const QString& symbol, const QString& title, const QString& detail, QWidget* parent) {
    auto* host = new QWidget(parent);
    auto* layout = new QVBoxLayout(host);
    layout->setSpacing(8);
    layout->addStretch();
    auto* icon = new QLabel(host);
    icon->setPixmap(symbolIcon(symbol, Color::brandTextTertiary()).pixmap(34, 34));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* main = brandLabel(title, systemFont(13), Color::brandTextSecondary(), host, LabelOption::centred);
    main->setObjectName(QStringLiteral("emptyTitle"));
    layout->addWidget(main);
    if (!detail.isEmpty())
        layout->addWidget(brandLabel(detail, systemFont(11), Color::brandTextTertiary(), host,
                                     LabelOption::centred | LabelOption::wordWrap));
    layout->addStretch();
    return host;
}

QString backTitle() {
    return QStringLiteral("Storage Map");
}

// The word of the clip level's total that goes where the name needs its room (the amber figure and the
// legend say it too).
QString reclaimableWord() {
    return QStringLiteral("reclaimable ");
}

// What `row` needs with `leftOut` taken away and its elided labels at nothing: its margins, and each
// other widget it shows with the spacing before it.
int keptWidth(const QWidget& row, const QList<const QWidget*>& leftOut) {
    const QLayout* layout = row.layout();
    const QMargins margins = layout->contentsMargins();
    int width = margins.left() + margins.right();
    int shown = 0;
    for (int i = 0; i < layout->count(); ++i) {
        const QWidget* widget = layout->itemAt(i)->widget();
        if (!widget || widget->isHidden() || leftOut.contains(widget))
            continue;
        if (!qobject_cast<const ElidedLabel*>(widget))
            width += layout->itemAt(i)->sizeHint().width(); // as the layout sizes it (a swatch has no hint)
        ++shown;
    }
    return width + std::max(0, shown - 1) * layout->spacing();
}

// A part that goes whole where its row is short (fitRows): the map is not as wide as it makes it.
void givesWay(QWidget& part) {
    part.setMinimumWidth(1);
}

// A part of `row` that goes whole, spacing and all.
StorageMap::RowPart goes(const QWidget& part, const QWidget& row) {
    return {part.sizeHint().width() + row.layout()->spacing(), 0};
}

} // namespace

StorageMapView::StorageMapView(ProjectManagerFace& manager, IsolateHandler onIsolate, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_onIsolate(std::move(onIsolate)) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Color::brandBackground());
    setPalette(palette);
    nameThreads(m_pool, "StorageMap");
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(idleThreadExpiryMs);
    build();

    connect(&m_manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        using C = ProjectManagerFace::Change;
        if (groups & (C::mediaFiles | C::projects | C::recycleBin | C::filters))
            refresh();
    });
    refresh();
}

StorageMapView::~StorageMapView() = default;

void StorageMapView::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header: project level (page 0) and clip level (page 1).
    m_headerStack = new QStackedWidget(this);
    buildProjectHeader();
    buildClipHeader();
    m_headerStack->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    layout->addWidget(m_headerStack);
    layout->addWidget(divider(this));

    // Legend: project level (page 0), clip level (page 1), none (page 2).
    m_legendStack = new QStackedWidget(this);
    buildProjectLegend();
    buildClipLegend();
    m_legendStack->addWidget(new QWidget(m_legendStack));
    m_legendStack->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    layout->addWidget(m_legendStack);

    buildBody();
    layout->addWidget(m_bodyStack, 1);
}

void StorageMapView::buildProjectHeader() {
    auto* projectHeader = new QWidget(m_headerStack);
    auto* ph = row(projectHeader, 8, 8);
    ph->addWidget(brandLabel(QStringLiteral("Storage Map"), systemFont(13, QFont::Bold),
                             Color::brandTextPrimary(), projectHeader));
    m_projectSubtitle = brandLabel(QStringLiteral("· tile size = bytes on disk"), systemFont(11),
                                   Color::brandTextTertiary(), projectHeader);
    ph->addWidget(m_projectSubtitle);
    givesWay(*m_projectSubtitle);
    ph->addStretch(1);
    m_projectReclaimable = brandLabel({}, monoDigits(12), Color::brandAmber(), projectHeader);
    m_projectTotal = brandLabel({}, monoDigits(12), Color::brandTextTertiary(), projectHeader);
    ph->addWidget(m_projectReclaimable);
    ph->addWidget(m_projectTotal);
    m_sharedNote = elidedLabel({}, Qt::ElideRight, systemFont(11), Color::brandTextTertiary(), projectHeader);
    m_sharedNote->setObjectName(QStringLiteral("sharedNote"));
    // Its whole text when the row has room; it is the one to give way when it has not.
    m_sharedNote->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    ph->addWidget(m_sharedNote);
    m_headerStack->addWidget(projectHeader);
}

void StorageMapView::buildClipHeader() {
    auto* clipHeader = new QWidget(m_headerStack);
    auto* ch = row(clipHeader, 8, 8);
    m_back = new QPushButton(symbolIcon(QStringLiteral("chevron.left"), Color::brandAccent()), backTitle(),
                             clipHeader);
    m_back->setObjectName(QStringLiteral("backButton"));
    m_back->setAccessibleName(backTitle());
    m_back->setFlat(true);
    m_back->setCursor(Qt::PointingHandCursor);
    m_back->setStyleSheet(Color::styleSheet(
        QStringLiteral("QPushButton{color:%1;border:none;background:transparent;}"), {Color::brandAccent()}));
    connect(m_back, &QPushButton::clicked, this, &StorageMapView::drillOut);
    // Its widths with its title and with its chevron alone; the least is the chevron, or the map would
    // be as wide as the title makes it.
    m_back->ensurePolished();
    m_backWidths.whole = m_back->sizeHint().width();
    m_back->setText({});
    m_backWidths.reduced = m_back->sizeHint().width();
    m_back->setText(backTitle());
    m_back->setMinimumWidth(m_backWidths.reduced);
    ch->addWidget(m_back);
    ch->addWidget(brandLabel(QStringLiteral("/"), systemFont(13), Color::brandTextTertiary(), clipHeader));
    m_clipProjectName =
        elidedLabel({}, Qt::ElideMiddle, systemFont(13, QFont::Bold), Color::brandTextPrimary(), clipHeader);
    m_clipProjectName->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    ch->addWidget(m_clipProjectName);
    ch->addStretch();
    m_clipReclaimable = brandLabel({}, monoDigits(12), Color::brandAmber(), clipHeader);
    m_clipTotal = brandLabel({}, monoDigits(12), Color::brandTextTertiary(), clipHeader);
    ch->addWidget(m_clipReclaimable);
    ch->addWidget(m_clipTotal);
    m_openInTable = new QPushButton(QStringLiteral("Open in table"), clipHeader);
    m_openInTable->setObjectName(QStringLiteral("openInTable"));
    connect(m_openInTable, &QPushButton::clicked, this, &StorageMapView::openInTable);
    ch->addWidget(m_openInTable);
    m_headerStack->addWidget(clipHeader);
}

void StorageMapView::buildProjectLegend() {
    auto* projectLegend = new QWidget(m_legendStack);
    auto* pl = row(projectLegend, 8, 6);
    QFont legendBold = Font::brandMono(9, Font::Weight::bold);
    legendBold.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    pl->addWidget(
        brandLabel(QStringLiteral("RECLAIMABLE"), legendBold, Color::brandTextTertiary(), projectLegend));
    pl->addWidget(
        brandLabel(QStringLiteral("all used"), Font::brandMono(9), Color::brandGreen(), projectLegend));
    pl->addWidget(
        swatch(Color::styleSheet(
                   QStringLiteral("background:qlineargradient(x1:0,y1:0,x2:1,y2:0,stop:0 %1,stop:1 %2);"),
                   {Color::brandGreen(), Color::brandAmber()}),
               QSize(110, 8), projectLegend));
    pl->addWidget(brandLabel(QStringLiteral("all reclaimable"), Font::brandMono(9), Color::brandAmber(),
                             projectLegend));
    pl->addStretch();
    m_projectLegendNote = brandLabel(QStringLiteral("tile size = bytes on disk"), Font::brandMono(9),
                                     Color::brandTextTertiary(), projectLegend);
    pl->addWidget(m_projectLegendNote);
    givesWay(*m_projectLegendNote);
    auto* projectLegendHost = new QWidget(m_legendStack);
    auto* plh = new QVBoxLayout(projectLegendHost);
    plh->setContentsMargins(0, 0, 0, 0);
    plh->setSpacing(0);
    plh->addWidget(projectLegend);
    plh->addWidget(divider(projectLegendHost));
    m_legendStack->addWidget(projectLegendHost);
}

void StorageMapView::buildClipLegend() {
    auto* clipLegendHost = new QWidget(m_legendStack);
    auto* clh = new QVBoxLayout(clipLegendHost);
    clh->setContentsMargins(0, 0, 0, 0);
    clh->setSpacing(0);
    auto* clipLegend = new QWidget(clipLegendHost);
    auto* cl = row(clipLegend, 14, 6);
    const auto entry = [&](const QString& text, const QColor& color) {
        auto* host = new QWidget(clipLegend);
        auto* hl = new QHBoxLayout(host);
        hl->setContentsMargins(0, 0, 0, 0);
        hl->setSpacing(4);
        hl->addWidget(
            swatch(Color::styleSheet(QStringLiteral("background:%1;"), {color}), QSize(10, 10), host));
        hl->addWidget(brandLabel(text, systemFont(11), Color::brandTextTertiary(), host));
        cl->addWidget(host);
    };
    entry(QStringLiteral("Used"), Color::brandGreen());
    entry(QStringLiteral("Unused (reclaimable)"), Color::brandAmber());
    cl->addStretch();
    m_clipLegendNote = brandLabel(QStringLiteral("tile size = bytes on disk"), systemFont(11),
                                  Color::brandTextTertiary(), clipLegend);
    cl->addWidget(m_clipLegendNote);
    givesWay(*m_clipLegendNote);

    clh->addWidget(clipLegend);
    clh->addWidget(divider(clipLegendHost));
    m_legendStack->addWidget(clipLegendHost);
}

// The canvas, or one of the two empty states.
void StorageMapView::buildBody() {
    m_bodyStack = new QStackedWidget(this);
    m_canvas = new StorageMapCanvas(m_bodyStack);
    connect(m_canvas, &StorageMapCanvas::tileClicked, this, &StorageMapView::clickTile);
    m_bodyStack->addWidget(m_canvas);
    m_projectEmpty = emptyState(
        QStringLiteral("square.grid.2x2"), QStringLiteral("No projects to map"),
        QStringLiteral("Import Premiere projects or a DaVinci CSV to see your drive by size."), m_bodyStack);
    m_bodyStack->addWidget(m_projectEmpty);
    auto* clipEmpty = emptyState(QStringLiteral("film.stack"),
                                 QStringLiteral("No on-disk clips to map for this project"), {}, m_bodyStack);
    m_bodyStack->addWidget(clipEmpty);
}

const ProjectFile* StorageMapView::drilledProject() const {
    if (!m_drilledProjectName)
        return nullptr;
    for (const ProjectFile& project : m_manager.projects()) {
        if (project.name == *m_drilledProjectName)
            return &project;
    }
    return nullptr;
}

const QList<MapTreemapTile>& StorageMapView::tiles() const {
    return m_canvas->tiles();
}

void StorageMapView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous() && (m_drilledProjectName || !m_groups.isEmpty()))
        resetLevels();
}

void StorageMapView::resetLevels() {
    m_drilledProjectName.reset();
    m_groups.clear();
    refresh();
}

void StorageMapView::drillInto(const QString& projectName) {
    m_drilledProjectName = projectName;
    refresh();
}

void StorageMapView::openMerged(const QStringList& projectNames) {
    m_groups.append(projectNames);
    refresh();
}

void StorageMapView::drillOut() {
    if (m_drilledProjectName)
        m_drilledProjectName.reset();
    else if (!m_groups.isEmpty())
        m_groups.removeLast();
    refresh();
}

StorageMapView::Content StorageMapView::compute(const MediaRows& filtered, const QList<ProjectFile>& projects,
                                                const std::optional<QString>& level,
                                                const QList<QStringList>& groups) {
    Content content;
    if (level) {
        content.clips = StorageMap::clipsOf(filtered, *level);
        return content;
    }
    content.footprints = StorageMap::footprints(filtered, projects);
    if (!groups.isEmpty()) {
        const QSet<QString> shown(groups.last().cbegin(), groups.last().cend());
        content.footprints.removeIf(
            [&shown](const ProjectFootprint& footprint) { return !shown.contains(footprint.project.name); });
    }
    content.totals = StorageMap::totals(filtered, content.footprints);
    return content;
}

void StorageMapView::refresh() {
    const ProjectFile* project = drilledProject();
    Request request{m_manager.currentFilterCacheKey(),
                    project ? std::optional<QString>(project->name) : std::nullopt, m_groups};
    if (m_requested == request) {
        rebuildHeader();
        return;
    }
    m_requested = request;
    const quint64 generation = ++m_generation;
    const MediaRows filtered = m_manager.filteredMediaRows();
    if (filtered.size() < m_backgroundRows) {
        Content content = compute(filtered, m_manager.projects(), request.level, request.groups);
        apply(std::move(content), std::move(request));
        return;
    }
    // Totals over 100,000 rows are worked out on the map's own worker; the map shows what it has
    // until they come, and takes them in one step.
    QPointer<StorageMapView> self(this);
    (void)QtConcurrent::run(&m_pool, [self, filtered, projects = m_manager.projects(), request, generation] {
        Content content = compute(filtered, projects, request.level, request.groups);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, content = std::move(content), request, generation]() mutable {
                if (self && generation == self->m_generation)
                    self->apply(std::move(content), request);
                else
                    memory::releaseLater(std::move(content));
            },
            Qt::QueuedConnection);
    });
}

void StorageMapView::apply(Content content, Request request) {
    // The footprints replaced may hold the last copy of projects read from disk.
    memory::releaseLater(std::exchange(m_footprints, std::move(content.footprints)));
    memory::releaseLater(std::exchange(m_clips, std::move(content.clips)));
    m_totals = content.totals;
    m_cacheKey = request.key;
    m_cacheDrilledName = request.level;
    m_cacheGroups = request.groups;
    ++m_computeCount;
    if (request.level)
        m_canvas->setContent(StorageMap::clipItems(m_clips), nullptr, &m_clips, StorageMap::clipMergeRule);
    else
        m_canvas->setContent(StorageMap::projectItems(m_footprints), &m_footprints, nullptr,
                             StorageMap::projectMergeRule);
    rebuildHeader();
}

void StorageMapView::rebuildHeader() {
    const bool clipLevel = m_cacheDrilledName.has_value();
    const bool groupLevel = !clipLevel && !m_cacheGroups.isEmpty();
    m_headerStack->setCurrentIndex(clipLevel || groupLevel ? 1 : 0);
    m_openInTable->setVisible(clipLevel);
    if (clipLevel) {
        m_clipProjectName->setText(*m_cacheDrilledName);
        m_clipReclaimable->setText(formatFileByteCount(m_clips.reclaimableBytes));
        m_clipTotalWhole =
            reclaimableWord() + QStringLiteral("of ") + formatFileByteCount(m_clips.totalBytes);
        m_legendStack->setCurrentIndex(1);
        m_legendStack->setVisible(true);
        m_bodyStack->setCurrentIndex(m_clips.clips.isEmpty() ? 2 : 0);
        fitRows();
        return;
    }
    const qint64 total = m_totals.totalBytes;
    // A file several projects use fills a part of each of their tiles, so the sum can pass what
    // is on disk: say so; the note's tooltip gives the figure on disk.
    const QString shared =
        m_totals.countsSharedFiles() ? QStringLiteral("· shared files count in each project") : QString();
    if (groupLevel) {
        m_clipProjectName->setText(StorageMap::mergedProjectsTitle(int(m_cacheGroups.last().size())));
        m_clipReclaimable->setText(formatFileByteCount(m_totals.reclaimableBytes));
        m_clipTotalWhole = reclaimableWord() + QStringLiteral("of ") + formatFileByteCount(total) +
                           (shared.isEmpty() ? QString() : QLatin1Char(' ') + shared);
    }
    m_projectReclaimable->setVisible(total >= 1);
    m_projectTotal->setVisible(total >= 1);
    m_projectReclaimable->setText(formatFileByteCount(m_totals.reclaimableBytes));
    m_projectTotal->setText(QStringLiteral("reclaimable of ") + formatFileByteCount(total));
    m_sharedNote->setText(shared);
    m_sharedNote->setToolTip(
        shared.isEmpty()
            ? QString()
            : QStringLiteral("A file used by several projects fills a part of each of their tiles, "
                             "so it counts once per project here; on disk it takes ") +
                  formatFileByteCount(m_totals.onDiskBytes) + QStringLiteral(" in all."));
    m_sharedNote->setVisible(!shared.isEmpty());
    m_legendStack->setCurrentIndex(m_footprints.isEmpty() ? 2 : 0);
    m_legendStack->setVisible(!m_footprints.isEmpty());
    m_bodyStack->setCurrentIndex(m_footprints.isEmpty() ? 1 : 0);
    fitRows();
}

void StorageMapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitRows();
}

// On a narrow map the header and the legend keep their figures and their ends whole: what the other
// row says too goes first, the back button keeps its chevron, and the names are elided into what is
// left (the layout would take from every part alike).
void StorageMapView::fitRows() {
    using StorageMap::partsGivingWay;
    const int width = this->width();
    for (QLabel* note : {m_projectSubtitle, m_projectLegendNote, m_clipLegendNote}) {
        const QWidget& row = *note->parentWidget();
        note->setVisible(partsGivingWay(width, keptWidth(row, {note}), {goes(*note, row)}) == 0);
    }
    m_sharedNote->setMaximumWidth(std::max(0, width - keptWidth(*m_sharedNote->parentWidget(), {})));

    // The name keeps sixteen letters or so (all of a shorter one): for it the back button gives up its
    // title first, then the total its word.
    const QWidget& clipRow = *m_back->parentWidget();
    const int spacing = clipRow.layout()->spacing();
    const QFontMetrics nameMetrics = m_clipProjectName->fontMetrics();
    const int nameLeast = std::min(nameMetrics.horizontalAdvance(m_clipProjectName->text()),
                                   16 * nameMetrics.averageCharWidth());
    const QFontMetrics totalMetrics = m_clipTotal->fontMetrics();
    const QString shortTotal = m_clipTotalWhole.mid(reclaimableWord().size());
    const int kept = keptWidth(clipRow, {m_back, m_clipTotal}) + 2 * spacing;
    const int given = partsGivingWay(
        width, kept + nameLeast,
        {m_backWidths,
         {totalMetrics.horizontalAdvance(m_clipTotalWhole), totalMetrics.horizontalAdvance(shortTotal)}});
    m_back->setText(given == 0 ? backTitle() : QString());
    m_back->setToolTip(given == 0 ? QString() : backTitle());
    m_clipTotal->setText(given < 2 ? m_clipTotalWhole : shortTotal);
    m_clipTotal->setMinimumWidth(totalMetrics.horizontalAdvance(shortTotal)); // as for the back button
    m_clipTotal->setToolTip(given < 2 ? QString() : m_clipReclaimable->text() + u' ' + m_clipTotalWhole);
    const int shown =
        (given == 0 ? m_backWidths.whole : m_backWidths.reduced) + m_clipTotal->sizeHint().width();
    m_clipProjectName->setMaximumWidth(std::max(0, width - kept - shown));
}

void StorageMapView::clickTile(int index) {
    if (index < 0 || index >= m_canvas->tiles().size())
        return;
    if (m_cacheDrilledName) {
        openInTable();
        return;
    }
    const MapTreemapItem& item = m_canvas->tiles()[index].item;
    if (item.payloadIndex && *item.payloadIndex < m_footprints.size()) {
        drillInto(m_footprints[*item.payloadIndex].project.name);
        return;
    }
    QStringList names;
    for (const int payload : item.mergedPayloads) {
        if (payload < m_footprints.size() && !names.contains(m_footprints[payload].project.name))
            names.append(m_footprints[payload].project.name);
    }
    if (!names.isEmpty())
        openMerged(names);
}

void StorageMapView::openInTable() {
    if (const ProjectFile* project = drilledProject(); project && m_onIsolate)
        m_onIsolate(project->id);
}

} // namespace tarnwick
