#include "model/SimilarFiles.h"

#include "platform/TextKey.h"

namespace tarnwick {

std::shared_ptr<const SimilarFiles::Group> SimilarFiles::Group::make(QStringList paths) {
    auto group = std::make_shared<Group>();
    group->occurrences.reserve(paths.size());
    for (const QString& p : paths)
        ++group->occurrences[p];
    group->paths = std::move(paths);
    return group;
}

SimilarFiles::SimilarFiles(const QStringList& paths) {
    if (!paths.isEmpty())
        m_group = Group::make(paths);
}

SimilarFiles::SimilarFiles(std::initializer_list<QString> paths) : SimilarFiles(QStringList(paths)) {}

SimilarFiles::SimilarFiles(std::shared_ptr<const Group> group, QString ownPath)
    : m_group(std::move(group)), m_ownPath(std::move(ownPath)), m_excludeOwn(true) {}

qsizetype SimilarFiles::size() const {
    if (!m_group)
        return 0;
    if (!m_excludeOwn)
        return m_group->paths.size();
    return m_group->paths.size() - m_group->occurrences.value(m_ownPath, 0);
}

bool SimilarFiles::contains(const QString& path) const {
    if (!m_group || (m_excludeOwn && path == m_ownPath))
        return false;
    return m_group->occurrences.contains(path);
}

QStringList SimilarFiles::toList() const {
    QStringList list;
    list.reserve(size());
    forEach([&](const QString& p) { list.append(p); });
    return list;
}

bool SimilarFiles::canonicallyEqual(const SimilarFiles& a, const SimilarFiles& b) {
    if (a.m_group == b.m_group && a.m_excludeOwn == b.m_excludeOwn && a.m_ownPath == b.m_ownPath)
        return true;
    if (a.size() != b.size())
        return false;
    return text::canonicalEquals(a.toList(), b.toList());
}

} // namespace tarnwick
