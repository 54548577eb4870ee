#include "ui/tools/SearchOfflineFilesSheet.h"
#include "ui/brand/FocusRingLayer.h"
#include "ui/common/DialogButtons.h"

#include "analysis/AfterEffectsLinking.h"
#include "analysis/OfflineMediaSearch.h"
#include "analysis/ProjectManagerFace.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/FilePanel.h"
#include "ui/common/Labels.h"
#include "ui/tools/MatchRows.h"
#include "ui/tools/ToolSheetParts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

namespace tarnwick {

OfflineSearchOperations OfflineSearchOperations::forManager(ProjectManagerFace& manager) {
    OfflineSearchOperations ops;
    ops.scan = [&manager](QString folder, bool ignoreExtension, Progress progress) {
        return OfflineMediaSearch::smartScanForOfflineFiles(manager.manager(), std::move(folder),
                                                            ignoreExtension, std::move(progress));
    };
    ops.hasMissingAEPLinks = [&manager] {
        for (const AEPLinkStatus& status : manager.aepLinkStatuses())
            if (status.kind != AEPLinkStatus::Kind::resolved)
                return true;
        return false;
    };
    ops.searchMissingAEP = [&manager](QString folder, Progress progress) {
        return AfterEffectsLinking::searchForMissingAEPFiles(manager.manager(), std::move(folder),
                                                             std::move(progress));
    };
    ops.apply = [&manager](QList<ScoredMatch> matches) {
        return OfflineMediaSearch::applyMatches(manager.manager(), std::move(matches));
    };
    return ops;
}

QStringList offlineCountTexts(qsizetype offlineFiles, qsizetype missingAEProjects) {
    QStringList texts;
    if (offlineFiles != 0)
        texts << QString::number(offlineFiles) + QStringLiteral(" offline media file") +
                     (offlineFiles == 1 ? QString() : QStringLiteral("s"));
    if (missingAEProjects != 0)
        texts << QString::number(missingAEProjects) + QStringLiteral(" missing AE project") +
                     (missingAEProjects == 1 ? QString() : QStringLiteral("s"));
    if (texts.isEmpty())
        texts << QStringLiteral("No offline files");
    return texts;
}

namespace {

constexpr int matchIndexRole = Qt::UserRole + 1;
constexpr int alternativeRole = Qt::UserRole + 2;

QFont scaled(const QFont& base, qreal factor, QFont::Weight weight = QFont::Normal) {
    QFont f = base;
    f.setPointSizeF(base.pointSizeF() * factor);
    f.setWeight(weight);
    return f;
}

// Paints a match row: the file name with its confidence and agreeing segments, the two folders
// with their agreeing tails bold, and the size check.
class MatchRowDelegate : public QStyledItemDelegate {
public:
    MatchRowDelegate(const QList<ScoredMatch>* matches, QObject* parent)
        : QStyledItemDelegate(parent), m_matches(matches) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const ScoredMatch* match = matchAt(index);
        const QFontMetrics body(option.font);
        const QFontMetrics caption(scaled(option.font, 0.85));
        int h = 4 + body.height() + 4 + caption.height() * 2 + 2 + 4;
        if (match && match->offlineFile.size >= 1)
            h += 4 + caption.height();
        return {400, h + 4};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const ScoredMatch* match = matchAt(index);
        if (!match)
            return;
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const bool alternative = index.data(alternativeRole).toBool();
        const MatchRowTexts t = matchRowTexts(*match);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setOpacity(alternative ? 0.85 : 1.0);
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        const QColor text = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text);
        const QColor secondary = selected ? text : pal.color(QPalette::PlaceholderText);
        const QFont caption = scaled(option.font, 0.85);
        const QFont caption2 = scaled(option.font, 0.78, QFont::Medium);
        const QFontMetrics body(option.font), cap(caption), cap2(caption2);
        QRect r = option.rect.adjusted(4, 4, -8, -4);
        int x = r.left();
        const int lineH = body.height();

