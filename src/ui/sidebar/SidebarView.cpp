#include "ui/sidebar/SidebarView.h"

#include "analysis/ProjectManagerFace.h"
#include "analysis/UnresolvedClipNames.h"
#include "platform/ByteCountText.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandPrimaryButton.h"
#include "ui/brand/BrandSecondaryButton.h"
#include "ui/brand/BrandSectionHeader.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/cleanup/WindowFacts.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/Labels.h"
#include "ui/sidebar/SidebarRows.h"
#include "ui/sidebar/SidebarTexts.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

// A sidebar button's symbol, in the colour of its label.
void giveSymbol(QAbstractButton* button, const QString& symbol, const QColor& tint) {
    button->setIcon(symbolIcon(symbol, tint));
    button->setIconSize(QSize(14, 14));
}

QWidget* inset(QWidget* child, int top, int bottom, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(10, top, 10, bottom);
    layout->addWidget(child);
    return box;
}

} // namespace

SidebarView::SidebarView(Services services, QWidget* parent)
    : QScrollArea(parent), m_services(std::move(services)), m_manager(m_services.manager) {
    setObjectName(QStringLiteral("sidebar"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    // Its controls take the focus, and Tab scrolls each into view: the sidebar itself would be a
    // stop where the focus sits unseen.
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette p = palette();
    p.setColor(QPalette::Window, Color::brandSurface());
    p.setColor(QPalette::Base, Color::brandSurface());
    setPalette(p);
    setAutoFillBackground(true);
    verticalScrollBar()->setStyleSheet(Color::styleSheet(
        QStringLiteral(
            "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
            "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: "
            "30px; }"
            "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"),
        {Color::withAlpha(Color::brandTextTertiary(), 110)}));
    build();

    connect(&m_manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        using C = ProjectManagerFace::Change;
        if (groups & C::summary)
            refreshSummary();
        if (groups & C::projects)
            rebuildProjects();
        else if (groups & C::policy)
            refreshProjectRows();
        else if (groups & C::filters)
            refreshSelection();
        if (groups & (C::policy | C::options))
            refreshRules();
        if (groups & (C::filters | C::options))
            refreshToggles();
    });
    connect(&m_services.facts, &WindowFacts::updated, this, &SidebarView::refreshSweep);
    connect(&m_services.runner, &CleanupRunner::changed, this, &SidebarView::refreshSweep);
    refreshSummary();
    rebuildProjects();
    refreshRules();
    refreshToggles();
    refreshSweep();
}

SidebarView::~SidebarView() = default;

void SidebarView::addSection(const QString& title, const QString& image) {
    auto* header = new BrandSectionHeader(title, image, m_body);
    m_layout->addWidget(inset(header, 12, 4, m_body));
}

void SidebarView::build() {
    m_body = new QWidget(this);
    m_body->setAutoFillBackground(true);
    QPalette p = m_body->palette();
    p.setColor(QPalette::Window, Color::brandSurface());
    m_body->setPalette(p);
    m_layout = new QVBoxLayout(m_body);
    m_layout->setContentsMargins(0, 6, 0, 12);
    m_layout->setSpacing(0);

    m_dropZone = new DropZoneRow(m_body);
    m_layout->addWidget(inset(m_dropZone, 6, 6, m_body));
    buildSummary();
    buildProjects();
    m_ruleCounts =
        addManagedSection(QStringLiteral("Timeline Usage"), QStringLiteral("list.bullet.rectangle"),
                          QStringLiteral("Manage Sequence Usage…"), Command::manageSequenceUsage);
    buildFiltersAndOptions();
    m_folderCount =
        addManagedSection(QStringLiteral("Protected"), QStringLiteral("lock.shield"),
                          QStringLiteral("Manage Protected Folders…"), Command::manageProtectedFolders);
    buildSweep();
    m_layout->addStretch(1);
    setWidget(m_body);
}

void SidebarView::buildSummary() {
    addSection(QStringLiteral("Summary"), QStringLiteral("chart.pie"));
    m_callout = new ReclaimableCallout(m_body);
    m_layout->addWidget(inset(m_callout, 2, 8, m_body));
    for (int i = 0; i < 16; ++i) {
        auto* row = new SummaryRow(m_body);
        m_summaryRows.append(row);
        m_layout->addWidget(row);
        if (i == 12) {
            auto* line = new QFrame(m_body);
            line->setFrameShape(QFrame::HLine);
            line->setFixedHeight(1);
            line->setStyleSheet(Color::styleSheet(
                QStringLiteral("background: %1; border: none; margin: 0 10px;"), {Color::brandBorder()}));
            m_summaryDivider = line;
            m_layout->addWidget(line);
        }
    }
}

void SidebarView::buildProjects() {
    addSection(QStringLiteral("Projects"), QStringLiteral("film.stack"));
    m_projectsBox = new QWidget(m_body);
    m_projectsLayout = new QVBoxLayout(m_projectsBox);
    m_projectsLayout->setContentsMargins(6, 0, 6, 0);
    m_projectsLayout->setSpacing(2);
    m_layout->addWidget(m_projectsBox);
    m_emptyHint = brandLabel(QStringLiteral("Drop .prproj files here"), Font::brand(12),
                             Color::brandTextTertiary(), m_body, LabelOption::centred);
    m_emptyHint->setContentsMargins(0, 20, 0, 20);
    m_layout->addWidget(m_emptyHint);
    auto* chip = new QPushButton(QStringLiteral("Clear Filter"), m_body);
    chip->setFlat(true);
    chip->setCursor(Qt::PointingHandCursor);
    chip->setFont(Font::brandMono(10, Font::Weight::medium));
    chip->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), Color::brandAccent()));
    chip->setIconSize(QSize(11, 11));
    chip->setStyleSheet(
        Color::styleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: none; "
                                         "border-radius: 6px; padding: 5px 0; }"),
                          {Color::brandAccent(), Color::withAlpha(Color::brandAccent(), 31)}));
    connect(chip, &QPushButton::clicked, this, [this] {
        m_manager.updateFilters([](FilterSettings& filters) { filters.selectedProjectIDs = {}; });
    });
    m_clearFilter = chip;
    m_layout->addWidget(inset(chip, 4, 4, m_body));
}

