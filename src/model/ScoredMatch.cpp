#include "model/ScoredMatch.h"

#include <cmath>

namespace tarnwick {

QString MatchScore::percentText() const {
    if (!std::isfinite(score))
        return QStringLiteral("0%");
    // A hair of slack so 0.29 reads "29%" and not "28%" from 28.999999999999996.
    const double percent = std::trunc(score * 100.0 + (score >= 0 ? 1e-9 : -1e-9));
    return QString::number(percent == 0 ? 0.0 : percent, 'f', 0) + QLatin1Char('%');
}

} // namespace tarnwick
