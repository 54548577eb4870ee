#include "model/AuditAction.h"

#include "model/EnumText.h"

#include <QHash>

namespace tarnwick {

namespace {

constexpr auto texts = std::to_array<EnumText<AuditAction>>({
    {AuditAction::movedToTrash, u"Moved to Trash"},
    {AuditAction::deletedPermanently, u"Deleted Permanently"},
    {AuditAction::movedToFolder, u"Moved to Folder"},
    {AuditAction::restored, u"Restored"},
    {AuditAction::transcoded, u"Transcoded & Replaced"},
});

} // namespace

QString text(AuditAction value) {
    return enumText(texts, value, {AuditAction::transcoded});
}

std::optional<AuditAction> auditActionFromText(const QString& text) {
    return enumFromText(texts, text, EnumTextMatch::canonical);
}

size_t qHash(AuditAction value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
