#include "model/AuditAction.h"

#include "platform/TextKey.h"

#include <QHash>

#include <array>

namespace tarnwick {

QString text(AuditAction value) {
    switch (value) {
    case AuditAction::movedToTrash:
        return QStringLiteral("Moved to Trash");
    case AuditAction::deletedPermanently:
        return QStringLiteral("Deleted Permanently");
    case AuditAction::movedToFolder:
        return QStringLiteral("Moved to Folder");
    case AuditAction::restored:
        return QStringLiteral("Restored");
    case AuditAction::transcoded:
        break;
    }
    return QStringLiteral("Transcoded & Replaced");
}

std::optional<AuditAction> auditActionFromText(const QString& text) {
    static constexpr std::array all{AuditAction::movedToTrash, AuditAction::deletedPermanently,
                                    AuditAction::movedToFolder, AuditAction::restored,
                                    AuditAction::transcoded};
    for (AuditAction value : all) {
        if (text::canonicalEquals(tarnwick::text(value), text))
            return value;
    }
    return std::nullopt;
}

size_t qHash(AuditAction value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
