#include "platform/Error.h"

namespace tarnwick {

const char* Error::what() const noexcept {
    m_what = description().toUtf8();
    return m_what.constData();
}

} // namespace tarnwick
