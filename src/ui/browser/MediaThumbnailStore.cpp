#include "ui/browser/MediaThumbnailStore.h"

#include "ui/common/ViewHelpers.h"

#include <QPointer>

#include <algorithm>

namespace tarnwick {

MediaThumbnailStore::MediaThumbnailStore(Loader loader, int capacity, QObject* parent)
    : QObject(parent), m_loader(std::move(loader)), m_capacity(std::max(1, capacity)) {}

QImage MediaThumbnailStore::thumbnail(const MediaFile& file) {
    const QString source = previewSource(file);
    if (const auto asked = m_sources.constFind(file.id); asked != m_sources.cend() && *asked != source)
        forget(file.id);
    if (const auto found = m_images.constFind(file.id); found != m_images.cend())
        return *found;
    if (!m_loader || m_pending.contains(file.id) || m_answeredEmpty.contains(file.id))
        return {};
    const quint64 generation = ++m_generation;
    const RequestToken token = RequestToken::make();
    m_pending.insert(file.id, {generation, token});
    m_sources.insert(file.id, source);
    QPointer<MediaThumbnailStore> self(this);
    const QUuid id = file.id;
    const bool requested = m_loader(file, token, [self, id, generation](const QImage& image) {
        if (!self)
            return;
        // A request dropped (or replaced) while it was running is not stored.
        if (self->m_pending.value(id).generation != generation)
            return;
        self->m_pending.remove(id);
        if (image.isNull())
            self->m_answeredEmpty.insert(id);
        else
            self->store(id, image);
        Q_EMIT self->thumbnailReady(id);
    });
    if (!requested) {
        // Kinds without a picture (documents, say) are not asked again on every paint.
        m_pending.remove(file.id);
        m_answeredEmpty.insert(file.id);
    }
    return {};
}

void MediaThumbnailStore::store(const QUuid& id, const QImage& image) {
    if (!m_images.contains(id))
        m_order.push_back(id);
    m_images.insert(id, image);
    while (int(m_images.size()) > m_capacity && !m_order.empty()) {
        m_images.remove(m_order.front());
        m_sources.remove(m_order.front());
        m_order.pop_front();
    }
}

void MediaThumbnailStore::forget(const QUuid& id) {
    if (m_images.remove(id))
        m_order.erase(std::find(m_order.begin(), m_order.end(), id));
    if (const auto pending = m_pending.find(id); pending != m_pending.end()) {
        pending->token.cancel();
        m_pending.erase(pending);
    }
    m_answeredEmpty.remove(id);
    m_sources.remove(id);
}

void MediaThumbnailStore::keepPendingOnly(const QSet<QUuid>& visible) {
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (visible.contains(it.key())) {
            ++it;
        } else {
            it->token.cancel();
            it = m_pending.erase(it);
        }
    }
}

void MediaThumbnailStore::clear() {
    m_images.clear();
    m_order.clear();
    m_pending.clear();
    m_answeredEmpty.clear();
    m_sources.clear();
}

} // namespace tarnwick
