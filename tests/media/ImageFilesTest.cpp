#include "platform/media/ImageFiles.h"

#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <QTemporaryDir>

using namespace tarnwick;

TEST(ImageFiles, ExifOrientationIsApplied) {
    QTemporaryDir dir;
    const QString path = testmedia::exifJpeg(dir.path(), QSize(40, 20), 6);
    ASSERT_FALSE(path.isEmpty());
    const auto image = loadImageFile(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(20, 40));
}

TEST(ImageFiles, UnreadableFileGivesNothing) {
    QTemporaryDir dir;
    QFile junk(dir.filePath("junk.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not an image");
    junk.close();
    EXPECT_FALSE(loadImageFile(junk.fileName()));
    EXPECT_FALSE(loadImageFile(dir.filePath("missing.jpg")));
}

TEST(ImageFiles, TiffAndWebpThroughThePlugins) {
    QTemporaryDir dir;
    for (const char* format : {"tiff", "webp"}) {
        if (!QImageReader::supportedImageFormats().contains(format)) {
            ADD_FAILURE() << format
                          << " plug-in missing (scripts/bootstrap installs qt6-image-formats-plugins)";
            continue;
        }
        QImage image(30, 10, QImage::Format_RGB32);
        image.fill(Qt::green);
        const QString path = dir.filePath(QStringLiteral("still.") + QLatin1String(format));
        ASSERT_TRUE(image.save(path, format));
        const auto loaded = loadImageFile(path);
        ASSERT_TRUE(loaded) << format;
        EXPECT_EQ(loaded->size(), QSize(30, 10));
    }
}

TEST(ImageFiles, FittedRectanglesCentreTheImage) {
    EXPECT_EQ(fittedImageRect(2.0, QSizeF(32, 32)), QRectF(0, 8, 32, 16));
    EXPECT_EQ(fittedImageRect(0.5, QSizeF(32, 32)), QRectF(8, 0, 16, 32));
    EXPECT_EQ(fittedImageRect(1.0, QSizeF(32, 32)), QRectF(0, 0, 32, 32));
    QImage wide(64, 32, QImage::Format_RGB32);
    wide.fill(Qt::red);
    const QImage fitted = fitImage(wide, QSizeF(32, 32));
    EXPECT_EQ(fitted.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(fitted.pixel(16, 2)), 0); // above the picture: transparent
    EXPECT_EQ(fitted.pixelColor(16, 16), QColor(Qt::red));
}
