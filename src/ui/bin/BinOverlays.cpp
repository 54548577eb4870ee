#include "ui/bin/BinOverlays.h"

#include "analysis/ProjectManager.h"
#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/Labels.h"
#include "ui/window/CleanupOperations.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarnwick {

using namespace BinWidgets;

namespace {
QFrame* verticalDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFixedSize(1, 30);
    line->setStyleSheet(QStringLiteral("background: rgba(255,255,255,50);"));
    return line;
}

// A counter column: value (title-3, monospaced digits) over its caption.
QVBoxLayout* counter(QWidget* parent, QLabel*& value, const QString& caption, const QColor& color = {},
                     QLabel** captionOut = nullptr) {
    auto* col = new QVBoxLayout;
    value = textLabel(QString(), 3, false, parent);
    value->setWordWrap(false);
    if (color.isValid())
        setTextColor(value, color);
    auto* cap = textLabel(caption, -2, false, parent);
    setTextColor(cap, Color::secondaryLabel());
    col->addWidget(value);
    col->addWidget(cap);
    if (captionOut)
        *captionOut = cap;
    return col;
}

QProgressBar* progressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 1000);
    bar->setTextVisible(false);
    bar->setFixedWidth(400);
    bar->setFixedHeight(6);
    return bar;
}

QLabel* fileLine(QWidget* parent) {
    auto* label = textLabel(QString(), -1, false, parent);
    label->setWordWrap(false);
    label->setMaximumWidth(420);
    label->setMinimumWidth(1);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextColor(label, Color::secondaryLabel());
    return label;
}

void setElided(QLabel* label, const QString& text) {
    label->setToolTip(text);
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, 420));
}

// The head both progress cards share: symbol, title, the file in work and the bar.
void addProgressHead(QWidget* owner, QVBoxLayout* card, const QString& symbol, const QColor& tint,
                     const QString& title, QLabel*& file, QProgressBar*& bar) {
    card->addWidget(symbolLabel(symbol, tint, 48, owner));
    card->addWidget(textLabel(title, 4, true, owner));
    file = fileLine(owner);
    card->addWidget(file);
    bar = progressBar(owner);
    card->addWidget(bar, 0, Qt::AlignHCenter);
}

// Counter columns side by side, centred, with dividers between them.
QHBoxLayout* counterRow(const QList<QLayout*>& columns, QWidget* owner) {
    auto* row = new QHBoxLayout;
    row->setSpacing(24);
    row->addStretch(1);
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (i > 0)
            row->addWidget(verticalDivider(owner));
        row->addLayout(columns[i]);
    }
    row->addStretch(1);
    return row;
}
} // namespace

// ---- Move -------------------------------------------------------------------------------------

MoveProgressOverlay::MoveProgressOverlay(ProjectManager& manager, QWidget* parent)
    : ModalCard(parent), m_manager(manager) {
    QVBoxLayout* card = cardLayout();
    addProgressHead(this, card, QStringLiteral("folder.badge.gearshape"), Color::darkSystemBlue(),
                    QStringLiteral("Moving Files..."), m_file, m_bar);
    card->addLayout(counterRow({counter(this, m_files, QStringLiteral("Files")),
                                counter(this, m_bytes, QStringLiteral("Total Size")),
                                counter(this, m_speed, QStringLiteral("Speed"))},
                               this));
    m_percent = textLabel(QString(), -2, false, this);
    setTextColor(m_percent, Color::tertiaryLabel());
    card->addWidget(m_percent);
    card->addSpacing(4);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setMinimumWidth(90);
    m_cancel->setMinimumHeight(32);
    card->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_manager.setCancelMoveRequested(true); });
    connect(&m_manager, &ProjectManager::moveProgressChanged, this, &MoveProgressOverlay::refresh);
    refresh();
}

void MoveProgressOverlay::refresh() {
    const ProjectManager& pm = m_manager;
    setElided(m_file, pm.moveCurrentFile());
    m_bar->setValue(int(std::clamp(pm.moveProgressFraction(), 0.0, 1.0) * 1000));
    m_files->setText(BinTexts::filesCounter(pm.moveFilesCompleted(), pm.moveTotalFiles()));
    m_bytes->setText(BinTexts::moveSizeCounter(pm.moveBytesCompleted(), pm.moveTotalBytes()));
    m_speed->setText(BinTexts::speedText(pm.moveMBps()));
    m_percent->setText(BinTexts::percentText(pm.moveProgressFraction()));
    const bool cancelling = pm.cancelMoveRequested();
    m_cancel->setText(cancelling ? QStringLiteral("Cancelling…") : QStringLiteral("Cancel"));
    m_cancel->setEnabled(!cancelling);
}