// A section whose button opens a sheet, with a note of what the sheet holds below it.
QLabel* SidebarView::addManagedSection(const QString& title, const QString& symbol, const QString& action,
                                       Command command) {
    addSection(title, symbol);
    auto* button = new BrandSecondaryButton(action, Color::brandTextSecondary(), m_body);
    giveSymbol(button, symbol, Color::brandTextSecondary());
    connect(button, &QAbstractButton::clicked, this, [this, command] { m_services.commands.post(command); });
    m_layout->addWidget(inset(button, 3, 3, m_body));
    auto* note = brandLabel({}, Font::brandMono(10), Color::brandTextTertiary(), m_body);
    note->setContentsMargins(10, 0, 10, 0);
    m_layout->addWidget(note);
    return note;
}

void SidebarView::addToggle(const QString& title, const QString& help,
                            std::function<void(bool)> onUserClick) {
    auto* box = new QCheckBox(title, m_body);
    box->setToolTip(help);
    box->setFont(Font::brand(12));
    // Tinted with the accent, as the filter and option sections are.
    box->setStyleSheet(Color::styleSheet(
        QStringLiteral(
            "QCheckBox { color: %1; padding: 3px 10px; spacing: 8px; }"
            "QCheckBox::indicator { width: 12px; height: 12px; border-radius: 3px; border: 1px solid "
            "%2; "
            "background: %3; }"
            "QCheckBox::indicator:checked { background: %4; border: 1px solid %4; }"),
        {Color::brandTextPrimary(), Color::brandTextMuted(), Color::brandSurfaceRaised(),
         Color::brandAccent()}));
    // clicked: only the user's toggles, never the sync from the model.
    connect(box, &QCheckBox::clicked, this, onUserClick);
    m_toggles.insert(title, box);
    m_layout->addWidget(box);
}