        if (alternative) {
            symbolIcon(QStringLiteral("arrow.turn.down.right"), secondary)
                .paint(painter, QRect(x, r.top() + (lineH - 12) / 2, 12, 12));
            x += 12 + 6;
        }
        painter->setFont(scaled(option.font, 1.0, QFont::Medium));
        painter->setPen(text);
        const int nameW = QFontMetrics(painter->font()).horizontalAdvance(t.fileName);
        painter->drawText(QRect(x, r.top(), nameW + 2, lineH), Qt::AlignVCenter | Qt::AlignLeft, t.fileName);
        x += nameW + 6;
        // Confidence capsule.
        const Confidence confidence = confidenceOf(match->matchScore.score);
        const QString badge = confidence.label + QStringLiteral(" ") + match->matchScore.percentText();
        const QRect badgeRect(x, r.top() + (lineH - cap2.height() - 4) / 2,
                              cap2.horizontalAdvance(badge) + 12, cap2.height() + 4);
        QPainterPath capsule;
        capsule.addRoundedRect(badgeRect, badgeRect.height() / 2.0, badgeRect.height() / 2.0);
        painter->fillPath(capsule, confidence.color);
        painter->setFont(caption2);
        painter->setPen(Qt::white);
        painter->drawText(badgeRect, Qt::AlignCenter, badge);
        x = badgeRect.right() + 7;
        if (!t.segmentsText.isEmpty()) {
            const QRect seg(x, badgeRect.top(), cap2.horizontalAdvance(t.segmentsText) + 10,
                            badgeRect.height());
            QPainterPath pill;
            pill.addRoundedRect(seg, seg.height() / 2.0, seg.height() / 2.0);
            QColor fillColour = pal.color(QPalette::Text);
            fillColour.setAlphaF(0.08);
            painter->fillPath(pill, fillColour);
            painter->setPen(secondary);
            painter->drawText(seg, Qt::AlignCenter, t.segmentsText);
        }
        int y = r.top() + lineH + 4;

        auto drawPathRow = [&](const QString& title, const QList<TextRun>& runs) {
            painter->setFont(caption);
            painter->setPen(secondary);
            int px = r.left();
            painter->drawText(QRect(px, y, r.width(), cap.height()), Qt::AlignLeft | Qt::AlignVCenter, title);
            px += cap.horizontalAdvance(title);
            for (const TextRun& run : runs) {
                QFont f = caption;
                f.setBold(run.bold);
                const QFontMetrics fm(f);
                const QString shown = fm.elidedText(run.text, Qt::ElideLeft, std::max(0, r.right() - px));
                painter->setFont(f);
                painter->setPen(selected ? text : run.color);
                painter->drawText(QRect(px, y, r.right() - px, cap.height()),
                                  Qt::AlignLeft | Qt::AlignVCenter, shown);
                px += fm.horizontalAdvance(shown);
            }
            y += cap.height() + 2;
        };
        drawPathRow(QStringLiteral("Original: "), t.original);
        drawPathRow(QStringLiteral("Found at: "), t.found);

        if (t.showsSize) {
            y += 2;
            painter->setFont(caption);
            painter->setPen(secondary);
            const QString label = QStringLiteral("Original size:");
            painter->drawText(QRect(r.left(), y, r.width(), cap.height()), Qt::AlignLeft | Qt::AlignVCenter,
                              label);
            int sx = r.left() + cap.horizontalAdvance(label) + 4;
            painter->setPen(text);
            painter->drawText(QRect(sx, y, r.width(), cap.height()), Qt::AlignLeft | Qt::AlignVCenter,
                              t.sizeText);
            sx += cap.horizontalAdvance(t.sizeText) + 4;
            const int icon = cap2.height();
            symbolIcon(t.sizeMatched ? QStringLiteral("checkmark.circle.fill")
                                     : QStringLiteral("exclamationmark.triangle.fill"),
                       t.sizeMatched ? Color::systemGreen() : Color::systemOrange())
                .paint(painter, QRect(sx, y + (cap.height() - icon) / 2, icon, icon));
        }
        painter->restore();
    }

private:
    const ScoredMatch* matchAt(const QModelIndex& index) const {
        const int i = index.data(matchIndexRole).toInt();
        return i >= 0 && i < m_matches->size() ? &m_matches->at(i) : nullptr;
    }
    const QList<ScoredMatch>* m_matches;
};

