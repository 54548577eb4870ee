#include "ui/tools/StatsView.h"

#include "platform/ByteCountText.h"
#include "ui/brand/AppIcon.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandPrimaryButton.h"
#include "ui/brand/BrandSectionHeader.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/Labels.h"
#include "ui/tools/ToolSheetParts.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace tarnwick {

QString makerSite() {
    return QStringLiteral("tarnwick.app");
}

double averageUsage(const AllTimeStats& stats) {
    if (stats.totalMediaFilesAnalyzed < 1)
        return 0;
    return double(stats.totalUsedFiles) / double(stats.totalMediaFilesAnalyzed) * 100.0;
}

QString spaceSavedText(const AllTimeStats& stats) {
    return formatFileByteCount(stats.spaceSavedBytes);
}

QList<StatItem> statItems(const AllTimeStats& stats, const QDateTime& now, bool forShareCard) {
    return {
        {QStringLiteral("trash"), Color::brandRed(), QString::number(stats.filesDeleted),
         QStringLiteral("Files Deleted")},
        {QStringLiteral("folder"), Color::brandCyan(), QString::number(stats.filesMoved),
         QStringLiteral("Files Moved")},
        {QStringLiteral("film.stack"), Color::brandAccent(), QString::number(stats.projectsImported),
         QStringLiteral("Projects Imported")},
        {QStringLiteral("chart.pie"), Color::brandGreen(), QString::asprintf("%.0f%%", averageUsage(stats)),
         forShareCard ? QStringLiteral("Avg. Media Usage") : QStringLiteral("Avg. Usage")},
        {QStringLiteral("doc.text"), Color::brandAmber(), QString::number(stats.totalMediaFilesAnalyzed),
         QStringLiteral("Files Analyzed")},
        {QStringLiteral("calendar"), Color::brandAccentDeep(), QString::number(stats.daysSinceFirstUse(now)),
         QStringLiteral("Days Active")},
    };
}

QString shareText(const AllTimeStats& stats) {
    return QStringLiteral("I reclaimed ") + spaceSavedText(stats) + QStringLiteral(" with Tarnwick — ") +
           QString::number(stats.filesDeleted) + QStringLiteral(" files deleted across ") +
           QString::number(stats.projectsImported) + QStringLiteral(" projects. ") + makerSite();
}

// ---- Share card -------------------------------------------------------------------------------

StatsShareCard::StatsShareCard(const AllTimeStats& stats, const QDateTime& now, QWidget* parent)
    : QWidget(parent), m_stats(stats), m_now(now) {
    setFixedSize(270, 480);
}

QImage StatsShareCard::render3x() {
    QImage image(810, 1440, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(3.0);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    render(&painter);
    return image;
}

namespace {
void drawText(QPainter& p, const QRectF& r, const QFont& font, const QColor& colour, const QString& text,
              Qt::Alignment align = Qt::AlignCenter, qreal tracking = 0) {
    QFont f = font;
    if (tracking > 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(r, align, text);
}

// Shrinks `font` until `text` fits `width`, down to `minimumScale` of its size.
QFont fitted(QFont font, const QString& text, qreal width, qreal minimumScale) {
    const qreal size = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize();
    for (qreal scale = 1.0; scale >= minimumScale; scale -= 0.05) {
        QFont f = font;
        if (font.pointSizeF() > 0)
            f.setPointSizeF(size * scale);
        else
            f.setPixelSize(int(size * scale));
        if (QFontMetricsF(f).horizontalAdvance(text) <= width)
            return f;
    }
    QFont f = font;
    if (font.pointSizeF() > 0)
        f.setPointSizeF(size * minimumScale);
    else
        f.setPixelSize(int(size * minimumScale));
    return f;
}
} // namespace

void StatsShareCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, Color::brandSurface());
    gradient.setColorAt(1, Color::brandBackground());
    p.fillRect(rect(), gradient);

    const QList<StatItem> items = statItems(m_stats, m_now, true);
    const qreal w = width();
    // Content height: brand block, space block, rows; centred between the spacers.
    const QIcon icon = appIcon();
    const qreal iconBlock = icon.isNull() ? 0 : 56 + 8;
    const qreal brandBlock = iconBlock + 26 + 8 + 12;
    const qreal spaceBlock = 44 + 2 + 15;
    const qreal rowsBlock = items.size() * 18 + (items.size() - 1) * 11;
    const qreal footer = 14;
    const qreal content = brandBlock + 20 + spaceBlock + 20 + rowsBlock;
    qreal y = 20 + (height() - 40 - footer - 20 - content) / 2;

    if (!icon.isNull()) {
        QPainterPath clip;
        const QRectF iconRect((w - 56) / 2, y, 56, 56);
        clip.addRoundedRect(iconRect, 13, 13);
        p.save();
        p.setClipPath(clip);
        icon.paint(&p, iconRect.toRect());
        p.restore();
        y += 64;
    }
    drawText(p, QRectF(0, y, w, 26), Font::brand(20, Font::Weight::bold), Color::brandTextPrimary(),
             QStringLiteral("Tarnwick"));
    y += 34;
    drawText(p, QRectF(0, y, w, 12), Font::brandMono(9, Font::Weight::bold), Color::brandTextTertiary(),
             QStringLiteral("ALL-TIME STATS"), Qt::AlignCenter, 2);
    y += 12 + 20;
    const QString saved = spaceSavedText(m_stats);
    drawText(p, QRectF(20, y, w - 40, 44),
             fitted(Font::brandMono(34, Font::Weight::bold), saved, w - 40, 0.5), Color::brandAmber(), saved);
    y += 46;
    drawText(p, QRectF(0, y, w, 15), Font::brand(11), Color::brandTextTertiary(),
             QStringLiteral("Space Saved"));
    y += 15 + 20;
    for (const StatItem& item : items) {
        const QRectF row(42, y, w - 84, 18);
        symbolIcon(item.icon, item.color).paint(&p, QRect(int(row.left()) + 3, int(y) + 3, 12, 12));
        drawText(p, row.adjusted(26, 0, 0, 0), Font::brand(13), Color::brandTextSecondary(), item.label,
                 Qt::AlignLeft | Qt::AlignVCenter);
        drawText(p, row, Font::brandMono(13, Font::Weight::bold), Color::brandTextPrimary(), item.value,
                 Qt::AlignRight | Qt::AlignVCenter);
        y += 18 + 11;
    }
    drawText(p, QRectF(0, height() - 20 - footer, w, footer), Font::brandMono(9), Color::brandTextMuted(),
             makerSite());
}

