#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace tarnwick {

// Base of every typed error; description() is the user-facing text.
class Error : public std::exception {
public:
    explicit Error(QString description = {}) : m_description(std::move(description)) {}
    virtual QString description() const { return m_description; }
    const char* what() const noexcept override;

protected:
    QString m_description;

private:
    mutable QByteArray m_what;
};

} // namespace tarnwick
