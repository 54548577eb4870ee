#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <array>

namespace tarnwick {

// The distinct texts of a long list of paths, held in eight tables chosen by each path's hash so
// that they fill side by side: a CSV can name a million clips, and one table fills on one thread.
class DistinctPaths {
public:
    DistinctPaths() = default;
    // The paths of `paths`; `inOrder`, when given, gets each distinct path once, where it first occurs.
    explicit DistinctPaths(const QStringList& paths, QStringList* inOrder = nullptr);

    bool contains(const QString& path) const;
    qsizetype size() const;

private:
    static constexpr int tableCount = 8;
    static int tableOf(const QString& path);

    std::array<QSet<QString>, tableCount> m_tables;
};

} // namespace tarnwick
