#include "model/ScoredMatch.h"

#include <cmath>

namespace tarnwick {

QString MatchScore::percentText() const {
    if (!std::isfinite(score))
        return QStringLiteral("0%");
    // Truncated exactly, with no slack: the label compares the raw score, so a score just below
    // a threshold (0.15 + 0.3 is 0.44999…) must read "Low 44%", never "Low 45%".
    const double percent = std::trunc(score * 100.0);
    return QString::number(percent == 0 ? 0.0 : percent, 'f', 0) + QLatin1Char('%');
}

} // namespace tarnwick