QWidget* centredPage(QWidget* parent, QVBoxLayout*& column, int spacing = 16) {
    auto* page = new QWidget(parent);
    column = new QVBoxLayout(page);
    column->setSpacing(spacing);
    return page;
}

constexpr LabelOptions centredLines = LabelOption::centred | LabelOption::wordWrap;

} // namespace

SearchOfflineFilesSheet::SearchOfflineFilesSheet(ProjectManagerFace& manager, FilePanel& panel,
                                                 SecurityScopedAccess& grants,
                                                 OfflineSearchOperations operations, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_panel(panel), m_grants(grants), m_ops(std::move(operations)) {
    setMinimumSize(700, 500);
    resize(760, 560);

    m_done = new QPushButton(QStringLiteral("Done"), this);
    connect(m_done, &QPushButton::clicked, this, [this] { dismissSheet(this); });
    m_counts = secondaryLabel(QString(), this, {}, 0.85);
    m_counts->setAlignment(Qt::AlignLeft);

    QWidget* start = buildStartPage();
    QWidget* scanning = buildScanningPage();
    QWidget* applying = buildApplyingPage();
    QWidget* results = buildResultsPage();
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(start);
    m_pages->addWidget(scanning);
    m_pages->addWidget(applying);
    m_pages->addWidget(results);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(systemHeaderBar(QStringLiteral("Search Offline Files"), m_done, m_counts));
    outer->addWidget(divider());
    outer->addWidget(m_pages, 1);

    connect(&m_manager, &ProjectManagerFace::mediaFilesChanged, this, &SearchOfflineFilesSheet::updateHeader);
    connect(&m_manager, &ProjectManagerFace::aeLinksChanged, this, &SearchOfflineFilesSheet::updateHeader);
    connect(&m_manager, &ProjectManagerFace::progressChanged, this, [this] {
        if (m_isApplying)
            m_applyingLabel->setText(m_manager.progress().currentTask.isEmpty()
                                         ? QStringLiteral("Applying matches and updating file statuses...")
                                         : m_manager.progress().currentTask);
    });
    updateHeader();
    updatePage();
}

QWidget* SearchOfflineFilesSheet::buildStartPage() {
    QVBoxLayout* column = nullptr;
    auto* start = centredPage(this, column);
    column->addStretch(1);
    auto* icon = new QLabel(start);
    icon->setPixmap(
        symbolIcon(QStringLiteral("folder.badge.questionmark"), palette().color(QPalette::PlaceholderText))
            .pixmap(48, 48));
    icon->setAlignment(Qt::AlignCenter);
    column->addWidget(icon);
    column->addWidget(
        secondaryLabel(QStringLiteral("Select a folder to search for offline files"), start, centredLines));
    column->addWidget(
        secondaryLabel(QStringLiteral("Searches for offline media files and missing After Effects projects.\n"
                                      "Uses path context, file size, and extensions to score media matches."),
                       start, centredLines, 0.85, 0.6));
    m_ignoreExtension = new QCheckBox(QStringLiteral("Ignore file extensions"), start);
    m_ignoreExtension->setToolTip(
        QStringLiteral("Match files by name only, ignoring extensions (e.g., video.mov matches video.mp4)"));
    column->addWidget(m_ignoreExtension, 0, Qt::AlignHCenter);
    auto* choose = new QPushButton(QStringLiteral("Choose Folder..."), start);
    choose->setDefault(true);
    connect(choose, &QPushButton::clicked, this, &SearchOfflineFilesSheet::chooseFolder);
    column->addWidget(choose, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return start;
}

QWidget* SearchOfflineFilesSheet::buildScanningPage() {
    QVBoxLayout* column = nullptr;
    auto* scanning = centredPage(this, column);
    column->addStretch(1);
    auto* spinner = new QProgressBar(scanning);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedWidth(160);
    column->addWidget(spinner, 0, Qt::AlignHCenter);
    m_progressLabel = secondaryLabel(QString(), scanning, centredLines, 0.85);
    column->addWidget(m_progressLabel);
    column->addStretch(1);
    return scanning;
}

QWidget* SearchOfflineFilesSheet::buildApplyingPage() {
    QVBoxLayout* column = nullptr;
    auto* applying = centredPage(this, column);
    column->addStretch(1);
    auto* bigSpinner = new QProgressBar(applying);
    bigSpinner->setRange(0, 0);
    bigSpinner->setTextVisible(false);
    bigSpinner->setFixedWidth(220);
    column->addWidget(bigSpinner, 0, Qt::AlignHCenter);
    m_applyingLabel = secondaryLabel(QString(), applying, centredLines);
    column->addWidget(m_applyingLabel);
    column->addWidget(secondaryLabel(QStringLiteral("This may take a moment for large projects"), applying,
                                     centredLines, 0.85, 0.6));
    column->addStretch(1);
    return applying;
}

// The banner above the found matches, then either the no-match page or the list of matches.
QWidget* SearchOfflineFilesSheet::buildResultsPage() {
    auto* results = new QWidget(this);
    auto* resultsColumn = new QVBoxLayout(results);
    resultsColumn->setContentsMargins(0, 0, 0, 0);
    resultsColumn->setSpacing(0);
    resultsColumn->addWidget(buildBanner(results));
    m_resultBody = new QStackedWidget(results);
    m_resultBody->addWidget(buildNoMatchPage(results));
    m_resultBody->addWidget(buildMatchListPage(results));
    resultsColumn->addWidget(m_resultBody, 1);
    return results;
}

QWidget* SearchOfflineFilesSheet::buildBanner(QWidget* results) {
    m_banner = new QWidget(results);
    m_banner->setObjectName(QStringLiteral("banner"));
    m_banner->setAttribute(Qt::WA_StyledBackground);
    m_banner->setStyleSheet(Color::styleSheet(QStringLiteral("#banner { background: %1; }"),
                                              {Color::withAlpha(Color::systemGreen(), 20)}));
    auto* bannerRow = new QHBoxLayout(m_banner);
    bannerRow->setContentsMargins(16, 8, 16, 8);
    bannerRow->setSpacing(8);
    auto* check = new QLabel(m_banner);
    check->setPixmap(
        symbolIcon(QStringLiteral("checkmark.circle.fill"), Color::systemGreen()).pixmap(16, 16));
    m_bannerText = new QLabel(m_banner);
    bannerRow->addWidget(check);
    bannerRow->addWidget(m_bannerText);
    bannerRow->addStretch(1);
    auto* bannerBox = new QWidget(results);
    auto* bannerColumn = new QVBoxLayout(bannerBox);
    bannerColumn->setContentsMargins(0, 0, 0, 0);
    bannerColumn->setSpacing(0);
    bannerColumn->addWidget(m_banner);
    bannerColumn->addWidget(divider());
    m_banner = bannerBox;
    return bannerBox;
}

QWidget* SearchOfflineFilesSheet::buildNoMatchPage(QWidget* results) {
    QVBoxLayout* column = nullptr;
    auto* noMatch = centredPage(results, column, 12);
    column->addStretch(1);
    auto* glass = new QLabel(noMatch);
    glass->setPixmap(symbolIcon(QStringLiteral("magnifyingglass"), palette().color(QPalette::PlaceholderText))
                         .pixmap(36, 36));
    glass->setAlignment(Qt::AlignCenter);
    column->addWidget(glass);
    column->addWidget(secondaryLabel(QStringLiteral("No matching media files found"), noMatch, centredLines));
    auto* againEmpty = new QPushButton(QStringLiteral("Scan Another Folder..."), noMatch);
    connect(againEmpty, &QPushButton::clicked, this, &SearchOfflineFilesSheet::chooseFolder);
    column->addWidget(againEmpty, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return noMatch;
}

QWidget* SearchOfflineFilesSheet::buildMatchListPage(QWidget* results) {
    auto* listPage = new QWidget(results);
    auto* listColumn = new QVBoxLayout(listPage);
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->setSpacing(0);
    auto* summaryRow = new QHBoxLayout;
    summaryRow->setContentsMargins(16, 8, 16, 8);
    auto* summaryTexts = new QVBoxLayout;
    summaryTexts->setSpacing(1);
    m_summary = new QLabel(listPage);
    m_summaryDetail = secondaryLabel(QString(), listPage, LabelOption::wordWrap, 0.85);
    m_summaryDetail->setAlignment(Qt::AlignLeft);
    summaryTexts->addWidget(m_summary);
    summaryTexts->addWidget(m_summaryDetail);
    summaryRow->addLayout(summaryTexts);
    summaryRow->addStretch(1);
    summaryRow->addWidget(secondaryLabel(QStringLiteral("Select:"), listPage, centredLines, 0.85));
    auto* best = new QPushButton(QStringLiteral("Best"), listPage);
    best->setStyleSheet(
        Color::styleSheet(QStringLiteral("QPushButton { color: %1; }"), {Color::systemGreen()}));
    auto* all = new QPushButton(QStringLiteral("All"), listPage);
    auto* none = new QPushButton(QStringLiteral("None"), listPage);
    for (QPushButton* b : {best, all, none}) {
        b->setFlat(true);
        summaryRow->addWidget(b);
    }
    connect(best, &QPushButton::clicked, this, &SearchOfflineFilesSheet::selectBest);
    connect(all, &QPushButton::clicked, this, &SearchOfflineFilesSheet::selectAll);
    connect(none, &QPushButton::clicked, this, &SearchOfflineFilesSheet::selectNone);
    listColumn->addLayout(summaryRow);
    listColumn->addWidget(divider());
    m_model = new QStandardItemModel(this);
    m_list = new QTreeView(listPage);
    FocusRingLayer::wear(*m_list, m_list->palette().color(QPalette::Base), 4);
    m_list->setModel(m_model);
    m_list->setHeaderHidden(true);
    m_list->setItemDelegate(new MatchRowDelegate(&m_matches, m_list));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setExpandsOnDoubleClick(true);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_syncing)
            return;
        m_selected.clear();
        for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
            m_selected.insert(m_matches.at(index.data(matchIndexRole).toInt()).id);
        updateButtons();
    });
    listColumn->addWidget(m_list, 1);
    listColumn->addWidget(divider());
    m_applyBest = new QPushButton(listPage);
    connect(m_applyBest, &QPushButton::clicked, this, &SearchOfflineFilesSheet::applyBest);
    m_applySelected = new QPushButton(listPage);
    m_applySelected->setDefault(true);
    connect(m_applySelected, &QPushButton::clicked, this, &SearchOfflineFilesSheet::applySelected);
    listColumn->addLayout(
        scanAgainFooter(listPage, [this] { chooseFolder(); }, {m_applyBest, m_applySelected}));
    return listPage;
}

