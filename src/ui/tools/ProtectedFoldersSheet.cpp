#include "ui/tools/ProtectedFoldersSheet.h"
#include "ui/brand/FocusRingLayer.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/AppLog.h"
#include "stores/ProtectedFolders.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandPrimaryButton.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/ElidedLabel.h"
#include "ui/common/FilePanel.h"
#include "ui/common/Labels.h"
#include "ui/tools/ToolSheetParts.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

ProtectedFoldersSheet::ProtectedFoldersSheet(ProjectManagerFace& manager, ProtectedFolders& store,
                                             FilePanel& panel, SecurityScopedAccess& grants, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_store(store), m_panel(panel), m_grants(grants) {
    setFixedSize(460, 480);
    fillBackground(this, Color::brandBackground());

    m_done = brandDoneButton();
    connect(m_done, &QPushButton::clicked, this, [this] { dismissSheet(this); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, m_done, &QPushButton::click);

    auto* explanation = brandLabel(
        QStringLiteral(
            "Files inside these folders are never deleted, moved, or transcoded by Tarnwick — even "
            "via “Add All Unused.” Use this for asset libraries you always want to keep."),
        Font::brand(11), Color::brandTextTertiary(), this, LabelOption::wordWrap);
    explanation->setContentsMargins(16, 10, 16, 10);

    // Empty state.
    auto* empty = new QWidget(this);
    auto* emptyColumn = new QVBoxLayout(empty);
    emptyColumn->addStretch(1);
    auto* lock = new QLabel(empty);
    lock->setPixmap(symbolIcon(QStringLiteral("lock.open"), Color::brandTextTertiary()).pixmap(28, 28));
    lock->setAlignment(Qt::AlignCenter);
    auto* emptyText = brandLabel(QStringLiteral("No protected folders yet"), Font::brand(12),
                                 Color::brandTextSecondary(), empty, LabelOption::centred);
    emptyColumn->addWidget(lock);
    emptyColumn->addSpacing(8);
    emptyColumn->addWidget(emptyText);
    emptyColumn->addStretch(1);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FocusRingLayer::wear(*scroll, Color::brandBackground(), 4);
    m_rowsHost = new QWidget;
    fillBackground(m_rowsHost, Color::brandBackground());
    m_rows = new QVBoxLayout(m_rowsHost);
    m_rows->setContentsMargins(12, 12, 12, 12);
    m_rows->setSpacing(6);
    scroll->setWidget(m_rowsHost);
    fillBackground(scroll, Color::brandBackground());

    m_body = new QStackedWidget(this);
    m_body->addWidget(empty);
    m_body->addWidget(scroll);

    m_add = new BrandPrimaryButton(QStringLiteral("Add Folder…"), this);
    m_add->setIcon(symbolIcon(QStringLiteral("plus"), Color::brandBackground()));
    connect(m_add, &QAbstractButton::clicked, this, &ProtectedFoldersSheet::chooseFolders);
    auto* footer = new QWidget(this);
    fillBackground(footer, Color::brandSurface());
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(12, 12, 12, 12);
    footerRow->addWidget(m_add);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(
        brandHeaderBar(QStringLiteral("Protected Folders"), QStringLiteral("lock.shield"), m_done));
    column->addWidget(divider(Color::brandSurfaceSunken()));
    column->addWidget(explanation);
    column->addWidget(m_body, 1);
    column->addWidget(divider(Color::brandSurfaceSunken()));
    column->addWidget(footer);

    // The list follows the manager, whoever changed it.
    connect(&m_manager, &ProjectManagerFace::optionsChanged, this, &ProtectedFoldersSheet::followManager);
    rebuildRows();
}

void ProtectedFoldersSheet::chooseFolders() {
    OpenPanelRequest request;
    request.allowsMultipleSelection = true;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = QStringLiteral("Choose folders to protect from all destructive actions");
    request.prompt = QStringLiteral("Protect");
    // A folder whose grant fails is protected all the same.
    chooseWithAccess(m_panel, m_grants, window(), request, this,
                     [this](const GrantedChoice& choice) { addFolders(choice.urls); });
}

void ProtectedFoldersSheet::addFolders(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        const QString path = url.toLocalFile();
        m_store.add(path);
        m_manager.protectedFoldersDidChange();
        AppLog::userAction(QStringLiteral("Protected folder added: ") + path);
    }
    followManager();
}

void ProtectedFoldersSheet::removeFolder(const QString& path) {
    m_manager.removeProtectedFolder(path);
    followManager();
}

void ProtectedFoldersSheet::followManager() {
    // The manager's change signal is coalesced; the sheet's own changes show at once.
    if (m_manager.options().protectedFolders != m_shown)
        rebuildRows();
}

QStringList ProtectedFoldersSheet::shownFolders() const {
    return m_shown;
}

bool ProtectedFoldersSheet::showsEmptyState() const {
    return m_body->currentIndex() == 0;
}

QPushButton* ProtectedFoldersSheet::removeButton(const QString& path) const {
    for (QPushButton* button : m_rowsHost->findChildren<QPushButton*>())
        if (button->property("folderPath").toString() == path &&
            !button->parentWidget()->property("stale").toBool())
            return button;
    return nullptr;
}

void ProtectedFoldersSheet::rebuildRows() {
    m_shown = m_manager.options().protectedFolders;
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->setProperty("stale", true);
            widget->deleteLater();
        }
        delete item;
    }
    for (const QString& path : m_shown) {
        QWidget* row = roundedRow(m_rowsHost, 10, 7, 8);
        auto* line = static_cast<QHBoxLayout*>(row->layout());
        auto* icon = new QLabel(row);
        icon->setPixmap(symbolIcon(QStringLiteral("folder.fill"), Color::brandCyan()).pixmap(16, 16));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
        texts->addWidget(
            brandLabel(name, Font::brand(12, Font::Weight::medium), Color::brandTextPrimary(), row));
        // The full path on one line, its middle giving way.
        auto* full = elidedLabel(path, Qt::ElideMiddle, Font::brandMono(9), Color::brandTextTertiary(), row);
        full->setMinimumWidth(40);
        full->setToolTip(path);
        texts->addWidget(full);

        auto* remove = new QPushButton(row);
        remove->setFlat(true);
        remove->setIcon(symbolIcon(QStringLiteral("minus.circle.fill"), Color::brandRed()));
        remove->setToolTip(QStringLiteral("Remove protection"));
        remove->setProperty("folderPath", path);
        remove->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
        connect(remove, &QPushButton::clicked, this, [this, path] { removeFolder(path); });
        line->addWidget(icon);
        line->addLayout(texts, 1);
        line->addWidget(remove);
        m_rows->addWidget(row);
    }
    m_rows->addStretch(1);
    m_body->setCurrentIndex(m_shown.isEmpty() ? 0 : 1);
}

} // namespace tarnwick
