#pragma once

#include "platform/AppLog.h"

#include <QString>
#include <QStringList>

namespace tarnwick {

// Collects log lines while alive: the printed line, or the message of a debug-only one.
class UiLogCapture {
public:
    UiLogCapture() {
        AppLog::setSink([this](const AppLog::Record& record) {
            lines.append(record.printed.isEmpty() ? record.message : record.printed);
        });
    }
    ~UiLogCapture() { AppLog::setSink({}); }
    UiLogCapture(const UiLogCapture&) = delete;
    UiLogCapture& operator=(const UiLogCapture&) = delete;

    bool contains(const QString& message) const { return lines.contains(message); }
    QStringList lines;
};

} // namespace tarnwick
