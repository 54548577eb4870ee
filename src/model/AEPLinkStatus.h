#pragma once

#include "model/AEPProject.h"

#include <QString>

namespace tarnwick {

// Link state of an After Effects project linked from a Premiere project.
struct AEPLinkStatus {
    enum class Kind { resolved, missing, parseError };
    Kind kind = Kind::missing;
    AEPProject project; // resolved
    QString path;       // missing, parseError
    QString error;      // parseError

    static AEPLinkStatus resolved(AEPProject p) { return {Kind::resolved, std::move(p), {}, {}}; }
    static AEPLinkStatus missing(QString path) { return {Kind::missing, {}, std::move(path), {}}; }
    static AEPLinkStatus parseError(QString path, QString error) {
        return {Kind::parseError, {}, std::move(path), std::move(error)};
    }
};

} // namespace tarnwick
