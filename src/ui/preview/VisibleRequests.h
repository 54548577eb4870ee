#pragma once

#include "ui/preview/RequestToken.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace tarnwick {

// The preview requests of a scrolling view (table rows, cards): a request is made only for a
// visible key, at most one per key, and the requests of keys that scrolled away are cancelled so
// the generator drops them before their turn. GUI thread only.
class VisibleRequests {
public:
    // The keys now on screen; requests for the others are cancelled and forgotten.
    void setVisible(const QSet<QString>& keys);
    bool isVisible(const QString& key) const { return m_visible.contains(key); }

    // A token for a new request of a visible key; absent when the key is not visible or already
    // has a request in flight.
    std::optional<RequestToken> begin(const QString& key);
    // The request of `key` answered (or was dropped).
    void finish(const QString& key);
    qsizetype inFlight() const { return m_tokens.size(); }

private:
    QSet<QString> m_visible;
    QHash<QString, RequestToken> m_tokens;
};

} // namespace tarnwick