SearchOfflineFilesSheet::Page SearchOfflineFilesSheet::page() const {
    if (m_isApplying)
        return Page::applying;
    if (m_isScanning)
        return Page::scanning;
    return m_hasScanned ? Page::results : Page::start;
}

QStringList SearchOfflineFilesSheet::headerTexts() const {
    qsizetype offline = 0;
    for (const MediaFile& file : m_manager.mediaFiles())
        offline += file.isOffline() ? 1 : 0;
    qsizetype missing = 0;
    for (const AEPLinkStatus& status : m_manager.aepLinkStatuses())
        missing += status.kind != AEPLinkStatus::Kind::resolved ? 1 : 0;
    return offlineCountTexts(offline, missing);
}

void SearchOfflineFilesSheet::updateHeader() {
    m_counts->setText(headerTexts().join(QStringLiteral("    ")));
}

QString SearchOfflineFilesSheet::summaryText() const {
    return QStringLiteral("Found ") + QString::number(m_matches.size()) +
           QStringLiteral(" potential matches");
}

QString SearchOfflineFilesSheet::summaryDetailText() const {
    if (m_groups.size() == m_matches.size())
        return QString();
    return QStringLiteral("for ") + QString::number(m_groups.size()) + QStringLiteral(" offline files");
}

QString SearchOfflineFilesSheet::bannerText() const {
    if (m_aepResolved < 1)
        return QString();
    return QStringLiteral("Resolved ") + QString::number(m_aepResolved) +
           QStringLiteral(" After Effects project") + (m_aepResolved == 1 ? QString() : QStringLiteral("s"));
}

