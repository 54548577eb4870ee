#include "platform/JsonForm.h"

#include <cmath>
#include <limits>

namespace tarnwick::json {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, both UTC.
constexpr double referenceOffset = 978307200.0;

// Outside strings JSON never holds "/", so every slash in the compact text belongs to a string.
QByteArray escapeSlashes(QByteArray compact) {
    if (!compact.contains('/'))
        return compact;
    return compact.replace("/", "\\/");
}

} // namespace

QByteArray encode(const QJsonDocument& doc) {
    return escapeSlashes(doc.toJson(QJsonDocument::Compact));
}

QByteArray encode(const QJsonObject& object) {
    return encode(QJsonDocument(object));
}

QByteArray encode(const QJsonArray& array) {
    return encode(QJsonDocument(array));
}

std::optional<QJsonDocument> decode(const QByteArray& bytes) {
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || doc.isNull())
        return std::nullopt;
    return doc;
}

double fromDate(const QDateTime& date) {
    return double(date.toMSecsSinceEpoch()) / 1000.0 - referenceOffset;
}

QDateTime toDate(double secondsSinceReference) {
    const double ms = std::round((secondsSinceReference + referenceOffset) * 1000.0);
    // Beyond ±2^62 ms (about 146 million years) no QDateTime can hold it; NaN fails both tests.
    constexpr double limit = 4611686018427387904.0;
    if (!(ms > -limit && ms < limit))
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
}

QString fromUuid(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> toUuid(const QString& text) {
    const QUuid id = QUuid::fromString(text);
    if (id.isNull()) {
        static const QString zero = QStringLiteral("00000000-0000-0000-0000-000000000000");
        QString bare = text;
        if (bare.startsWith(QLatin1Char('{')) && bare.endsWith(QLatin1Char('}')))
            bare = bare.mid(1, bare.size() - 2);
        if (bare != zero)
            return std::nullopt;
    }
    return id;
}

std::optional<QString> optString(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<double> optDouble(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    if (!v.isDouble())
        return std::nullopt;
    return v.toDouble();
}

std::optional<qint64> optInt64(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    if (!v.isDouble())
        return std::nullopt;
    constexpr qint64 sentinel = std::numeric_limits<qint64>::min();
    const qint64 i = v.toInteger(sentinel);
    // toInteger gives the default for fractions and out-of-range values.
    if (i == sentinel && v.toDouble() != double(sentinel))
        return std::nullopt;
    return i;
}

std::optional<bool> optBool(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    if (!v.isBool())
        return std::nullopt;
    return v.toBool();
}

std::optional<QDateTime> optDate(const QJsonObject& o, const QString& key) {
    const std::optional<double> seconds = optDouble(o, key);
    if (!seconds)
        return std::nullopt;
    QDateTime date = toDate(*seconds);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QUuid Fields::uuid(const QString& key) {
    const std::optional<QString> text = optString(m_object, key);
    return take(text ? toUuid(*text) : std::nullopt);
}

QStringList Fields::strings(const QString& key) {
    const QJsonValue value = m_object.value(key);
    if (!value.isArray())
        return take(std::optional<QStringList>());
    const QJsonArray array = value.toArray();
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue& item : array) {
        if (!item.isString())
            return take(std::optional<QStringList>());
        list.append(item.toString());
    }
    return list;
}

bool Fields::absent(const QString& key) {
    const QJsonValue value = m_object.value(key);
    return value.isUndefined() || value.isNull();
}

std::optional<QDateTime> Fields::optionalDate(const QString& key) {
    if (absent(key))
        return std::nullopt;
    m_ok = m_ok && m_object.value(key).isDouble();
    // A number that is no date reads as no date, as the stores always have.
    return optDate(m_object, key);
}

} // namespace tarnwick::json
