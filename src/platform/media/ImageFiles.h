#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

namespace tarnwick {

// A whole still image, turned upright by its EXIF orientation; absent when it cannot be decoded.
std::optional<QImage> loadImageFile(const QString& path);

// Where an image of `aspect` (width / height) goes when fitted and centred inside `size`.
QRectF fittedImageRect(double aspect, QSizeF size);
// `source` fitted and centred on a transparent canvas of `size` (rounded to whole pixels).
QImage fitImage(const QImage& source, QSizeF size);

} // namespace tarnwick
