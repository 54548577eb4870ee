#pragma once

#include "model/MediaFile.h"

#include <QImage>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class QLabel;
class QScrollArea;
class QStackedWidget;

namespace tarnwick {

// Reads a whole image (the thumbnail generator's loadImage in the app).
using ImageLoader = std::function<QCoro::Task<std::optional<QImage>>(QString path)>;
// Makes the scrub view for an audio or video file (path, shown name, isAudio).
using ScrubViewFactory = std::function<QWidget*(const QString& path, const QString& name, bool isAudio)>;

// A still image fitted within 800 × 600 in a scroll view, with its size in the header.
class ImagePreviewView : public QWidget {
    Q_OBJECT
public:
    ImagePreviewView(const QString& filePath, const QString& fileName, ImageLoader loader,
                     QWidget* parent = nullptr);

    bool isLoading() const { return m_isLoading; }
    const std::optional<QImage>& image() const { return m_image; }
    QString sizeText() const;
    QSize minimumSizeHint() const override;
    QString stateText() const; // "Loading image...", "Preview Unavailable" or empty when shown

Q_SIGNALS:
    void dismissRequested();
    void loaded();

protected:
    // Shown in its sheet: fitted again to the room a sheet has there.
    void showEvent(QShowEvent* event) override;

private:
    QCoro::Task<void> load(QString path, ImageLoader loader);
    void showResult();
    void fitToPicture();

    std::optional<QImage> m_image;
    bool m_isLoading = true;
    QLabel* m_size = nullptr;
    QStackedWidget* m_body = nullptr;
    QLabel* m_picture = nullptr;
    QScrollArea* m_scroll = nullptr;
};

// The preview sheet's content, chosen by the file's kind: image viewer, scrub view, or a message.
class MediaPreviewView : public QWidget {
    Q_OBJECT
public:
    MediaPreviewView(const MediaFile& file, ImageLoader loader, ScrubViewFactory scrubView,
                     QWidget* parent = nullptr);
    QWidget* content() const { return m_content; }
    static QString sourcePath(const MediaFile& file);

Q_SIGNALS:
    void dismissRequested();

private:
    QWidget* m_content = nullptr;
};

} // namespace tarnwick
