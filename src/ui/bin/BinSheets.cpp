#include "ui/bin/BinSheets.h"

#include "actions/ProtectedFolderTest.h"
#include "analysis/ProjectManagerFace.h"
#include "platform/ByteCountText.h"
#include "platform/ThreadPools.h"
#include "ui/bin/BinWidgets.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/cleanup/CleanupOperations.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/DialogButtons.h"
#include "ui/common/FilePanel.h"
#include "ui/common/Labels.h"
#include "ui/common/SheetBody.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorotask.h>

namespace tarnwick {

using namespace BinWidgets;

namespace {
QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet(QStringLiteral("color: rgba(255,255,255,40);"));
    return line;
}

// Qt hides a centred field's placeholder while the field has focus (the caret would sit on it);
// the confirmation field has focus from the start, so it draws its hint itself until typed into.
class HintedField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    // Its Return is its own (it deletes once the word is typed): the sheet never sees it.
    void keyPressEvent(QKeyEvent* event) override {
        QLineEdit::keyPressEvent(event);
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            event->accept();
    }
    void paintEvent(QPaintEvent* event) override {
        QLineEdit::paintEvent(event);
        if (!hasFocus() || !text().isEmpty() || placeholderText().isEmpty())
            return;
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QRect area = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, this)
                               .marginsRemoved(textMargins())
                               .adjusted(2, 0, -2, 0);
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter,
                         fontMetrics().elidedText(placeholderText(), Qt::ElideRight, area.width()));
    }
};

void closeSheet(QWidget* content) {
    if (content && content->window() != content)
        content->window()->close();
}

// Empties the bin for good through the runner, which hands the result to the window's result sheet
// also once the sheet went; the sheet's chain ends and the sheet closes first.
void permanentlyDeleteFrom(const BinSheetServices& services, QWidget* sheet, ChainGuard* guard) {
    services.runner.request(CleanupRunKind::deletion, {}, guard, [guard, sheet](const CleanupResult&) {
        guard->end();
        closeSheet(sheet);
    });
}

QString tintBoxStyle(const QColor& tint) {
    return Color::styleSheet(QStringLiteral("QFrame#tintBox { background: %1; border-radius: 8px; }"),
                             {Color::withAlpha(tint, 26)});
}

// A tinted box (leading stack, spacing 4, padding 8, radius 8).
QFrame* tintBox(const QColor& tint, QWidget* parent) {
    auto* box = new QFrame(parent);
    box->setObjectName(QStringLiteral("tintBox"));
    box->setStyleSheet(tintBoxStyle(tint));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    return box;
}

QHBoxLayout* iconRow(QLabel*& icon, QLabel*& text, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    icon = new QLabel(parent);
    text = textLabel(QString(), -1, false, parent);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(icon);
    row->addWidget(text, 1);
    return row;
}

// One of the trash failure sheet's ways on: a symbol, a title and what it does, on a tinted button.
struct Choice {
    QString symbol;
    QString title;
    QString description;
    QColor tint;
    bool prominent = false;
};

