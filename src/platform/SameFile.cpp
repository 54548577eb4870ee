#include "platform/SameFile.h"

namespace tarnwick {

namespace {

constexpr qint64 kSteps[] = {2'000'000'000, 1'000'000'000, 10'000'000, 1'000'000, 1'000};

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

bool isWholeSecond(qint64 ns) {
    return ns % 1'000'000'000 == 0;
}

bool isSameFileAfterRemount(const FileIdentity& then, const FileOpInfo& now) {
    if (now.kind == FileKind::missing)
        return false;
    if (now.kind == FileKind::directory)
        return (now.device == then.device && now.inode == then.inode) ||
               sameModifiedTime(then.modifiedNs, now.modifiedNs);
    return now.size == then.size && sameModifiedTime(then.modifiedNs, now.modifiedNs);
}

} // namespace tarnwick
