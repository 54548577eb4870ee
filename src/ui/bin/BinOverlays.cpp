#include "ui/bin/BinOverlays.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/common/Labels.h"

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
QVBoxLayout* counterColumn(QWidget* parent, QLabel*& value, const QString& caption, const QColor& color = {},
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

// ---- Progress cards ---------------------------------------------------------------------------

ProgressOverlay::ProgressOverlay(const Look& look, QWidget* parent) : ModalCard(parent) {
    QVBoxLayout* card = cardLayout();
    card->addWidget(symbolLabel(look.symbol, look.tint, 48, this));
    card->addWidget(textLabel(look.title, 4, true, this));
    m_file = fileLine(this);
    card->addWidget(m_file);
    m_bar = progressBar(this);
    card->addWidget(m_bar, 0, Qt::AlignHCenter);
    QList<QLayout*> columns;
    for (const Column& column : look.columns) {
        QLabel* value = nullptr;
        columns.append(counterColumn(this, value, column.caption, column.color));
        m_counters.append(value);
    }
    card->addLayout(counterRow(columns, this));
    m_percent = textLabel(QString(), -2, false, this);
    setTextColor(m_percent, Color::tertiaryLabel());
    card->addWidget(m_percent);
    if (look.gapBeforeCancel > 0)
        card->addSpacing(look.gapBeforeCancel);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setMinimumWidth(90);
    if (look.cancelMinimumHeight > 0)
        m_cancel->setMinimumHeight(look.cancelMinimumHeight);
    card->addWidget(m_cancel, 0, Qt::AlignHCenter);
}

void ProgressOverlay::showProgress(const BinTexts::ProgressView& view) {
    setElided(m_file, view.currentFile);
    m_bar->setValue(int(std::clamp(view.fraction, 0.0, 1.0) * 1000));
    for (qsizetype i = 0; i < m_counters.size() && i < view.counters.size(); ++i)
        m_counters[i]->setText(view.counters[i]);
    m_percent->setText(BinTexts::percentText(view.fraction));
    m_cancel->setText(view.cancelling ? QStringLiteral("Cancelling…") : QStringLiteral("Cancel"));
    m_cancel->setEnabled(!view.cancelling);
}

MoveProgressOverlay::MoveProgressOverlay(ProjectManagerFace& manager, CleanupRunner& runner, QWidget* parent)
    : ProgressOverlay(
          {QStringLiteral("folder.badge.gearshape"),
           Color::darkSystemBlue(),
           QStringLiteral("Moving Files..."),
           {{QStringLiteral("Files"), {}}, {QStringLiteral("Total Size"), {}}, {QStringLiteral("Speed"), {}}},
           4,
           32},
          parent) {
    connect(cancelButton(), &QPushButton::clicked, this, [&runner] {
        if (const CleanupRun* run = runner.current();
            run && (run->kind() == CleanupRunKind::binMove || run->kind() == CleanupRunKind::unusedMove))
            runner.cancel(run->kind());
    });
    const auto refresh = [this, &manager] { showProgress(BinTexts::progressView(manager.moveProgress())); };
    connect(&manager, &ProjectManagerFace::moveProgressChanged, this, refresh);
    refresh();
}

TranscodeProgressOverlay::TranscodeProgressOverlay(ProjectManagerFace& manager, CleanupRunner& runner,
                                                   QWidget* parent)
    : ProgressOverlay(
          {QStringLiteral("film.stack"),
           Color::darkSystemIndigo(),
           QStringLiteral("Transcoding Files..."),
           {{QStringLiteral("Files"), {}}, {QStringLiteral("Space Saved"), Color::successGreen()}},
           0,
           0},
          parent) {
    connect(cancelButton(), &QPushButton::clicked, this,
            [&runner] { runner.cancel(CleanupRunKind::transcode); });
    const auto refresh = [this, &manager] {
        showProgress(BinTexts::progressView(manager.transcodeProgress()));
    };
    connect(&manager, &ProjectManagerFace::transcodeProgressChanged, this, refresh);
    refresh();
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
        counters->addLayout(counterColumn(this, value, column.caption, column.color, &caption));
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
    if (!result.unrecorded.isEmpty()) {
        m_unrecorded = textLabel(result.unrecorded, 0, false, this);
        setTextColor(m_unrecorded, Color::darkSystemRed());
        card->addWidget(m_unrecorded);
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