QPushButton* choiceButton(const Choice& choice, QWidget* parent) {
    auto* button = tintedButton(QString(), choice.tint, choice.prominent, {}, parent);
    button->setAccessibleName(choice.title);
    button->setObjectName(choice.title);
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(8, 8, 8, 8);
    row->setSpacing(8);
    const QColor ink = choice.prominent ? QColor(Qt::white) : choice.tint;
    auto* icon = symbolLabel(choice.symbol, ink, 18, button);
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(icon);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    // The title shows its mnemonic, which the button itself takes: Alt and the title's first letter.
    auto* t = textLabel(QString(), 0, false, button);
    t->setTextFormat(Qt::RichText);
    t->setText(QStringLiteral("<u>%1</u>%2")
                   .arg(choice.title.left(1).toHtmlEscaped(), choice.title.mid(1).toHtmlEscaped()));
    button->setShortcut(QKeySequence(QStringLiteral("Alt+") + choice.title.left(1)));
    QFont tf = t->font();
    tf.setWeight(QFont::Medium);
    t->setFont(tf);
    t->setAlignment(Qt::AlignLeft);
    setTextColor(t, ink);
    auto* d = textLabel(choice.description, -2, false, button);
    d->setAlignment(Qt::AlignLeft);
    setTextColor(d, choice.prominent ? Color::prominentButtonDetail() : Color::secondaryLabel());
    for (QLabel* l : {t, d}) {
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        texts->addWidget(l);
    }
    row->addLayout(texts, 1);
    button->setMinimumHeight(row->sizeHint().height());
    return button;
}
// The sheet's body, scrolling where the screen is short, above a footer that always shows (its
// buttons): the footer is returned, to be filled.
QVBoxLayout* scrollingBodyAbove(QWidget& sheet, QWidget* body) {
    auto* outer = new QVBoxLayout(&sheet);
    outer->setContentsMargins(0, 0, 0, 24);
    outer->setSpacing(16);
    outer->addWidget(new SheetBody(body, &sheet), 1);
    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(24, 0, 24, 0);
    footer->setSpacing(16);
    outer->addLayout(footer);
    return footer;
}

} // namespace

// ---- ChainGuard -------------------------------------------------------------------------------

ChainGuard::ChainGuard(QWidget* sheet) : QObject(sheet), m_sheet(sheet) {}

bool ChainGuard::begin(QList<QWidget*> controls) {
    if (m_running)
        return false;
    m_running = true;
    for (QWidget* control : controls) {
        if (control && control->isEnabled()) {
            control->setEnabled(false);
            m_disabled.append(control);
        }
    }
    // Escape and the window's close would drop the sheet while its chain still runs.
    m_sheet->window()->installEventFilter(this);
    return true;
}

void ChainGuard::end() {
    m_running = false;
    m_sheet->window()->removeEventFilter(this);
    for (const QPointer<QWidget>& control : std::as_const(m_disabled)) {
        if (control)
            control->setEnabled(true);
    }
    m_disabled.clear();
}

bool ChainGuard::eventFilter(QObject* watched, QEvent* event) {
    if (m_running && watched == m_sheet->window()) {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)
                return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// ---- ResultSheet ------------------------------------------------------------------------------

ResultSheet::ResultSheet(const CleanupResult& result, QWidget* parent)
    : QWidget(parent), m_look(CleanupTexts::resultLook(result)) {
    setObjectName(m_look.success ? QStringLiteral("resultSuccess") : QStringLiteral("resultErrors"));
    setMinimumWidth(300);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);
    layout->addWidget(symbolLabel(
        m_look.symbol, m_look.success ? Color::successGreen() : Color::darkSystemOrange(), 48, this));
    m_headline = textLabel(m_look.headline, 1, true, this);
    layout->addWidget(m_headline);
    m_counts = textLabel(m_look.counts, 0, false, this);
    setTextColor(m_counts, Color::secondaryLabel());
    layout->addWidget(m_counts);
    if (!m_look.unrecorded.isEmpty()) {
        m_unrecorded = textLabel(m_look.unrecorded, 0, false, this);
        setTextColor(m_unrecorded, Color::darkSystemRed());
        layout->addWidget(m_unrecorded);
    }
    if (m_look.showErrors) {
        ErrorBox box = errorBox(result.action.errors, 100);
        m_errorScroll = box.scroll;
        layout->addWidget(box.frame);
    }
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setDefault(true);
    connect(m_done, &QPushButton::clicked, this, [this] { closeSheet(this); });
    layout->addWidget(m_done, 0, Qt::AlignHCenter);
}

// ---- PermanentDeleteConfirmSheet --------------------------------------------------------------