// ---- Transcode progress -----------------------------------------------------------------------

TranscodeProgressOverlay::TranscodeProgressOverlay(ProjectManager& manager, CleanupOperations& operations,
                                                   QWidget* parent)
    : ModalCard(parent), m_manager(manager), m_operations(operations) {
    QVBoxLayout* card = cardLayout();
    addProgressHead(this, card, QStringLiteral("film.stack"), Color::darkSystemIndigo(),
                    QStringLiteral("Transcoding Files..."), m_file, m_bar);
    card->addLayout(counterRow({counter(this, m_files, QStringLiteral("Files")),
                                counter(this, m_saved, QStringLiteral("Space Saved"), Color::successGreen())},
                               this));
    m_percent = textLabel(QString(), -2, false, this);
    setTextColor(m_percent, Color::tertiaryLabel());
    card->addWidget(m_percent);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setMinimumWidth(90);
    card->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_operations.cancelTranscode(m_manager); });
    connect(&m_manager, &ProjectManager::transcodeProgressChanged, this, &TranscodeProgressOverlay::refresh);
    refresh();
}

void TranscodeProgressOverlay::refresh() {
    const ProjectManager& pm = m_manager;
    setElided(m_file, pm.transcodeCurrentFile());
    m_bar->setValue(int(std::clamp(pm.transcodeProgressFraction(), 0.0, 1.0) * 1000));
    m_files->setText(BinTexts::filesCounter(pm.transcodeFilesCompleted(), pm.transcodeTotalFiles()));
    m_saved->setText(formatFileByteCount(pm.transcodeSpaceSaved()));
    m_percent->setText(BinTexts::percentText(pm.transcodeProgressFraction()));
}

// ---- Transcode result -------------------------------------------------------------------------

TranscodeCompleteOverlay::TranscodeCompleteOverlay(const TranscodeCompleteResult& result,
                                                   std::function<void()> onDismiss, QWidget* parent)
    : ModalCard(parent), m_look(BinTexts::transcodeResultLook(result)) {
    QVBoxLayout* card = cardLayout();
    m_icon = symbolLabel(m_look.symbol, m_look.iconColor, 48, this);
    card->addWidget(m_icon);
    m_title = textLabel(m_look.title, 4, true, this);
    card->addWidget(m_title);
    auto* counters = new QHBoxLayout;
    counters->setSpacing(24);
    counters->addStretch(1);
    for (const BinTexts::TranscodeColumn& column : m_look.columns) {
        if (column.dividerBefore)
            counters->addWidget(verticalDivider(this));
        QLabel* value = nullptr;
        QLabel* caption = nullptr;
        counters->addLayout(counter(this, value, column.caption, column.color, &caption));
        value->setText(column.value);
        m_values.append(value);
        m_captions.append(caption);
    }
    counters->addStretch(1);
    card->addLayout(counters);
    if (m_look.showErrors) {
        ErrorBox box = errorBox(result.errors, 0, QStringLiteral("Errors:"), Color::secondaryLabel(), 2);
        m_errorScroll = box.scroll;
        m_errorLines = box.lines;
        card->addWidget(box.frame, 1);
    }
    if (m_look.showNote) {
        m_note = textLabel(BinTexts::transcodeNote(), -1, false, this);
        setTextColor(m_note, Color::secondaryLabel());
        card->addWidget(m_note);
    }
    m_done = tintedButton(QStringLiteral("Done"), Color::darkSystemIndigo(), true, {}, this);
    m_done->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_done->setMinimumWidth(90);
    m_done->setDefault(true);
    m_done->setShortcut(QKeySequence(Qt::Key_Return));
    card->addWidget(m_done, 0, Qt::AlignHCenter);
    connect(m_done, &QPushButton::clicked, this, [onDismiss = std::move(onDismiss)] {
        if (onDismiss)
            onDismiss();
    });
}

} // namespace tarnwick
