#include "ui/browser/MediaPreviewView.h"

#include "platform/PathText.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/Labels.h"
#include "ui/common/ModalFrame.h"
#include "ui/common/ViewHelpers.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

constexpr QSize maxImageSize(800, 600);

// The captions: the widget's font at 11 pixels.
QFont captionFont(const QWidget* widget) {
    QFont font = widget->font();
    font.setPixelSize(11);
    return font;
}

} // namespace

ImagePreviewView::ImagePreviewView(const QString& filePath, const QString& fileName, ImageLoader loader,
                                   QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerLayout = new QHBoxLayout(header);
    auto* titles = new QVBoxLayout;
    auto* title = new QLabel(QStringLiteral("Image Preview"), header);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    titles->addWidget(title);
    titles->addWidget(brandLabel(fileName, captionFont(header), Color::secondaryLabel(), header));
    headerLayout->addLayout(titles);
    headerLayout->addStretch();
    m_size = brandLabel({}, captionFont(header), Color::secondaryLabel(), header);
    m_size->hide();
    headerLayout->addWidget(m_size);
    auto* done = new QPushButton(QStringLiteral("Done"), header);
    done->setDefault(true);
    done->setAutoDefault(true);
    connect(done, &QPushButton::clicked, this, &ImagePreviewView::dismissRequested);
    headerLayout->addWidget(done);
    layout->addWidget(header);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    layout->addWidget(line);

    m_body = new QStackedWidget(this);
    auto* loading = new QWidget(m_body);
    auto* loadingLayout = new QVBoxLayout(loading);
    loadingLayout->addStretch();
    loadingLayout->addWidget(brandLabel(QStringLiteral("Loading image..."), captionFont(loading),
                                        Color::secondaryLabel(), loading, LabelOption::centred));
    loadingLayout->addStretch();
    m_body->addWidget(loading);

    m_scroll = new QScrollArea(m_body);
    // Bars only when there is something to scroll: the sheet is sized to the picture.
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_picture = new QLabel;
    m_picture->setContentsMargins(16, 16, 16, 16);
    m_scroll->setWidget(m_picture);
    m_body->addWidget(m_scroll);

    auto* unavailable = new QWidget(m_body);
    auto* unavailableLayout = new QVBoxLayout(unavailable);
    unavailableLayout->addStretch();
    auto* icon = new QLabel(unavailable);
    icon->setPixmap(symbolIcon(QStringLiteral("photo.slash")).pixmap(40, 40));
    icon->setAlignment(Qt::AlignCenter);
    unavailableLayout->addWidget(icon);
    auto* unavailableTitle = new QLabel(QStringLiteral("Preview Unavailable"), unavailable);
    unavailableTitle->setObjectName(QStringLiteral("stateTitle"));
    unavailableTitle->setAlignment(Qt::AlignCenter);
    unavailableTitle->setFont(headline);
    unavailableLayout->addWidget(unavailableTitle);
    unavailableLayout->addWidget(brandLabel(QStringLiteral("Could not load image"), captionFont(unavailable),
                                            Color::secondaryLabel(), unavailable, LabelOption::centred));
    unavailableLayout->addStretch();
    m_body->addWidget(unavailable);
    layout->addWidget(m_body, 1);

    load(filePath, std::move(loader));
}

QCoro::Task<void> ImagePreviewView::load(QString path, ImageLoader loader) {
    QPointer<ImagePreviewView> self(this);
    std::optional<QImage> image;
    if (loader) {
        // Held in a variable: a temporary task inside co_await is destroyed twice by this compiler.
        auto loading = loader(path);
        image = co_await loading;
    }
    if (!self)
        co_return; // the sheet closed while the image was read
    m_image = std::move(image);
    m_isLoading = false;
    showResult();
    Q_EMIT loaded();
}

void ImagePreviewView::showResult() {
    if (!m_image || m_image->isNull()) {
        m_image.reset();
        m_body->setCurrentIndex(2);
        return;
    }
    m_size->setText(sizeText());
    m_size->show();
    QPixmap pixmap = QPixmap::fromImage(*m_image);
    if (pixmap.width() > maxImageSize.width() || pixmap.height() > maxImageSize.height())
        pixmap = pixmap.scaled(maxImageSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_picture->setPixmap(pixmap);
    m_picture->adjustSize();
    m_body->setCurrentIndex(1);
    fitToPicture();
}

void ImagePreviewView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_image && m_body->currentIndex() == 1)
        fitToPicture();
}