// ---- Sheet ------------------------------------------------------------------------------------

namespace {
QWidget* statCard(const StatItem& item, QWidget* parent) {
    auto* card = new QWidget(parent);
    card->setObjectName(QStringLiteral("statCard"));
    card->setAttribute(Qt::WA_StyledBackground);
    card->setStyleSheet(
        QStringLiteral("#statCard { background: %1; border: 1px solid %2; border-radius: 6px; }")
            .arg(Color::brandSurfaceRaised().name(),
                 Color::withOpacity(item.color, 0.22).name(QColor::HexArgb)));
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(4, 14, 4, 14);
    column->setSpacing(6);
    auto* icon = new QLabel(card);
    icon->setPixmap(symbolIcon(item.icon, item.color).pixmap(18, 18));
    icon->setAlignment(Qt::AlignCenter);
    column->addWidget(icon);
    auto* value = brandLabel(item.value, Font::brandMono(22, Font::Weight::bold), Color::brandTextPrimary(),
                             card, LabelOption::centred);
    value->setObjectName(QStringLiteral("statValue"));
    column->addWidget(value);
    auto* caption =
        brandLabel(item.label, Font::brand(10), Color::brandTextTertiary(), card, LabelOption::centred);
    caption->setObjectName(QStringLiteral("statLabel"));
    column->addWidget(caption);
    return card;
}
// The space saved, large, on its amber-tinted card.
QWidget* heroCard(const QString& saved, QWidget* parent) {
    auto* hero = new QWidget(parent);
    hero->setObjectName(QStringLiteral("hero"));
    hero->setAttribute(Qt::WA_StyledBackground);
    hero->setStyleSheet(QStringLiteral("#hero { border: 1px solid %1; border-radius: 6px; background: "
                                       "qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 %2, stop:1 %3); }")
                            .arg(Color::withOpacity(Color::brandAmber(), 0.28).name(QColor::HexArgb),
                                 Color::withOpacity(Color::brandAmber(), 0.16).name(QColor::HexArgb),
                                 Color::brandSurfaceRaised().name()));
    auto* heroColumn = new QVBoxLayout(hero);
    heroColumn->setContentsMargins(8, 22, 8, 22);
    heroColumn->setSpacing(4);
    heroColumn->addWidget(
        new BrandSectionHeader(QStringLiteral("Space Saved"), QStringLiteral("internaldrive"), hero), 0,
        Qt::AlignHCenter);
    auto* savedLabel = brandLabel(saved, fitted(Font::brandMono(46, Font::Weight::bold), saved, 360, 0.5),
                                  Color::brandAmber(), hero, LabelOption::centred);
    savedLabel->setObjectName(QStringLiteral("heroValue"));
    heroColumn->addWidget(savedLabel);
    return hero;
}
} // namespace

StatsView::StatsView(const AllTimeStats& stats, std::optional<QDateTime> now, QWidget* parent)
    : QWidget(parent), m_stats(stats), m_now(now.value_or(QDateTime::currentDateTime())),
      m_items(statItems(stats, m_now, false)) {
    // As tall as the figures where the screen has room; on a short screen the figures scroll
    // between the header and the share bar, which stay in view.
    setFixedWidth(preferredSize().width());
    setMaximumHeight(preferredSize().height());
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Color::brandBackground());
    setPalette(palette);

    auto* done = brandDoneButton();
    // The default: a sheet opens on it, and Return presses it while no other button has the focus.
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, [this] { dismissSheet(this); });

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(
        brandHeaderBar(QStringLiteral("All-Time Stats"), QStringLiteral("chart.bar.fill"), done));
    outer->addWidget(divider(Color::brandSurfaceSunken()));
    outer->addWidget(buildFigures(), 1);
    outer->addWidget(divider(Color::brandSurfaceSunken()));
    outer->addWidget(buildShareBar());
}

