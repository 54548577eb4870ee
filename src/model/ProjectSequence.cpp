#include "model/ProjectSequence.h"

#include "platform/Graphemes.h"
#include "platform/JsonForm.h"
#include "platform/TextKey.h"

#include <QHash>

namespace tarnwick {

QString ProjectSequence::displayName() const {
    const QString trimmed = name.trimmed();
    if (!trimmed.isEmpty())
        return trimmed;
    const QString tail = graphemes::suffix(id, 6);
    if (!tail.isEmpty())
        return QStringLiteral("Untitled Timeline • ") + tail;
    return QStringLiteral("Untitled Timeline");
}

QJsonObject ProjectSequence::toJson() const {
    return QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("name"), name}};
}

std::optional<ProjectSequence> ProjectSequence::fromJson(const QJsonObject& o) {
    json::Fields fields(o);
    ProjectSequence sequence{fields.string(QStringLiteral("id")), fields.string(QStringLiteral("name"))};
    if (!fields.ok())
        return std::nullopt;
    return sequence;
}

bool operator==(const ProjectSequence& a, const ProjectSequence& b) {
    return text::canonicalEquals(a.id, b.id) && text::canonicalEquals(a.name, b.name);
}

size_t qHash(const ProjectSequence& s, size_t seed) {
    return text::canonicalHash(s.name, text::canonicalHash(s.id, seed));
}

bool sequenceListedBefore(const ProjectSequence& a, const ProjectSequence& b) {
    const int byName = text::localizedCaseInsensitiveCompare(a.displayName(), b.displayName());
    if (byName != 0)
        return byName < 0;
    return text::compareScalars(a.id, b.id) < 0;
}

} // namespace tarnwick