PermanentDeleteConfirmSheet::PermanentDeleteConfirmSheet(BinSheetServices services, QWidget* parent)
    : QWidget(parent), m_services(services), m_guard(new ChainGuard(this)) {
    setMinimumWidth(400);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);
    layout->addWidget(
        symbolLabel(QStringLiteral("exclamationmark.triangle.fill"), Color::darkSystemRed(), 48, this));
    layout->addWidget(textLabel(QStringLiteral("Permanently Delete Files"), 1, true, this));
    m_message = textLabel(QString(), 0, false, this);
    setTextColor(m_message, Color::secondaryLabel());
    m_message->setContentsMargins(16, 0, 16, 0);
    layout->addWidget(m_message);
    layout->addWidget(divider(this));
    auto* confirm = new QVBoxLayout;
    confirm->setSpacing(8);
    auto* instruction = new QLabel(QStringLiteral("Type <b>delete</b> to confirm:"), this);
    instruction->setTextFormat(Qt::RichText);
    instruction->setAlignment(Qt::AlignCenter);
    confirm->addWidget(instruction);
    m_field = new HintedField(this);
    m_field->setPlaceholderText(QStringLiteral("Type \"delete\" here"));
    m_field->setAlignment(Qt::AlignCenter);
    // The sheet always has room for 250; at its own size hint the field would cut its placeholder.
    m_field->setFixedWidth(250);
    confirm->addWidget(m_field, 0, Qt::AlignHCenter);
    layout->addLayout(confirm);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    m_delete = tintedButton(QStringLiteral("Delete Permanently"), Color::darkSystemRed(), true, {}, this);
    m_delete->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Never the default: the one Return that deletes is the one typed into the field after the word.
    dialogButtons::setDestructive(*m_delete);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, [this] { closeSheet(this); });
    connect(m_delete, &QPushButton::clicked, this, &PermanentDeleteConfirmSheet::startDeletion);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (BinTexts::isDeleteConfirmed(m_field->text()))
            startDeletion();
    });
    connect(m_field, &QLineEdit::textChanged, this, &PermanentDeleteConfirmSheet::refresh);
    connect(&m_services.manager, &ProjectManagerFace::changed, this,
            [this](ProjectManagerFace::Changes groups) {
                if (groups & (ProjectManagerFace::Change::recycleBin | ProjectManagerFace::Change::summary))
                    refresh();
            });
    refresh();
}

void PermanentDeleteConfirmSheet::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_field->setFocus();
}

void PermanentDeleteConfirmSheet::refresh() {
    const ProjectManagerFace& pm = m_services.manager;
    m_message->setText(BinTexts::permanentDeleteMessage(pm.recycleBin().size(), pm.summary().recycleBinSize));
    if (!m_guard->isRunning())
        m_delete->setEnabled(BinTexts::isDeleteConfirmed(m_field->text()));
}

void PermanentDeleteConfirmSheet::startDeletion() {
    if (!BinTexts::isDeleteConfirmed(m_field->text()) || !m_guard->begin({m_delete, m_field, m_cancel}))
        return;
    permanentlyDeleteFrom(m_services, this, m_guard);
}

// ---- TrashFailureSheet ------------------------------------------------------------------------

