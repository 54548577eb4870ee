#pragma once

#include "model/MediaFile.h"
#include "ui/preview/RequestToken.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <deque>
#include <functional>

namespace tarnwick {

// The table's thumbnails, kept per row id and bounded: rows ask only when painted, a row that
// scrolled away before its turn loses its pending request, and the oldest pictures are dropped
// first once the store is full.
class MediaThumbnailStore : public QObject {
    Q_OBJECT
public:
    // Starts loading a picture for the file; calls `done` on the GUI thread with the image (null
    // when none could be made). Returns false when the kind needs no request. A cancelled token
    // lets the generator drop the request before its turn.
    using Loader = std::function<bool(const MediaFile& file, RequestToken token,
                                      std::function<void(const QImage&)> done)>;

    explicit MediaThumbnailStore(Loader loader, int capacity = 2000, QObject* parent = nullptr);

    // The picture, or null; asks the loader once while neither a picture nor a request exists for
    // the file that now stands for the row (a transcoded or relinked row asks again).
    QImage thumbnail(const MediaFile& file);
    bool isLoading(const QUuid& id) const { return m_pending.contains(id); }
    // Drops the pending requests of rows that are no longer visible; their answers are ignored.
    void keepPendingOnly(const QSet<QUuid>& visible);
    int size() const { return int(m_images.size()); }
    int capacity() const { return m_capacity; }
    void clear();

Q_SIGNALS:
    void thumbnailReady(const QUuid& id);

private:
    void store(const QUuid& id, const QImage& image);
    void forget(const QUuid& id);

    Loader m_loader;
    int m_capacity;
    QHash<QUuid, QImage> m_images;
    std::deque<QUuid> m_order; // insertion order, for eviction
    struct Pending {
        quint64 generation = 0;
        RequestToken token;
    };
    QHash<QUuid, Pending> m_pending;
    QSet<QUuid> m_answeredEmpty;
    QHash<QUuid, QString> m_sources; // the file each row's picture was asked of
    quint64 m_generation = 0;
};

} // namespace tarnwick
