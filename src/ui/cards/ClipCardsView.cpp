#include "ui/cards/ClipCardsView.h"

#include "analysis/ProjectManagerFace.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/Labels.h"
#include "ui/common/ViewHelpers.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QPushButton* smallButton(const QString& text) {
    auto* button = new QPushButton(text);
    QFont font = button->font();
    font.setPixelSize(11);
    button->setFont(font);
    return button;
}

QWidget* emptyState() {
    auto* widget = new QWidget;
    auto* column = new QVBoxLayout(widget);
    column->setSpacing(8);
    column->addStretch();
    auto* symbol = new QLabel;
    symbol->setPixmap(
        symbolIcon(QStringLiteral("rectangle.stack"), Color::brandTextTertiary()).pixmap(34, 34));
    symbol->setAlignment(Qt::AlignCenter);
    column->addWidget(symbol);
    QFont body;
    body.setPixelSize(13);
    column->addWidget(brandLabel(QStringLiteral("No clips to show"), body, Color::brandTextSecondary(),
                                 nullptr, LabelOption::centred));
    column->addStretch();
    return widget;
}

} // namespace

ClipCardsView::ClipCardsView(ProjectManagerFace& manager, ClipCardsActions actions, CardStillLoader loadStill,
                             ScrubEngineFactory makeEngine, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_actions(std::move(actions)),
      // The selection stays until the staging really happened (it may wait for a running operation).
      m_staging(m_actions.deleteSafetyConflicts, m_actions.addToRecycleBin,
                [self = QPointer<ClipCardsView>(this)] {
                    if (self)
                        self->clearSelection();
                }),
      m_clipCount(brandLabel({}, Font::brandMono(11), Color::brandTextTertiary())),
      m_selectionCount(brandLabel({}, Font::brandMono(11, Font::Weight::medium), Color::brandAccent())),
      m_selectAll(smallButton(QStringLiteral("Select All"))), m_clear(smallButton(QStringLiteral("Clear"))),
      m_addToBin(smallButton(QStringLiteral("Add to Virtual Bin"))), m_body(new QStackedWidget),
      m_grid(new ClipCardGrid(std::move(loadStill), std::move(makeEngine))) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Color::brandBackground());
    setPalette(palette);

    auto* header = new QFrame;
    header->setAutoFillBackground(true);
    QPalette headerPalette = header->palette();
    headerPalette.setColor(QPalette::Window, Color::brandSurfaceSunken());
    header->setPalette(headerPalette);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(8);
    row->addWidget(brandLabel(QStringLiteral("Cards"), Font::brand(13, Font::Weight::semibold),
                              Color::brandTextPrimary()));
    row->addWidget(brandLabel(cardTexts::hint(), Font::brand(11), Color::brandTextTertiary()));

    row->addStretch();
    row->addWidget(m_selectAll);
    row->addWidget(m_selectionCount);
    row->addWidget(m_clear);
    m_addToBin->setIcon(symbolIcon(QStringLiteral("trash"), Color::brandAccent()));
    m_addToBin->setStyleSheet(QStringLiteral("QPushButton { color: %1; }").arg(Color::brandAccent().name()));
    row->addWidget(m_addToBin);
    row->addWidget(m_clipCount);

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("background: %1; border: none;").arg(Color::brandBorder().name()));

    m_body->addWidget(m_grid);
    m_body->addWidget(emptyState());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(header);
    column->addWidget(divider);
    column->addWidget(m_body, 1);

    connect(m_selectAll, &QPushButton::clicked, this, &ClipCardsView::selectAll);
    connect(m_clear, &QPushButton::clicked, this, &ClipCardsView::clearSelection);
    connect(m_addToBin, &QPushButton::clicked, this, &ClipCardsView::addSelectedToBin);
    connect(m_grid, &ClipCardGrid::toggleSelectRequested, this, &ClipCardsView::toggleSelection);
    connect(m_grid, &ClipCardGrid::trashRequested, this, &ClipCardsView::trashCard);
    connect(&m_manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        if (groups.testAnyFlags(ProjectManagerFace::Change::mediaFiles | ProjectManagerFace::Change::filters |
                                ProjectManagerFace::Change::projects |
                                ProjectManagerFace::Change::recycleBin))
            refreshFiles();
    });
    refreshFiles();
}

void ClipCardsView::setSelection(const QSet<QUuid>& selection) {
    m_selection = selection;
    m_grid->setSelection(m_selection);
    countShownSelection();
    refreshHeader();
}

void ClipCardsView::countShownSelection() {
    m_shownSelected = 0;
    if (m_selection.isEmpty())
        return;
    for (const MediaFile& file : m_grid->files())
        m_shownSelected += m_selection.contains(file.id) ? 1 : 0;
}

void ClipCardsView::showEvent(QShowEvent* event) {
    if (m_selectionSource)
        setSelection(m_selectionSource());
    QWidget::showEvent(event);
}

bool ClipCardsView::showsEmptyState() const {
    return m_body->currentWidget() != m_grid;
}

void ClipCardsView::refreshFiles() {
    m_grid->setFiles(m_manager.filteredMediaRows());
    m_body->setCurrentIndex(m_grid->files().isEmpty() ? 1 : 0);
    countShownSelection();
    refreshHeader();
}

void ClipCardsView::refreshHeader() {
    const qsizetype count = m_grid->files().size();
    // Selected files the filter hides are neither counted nor staged here.
    const bool none = m_shownSelected == 0;
    m_clipCount->setText(cardTexts::clipCount(count));
    m_selectAll->setVisible(none);
    m_selectAll->setEnabled(count > 0);
    m_selectionCount->setVisible(!none);
    m_selectionCount->setText(cardTexts::selectionCount(m_shownSelected));
    m_clear->setVisible(!none);
    m_addToBin->setVisible(!none);
}

void ClipCardsView::assignSelection(QSet<QUuid> selection, qsizetype shown) {
    if (selection == m_selection)
        return;
    m_selection = std::move(selection);
    m_grid->setSelection(m_selection);
    m_shownSelected = shown;
    refreshHeader();
    Q_EMIT selectionChanged(m_selection);
}

void ClipCardsView::selectAll() {
    QSet<QUuid> ids;
    for (const MediaFile& file : m_grid->files())
        ids.insert(file.id);
    const qsizetype shown = ids.size();
    assignSelection(std::move(ids), shown);
}

void ClipCardsView::clearSelection() {
    assignSelection({}, 0);
}

// A toggled card is one the grid shows: the count moves by one, no walk over the files.
void ClipCardsView::toggleSelection(const QUuid& id) {
    QSet<QUuid> ids = m_selection;
    const bool removed = ids.remove(id);
    if (!removed)
        ids.insert(id);
    assignSelection(std::move(ids), m_shownSelected + (removed ? -1 : 1));
}

void ClipCardsView::addSelectedToBin() {
    QList<MediaFile> files;
    for (const MediaFile& file : m_grid->files())
        if (m_selection.contains(file.id))
            files.append(file);
    requestAddToBin(files);
}

void ClipCardsView::trashCard(const MediaFile& file) {
    requestAddToBin({file});
}

void ClipCardsView::requestAddToBin(const QList<MediaFile>& files) {
    m_staging.request(this, files);
}

} // namespace tarnwick