TrashFailureSheet::TrashFailureSheet(BinSheetServices services, FilePanel& panel,
                                     SecurityScopedAccess& grants, const ActionResult& failure,
                                     QWidget* parent)
    : QWidget(parent), m_services(services), m_panel(panel), m_grants(grants), m_guard(new ChainGuard(this)) {
    setMinimumWidth(450);
    setMaximumWidth(500);
    const QList<RecycleBinItem>& failed = failure.failedItems;
    const QStringList& errors = failure.errors;
    // What happened scrolls where the screen is short; the question and its answers stay below it.
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(24, 24, 24, 0);
    layout->setSpacing(16);
    layout->addWidget(
        symbolLabel(QStringLiteral("exclamationmark.triangle.fill"), Color::darkSystemOrange(), 48, body));
    layout->addWidget(textLabel(QStringLiteral("Move to Trash Failed"), 1, true, body));
    m_summary = textLabel(BinTexts::trashFailureSummary(failure.succeeded, failed.size()), 0, false, body);
    setTextColor(m_summary, Color::secondaryLabel());
    layout->addWidget(m_summary);
    auto* hint = textLabel(
        QStringLiteral("This commonly happens with files on network volumes that don't support the Trash."),
        -2, false, body);
    setTextColor(hint, Color::tertiaryLabel());
    hint->setContentsMargins(16, 0, 16, 0);
    layout->addWidget(hint);
    if (!failure.unrecorded.isEmpty()) {
        m_unrecorded = textLabel(failure.unrecorded, 0, false, body);
        setTextColor(m_unrecorded, Color::darkSystemRed());
        layout->addWidget(m_unrecorded);
    }
    if (!errors.isEmpty()) {
        ErrorBox box = errorBox(errors, 80);
        m_errorScroll = box.scroll;
        layout->addWidget(box.frame);
    }
    QVBoxLayout* footer = scrollingBodyAbove(*this, body);
    footer->addWidget(divider(this));
    m_question = textLabel(BinTexts::trashFailureQuestion(failed), 0, false, this);
    QFont qf = m_question->font();
    qf.setWeight(QFont::Medium);
    m_question->setFont(qf);
    footer->addWidget(m_question);
    footer->addLayout(buildChoices());

    connect(m_move, &QPushButton::clicked, this, &TrashFailureSheet::chooseFolder);
    connect(m_delete, &QPushButton::clicked, this, &TrashFailureSheet::deleteNow);
    connect(m_keep, &QPushButton::clicked, this, [this] {
        if (!m_guard->isRunning())
            closeSheet(this);
    });
}

QVBoxLayout* TrashFailureSheet::buildChoices() {
    auto* choices = new QVBoxLayout;
    choices->setSpacing(10);
    m_move = choiceButton({QStringLiteral("folder.badge.plus"), QStringLiteral("Move to a Folder..."),
                           QStringLiteral("Select a directory (same volume recommended)"),
                           Color::darkSystemBlue(), true},
                          this);
    m_delete = choiceButton({QStringLiteral("trash.slash"), QStringLiteral("Delete Permanently"),
                             QStringLiteral("Permanently remove files — cannot be undone"),
                             Color::darkSystemRed(), false},
                            this);
    m_keep = new QPushButton(QStringLiteral("Keep in Virtual Bin"), this);
    m_keep->setAutoDefault(false);
    m_move->setAutoDefault(false);
    m_delete->setAutoDefault(false);
    dialogButtons::setDestructive(*m_delete);
    for (QWidget* w :
         {static_cast<QWidget*>(m_move), static_cast<QWidget*>(m_delete), static_cast<QWidget*>(m_keep)})
        choices->addWidget(w);
    return choices;
}

void TrashFailureSheet::chooseFolder() {
    if (m_guard->isRunning())
        return;
    OpenPanelRequest request;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = QStringLiteral("Choose a folder for the files that could not be trashed");
    chooseWithAccess(m_panel, m_grants, window(), request, this,
                     [this](const GrantedChoice& choice) { confirmMove(choice.urls.first()); });
}

void TrashFailureSheet::confirmMove(const QUrl& folder) {
    m_pendingFolder = folder;
    QPointer<TrashFailureSheet> self(this);
    AlertDialog* alert = AlertDialog::present(
        window(), QStringLiteral("Move Files to Folder?"),
        BinTexts::moveToFolderConfirm(m_services.manager.recycleBin().size(), folder.toLocalFile()),
        {{QStringLiteral("Cancel"), AlertButton::Role::cancel,
          [self] {
              if (self)
                  self->m_pendingFolder.reset();
          }},
         {QStringLiteral("Move"), AlertButton::Role::movesFiles, [self] {
              if (self)
                  self->moveToPendingFolder();
          }}});
    // Nothing left in the bin: nothing to move.
    alert->buttons().at(1)->setEnabled(!m_services.manager.recycleBin().isEmpty());
}

void TrashFailureSheet::moveToPendingFolder() {
    if (!m_pendingFolder || !m_guard->begin({m_move, m_delete, m_keep}))
        return;
    m_services.runner.request(CleanupRunKind::binMove, *m_pendingFolder, this, [this](const CleanupResult&) {
        m_pendingFolder.reset();
        m_guard->end();
        closeSheet(this);
    });
}

