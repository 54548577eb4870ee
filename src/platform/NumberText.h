#pragma once

#include <QString>

// Number text that never depends on the process locale ("0.25", never "0,25").
namespace tarnwick::number {

QString fixed(double value, int decimals);
// "%.1fs" as the timing lines write it, e.g. "2.5s".
QString seconds1(double seconds);

} // namespace tarnwick::number