void SidebarView::buildFiltersAndOptions() {
    addSection(QStringLiteral("Filters"), QStringLiteral("line.3.horizontal.decrease"));
    addToggle(QStringLiteral("Audio Only"), QStringLiteral("Show only files used exclusively for audio"),
              [this](bool on) {
                  m_manager.updateFilters([on](FilterSettings& filters) { filters.showOnlyAudioOnly = on; });
              });
    addToggle(QStringLiteral("Duplicates"), QStringLiteral("Show only files detected as duplicates"),
              [this](bool on) {
                  m_manager.updateFilters([on](FilterSettings& filters) { filters.showDuplicates = on; });
              });
    addSection(QStringLiteral("Options"), QStringLiteral("gearshape"));
    addToggle(QStringLiteral("Ignore File Extension"),
              QStringLiteral("Find files with same name but different extension (e.g., re-encoded files)"),
              [this](bool on) {
                  m_manager.updateFilters(
                      [on](FilterSettings& filters) { filters.ignoreFileExtension = on; });
                  // The rescan runs through the manager's gate, off the GUI thread; while another
                  // operation runs it waits for it (the window shows that it waits).
                  (void)m_manager.rescanAll();
              });
    addToggle(QStringLiteral("Write Trace Files"),
              QStringLiteral("Leave a receipt file in directories where files are deleted"), [this](bool on) {
                  m_manager.updateOptions([on](CleanupOptions& options) { options.writeTraceFiles = on; });
              });
}

void SidebarView::buildSweep() {
    addSection(QStringLiteral("Sweep"), QStringLiteral("wind"));
    auto* add = new BrandPrimaryButton(QStringLiteral("Add All Unused to Bin"), m_body);
    giveSymbol(add, QStringLiteral("trash"), Color::brandBackground());
    connect(add, &QAbstractButton::clicked, this, &SidebarView::addAllUnusedToBin);
    auto* move = new BrandSecondaryButton(QStringLiteral("Move Unused to Folder…"),
                                          Color::brandTextSecondary(), m_body);
    giveSymbol(move, QStringLiteral("folder.badge.plus"), Color::brandTextSecondary());
    connect(move, &QAbstractButton::clicked, this, &SidebarView::chooseUnusedMoveFolder);
    auto* exportCSV =
        new BrandSecondaryButton(QStringLiteral("Export Unused to CSV"), Color::brandTextSecondary(), m_body);
    giveSymbol(exportCSV, QStringLiteral("square.and.arrow.up"), Color::brandTextSecondary());
    connect(exportCSV, &QAbstractButton::clicked, this, [this] { m_services.exportUnused(); });
    for (BrandButton* button : {static_cast<BrandButton*>(add), static_cast<BrandButton*>(move),
                                static_cast<BrandButton*>(exportCSV)}) {
        m_sweep.append(button);
        m_layout->addWidget(inset(button, 3, 3, m_body));
    }
}

QList<SummaryRow*> SidebarView::visibleSummaryRows() const {
    QList<SummaryRow*> out;
    for (SummaryRow* row : m_summaryRows) {
        if (!row->isHidden())
            out.append(row);
    }
    return out;
}

void SidebarView::refreshSummary() {
    const AnalysisSummary& summary = m_manager.summary();
    m_callout->set(formatFileByteCount(summary.unusedSize), summary.unusedFiles);
    const auto lines = SidebarTexts::summaryLines(summary);
    // The rows above the divider take the count lines; the last two take the sizes.
    QList<SidebarTexts::SummaryLine> counts, sizes;
    bool afterDivider = false;
    for (const auto& line : lines) {
        if (line.divider)
            afterDivider = true;
        else
            (afterDivider ? sizes : counts).append(line);
    }
    for (int i = 0; i < 13; ++i) {
        SummaryRow* row = m_summaryRows[i];
        row->setVisible(i < counts.size());
        if (i < counts.size())
            row->set(counts[i].label, counts[i].value, counts[i].highlight, counts[i].color);
    }
    for (int i = 0; i < 3; ++i) {
        SummaryRow* row = m_summaryRows[13 + i];
        row->setVisible(i < sizes.size());
        if (i < sizes.size())
            row->set(sizes[i].label, sizes[i].value, sizes[i].highlight, sizes[i].color);
    }
}