QWidget* StatsView::buildFigures() {
    auto* body = new QWidget;
    body->setAutoFillBackground(true);
    body->setPalette(palette());
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    column->addWidget(heroCard(spaceSavedText(m_stats), body));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(12);
    for (int i = 0; i < m_items.size(); ++i)
        grid->addWidget(statCard(m_items.at(i), body), i / 2, i % 2);
    column->addLayout(grid);
    auto* footer = brandLabel(QStringLiteral("TARNWICK"), Font::brandMono(10, Font::Weight::bold),
                              Color::brandTextMuted(), body, LabelOption::centred);
    QFont tracked = footer->font();
    tracked.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    footer->setFont(tracked);
    column->addWidget(footer);
    column->addStretch(1);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // No Tab stop: the figures hold no control, and the focus would sit there unseen. The Page
    // keys and the arrows scroll them wherever the focus is.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(body);
    const std::pair<Qt::Key, QAbstractSlider::SliderAction> scrollKeys[] = {
        {Qt::Key_PageUp, QAbstractSlider::SliderPageStepSub},
        {Qt::Key_PageDown, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Up, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Down, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_Home, QAbstractSlider::SliderToMinimum},
        {Qt::Key_End, QAbstractSlider::SliderToMaximum},
    };
    for (const auto& [key, action] : scrollKeys) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, scroll,
                [scroll, action] { scroll->verticalScrollBar()->triggerAction(action); });
    }
    return scroll;
}

QWidget* StatsView::buildShareBar() {
    m_share = new BrandPrimaryButton(QStringLiteral("Share My Stats"), this);
    m_share->setIcon(symbolIcon(QStringLiteral("square.and.arrow.up"), Color::brandBackground()));
    m_share->setMinimumHeight(32);
    m_menu = new QMenu(m_share);
    m_menu->addAction(symbolIcon(QStringLiteral("doc.on.doc")), QStringLiteral("Copy Image"), this,
                      [this] { QApplication::clipboard()->setImage(shareImage()); });
    m_menu->addAction(symbolIcon(QStringLiteral("square.and.arrow.down")), QStringLiteral("Save Image…"),
                      this, [this] { chooseImageFile(); });
    m_menu->addAction(symbolIcon(QStringLiteral("text.quote")), QStringLiteral("Copy Text"), this,
                      [this] { QApplication::clipboard()->setText(shareText(m_stats)); });
    // A popup, not exec(): the window keeps running while the menu is open.
    // Below the button, or above it where the screen ends first.
    connect(m_share, &QAbstractButton::clicked, this, [this] {
        QPoint at = m_share->mapToGlobal(QPoint(0, m_share->height()));
        const QScreen* screen = m_share->screen();
        if (screen && at.y() + m_menu->sizeHint().height() > screen->availableGeometry().bottom())
            at = m_share->mapToGlobal(QPoint(0, -m_menu->sizeHint().height()));
        m_menu->popup(at);
    });
    auto* shareBar = new QWidget(this);
    shareBar->setAutoFillBackground(true);
    QPalette barPalette = shareBar->palette();
    barPalette.setColor(QPalette::Window, Color::brandSurface());
    shareBar->setPalette(barPalette);
    auto* shareRow = new QVBoxLayout(shareBar);
    shareRow->setContentsMargins(12, 12, 12, 12);
    shareRow->addWidget(m_share);
    return shareBar;
}

void StatsView::chooseImageFile() {
    auto* dialog = new QFileDialog(window(), QStringLiteral("Save Stats Image"), QString(),
                                   QStringLiteral("PNG Image (*.png)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->selectFile(QStringLiteral("Tarnwick Stats.png"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) { saveImage(path); });
    dialog->open();
}

QSize StatsView::sizeHint() const {
    return preferredSize();
}

QSize StatsView::minimumSizeHint() const {
    // The header, the share bar and a row of the figures.
    return {preferredSize().width(),
            std::min(QWidget::minimumSizeHint().height() + 120, preferredSize().height())};
}

QString StatsView::heroText() const {
    return spaceSavedText(m_stats);
}

const QImage& StatsView::shareImage() {
    // Once per opening: the figures are a snapshot, so the card cannot change while it is open.
    if (m_image.isNull()) {
        StatsShareCard card(m_stats, m_now);
        m_image = card.render3x();
        ++m_renders;
        if (m_image.isNull())
            m_image = symbolIcon(QStringLiteral("chart.bar")).pixmap(270, 270).toImage();
    }
    return m_image;
}

bool StatsView::saveImage(const QString& path) {
    return shareImage().save(path, "PNG");
}

} // namespace tarnwick
