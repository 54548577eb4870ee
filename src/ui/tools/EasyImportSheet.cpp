#include "ui/tools/EasyImportSheet.h"
#include "ui/brand/FocusRingLayer.h"
#include "ui/common/DialogButtons.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/ByteCountText.h"
#include "platform/ThreadPools.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/ElidedLabel.h"
#include "ui/common/FilePanel.h"
#include "ui/common/Labels.h"
#include "ui/tools/EasyImportRows.h"
#include "ui/tools/EasyImportScan.h"
#include "ui/tools/ToolSheetParts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

namespace {
constexpr int projectIdRole = EasyImportRows::projectIdRole;
} // namespace

EasyImportSheet::EasyImportSheet(ProjectManagerFace& manager, FilePanel& panel, SecurityScopedAccess& grants,
                                 Import import, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_panel(panel), m_grants(grants), m_importer(std::move(import)) {
    setFixedSize(550, 450);

    auto* done = new QPushButton(QStringLiteral("Done"), this);
    connect(done, &QPushButton::clicked, this, [this] { dismissSheet(this); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, done, &QPushButton::click);

    // Idle.
    auto* idle = new QWidget(this);
    auto* idleColumn = new QVBoxLayout(idle);
    idleColumn->setSpacing(16);
    idleColumn->addStretch(1);
    auto* folderIcon = new QLabel(idle);
    folderIcon->setPixmap(
        symbolIcon(QStringLiteral("folder.badge.questionmark"), palette().color(QPalette::PlaceholderText))
            .pixmap(48, 48));
    folderIcon->setAlignment(Qt::AlignCenter);
    idleColumn->addWidget(folderIcon);
    idleColumn->addWidget(secondaryLabel(QStringLiteral("Select a folder to scan for Premiere Pro projects"),
                                         idle, LabelOption::centred));
    idleColumn->addWidget(secondaryLabel(QStringLiteral("Recursively scans all subfolders for .prproj files"),
                                         idle, LabelOption::centred, 0.85, 0.6));
    auto* choose = new QPushButton(QStringLiteral("Choose Folder..."), idle);
    choose->setDefault(true);
    connect(choose, &QPushButton::clicked, this, &EasyImportSheet::chooseFolder);
    idleColumn->addWidget(choose, 0, Qt::AlignHCenter);
    idleColumn->addStretch(1);

    // Scanning.
    auto* scanning = new QWidget(this);
    auto* scanColumn = new QVBoxLayout(scanning);
    scanColumn->setSpacing(12);
    scanColumn->addStretch(1);
    auto* spinner = new QProgressBar(scanning);
    spinner->setRange(0, 0);
    spinner->setFixedWidth(160);
    spinner->setTextVisible(false);
    scanColumn->addWidget(spinner, 0, Qt::AlignHCenter);
    m_progressLabel = secondaryLabel(QString(), scanning, LabelOption::centred);
    scanColumn->addWidget(m_progressLabel);
    scanColumn->addStretch(1);

    // Results.
    auto* results = new QWidget(this);
    auto* resultsColumn = new QVBoxLayout(results);
    resultsColumn->setContentsMargins(0, 0, 0, 0);
    resultsColumn->setSpacing(0);
    auto* summaryRow = new QHBoxLayout;
    summaryRow->setContentsMargins(16, 8, 16, 8);
    m_summary = new ElidedLabel(Qt::ElideMiddle, results);
    setTextColor(m_summary, Color::brandTextTertiary());
    auto* all = new QPushButton(QStringLiteral("Select All"), results);
    auto* none = new QPushButton(QStringLiteral("Select None"), results);
    for (QPushButton* b : {all, none}) {
        b->setFlat(true);
        QFont f = b->font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        b->setFont(f);
    }
    connect(all, &QPushButton::clicked, this, &EasyImportSheet::selectAll);
    connect(none, &QPushButton::clicked, this, &EasyImportSheet::selectNone);
    summaryRow->addWidget(m_summary, 1);
    summaryRow->addWidget(all);
    summaryRow->addWidget(none);
    resultsColumn->addLayout(summaryRow);
    resultsColumn->addWidget(divider());
    m_model = new QStandardItemModel(this);
    m_list = new QTreeView(results);
    FocusRingLayer::wear(*m_list, m_list->palette().color(QPalette::Base), 4);
    m_list->setModel(m_model);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    // Folder headers take one line, projects two (name; size and date): rows differ in height.
    m_list->setUniformRowHeights(false);
    m_list->setItemDelegate(new EasyImportRows(m_list));
    connect(m_model, &QStandardItemModel::itemChanged, this, [this](QStandardItem* item) {
        if (m_updatingChecks || !item->isCheckable())
            return;
        setSelected(item->data(projectIdRole).toUuid(), item->checkState() == Qt::Checked);
    });
    resultsColumn->addWidget(m_list, 1);
    resultsColumn->addWidget(divider());
    m_import = new QPushButton(results);
    m_import->setDefault(true);
    connect(m_import, &QPushButton::clicked, this, &EasyImportSheet::importSelected);
    resultsColumn->addLayout(scanAgainFooter(results, [this] { chooseFolder(); }, {m_import}));

    m_body = new QStackedWidget(this);
    m_body->addWidget(idle);
    m_body->addWidget(scanning);
    m_body->addWidget(results);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(systemHeaderBar(QStringLiteral("Easy Import"), done));
    column->addWidget(divider());
    column->addWidget(m_body, 1);
    updateBody();
}

EasyImportSheet::~EasyImportSheet() {
    // A scan still running ends early; its result would be dropped anyway.
    m_cancel->store(true);
}

EasyImportSheet::Body EasyImportSheet::body() const {
    if (m_isScanning)
        return Body::scanning;
    return m_found.isEmpty() ? Body::idle : Body::results;
}

void EasyImportSheet::chooseFolder() {
    chooseFolderToScan(m_panel, m_grants, window(),
                       QStringLiteral("Select a folder to scan for Premiere Pro projects"),
                       QStringLiteral("Scan"), this, [this](const QString& folder) { startScan(folder); });
}

void EasyImportSheet::startScan(const QString& folder) {
    if (m_isScanning)
        return;
    m_scannedDirectory = QFileInfo(folder).fileName();
    m_isScanning = true;
    updateBody();
    QSet<QUrl> open;
    for (const ProjectFile& project : m_manager.projects())
        open.insert(project.url);
    auto progress = progressOnGuiThread(this, [this](const QString& text) { setProgress(text); });
    auto cancel = m_cancel;
    auto* watcher = new QFutureWatcher<QList<DiscoveredProject>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_found = watcher->result();
        m_selected.clear();
        for (const DiscoveredProject& project : m_found)
            m_selected.insert(project.id);
        m_isScanning = false;
        showResults();
        updateBody();
        Q_EMIT scanFinished();
    });
    watcher->setFuture(QtConcurrent::run(&walkPool(), [folder, open, progress, cancel] {
        return EasyImportScan::scan(folder, open, progress, cancel.get());
    }));
}

