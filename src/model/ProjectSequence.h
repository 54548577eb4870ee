#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace tarnwick {

// One timeline of a project: its object identifier and its name as read (untrimmed, may be empty).
struct ProjectSequence {
    QString id;
    QString name;

    QString displayName() const;

    QJsonObject toJson() const;
    static std::optional<ProjectSequence> fromJson(const QJsonObject& o);

    friend bool operator==(const ProjectSequence& a, const ProjectSequence& b);
};

size_t qHash(const ProjectSequence& s, size_t seed = 0);
// Listing order: display names localized case-insensitively, then identifiers by code point.
bool sequenceListedBefore(const ProjectSequence& a, const ProjectSequence& b);

} // namespace tarnwick
