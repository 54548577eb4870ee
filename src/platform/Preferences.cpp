#include "platform/Preferences.h"

#include <QMutexLocker>
#include <QSettings>

#include <atomic>
#include <utility>

namespace tarnwick {

namespace {

std::atomic<Preferences*> g_override{nullptr};

} // namespace

Preferences& Preferences::shared() {
    if (Preferences* preferences = g_override.load())
        return *preferences;
    static Preferences instance(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                            QStringLiteral("Tarnwick"),
                                                            QStringLiteral("Tarnwick")));
    return instance;
}

void Preferences::setSharedOverride(Preferences* preferences) {
    g_override.store(preferences);
}

Preferences::Preferences(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) {}

Preferences::Preferences(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

Preferences::~Preferences() = default;

bool Preferences::contains(const QString& key) const {
    QMutexLocker locker(&m_mutex);
    return m_settings->contains(key);
}

QVariant Preferences::value(const QString& key, const QVariant& fallback) const {
    QMutexLocker locker(&m_mutex);
    return m_settings->value(key, fallback);
}

qint64 Preferences::integer(const QString& key, qint64 fallback) const {
    bool ok = false;
    const qint64 number = value(key).toLongLong(&ok);
    return ok ? number : fallback;
}

std::optional<QByteArray> Preferences::bytes(const QString& key) const {
    const QVariant stored = value(key);
    if (!stored.isValid())
        return std::nullopt;
    return stored.toByteArray();
}

void Preferences::setValue(const QString& key, const QVariant& value) {
    QMutexLocker locker(&m_mutex);
    m_settings->setValue(key, value);
    m_settings->sync();
    m_lastWriteSucceeded = m_settings->status() == QSettings::NoError;
}

void Preferences::remove(const QString& key) {
    QMutexLocker locker(&m_mutex);
    m_settings->remove(key);
    m_settings->sync();
    m_lastWriteSucceeded = m_settings->status() == QSettings::NoError;
}

qint64 Preferences::increment(const QString& key, qint64 delta) {
    QMutexLocker locker(&m_mutex);
    bool ok = false;
    const qint64 current = m_settings->value(key).toLongLong(&ok);
    const qint64 next = (ok ? current : 0) + delta;
    m_settings->setValue(key, next);
    m_settings->sync();
    m_lastWriteSucceeded = m_settings->status() == QSettings::NoError;
    return next;
}

bool Preferences::lastWriteSucceeded() const {
    QMutexLocker locker(&m_mutex);
    return m_lastWriteSucceeded;
}

} // namespace tarnwick