void TrashFailureSheet::deleteNow() {
    if (!m_guard->begin({m_move, m_delete, m_keep}))
        return;
    permanentlyDeleteFrom(m_services, this, m_guard);
}

// ---- TranscodeConfirmationSheet ---------------------------------------------------------------

TranscodeConfirmationSheet::TranscodeConfirmationSheet(ProjectManagerFace& manager,
                                                       CleanupOperations& operations, CleanupRunner& runner,
                                                       QWidget* parent)
    : QWidget(parent), m_manager(manager), m_operations(operations), m_runner(runner) {
    setMinimumWidth(450);
    // What will happen scrolls where the screen is short; the warning and the buttons stay below it.
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(24, 24, 24, 0);
    layout->setSpacing(16);
    layout->addWidget(
        symbolLabel(QStringLiteral("arrow.trianglehead.swap"), Color::darkSystemIndigo(), 48, body));
    layout->addWidget(textLabel(QStringLiteral("Transcode & Replace"), 4, true, body));
    m_description = textLabel(QString(), 0, false, body);
    m_description->setFixedWidth(400);
    setTextColor(m_description, Color::secondaryLabel());
    layout->addWidget(m_description, 0, Qt::AlignHCenter);
    layout->addLayout(buildSizes());
    layout->addWidget(buildFFmpegBox());
    layout->addWidget(buildSkippedBox());
    layout->addWidget(buildRenamedBox());
    QVBoxLayout* footer = scrollingBodyAbove(*this, body);
    addWarning(*footer);
    footer->addLayout(buildButtons());

    connect(&m_manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        if (groups & ProjectManagerFace::Change::recycleBin)
            refresh();
    });
    refresh();
}

QHBoxLayout* TranscodeConfirmationSheet::buildSizes() {
    auto* sizes = new QHBoxLayout;
    sizes->setSpacing(16);
    sizes->setContentsMargins(0, 8, 0, 8);
    auto column = [this](QLabel*& value, const QString& caption, const QColor& color) {
        auto* col = new QVBoxLayout;
        value = textLabel(QString(), 3, false, this);
        if (color.isValid())
            setTextColor(value, color);
        auto* cap = textLabel(caption, -2, false, this);
        setTextColor(cap, Color::secondaryLabel());
        col->addWidget(value);
        col->addWidget(cap);
        return col;
    };
    sizes->addStretch(1);
    sizes->addLayout(column(m_source, QStringLiteral("Original Size"), {}));
    sizes->addWidget(symbolLabel(QStringLiteral("arrow.right"), Color::secondaryLabel(), 16, this));
    sizes->addLayout(column(m_estimate, QStringLiteral("Estimated"), Color::successGreen()));
    sizes->addStretch(1);
    return sizes;
}

QWidget* TranscodeConfirmationSheet::buildFFmpegBox() {
    auto* ffmpeg = tintBox(Color::darkSystemOrange(), this);
    m_ffmpegBox = ffmpeg;
    ffmpeg->layout()->addItem(iconRow(m_ffmpegIcon, m_ffmpegLabel, ffmpeg));
    m_hint = textLabel(BinTexts::ffmpegInstallHint(), -2, false, ffmpeg);
    m_hint->setAlignment(Qt::AlignLeft);
    // Selectable to be copied; Return on it presses nothing (DialogButtons.h).
    m_hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTextColor(m_hint, Color::secondaryLabel());
    ffmpeg->layout()->addWidget(m_hint);
    m_ffmpegLines = textLabel(QString(), -2, false, ffmpeg);
    m_ffmpegLines->setAlignment(Qt::AlignLeft);
    setTextColor(m_ffmpegLines, Color::secondaryLabel());
    ffmpeg->layout()->addWidget(m_ffmpegLines);
    return ffmpeg;
}