// The sheet takes the size of the fitted picture: the scroll area's viewport holds it whole and
// shows no bars. On a screen too small for that the sheet fills what there is, and the bar of an
// axis that overflows scrolls, inside the sheet (it takes room from the other axis).
void ImagePreviewView::fitToPicture() {
    const int frame = 2 * m_scroll->frameWidth();
    const QSize whole = m_picture->size() + QSize(frame, frame);
    // The header and divider above the body (before the first layout, a fair guess).
    const int chrome = isVisible() ? std::max(0, height() - m_body->height()) : 80;
    QSize room(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (const QScreen* screen = this->screen()) {
        QRect area = screen->availableGeometry();
        // A sheet leaves room for the window manager's frame round it too.
        if (const auto* sheet = qobject_cast<const QDialog*>(window()))
            area = area.marginsRemoved(modalFrame::decoration(*sheet));
        room = area.size() - QSize(0, chrome);
    }
    QSize wanted = whole.boundedTo(room);
    const int barWidth = m_scroll->verticalScrollBar()->sizeHint().width();
    const int barHeight = m_scroll->horizontalScrollBar()->sizeHint().height();
    if (whole.width() > room.width())
        wanted.setHeight(std::min(whole.height() + barHeight, room.height()));
    if (whole.height() > room.height())
        wanted.setWidth(std::min(wanted.width() + barWidth, room.width()));
    m_scroll->setMinimumSize(wanted);
    layout()->activate();
    QWidget* sheet = window();
    sheet->resize(sheet->size().expandedTo(sheet->minimumSizeHint()));
}

// At least 600 × 400, and never less than its content needs: a fixed minimum would cap what the
// sheet's layout asks for, and the fitted picture would spill out of the sheet.
QSize ImagePreviewView::minimumSizeHint() const {
    return QWidget::minimumSizeHint().expandedTo(QSize(600, 400));
}

QString ImagePreviewView::sizeText() const {
    if (!m_image)
        return {};
    // Points, as the image reports them.
    const QSizeF points = m_image->deviceIndependentSize();
    return QStringLiteral("%1 × %2").arg(qint64(points.width())).arg(qint64(points.height()));
}

QString ImagePreviewView::stateText() const {
    switch (m_body->currentIndex()) {
    case 0:
        return QStringLiteral("Loading image...");
    case 2:
        return QStringLiteral("Preview Unavailable");
    default:
        return {};
    }
}

QString MediaPreviewView::sourcePath(const MediaFile& file) {
    return standingPath(file);
}

MediaPreviewView::MediaPreviewView(const MediaFile& file, ImageLoader loader, ScrubViewFactory scrubView,
                                   QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const QString source = sourcePath(file);
    const QString name = path::lastPathComponent(file.path);
    const MediaKind kind = mediaKindFromExtension(path::pathExtension(file.path));
    if (kind == MediaKind::image) {
        auto* image = new ImagePreviewView(source, name, std::move(loader), this);
        connect(image, &ImagePreviewView::dismissRequested, this, &MediaPreviewView::dismissRequested);
        m_content = image;
    } else if ((kind == MediaKind::audio || kind == MediaKind::video) && scrubView) {
        m_content = scrubView(source, name, kind == MediaKind::audio);
        m_content->setParent(this);
    }
    if (!m_content) {
        m_content = new QWidget(this);
        auto* message = new QVBoxLayout(m_content);
        auto* text = brandLabel(QStringLiteral("No preview available"), captionFont(m_content),
                                Color::secondaryLabel(), m_content, LabelOption::centred);
        text->setObjectName(QStringLiteral("noPreview"));
        message->addWidget(text);
        auto* done = new QPushButton(QStringLiteral("Done"), m_content);
        connect(done, &QPushButton::clicked, this, &MediaPreviewView::dismissRequested);
        message->addWidget(done, 0, Qt::AlignCenter);
    }
    layout->addWidget(m_content);
}

} // namespace tarnwick
