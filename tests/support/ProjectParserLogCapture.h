#pragma once

#include "platform/AppLog.h"

#include <QList>
#include <QMutex>
#include <QStringList>

namespace tarnwick::testing {

// Captures what the project reader logs (every message) while it lives, then restores the default.
class ProjectParserLogCapture {
public:
    ProjectParserLogCapture() {
        AppLog::setSink([this](const AppLog::Record& r) {
            QMutexLocker lock(&m_mutex);
            m_records.append(r);
        });
    }
    ~ProjectParserLogCapture() { AppLog::setSink({}); }
    ProjectParserLogCapture(const ProjectParserLogCapture&) = delete;
    ProjectParserLogCapture& operator=(const ProjectParserLogCapture&) = delete;

    QList<AppLog::Record> records() const {
        QMutexLocker lock(&m_mutex);
        return m_records;
    }
    QStringList messages() const {
        QStringList out;
        for (const AppLog::Record& r : records())
            out.append(r.message);
        return out;
    }
    QStringList printed() const {
        QStringList out;
        for (const AppLog::Record& r : records())
            out.append(r.printed);
        return out;
    }
    void clear() {
        QMutexLocker lock(&m_mutex);
        m_records.clear();
    }

private:
    mutable QMutex m_mutex;
    QList<AppLog::Record> m_records;
};

} // namespace tarnwick::testing
