#pragma once

#include <QHash>

#include <list>

namespace tarnwick {

class ScrubEngine;

// Which scrub engines may keep their frame caches: the most recently shown ones. A grid scrolled
// through hundreds of video cards would otherwise keep 48 frames of 640 × 360 (about 44 MB) for
// every card it ever showed. Engines past the bound drop to their poster only, so showing them
// again is still instant. GUI thread only.
class ScrubCacheBudget {
public:
    // 12 engines: at most 12 × 48 frames of 640 × 360, about 530 MB, and in practice far less,
    // since only cards the pointer crossed hold frames. A page of cards fits within it.
    static constexpr int defaultEngineLimit = 12;

    static ScrubCacheBudget& shared();
    explicit ScrubCacheBudget(int engineLimit = defaultEngineLimit);

    // The engine was shown: it becomes the most recent, and the oldest beyond the bound lose their frames.
    void touch(ScrubEngine* engine);
    void forget(ScrubEngine* engine);

    int engineLimit() const { return m_limit; }
    qsizetype retained() const { return m_index.size(); }

private:
    int m_limit;
    std::list<ScrubEngine*> m_recent; // most recent first
    QHash<ScrubEngine*, std::list<ScrubEngine*>::iterator> m_index;
};

} // namespace tarnwick
