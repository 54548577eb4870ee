#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
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

// Reads a stored record whole or not at all: each getter returns the field (or an empty value) and
// remembers a field that is missing or of another type; ok() says whether every field read. The
// optional getters accept an absent or null field but still reject one of another type, so a record
// written by a newer or damaged encoder is refused rather than half read.
class Fields {
public:
    explicit Fields(const QJsonObject& object) : m_object(object) {}
    // It keeps a reference: a temporary would be gone before the first field is read.
    explicit Fields(QJsonObject&&) = delete;
    explicit Fields(const QJsonObject&&) = delete;

    QString string(const QString& key) { return take(optString(m_object, key)); }
    qint64 int64(const QString& key) { return take(optInt64(m_object, key)); }
    QDateTime date(const QString& key) { return take(optDate(m_object, key)); }
    QUuid uuid(const QString& key);
    QStringList strings(const QString& key);
    // A text from a closed set: `fromText` gives nullopt for a text it does not know.
    template <class T> T choice(const QString& key, std::optional<T> (*fromText)(const QString&)) {
        const std::optional<QString> text = optString(m_object, key);
        return take(text ? fromText(*text) : std::nullopt);
    }
    std::optional<QString> optionalString(const QString& key) { return optional(key, &optString); }
    std::optional<qint64> optionalInt64(const QString& key) { return optional(key, &optInt64); }
    std::optional<bool> optionalBool(const QString& key) { return optional(key, &optBool); }
    std::optional<QDateTime> optionalDate(const QString& key);
    // An optional text in a closed set or form: present but unknown refuses the record.
    template <class T>
    std::optional<T> optionalChoice(const QString& key, std::optional<T> (*fromText)(const QString&)) {
        if (absent(key))
            return std::nullopt;
        const std::optional<QString> text = optString(m_object, key);
        std::optional<T> value = text ? fromText(*text) : std::nullopt;
        m_ok = m_ok && value.has_value();
        return value;
    }

    bool ok() const { return m_ok; }

private:
    template <class T> T take(std::optional<T> value) {
        if (!value) {
            m_ok = false;
            return T{};
        }
        return std::move(*value);
    }
    // Absent or null: fine. Present with the wrong type: the record is refused.
    bool absent(const QString& key);
    template <class T>
    std::optional<T> optional(const QString& key,
                              std::optional<T> (*read)(const QJsonObject&, const QString&)) {
        if (absent(key))
            return std::nullopt;
        std::optional<T> value = read(m_object, key);
        m_ok = m_ok && value.has_value();
        return value;
    }

    const QJsonObject& m_object;
    bool m_ok = true;
};

} // namespace tarnwick::json
