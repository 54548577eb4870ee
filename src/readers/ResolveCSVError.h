#pragma once

#include "platform/Error.h"

#include <QStringList>

namespace tarnwick {

// Why a DaVinci Resolve CSV could not be read as a whole (row problems are skipped rows instead).
class ResolveCSVError : public Error {
public:
    enum class Kind { missingColumns, unreadable, empty };

    static ResolveCSVError missingColumns(QStringList found) {
        return {Kind::missingColumns, std::move(found)};
    }
    static ResolveCSVError unreadable() { return {Kind::unreadable, {}}; }
    static ResolveCSVError empty() { return {Kind::empty, {}}; }

    Kind kind() const { return m_kind; }
    const QStringList& found() const { return m_found; } // trimmed header cells, for missingColumns

    bool operator==(const ResolveCSVError& other) const {
        return m_kind == other.m_kind && m_found == other.m_found;
    }

private:
    ResolveCSVError(Kind kind, QStringList found);

    Kind m_kind;
    QStringList m_found;
};

} // namespace tarnwick
