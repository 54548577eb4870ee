#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <memory>

namespace tarnwick {

// The paths of the other members of an entry's similar-name group. Every member of one group shares
// one path list and leaves out its own path when read, so a group of n entries costs O(n) memory.
class SimilarFiles {
public:
    struct Group {
        QStringList paths;
        QHash<QString, qsizetype> occurrences; // how often each path stands in `paths`

        static std::shared_ptr<const Group> make(QStringList paths);
    };

    SimilarFiles() = default;
    SimilarFiles(const QStringList& paths); // NOLINT: a plain list reads as itself
    SimilarFiles(std::initializer_list<QString> paths);
    // The group's paths in order, without those equal to `ownPath` (exact comparison).
    SimilarFiles(std::shared_ptr<const Group> group, QString ownPath);

    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }
    bool contains(const QString& path) const;
    QStringList toList() const;
    // True when both read from the same group list (no copy was made for either).
    bool sharesStorageWith(const SimilarFiles& other) const { return m_group && m_group == other.m_group; }

    template <typename F> void forEach(F&& f) const {
        if (!m_group)
            return;
        for (const QString& p : m_group->paths) {
            if (!m_excludeOwn || p != m_ownPath)
                f(p);
        }
    }

    // Element by element, texts by canonical equivalence.
    static bool canonicallyEqual(const SimilarFiles& a, const SimilarFiles& b);
    friend bool operator==(const SimilarFiles& a, const SimilarFiles& b) { return canonicallyEqual(a, b); }
    friend bool operator==(const SimilarFiles& a, const QStringList& b) { return a == SimilarFiles(b); }

private:
    std::shared_ptr<const Group> m_group;
    QString m_ownPath;
    bool m_excludeOwn = false;
};

} // namespace tarnwick
