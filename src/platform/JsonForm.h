#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUuid>

#include <optional>

// JSON in the form the stores use: compact, every "/" in a string written as "\/", dates as seconds
// since 2001-01-01 00:00:00 UTC, UUIDs upper-case, absent optionals left out, null read as absent.
namespace tarnwick::json {

QByteArray encode(const QJsonDocument& doc);
QByteArray encode(const QJsonObject& object);
QByteArray encode(const QJsonArray& array);
// Accepts what encode() and the other platform's encoder write; nullopt when not JSON.
std::optional<QJsonDocument> decode(const QByteArray& bytes);

double fromDate(const QDateTime& date);
QDateTime toDate(double secondsSinceReference);
QString fromUuid(const QUuid& id);
std::optional<QUuid> toUuid(const QString& text);

// Reading fields: nullopt when the key is absent, null or of another type.
std::optional<QString> optString(const QJsonObject& o, const QString& key);
std::optional<double> optDouble(const QJsonObject& o, const QString& key);
std::optional<qint64> optInt64(const QJsonObject& o, const QString& key);
std::optional<bool> optBool(const QJsonObject& o, const QString& key);
std::optional<QDateTime> optDate(const QJsonObject& o, const QString& key);

} // namespace tarnwick::json
