#pragma once

#include "platform/AppLog.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QList>
#include <QStringList>

namespace tarnwick::testing {

// Captures AppLog messages while alive; messages() drop the level's sign ("ℹ️ ", "❌ ").
class LogCapture {
public:
    LogCapture() {
        AppLog::setSink([this](const AppLog::Record& record) { m_records.append(record); });
    }
    ~LogCapture() { AppLog::setSink({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList messages(AppLog::Level level) const {
        QStringList list;
        for (const auto& record : m_records) {
            if (record.level == level)
                list.append(withoutSign(record.message));
        }
        return list;
    }
    QStringList messages() const {
        QStringList list;
        for (const auto& record : m_records)
            list.append(withoutSign(record.message));
        return list;
    }
    QStringList printed() const {
        QStringList list;
        for (const auto& record : m_records)
            list.append(record.printed);
        return list;
    }

private:
    static QString withoutSign(const QString& message) {
        for (const QString& sign : {QStringLiteral("ℹ️ "), QStringLiteral("❌ ")}) {
            if (message.startsWith(sign))
                return message.mid(sign.size());
        }
        return message;
    }

    QList<AppLog::Record> m_records;
};

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QJsonDocument readJson(const QString& path) {
    return QJsonDocument::fromJson(readBytes(path));
}

// Files beside the store file whose names start with `name` + ".corrupt-".
inline QStringList movedAside(const QString& folder, const QString& name) {
    return QDir(folder).entryList({name + QStringLiteral(".corrupt-*")}, QDir::Files);
}

} // namespace tarnwick::testing