QWidget* TranscodeConfirmationSheet::buildSkippedBox() {
    auto* skipped = tintBox(Color::darkSystemOrange(), this);
    m_skippedBox = skipped;
    QLabel* skippedIcon = nullptr;
    skipped->layout()->addItem(iconRow(skippedIcon, m_skippedLabel, skipped));
    skippedIcon->setPixmap(
        symbolIcon(QStringLiteral("xmark.circle"), Color::darkSystemOrange()).pixmap(14, 14));
    setTextColor(m_skippedLabel, Color::darkSystemOrange());
    m_skippedLines = textLabel(QString(), -2, false, skipped);
    m_skippedLines->setAlignment(Qt::AlignLeft);
    setTextColor(m_skippedLines, Color::secondaryLabel());
    skipped->layout()->addWidget(m_skippedLines);
    return skipped;
}

QWidget* TranscodeConfirmationSheet::buildRenamedBox() {
    auto* renamed = tintBox(Color::darkSystemBlue(), this);
    m_renamedBox = renamed;
    QLabel* renamedIcon = nullptr;
    renamed->layout()->addItem(iconRow(renamedIcon, m_renamedLabel, renamed));
    renamedIcon->setPixmap(symbolIcon(QStringLiteral("arrow.right"), Color::darkSystemBlue()).pixmap(14, 14));
    setTextColor(m_renamedLabel, Color::darkSystemBlue());
    m_renamedLines = textLabel(QString(), -2, false, renamed);
    m_renamedLines->setAlignment(Qt::AlignLeft);
    m_renamedLines->setWordWrap(false); // one line per file, each whole
    setTextColor(m_renamedLines, Color::secondaryLabel());
    renamed->layout()->addWidget(m_renamedLines);
    return renamed;
}

void TranscodeConfirmationSheet::addWarning(QVBoxLayout& layout) {
    // Said plainly: nothing of the original is kept anywhere.
    m_warning = textLabel(QStringLiteral("Original files will be permanently replaced"), -1, false, this);
    m_warning->setToolTip(
        QStringLiteral("Each .mov original is overwritten in place by its HEVC version; any other "
                       "original goes to the Trash and its HEVC version takes a .mov name."));
    setTextColor(m_warning, Color::darkSystemRed());
    auto* warningRow = new QHBoxLayout;
    warningRow->addStretch(1);
    warningRow->addWidget(
        symbolLabel(QStringLiteral("exclamationmark.triangle"), Color::darkSystemRed(), 14, this));
    warningRow->addWidget(m_warning);
    warningRow->addStretch(1);
    layout.addLayout(warningRow);
    m_warning->setWordWrap(false);
    auto* replaced =
        textLabel(QStringLiteral("A .mov original is replaced in place; any other goes to the Trash."), -2,
                  false, this);
    replaced->setObjectName(QStringLiteral("replacedInPlace"));
    setTextColor(replaced, Color::secondaryLabel());
    layout.addWidget(replaced);
}

QHBoxLayout* TranscodeConfirmationSheet::buildButtons() {
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    // The originals go: the sheet's main action is drawn as such but never the default. The focus
    // and Return start on Cancel; Tab reaches the action.
    m_cancel->setDefault(true);
    m_confirm =
        tintedButton(QStringLiteral("Transcode & Replace"), Color::darkSystemIndigo(), true, {}, this);
    m_confirm->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    dialogButtons::setDestructive(*m_confirm);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    buttons->addStretch(1);
    connect(m_cancel, &QPushButton::clicked, this, [this] { closeSheet(this); });
    connect(m_confirm, &QPushButton::clicked, this, &TranscodeConfirmationSheet::confirm);
    return buttons;
}

TranscodeConfirmationSheet::~TranscodeConfirmationSheet() {
    // The planning reads the window's operations: it stops after the file it is reading.
    m_stopPlanning->store(true);
    m_check.waitForFinished();
}