namespace {

// The paths of the projects the manager has no count for yet (just read, before the recount):
// counting 100,000 of them here took 120 ms.
qsizetype uncountedPaths(const QList<ProjectFile>& projects, const QHash<QUuid, int>& known) {
    qsizetype paths = 0;
    for (const ProjectFile& project : projects) {
        if (!project.parseError && !known.contains(project.id))
            paths += project.mediaFiles.size();
    }
    return paths;
}

} // namespace

void SidebarView::rebuildProjects() {
    qDeleteAll(m_projectsBox->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
    m_projectRows.clear();
    m_sequenceRows.clear();
    m_notices.clear();
    m_uncounted.clear();
    const auto& projects = m_manager.projects();
    const QHash<QUuid, int>& known = m_manager.policy().effectiveUsedCountByProjectID;
    const bool sliced = uncountedPaths(projects, known) >= m_slicedCountPaths;
    m_emptyHint->setVisible(projects.isEmpty());
    // Rows added to a shown box are each shown a turn later, each asking the display server where
    // the pointer is: 200 rows took 60 ms. Shown with the box, they are shown at once.
    m_projectsBox->hide();
    const UnresolvedClipNames unresolvedNames(projects);
    for (const ProjectFile& project : projects) {
        const bool expanded = m_expandedProjectIDs.contains(project.id);
        const bool countLater = sliced && !project.parseError && !known.contains(project.id);
        auto* row = new ProjectDisclosureRow(m_manager, project, expanded, m_projectsBox, !countLater);
        if (!unresolvedNames.isEmpty())
            row->setReviewNote(unresolvedNames.reviewNote(project));
        if (countLater)
            m_uncounted.append(row);
        const QUuid id = project.id;
        connect(row, &ProjectDisclosureRow::expandToggled, this, [this, id](bool on) {
            // Rebuilt on the next turn: the row that asked is deleted by the rebuild.
            QMetaObject::invokeMethod(
                this, [this, id, on] { setExpanded(id, on); }, Qt::QueuedConnection);
        });
        m_projectRows.append(row);
        m_projectsLayout->addWidget(row);
        if (!expanded)
            continue;
        for (const ProjectSequence& sequence : project.sequences) {
            auto* seq = new SequenceRow(m_manager, project, sequence, m_projectsBox);
            m_sequenceRows.append(seq);
            m_projectsLayout->addWidget(seq);
        }
        if (const auto notice = SidebarTexts::unattributedText(project.countDerived())) {
            auto* box = new QWidget(m_projectsBox);
            box->setToolTip(
                QStringLiteral("Tarnwick could not prove which timeline contained these occurrences, so "
                               "ignore rules cannot weaken them."));
            auto* line = new QHBoxLayout(box);
            line->setContentsMargins(32, 0, 0, 0);
            line->setSpacing(4);
            auto* shield = new QLabel(box);
            shield->setPixmap(symbolIcon(QStringLiteral("exclamationmark.shield.fill"), Color::brandAmber())
                                  .pixmap(QSize(11, 11), devicePixelRatioF()));
            line->addWidget(shield);
            auto* label = brandLabel(*notice, Font::brand(10), Color::brandAmber(), box);
            line->addWidget(label, 1);
            m_notices.insert(project.id, label);
            m_projectsLayout->addWidget(box);
        }
    }
    m_projectsBox->setVisible(!projects.isEmpty());
    refreshSelection();
    scheduleCounting();
}

void SidebarView::refreshProjectRows() {
    const auto& projects = m_manager.projects();
    bool same = m_projectRows.size() == projects.size();
    for (qsizetype i = 0; same && i < projects.size(); ++i)
        same = m_projectRows[i]->project().id == projects[i].id;
    if (!same) {
        rebuildProjects();
        return;
    }
    // Rebuilding 200 rows at the end of each import took the window 30 ms.
    const QHash<QUuid, int>& known = m_manager.policy().effectiveUsedCountByProjectID;
    const bool sliced = uncountedPaths(projects, known) >= m_slicedCountPaths;
    m_uncounted.clear();
    for (ProjectDisclosureRow* row : std::as_const(m_projectRows)) {
        const ProjectFile& project = row->project();
        if (sliced && !project.parseError && !known.contains(project.id))
            m_uncounted.append(row);
        else
            row->refreshCounts();
    }
    for (SequenceRow* row : std::as_const(m_sequenceRows))
        row->refresh();
    scheduleCounting();
}

void SidebarView::countSlice() {
    m_countScheduled = false;
    constexpr qint64 sliceMs = 4;
    QElapsedTimer clock;
    clock.start();
    while (!m_uncounted.isEmpty() && clock.elapsed() < sliceMs) {
        if (const QPointer<ProjectDisclosureRow> row = m_uncounted.takeFirst())
            row->refreshCounts();
    }
    scheduleCounting();
}

// Rows still to count are counted a slice per turn.
void SidebarView::scheduleCounting() {
    if (m_uncounted.isEmpty() || m_countScheduled)
        return;
    m_countScheduled = true;
    QTimer::singleShot(0, this, &SidebarView::countSlice);
}

void SidebarView::setExpanded(const QUuid& projectID, bool expanded) {
    if (expanded)
        m_expandedProjectIDs.insert(projectID);
    else
        m_expandedProjectIDs.remove(projectID);
    rebuildProjects();
}

void SidebarView::refreshSelection() {
    for (ProjectDisclosureRow* row : m_projectRows)
        row->refreshSelection();
    m_clearFilter->parentWidget()->setVisible(!m_manager.projects().isEmpty() &&
                                              !m_manager.filters().selectedProjectIDs.isEmpty());
}

std::optional<QString> SidebarView::unattributedNotice(const QUuid& projectID) const {
    if (QLabel* label = m_notices.value(projectID))
        return label->text();
    return std::nullopt;
}

void SidebarView::refreshRules() {
    int protect = 0, ignore = 0;
    for (const SequenceNameRule& rule : m_manager.policy().sequenceRules)
        (rule.action == SequenceRuleAction::protect ? protect : ignore)++;
    const auto rules = SidebarTexts::ruleCountsText(protect, ignore);
    m_ruleCounts->setVisible(!m_manager.policy().sequenceRules.isEmpty());
    m_ruleCounts->setText(rules.value_or(QString()));
    const auto folders = SidebarTexts::protectedFoldersText(int(m_manager.options().protectedFolders.size()));
    m_folderCount->setVisible(folders.has_value());
    m_folderCount->setText(folders.value_or(QString()));
}

QString SidebarView::ruleCountsShown() const {
    return m_ruleCounts->isHidden() ? QString() : m_ruleCounts->text();
}
QString SidebarView::protectedCountShown() const {
    return m_folderCount->isHidden() ? QString() : m_folderCount->text();
}

QAbstractButton* SidebarView::toggle(const QString& title) const {
    return m_toggles.value(title);
}

void SidebarView::refreshToggles() {
    const QList<std::pair<QString, bool>> values{
        {QStringLiteral("Audio Only"), m_manager.filters().showOnlyAudioOnly},
        {QStringLiteral("Duplicates"), m_manager.filters().showDuplicates},
        {QStringLiteral("Ignore File Extension"), m_manager.filters().ignoreFileExtension},
        {QStringLiteral("Write Trace Files"), m_manager.options().writeTraceFiles}};
    for (const auto& [title, on] : values)
        m_toggles.value(title)->setChecked(on); // setChecked does not emit clicked
}

void SidebarView::refreshSweep() {
    const auto& facts = m_services.facts.facts();
    m_sweep[0]->setEnabled(!facts.safeToStage.isEmpty());
    m_sweep[1]->setEnabled(!facts.safeToStage.isEmpty() && !isUnusedMoveRunning());
    m_sweep[2]->setEnabled(facts.hasExportableUnused);
}

} // namespace tarnwick
