#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

// A manual verdict on one timeline of one project.
enum class ProjectSequenceOverride { counted, ignored };

QString text(ProjectSequenceOverride value);
std::optional<ProjectSequenceOverride> projectSequenceOverrideFromText(const QString& text);

} // namespace tarnwick
