#include "analysis/MediaRows.h"

#include <numeric>

namespace tarnwick {

MediaRows MediaRows::all(QList<MediaFile> source) {
    QList<qsizetype> rows(source.size());
    std::iota(rows.begin(), rows.end(), qsizetype(0));
    return MediaRows(std::move(source), std::move(rows));
}

QList<MediaFile> MediaRows::toList() const {
    bool whole = m_rows.size() == m_source.size();
    for (qsizetype i = 0; whole && i < m_rows.size(); ++i)
        whole = m_rows[i] == i;
    if (whole)
        return m_source;
    QList<MediaFile> files;
    files.reserve(m_rows.size());
    for (qsizetype row : m_rows)
        files.append(m_source[row]);
    return files;
}

} // namespace tarnwick