void TranscodeConfirmationSheet::planRoutes(const QStringList& sources) {
    if (m_check.isRunning())
        return; // its end plans what is still unknown
    CleanupOperations* ops = &m_operations;
    m_check = QtConcurrent::run(&walkPool(), [ops, sources, stop = m_stopPlanning] {
        RoutePlanning planned;
        const std::optional<QString> ffmpeg = ops->locateFFmpeg();
        planned.hasFFmpeg = ffmpeg.has_value();
        for (const QString& source : sources) {
            if (stop->load())
                break;
            planned.routes.insert(source, ops->plannedTranscodeRoute(source, ffmpeg));
        }
        return planned;
    });
    m_check.then(this, [this](const RoutePlanning& planned) {
        m_hasFFmpeg = planned.hasFFmpeg;
        m_ffmpegChecked = true;
        m_routes.insert(planned.routes);
        refresh();
    });
}

void TranscodeConfirmationSheet::refresh() {
    // The run's own test, by the text of the paths (no disk access on this thread).
    const ProtectedFolderTest protectedFolders =
        ProtectedFolderTest::forManager(m_manager.manager(), nullptr);
    m_plan = BinTexts::TranscodePlan::of(
        m_manager.recycleBin(),
        [&](const QString& path) { return protectedFolders.isInProtectedFolder(path); },
        [this](const QString& source) -> std::optional<TranscodeRoute> {
            const auto known = m_routes.constFind(source);
            return known == m_routes.cend() ? std::nullopt : std::optional(*known);
        });
    if (!m_ffmpegChecked || !m_plan.unplanned.isEmpty())
        planRoutes(m_plan.unplanned);
    m_description->setText(m_plan.description());
    // A wrapped label centred in its row would otherwise get a single line's height.
    m_description->setMinimumHeight(m_description->heightForWidth(400));
    m_source->setText(formatFileByteCount(m_plan.sourceSize));
    m_estimate->setText(QStringLiteral("~") + formatFileByteCount(m_plan.estimatedSize));

    // Shown once every file's route is known: it counts what the run will do.
    const bool planned = m_ffmpegChecked && m_plan.unplanned.isEmpty();
    m_ffmpegBox->setVisible(planned && !m_plan.ffmpegItems.isEmpty());
    const QColor tint = m_hasFFmpeg ? Color::darkSystemBlue() : Color::darkSystemOrange();
    m_ffmpegBox->setStyleSheet(tintBoxStyle(tint));
    m_ffmpegIcon->setPixmap(
        symbolIcon(m_hasFFmpeg ? QStringLiteral("terminal") : QStringLiteral("exclamationmark.triangle.fill"),
                   tint)
            .pixmap(14, 14));
    m_ffmpegLabel->setText(m_plan.ffmpegLabel(m_hasFFmpeg));
    setTextColor(m_ffmpegLabel, tint);
    m_hint->setVisible(!m_hasFFmpeg);
    m_ffmpegLines->setText(m_plan.ffmpegLines().join(QLatin1Char('\n')));

    m_skippedBox->setVisible(!m_plan.skippedItems.isEmpty());
    m_skippedLabel->setText(m_plan.skippedLabel());
    m_skippedLines->setText(m_plan.skippedLines().join(QLatin1Char('\n')));

    m_renamedBox->setVisible(!m_plan.renamedItems.isEmpty());
    m_renamedLabel->setText(m_plan.renamedLabel());
    m_renamedLines->setText(m_plan.renamedLines().join(QLatin1Char('\n')));
    // Every line whole: the box grows with the list.
    m_renamedLines->setMinimumHeight(m_renamedLines->sizeHint().height());

    m_confirm->setEnabled(m_plan.transcodable > 0 && !m_confirmed);
}

void TranscodeConfirmationSheet::confirm() {
    if (m_confirmed || m_plan.transcodable < 1)
        return;
    m_confirmed = true;
    m_confirm->setEnabled(false);
    CleanupRunner& runner = m_runner; // the window's: it outlives the sheet
    closeSheet(this);
    // Its progress and result cards lie over the window; the result comes through the runner.
    runner.request(CleanupRunKind::transcode);
}

} // namespace tarnwick
