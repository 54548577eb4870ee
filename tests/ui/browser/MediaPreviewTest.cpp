#include "support/ProjectManagerHarness.h"
#include "ui/browser/MediaPreviewView.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
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