void EasyImportSheet::setProgress(const QString& text) {
    if (!m_isScanning)
        return;
    m_scanProgress = text;
    m_progressLabel->setText(text);
    Q_EMIT progressShown(text);
}

QString EasyImportSheet::summaryText() const {
    const qsizetype n = m_found.size();
    return QStringLiteral("Found ") + QString::number(n) + QStringLiteral(" project") +
           (n == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" in ") + m_scannedDirectory;
}

void EasyImportSheet::showResults() {
    m_updatingChecks = true;
    m_model->clear();
    const QLocale locale;
    for (const DiscoveredProjectFolder& group : EasyImportScan::groups(m_found)) {
        auto* header = new QStandardItem(group.directory);
        header->setEditable(false);
        header->setSelectable(false);
        header->setToolTip(group.directory);
        for (const DiscoveredProject& project : group.projects) {
            const QString date = project.modificationDate.isValid()
                                     ? locale.toString(project.modificationDate.date(), QLocale::ShortFormat)
                                     : QStringLiteral("—");
            auto* row = new QStandardItem(project.fileName);
            row->setData(QString(formatFileByteCount(project.size) + QStringLiteral("   ") + date),
                         EasyImportRows::detailRole);
            row->setToolTip(project.url.toLocalFile());
            row->setEditable(false);
            row->setCheckable(true);
            row->setCheckState(m_selected.contains(project.id) ? Qt::Checked : Qt::Unchecked);
            row->setData(project.id, projectIdRole);
            header->appendRow(row);
        }
        m_model->appendRow(header);
    }
    m_list->expandAll();
    m_summary->setText(summaryText());
    m_updatingChecks = false;
    updateImportButton();
}

void EasyImportSheet::updateBody() {
    m_body->setCurrentIndex(m_isScanning ? 1 : m_found.isEmpty() ? 0 : 2);
}

void EasyImportSheet::updateImportButton() {
    dialogButtons::setTitle(*m_import, QStringLiteral("Import ") + QString::number(m_selected.size()) +
                                           QStringLiteral(" Selected"));
    m_import->setEnabled(!m_selected.isEmpty());
}

void EasyImportSheet::selectAll() {
    m_selected.clear();
    for (const DiscoveredProject& project : m_found)
        m_selected.insert(project.id);
    showResults();
}

void EasyImportSheet::selectNone() {
    m_selected.clear();
    showResults();
}

void EasyImportSheet::setSelected(const QUuid& id, bool on) {
    if (on)
        m_selected.insert(id);
    else
        m_selected.remove(id);
    updateImportButton();
}

void EasyImportSheet::importSelected() {
    QList<QUrl> urls;
    for (const DiscoveredProject& project : m_found)
        if (m_selected.contains(project.id))
            urls.append(project.url);
    if (urls.isEmpty())
        return;
    dismissSheet(this);
    if (m_importer)
        m_importer(urls);
}

} // namespace tarnwick
