#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// Takes `option VALUE` out of the arguments and returns VALUE; empty when the option is absent or
// has no value.
inline QString takeOptionValue(QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    if (at < 0 || at + 1 >= arguments.size())
        return {};
    const QString value = arguments.at(at + 1);
    arguments.remove(at, 2);
    return value;
}

} // namespace tarnwick