bool SearchOfflineFilesSheet::showsNoMatchPage() const {
    return page() == Page::results && m_matches.isEmpty();
}

void SearchOfflineFilesSheet::chooseFolder() {
    chooseFolderToScan(m_panel, m_grants, window(),
                       QStringLiteral("Select a folder to search for offline files"),
                       QStringLiteral("Search"), this, [this](const QString& folder) { startScan(folder); });
}

void SearchOfflineFilesSheet::startScan(const QString& folder) {
    if (m_isScanning || m_isApplying)
        return;
    // Runs to its end even when the sheet closes; it touches the sheet only while it exists.
    QCoro::connect(runScan(folder), qApp, [] {});
}

QCoro::Task<void> SearchOfflineFilesSheet::runScan(QString folder) {
    QPointer<SearchOfflineFilesSheet> self(this);
    m_isScanning = true;
    m_aepResolved = 0;
    setProgress(QStringLiteral("Scanning ") + QFileInfo(folder).fileName() + QStringLiteral("..."));
    updatePage();
    auto progress = progressOnGuiThread(this, [this](const QString& text) { setProgress(text); });
    QList<ScoredMatch> found = co_await m_ops.scan(folder, m_ignoreExtension->isChecked(), progress);
    if (!self)
        co_return;
    m_matches = std::move(found);
    m_groups = groupMatches(m_matches);
    if (m_ops.hasMissingAEPLinks && m_ops.hasMissingAEPLinks()) {
        setProgress(QStringLiteral("Searching for After Effects projects..."));
        const int resolved = co_await m_ops.searchMissingAEP(folder, progress);
        if (!self)
            co_return;
        m_aepResolved = resolved;
    }
    const QList<QUuid> best = bestSelection(m_groups);
    m_selected = QSet<QUuid>(best.begin(), best.end());
    m_hasScanned = true;
    m_isScanning = false;
    showResults();
    updatePage();
    Q_EMIT scanFinished();
}

