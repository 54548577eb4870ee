#include "platform/SameFile.h"

#include <cstdlib>

namespace tarnwick {

namespace {

constexpr qint64 kSteps[] = {2'000'000'000, 1'000'000'000, 10'000'000, 1'000'000, 1'000};
constexpr qint64 kQuarterHour = qint64(15) * 60 * 1'000'000'000;
// UTC-12 to UTC+14: a change of zone moves a local time by at most 26 hours.
constexpr qint64 kMostQuarters = 26 * 4;

qint64 stepOf(qint64 ns) {
    for (const qint64 step : kSteps) {
        if (ns % step == 0)
            return step;
    }
    return 1;
}

qint64 roundedDown(qint64 ns, qint64 step) {
    const qint64 down = ns / step * step;
    return down > ns ? down - step : down; // toward minus infinity before 1970 too
}

// Equal by their values, or within the clock's step of each other.
bool withinStep(qint64 aNs, qint64 bNs, qint64 step) {
    qint64 apart = 0;
    if (__builtin_sub_overflow(aNs, bNs, &apart))
        return false;
    return sameModifiedTime(aNs, bNs) || (step > 0 && std::llabs(apart) <= step);
}

} // namespace

bool sameModifiedTime(qint64 aNs, qint64 bNs) {
    if (aNs == bNs)
        return true;
    const qint64 aStep = stepOf(aNs);
    const qint64 bStep = stepOf(bNs);
    if (aStep == bStep)
        return false;
    const qint64 step = std::max(aStep, bStep);
    const qint64 coarse = aStep > bStep ? aNs : bNs;
    const qint64 down = roundedDown(aStep > bStep ? bNs : aNs, step);
    return coarse == down || coarse == down + step;
}

bool sameModifiedTime(qint64 aNs, qint64 bNs, const VolumeClock& clock) {
    if (withinStep(aNs, bNs, clock.stepNs))
        return true;
    qint64 apart = 0;
    if (!clock.localTime || __builtin_sub_overflow(bNs, aNs, &apart))
        return false;
    const qint64 quarters = (apart + (apart < 0 ? -kQuarterHour : kQuarterHour) / 2) / kQuarterHour;
    if (quarters == 0 || std::llabs(quarters) > kMostQuarters)
        return false;
    return withinStep(aNs, bNs - quarters * kQuarterHour, clock.stepNs);
}

bool isSameFileAfterRemount(const FileIdentity& then, const FileOpInfo& now, const VolumeClock& clock) {
    if (now.kind == FileKind::missing)
        return false;
    if (now.kind == FileKind::directory)
        return (now.device == then.device && now.inode == then.inode) ||
               sameModifiedTime(then.modifiedNs, now.modifiedNs, clock);
    return now.size == then.size && sameModifiedTime(then.modifiedNs, now.modifiedNs, clock);
}

} // namespace tarnwick
