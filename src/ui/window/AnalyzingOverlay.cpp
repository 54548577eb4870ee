#include "ui/window/AnalyzingOverlay.h"

#include "analysis/ProjectManagerFace.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/FloatingCard.h"
#include "ui/common/Labels.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

namespace {

constexpr LabelOptions plainCentred = LabelOption::plainText | LabelOption::centred;

} // namespace

AnalyzingOverlay::AnalyzingOverlay(ProjectManagerFace& manager, QWidget* parent)
    : QWidget(parent), m_manager(&manager) {
    setObjectName(QStringLiteral("analyzingOverlay"));
    auto* outer = new QVBoxLayout(this);
    outer->setAlignment(Qt::AlignCenter);

    m_card = new QWidget(this);
    m_card->setObjectName(QStringLiteral("analyzingCard"));
    m_card->setMinimumWidth(400);
    m_card->setAutoFillBackground(false);
    styleFloatingCard(m_card, Color::withAlpha(Color::brandSurfaceRaised(), 250), {0, 0},
                      Color::sheetCardShadow());
    outer->addWidget(m_card, 0, Qt::AlignCenter);

    auto* layout = new QVBoxLayout(m_card);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->setSpacing(16);
    layout->setAlignment(Qt::AlignHCenter);

    auto* spinner = new QProgressBar(m_card);
    spinner->setRange(0, 0); // indeterminate
    spinner->setTextVisible(false);
    spinner->setFixedSize(60, 6);
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    layout->addSpacing(8);

    m_title = brandLabel(QStringLiteral("Analyzing Project..."), Font::brand(15, Font::Weight::semibold),
                         Color::brandTextPrimary(), m_card, plainCentred);
    layout->addWidget(m_title);

    m_bar = new QProgressBar(m_card);
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_bar->setFixedWidth(300);
    m_bar->setFixedHeight(6);
    layout->addWidget(m_bar, 0, Qt::AlignHCenter);

    m_task = brandLabel({}, Font::brand(13), Color::brandTextSecondary(), m_card,
                        plainCentred | LabelOption::wordWrap);
    // The labels that change with each step keep one size: a new text then only repaints them,
    // where a label that may resize lays the whole card out again (most of the GUI thread's time
    // during an import).
    m_task->setFixedSize(progressTextWidth, m_task->fontMetrics().lineSpacing() * 2 + 2);
    layout->addWidget(m_task, 0, Qt::AlignHCenter);

    QFont countFont = Font::brandMono(11);
    m_count = brandLabel({}, countFont, Color::brandTextTertiary(), m_card, plainCentred);
    m_count->setFixedSize(progressTextWidth, m_count->fontMetrics().lineSpacing() + 2);
    layout->addWidget(m_count, 0, Qt::AlignHCenter);

    QFont calloutFont = Font::brand(11);
    calloutFont.setItalic(true);
    m_callout = brandLabel({}, calloutFont, Color::brandTextSecondary(), m_card, plainCentred);

    layout->addSpacing(8);
    layout->addWidget(m_callout);

    m_timer = new QTimer(this);
    m_timer->setInterval(rotationMs);
    connect(m_timer, &QTimer::timeout, this, &AnalyzingOverlay::advance);
    m_timer->start();

    connect(&manager, &ProjectManagerFace::progressChanged, this, &AnalyzingOverlay::refresh);
    refresh();
}

const QStringList& AnalyzingOverlay::funCallouts() {
    static const QStringList callouts{
        QStringLiteral("Downloading more RAM..."),
        QStringLiteral("I know shooter shoot, but you overshoot..."),
        QStringLiteral("Sweeping up the cutting room floor..."),
        QStringLiteral("Finding the director's cut..."),
        QStringLiteral("Syncing audio to video..."),
        QStringLiteral("Someone cooked here..."),
        QStringLiteral("Scanning for unused footage..."),
    };
    return callouts;
}

std::optional<QString> AnalyzingOverlay::fileCountText(qint64 index, qint64 total) {
    if (total <= 0)
        return std::nullopt;
    return QStringLiteral("%1 / %2 files").arg(index).arg(total);
}

AnalyzingOverlay::Figures AnalyzingOverlay::figures(const AnalysisProgress& progress) {
    const auto permille = [](double fraction) { return int(fraction * 1000.0 + 0.5); };
    if (!progress.step)
        return {permille(progress.analysisProgress),
                fileCountText(progress.currentFileIndex, progress.totalFilesToScan)};
    Figures shown;
    if (progress.step->fraction)
        shown.permille = permille(std::clamp(*progress.step->fraction, 0.0, 1.0));
    if (progress.step->countsFiles)
        shown.fileCount = fileCountText(progress.currentFileIndex, progress.totalFilesToScan);
    return shown;
}

void AnalyzingOverlay::advance() {
    m_calloutIndex = (m_calloutIndex + 1) % int(funCallouts().size());
    m_callout->setText(funCallouts().at(m_calloutIndex));
}

QString AnalyzingOverlay::titleText() const {
    return m_title->text();
}
QString AnalyzingOverlay::taskText() const {
    return m_task->text();
}
QString AnalyzingOverlay::calloutText() const {
    return m_callout->text();
}
std::optional<QString> AnalyzingOverlay::shownFileCount() const {
    if (m_count->isHidden())
        return std::nullopt;
    return m_count->text();
}
std::optional<int> AnalyzingOverlay::progressPermille() const {
    if (m_bar->maximum() == 0)
        return std::nullopt;
    return m_bar->value();
}

void AnalyzingOverlay::refresh() {
    if (!m_manager)
        return;
    const AnalysisProgress& progress = m_manager->progress();
    const Figures shown = figures(progress);
    // A range of 0 to 0 draws the bar busy.
    m_bar->setRange(0, shown.permille ? 1000 : 0);
    m_bar->setValue(shown.permille.value_or(0));
    m_task->setText(
        m_task->fontMetrics().elidedText(progress.currentTask, Qt::ElideRight, progressTextWidth * 2 - 20));
    m_count->setVisible(shown.fileCount.has_value());
    m_count->setText(shown.fileCount.value_or(QString()));
    m_callout->setText(funCallouts().at(m_calloutIndex));
}

void AnalyzingOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Color::analyzingBackdrop());
}

} // namespace tarnwick
