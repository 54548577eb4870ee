#include "ui/preview/VisibleRequests.h"

namespace tarnwick {

void VisibleRequests::setVisible(const QSet<QString>& keys) {
    m_visible = keys;
    for (auto it = m_tokens.begin(); it != m_tokens.end();) {
        if (m_visible.contains(it.key())) {
            ++it;
            continue;
        }
        it->cancel();
        it = m_tokens.erase(it);
    }
}

std::optional<RequestToken> VisibleRequests::begin(const QString& key) {
    if (!m_visible.contains(key) || m_tokens.contains(key))
        return std::nullopt;
    RequestToken token = RequestToken::make();
    m_tokens.insert(key, token);
    return token;
}

void VisibleRequests::finish(const QString& key) {
    m_tokens.remove(key);
}

} // namespace tarnwick