void SearchOfflineFilesSheet::setProgress(const QString& text) {
    if (!m_isScanning)
        return;
    m_scanProgress = text;
    m_progressLabel->setText(text);
}

void SearchOfflineFilesSheet::showResults() {
    m_syncing = true;
    m_model->clear();
    QHash<QUuid, int> indexOf;
    for (int i = 0; i < m_matches.size(); ++i)
        indexOf.insert(m_matches.at(i).id, i);
    for (const OfflineMatchGroup& group : m_groups) {
        auto* top = new QStandardItem;
        top->setEditable(false);
        top->setData(indexOf.value(group.candidates.first().id), matchIndexRole);
        top->setData(false, alternativeRole);
        for (qsizetype i = 1; i < group.candidates.size(); ++i) {
            auto* alt = new QStandardItem;
            alt->setEditable(false);
            alt->setData(indexOf.value(group.candidates.at(i).id), matchIndexRole);
            alt->setData(true, alternativeRole);
            top->appendRow(alt);
        }
        m_model->appendRow(top);
    }
    m_syncing = false;
    m_summary->setText(summaryText());
    m_summaryDetail->setText(summaryDetailText());
    m_summaryDetail->setVisible(!summaryDetailText().isEmpty());
    m_bannerText->setText(bannerText());
    m_banner->setVisible(m_aepResolved >= 1);
    m_resultBody->setCurrentIndex(m_matches.isEmpty() ? 0 : 1);
    syncListSelection();
}

