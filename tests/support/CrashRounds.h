#pragma once

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <functional>

namespace tarnwick::testing {

// How many rounds a crash harness runs. Each round kills a child at a random moment and checks all
// it left; each also pays a child's start and its run's syncs, which a slow or busy disk makes many
// times longer. By default a harness runs its least rounds, then more while its time budget lasts,
// up to its full number: the budget only decides whether another round starts (on a steady clock),
// never whether one passes. TARNWICK_CRASH_ROUNDS=all runs every harness at its full size (every
// round, and the larger file counts), however long that takes; a harness's own variable asks for
// an exact number of rounds.
class CrashRounds {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Well within ctest's 300 s a test, leaving room for the least rounds on a slow, busy disk.
    static constexpr std::chrono::seconds defaultBudget{60};

    // `variable` (none when null) asks for an exact number of rounds.
    CrashRounds(const char* variable, int least, int full, std::chrono::seconds budget = defaultBudget,
                Clock clock = &std::chrono::steady_clock::now)
        : m_least(std::min(least, full)), m_full(full), m_budget(budget), m_clock(std::move(clock)),
          m_start(m_clock()) {
        if (const int asked = variable ? qEnvironmentVariableIntValue(variable) : 0; asked > 0)
            m_least = m_full = asked;
        else if (fullSize())
            m_least = m_full;
    }

    static bool fullSize() { return qgetenv("TARNWICK_CRASH_ROUNDS") == "all"; }
    // `small` by default, `large` at the full size.
    static int sized(int small, int large) { return fullSize() ? large : small; }

    // Whether another round starts after `done`: always up to the least, never past the full
    // number, and in between while the rounds so far, at their mean, leave room for one more.
    bool another(int done) const {
        if (done < m_least)
            return true;
        if (done >= m_full)
            return false;
        const auto spent = m_clock() - m_start;
        return spent + spent / std::max(done, 1) <= m_budget;
    }
    int least() const { return m_least; }
    int full() const { return m_full; }

private:
    int m_least;
    int m_full;
    std::chrono::steady_clock::duration m_budget;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace tarnwick::testing
