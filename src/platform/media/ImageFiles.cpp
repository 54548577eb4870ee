#include "platform/media/ImageFiles.h"

#include <QImageReader>
#include <QPainter>

namespace tarnwick {

std::optional<QImage> loadImageFile(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

QRectF fittedImageRect(double aspect, QSizeF size) {
    const double w = size.width();
    const double h = size.height();
    if (aspect > 1)
        return QRectF(0, (h - w / aspect) * 0.5, w, w / aspect);
    return QRectF((w - h * aspect) * 0.5, 0, h * aspect, h);
}

QImage fitImage(const QImage& source, QSizeF size) {
    QImage canvas(size.toSize(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    if (source.isNull() || canvas.isNull() || source.height() == 0)
        return canvas;
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(fittedImageRect(double(source.width()) / source.height(), size), source,
                      QRectF(source.rect()));
    return canvas;
}

} // namespace tarnwick
