#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

namespace tarnwick {

// The user's preferences (QSettings). Every write is synced to disk at once. Thread-safe.
class Preferences {
public:
    // The user's preference file ($XDG_CONFIG_HOME/Tarnwick/Tarnwick.conf), created on first use.
    static Preferences& shared();
    // Tests point shared() at their own instance; nullptr restores the default.
    static void setSharedOverride(Preferences* preferences);

    explicit Preferences(std::unique_ptr<QSettings> settings);
    // An INI file of its own (tests, tools).
    explicit Preferences(const QString& iniFile);
    ~Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    bool contains(const QString& key) const;
    QVariant value(const QString& key, const QVariant& fallback = {}) const;
    // 0 (or the fallback) when absent or not a whole number.
    qint64 integer(const QString& key, qint64 fallback = 0) const;
    std::optional<QByteArray> bytes(const QString& key) const;

    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    // Adds `delta` to an integer preference in one locked step and returns the new value.
    qint64 increment(const QString& key, qint64 delta = 1);

    // The settings status after the last sync: false when the file could not be written.
    bool lastWriteSucceeded() const;

private:
    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    bool m_lastWriteSucceeded = true;
};

} // namespace tarnwick
