#include "readers/ResolveCSVError.h"

#include "readers/ResolveCSVMessages.h"

namespace tarnwick {

ResolveCSVError::ResolveCSVError(Kind kind, QStringList found) : m_kind(kind), m_found(std::move(found)) {
    m_description = daVinciCSVErrorMessage(*this, QStringLiteral("The file"));
}

} // namespace tarnwick
