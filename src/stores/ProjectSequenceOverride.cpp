#include "stores/ProjectSequenceOverride.h"

namespace tarnwick {

QString text(ProjectSequenceOverride value) {
    switch (value) {
    case ProjectSequenceOverride::counted:
        return QStringLiteral("counted");
    case ProjectSequenceOverride::ignored:
        return QStringLiteral("ignored");
    }
    return {};
}

std::optional<ProjectSequenceOverride> projectSequenceOverrideFromText(const QString& text) {
    if (text == QLatin1String("counted"))
        return ProjectSequenceOverride::counted;
    if (text == QLatin1String("ignored"))
        return ProjectSequenceOverride::ignored;
    return std::nullopt;
}

} // namespace tarnwick
