#pragma once

#include <QString>

#include <cstddef>
#include <optional>

namespace tarnwick {

enum class AuditAction { movedToTrash, deletedPermanently, movedToFolder, restored, transcoded };

// The text value is also the display text.
QString text(AuditAction value);
std::optional<AuditAction> auditActionFromText(const QString& text);
size_t qHash(AuditAction value, size_t seed = 0);

} // namespace tarnwick
