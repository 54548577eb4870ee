#include "analysis/ImportProgress.h"

#include <algorithm>

namespace tarnwick {

// The bar only moves forward through the steps.
static_assert(ImportProgress::parseScale <= ImportProgress::scanStart &&
              ImportProgress::scanStart + ImportProgress::scanSpan < ImportProgress::aeLinksStart &&
              ImportProgress::aeLinksStart < ImportProgress::consolidationStart &&
              ImportProgress::consolidationStart < ImportProgress::duplicatesStart &&
              ImportProgress::duplicatesStart < ImportProgress::similarNamesStart &&
              ImportProgress::similarNamesStart < ImportProgress::summaryStart &&
              ImportProgress::summaryStart < 1.0 && 0.0 < ImportProgress::csvLocateStart &&
              ImportProgress::csvLocateStart < 1.0);

double ImportProgress::report(const QUrl& url, double fraction) {
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    double& stored = m_fractions[url];
    if (clamped > stored) {
        m_sum += clamped - stored;
        stored = clamped;
    }
    return overall();
}

double ImportProgress::finish(const QUrl& url) {
    ++m_completed;
    double& stored = m_fractions[url];
    m_sum += 1.0 - stored;
    stored = 1.0;
    return overall();
}

double ImportProgress::overall() const {
    return parseScale * parseFraction();
}

double ImportProgress::parseFraction() const {
    return std::clamp(m_sum / std::max(m_count, 1), 0.0, 1.0);
}

QString ImportProgress::finishedMessage() const {
    if (m_count == 1)
        return QStringLiteral("Finished reading project…");
    return QStringLiteral("Parsed %1/%2 projects…").arg(m_completed).arg(m_count);
}

double ImportProgress::scanProgress(qint64 checked, qint64 total) {
    if (total < 1)
        return scanStart;
    return scanStart + scanSpan * double(checked) / double(total);
}

std::optional<double> ImportProgress::scanFraction(qint64 checked, qint64 total) {
    if (total < 1)
        return std::nullopt;
    return std::clamp(double(checked) / double(total), 0.0, 1.0);
}

QString ImportProgress::scanMessage(qint64 checked, qint64 total) {
    return QStringLiteral("Scanning files… %1/%2").arg(checked).arg(total);
}

int parseWidth(int processorCount) {
    return processorCount < 5 ? 4 : processorCount;
}

} // namespace tarnwick
