#pragma once

#include <QByteArray>

#include <memory>

namespace tarnwick {

// Unnamed files (O_TMPFILE) made ahead in one folder, each carrying our leftover mark. On a crowded
// file system making a file's inode is most of what a Move to Trash costs, and a helper thread can
// make the next ones while the caller links and renames. Unnamed, they vanish with the process;
// those nobody takes are closed once no one has asked for a while. Thread-safe.
class UnnamedFileStock {
public:
    explicit UnnamedFileStock(int depth = defaultDepth);
    ~UnnamedFileStock();
    UnnamedFileStock(const UnnamedFileStock&) = delete;
    UnnamedFileStock& operator=(const UnnamedFileStock&) = delete;

    // An empty, marked, writable unnamed file in `folder` for the caller to own, or -1 when none is
    // ready (the caller makes its own; the stock fills meanwhile). Asking for another folder drops
    // the stock of the one before.
    int take(const QByteArray& folder);
    // The same, waiting for the helper when none is ready yet: -1 only once a fill ended without one
    // (the folder takes none, a passing failure, or the stock closed unasked).
    int takeOrWait(const QByteArray& folder);

    // Files made ahead, and how long the stock stays without being asked before it is closed.
    static constexpr int defaultDepth = 32;
    static constexpr int idleCloseMs = 1000;

private:
    struct State;
    static void fill(const std::shared_ptr<State>& state);
    std::shared_ptr<State> m_state;
};

} // namespace tarnwick
