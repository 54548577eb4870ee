#include "support/ProjectManagerHarness.h"
#include "ui/browser/BrowserViews.h"
#include "ui/browser/MediaPreviewView.h"
#include "ui/common/Sheet.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::media;

ImageLoader loaderOf(std::optional<QImage> image, QStringList* asked) {
    return [image, asked](QString path) -> QCoro::Task<std::optional<QImage>> {
        asked->append(path);
        co_return image;
    };
}

TEST(MediaPreview, ImagesOpenInTheViewerFromTheMatchedPathWithTheirSize) {
    QStringList asked;
    MediaFile file = media("/v/Photo.JPG");
    file.matchedPath = "/w/found.jpg";
    QImage big(2000, 1000, QImage::Format_RGB32);
    big.fill(Qt::red);
    MediaPreviewView view(file, loaderOf(big, &asked), {});
    auto* viewer = qobject_cast<ImagePreviewView*>(view.content());
    ASSERT_NE(viewer, nullptr);
    testing::drainEvents();
    EXPECT_EQ(asked, QStringList({"/w/found.jpg"}));
    EXPECT_FALSE(viewer->isLoading());
    EXPECT_EQ(viewer->sizeText(), QStringLiteral("2000 × 1000"));
    EXPECT_TRUE(viewer->stateText().isEmpty());
    // Drawn fitted within 800 × 600.
    QLabel* picture = nullptr;
    for (QLabel* label : viewer->findChildren<QLabel*>())
        if (!label->pixmap().isNull() && label->pixmap().width() > 100)
            picture = label;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), QSize(800, 400));

    QSignalSpy dismissed(&view, &MediaPreviewView::dismissRequested);
    for (QPushButton* button : viewer->findChildren<QPushButton*>())
        if (button->text() == "Done") {
            EXPECT_TRUE(button->isDefault()); // Return closes it too
            button->click();
        }
    EXPECT_EQ(dismissed.count(), 1);
}

// The sheet opens at the size of the fitted picture: nothing of it is cropped and no scroll bar
// shows; only a picture wider than the screen gets a bar, inside the sheet. (The test screen is
// 800 × 800: a wider picture fills its width.)
TEST(MediaPreview, TheImageSheetFitsThePictureWithItsScrollBarsInside) {
    QWidget window;
    window.resize(1280, 900);
    window.show();
    for (const QSize stored : {QSize(640, 480), QSize(700, 900), QSize(120, 80), QSize(1920, 1080)}) {
        QImage image(stored, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QStringList asked;
        auto* view = new MediaPreviewView(media("/v/Still.png"), loaderOf(image, &asked), {});
        QPointer<Sheet> sheet = Sheet::present(&window, view);
        auto* viewer = qobject_cast<ImagePreviewView*>(view->content());
        ASSERT_NE(viewer, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([viewer] { return !viewer->isLoading(); }));
        testing::drainEvents();
        auto* scroll = viewer->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        const QSize picture = scroll->widget()->size();
        const QRect screen = window.screen()->availableGeometry();
        if (stored != QSize(1920, 1080)) {
            EXPECT_GE(scroll->viewport()->width(), picture.width()) << stored.width();
            EXPECT_GE(scroll->viewport()->height(), picture.height()) << stored.width();
        } else {
            EXPECT_LE(sheet->width(), screen.width());
        }
        EXPECT_GE(sheet->width(), 600);
        EXPECT_GE(sheet->height(), 400);
        EXPECT_EQ(scroll->horizontalScrollBar()->isVisible(), picture.width() > scroll->viewport()->width())
            << stored.width();
        EXPECT_EQ(scroll->verticalScrollBar()->isVisible(), picture.height() > scroll->viewport()->height())
            << stored.width();
        EXPECT_EQ(scroll->horizontalScrollBar()->isVisible(), stored == QSize(1920, 1080));
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << stored.width();
        for (QScrollBar* bar : {scroll->horizontalScrollBar(), scroll->verticalScrollBar()}) {
            const QRect inSheet(bar->mapTo(sheet, QPoint(0, 0)), bar->size());
            EXPECT_TRUE(!bar->isVisible() || sheet->rect().contains(inSheet)) << stored.width();
        }
        sheet->close();
        testing::drainEvents();
    }
}

TEST(MediaPreview, AnUndecodableImageIsUnavailableWithoutASize) {
    QStringList asked;
    MediaPreviewView view(media("/v/broken.png"), loaderOf(std::nullopt, &asked), {});
    auto* viewer = qobject_cast<ImagePreviewView*>(view.content());
    ASSERT_NE(viewer, nullptr);
    testing::drainEvents();
    EXPECT_EQ(viewer->stateText(), "Preview Unavailable");
    EXPECT_TRUE(viewer->sizeText().isEmpty());
}

TEST(MediaPreview, KindsChooseTheContent) {
    QStringList asked;
    QStringList scrubbed;
    const ScrubViewFactory scrub = [&](const QString& path, const QString& name, bool isAudio) {
        scrubbed << path + "|" + name + "|" + (isAudio ? "audio" : "video");
        return new QWidget;
    };
    MediaPreviewView audio(media("/v/song.WAV"), loaderOf({}, &asked), scrub);
    MediaPreviewView video(media("/v/clip.mov"), loaderOf({}, &asked), scrub);
    EXPECT_EQ(scrubbed, QStringList({"/v/song.WAV|song.WAV|audio", "/v/clip.mov|clip.mov|video"}));

    MediaPreviewView other(media("/v/notes.txt"), loaderOf({}, &asked), scrub);
    auto* message = other.findChild<QLabel*>("noPreview");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), "No preview available");
    MediaPreviewView bare(media("/v/README"), loaderOf({}, &asked), scrub);
    EXPECT_NE(bare.findChild<QLabel*>("noPreview"), nullptr);
    EXPECT_TRUE(asked.isEmpty());
}

} // namespace
} // namespace tarnwick

namespace tarnwick {
namespace {

// Lets the event loop run until `done` holds (the generator answers from its worker threads).
bool runUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(60'000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

TEST(BrowserServices, TheApplicationsLoadersReadRealImagesAndPlaceholders) {
    QTemporaryDir dir;
    const QString png = dir.filePath("still.png");
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(png));
    BrowserServices services = systemBrowserServices(nullptr);
    std::optional<std::optional<QImage>> loaded;
    QCoro::connect(services.loadImage(png), qApp,
                   [&](std::optional<QImage> result) { loaded = std::move(result); });
    ASSERT_TRUE(runUntil([&] { return loaded.has_value(); }));
    ASSERT_TRUE(loaded->has_value());
    EXPECT_EQ((*loaded)->size(), QSize(40, 20));

    QImage thumbnail;
    bool answered = false;
    const bool requested =
        services.thumbnails(testing::media(png), RequestToken::make(), [&](const QImage& result) {
            thumbnail = result;
            answered = true;
        });
    EXPECT_TRUE(requested);
    ASSERT_TRUE(runUntil([&] { return answered; }));
    EXPECT_FALSE(thumbnail.isNull());
    EXPECT_FALSE(services.thumbnails(testing::media(dir.filePath("notes.txt")), RequestToken::make(),
                                     [](const QImage&) {}));
}

} // namespace
} // namespace tarnwick
