#include "ui/preview/ScrubCacheBudget.h"

#include "ui/preview/ScrubEngine.h"

namespace tarnwick {

ScrubCacheBudget& ScrubCacheBudget::shared() {
    static ScrubCacheBudget budget;
    return budget;
}

ScrubCacheBudget::ScrubCacheBudget(int engineLimit) : m_limit(std::max(engineLimit, 1)) {}

void ScrubCacheBudget::touch(ScrubEngine* engine) {
    if (auto found = m_index.find(engine); found != m_index.end()) {
        m_recent.splice(m_recent.begin(), m_recent, *found);
        return;
    }
    m_recent.push_front(engine);
    m_index.insert(engine, m_recent.begin());
    while (m_recent.size() > size_t(m_limit)) {
        ScrubEngine* oldest = m_recent.back();
        m_recent.pop_back();
        m_index.remove(oldest);
        oldest->dropFrameCache();
    }
}

void ScrubCacheBudget::forget(ScrubEngine* engine) {
    if (auto found = m_index.find(engine); found != m_index.end()) {
        m_recent.erase(*found);
        m_index.erase(found);
    }
}

} // namespace tarnwick