void SearchOfflineFilesSheet::syncListSelection() {
    m_syncing = true;
    QItemSelection selection;
    const std::function<void(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
        for (int row = 0; row < m_model->rowCount(parent); ++row) {
            const QModelIndex index = m_model->index(row, 0, parent);
            if (m_selected.contains(m_matches.at(index.data(matchIndexRole).toInt()).id))
                selection.select(index, index);
            visit(index);
        }
    };
    visit({});
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
    updateButtons();
}

void SearchOfflineFilesSheet::updatePage() {
    m_pages->setCurrentIndex(int(page()));
    m_done->setEnabled(!m_isApplying);
}

void SearchOfflineFilesSheet::updateButtons() {
    dialogButtons::setTitle(*m_applyBest, QStringLiteral("Apply Best ") + QString::number(m_groups.size()));
    m_applyBest->setVisible(!m_groups.isEmpty());
    dialogButtons::setTitle(*m_applySelected, QStringLiteral("Apply ") + QString::number(m_selected.size()) +
                                                  QStringLiteral(" Selected"));
    m_applySelected->setEnabled(!m_selected.isEmpty());
}

void SearchOfflineFilesSheet::selectBest() {
    const QList<QUuid> best = bestSelection(m_groups);
    setSelection(QSet<QUuid>(best.begin(), best.end()));
}

void SearchOfflineFilesSheet::selectAll() {
    QSet<QUuid> ids;
    for (const ScoredMatch& match : m_matches)
        ids.insert(match.id);
    setSelection(ids);
}

void SearchOfflineFilesSheet::selectNone() {
    setSelection({});
}

void SearchOfflineFilesSheet::setSelection(const QSet<QUuid>& ids) {
    m_selected = ids;
    syncListSelection();
}

void SearchOfflineFilesSheet::applyBest() {
    QList<ScoredMatch> chosen;
    for (const OfflineMatchGroup& group : m_groups)
        chosen.append(group.candidates.first());
    QCoro::connect(runApply(std::move(chosen)), qApp, [] {});
}

void SearchOfflineFilesSheet::applySelected() {
    QList<ScoredMatch> chosen;
    for (const ScoredMatch& match : m_matches)
        if (m_selected.contains(match.id))
            chosen.append(match);
    if (chosen.isEmpty())
        return;
    QCoro::connect(runApply(std::move(chosen)), qApp, [] {});
}

QCoro::Task<void> SearchOfflineFilesSheet::runApply(QList<ScoredMatch> chosen) {
    if (m_isApplying)
        co_return;
    QPointer<SearchOfflineFilesSheet> self(this);
    m_isApplying = true;
    m_applyingLabel->setText(m_manager.progress().currentTask.isEmpty()
                                 ? QStringLiteral("Applying matches and updating file statuses...")
                                 : m_manager.progress().currentTask);
    updatePage();
    co_await m_ops.apply(std::move(chosen));
    if (!self)
        co_return;
    m_isApplying = false;
    updatePage();
    Q_EMIT applyFinished();
    dismissSheet(this);
}

} // namespace tarnwick
