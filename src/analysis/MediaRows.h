#pragma once

#include "model/MediaFile.h"

#include <QList>

#include <iterator>

namespace tarnwick {

// Some rows of one version of the media list, in a chosen sequence: the filtered (and sorted)
// list as the views read it, without copying a record. The list is shared with the manager's
// list of that version, so a snapshot stays valid (and unchanged) when the manager's list
// changes later; re-read it on the manager's change signals to see the change.
class MediaRows {
public:
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = MediaFile;
        using difference_type = qsizetype;
        using pointer = const MediaFile*;
        using reference = const MediaFile&;

        const_iterator() = default;
        const_iterator(const MediaRows* rows, qsizetype at) : m_rows(rows), m_at(at) {}
        reference operator*() const { return (*m_rows)[m_at]; }
        pointer operator->() const { return &(*m_rows)[m_at]; }
        reference operator[](difference_type n) const { return (*m_rows)[m_at + n]; }
        const_iterator& operator++() { return ++m_at, *this; }
        const_iterator operator++(int) { return {m_rows, m_at++}; }
        const_iterator& operator--() { return --m_at, *this; }
        const_iterator operator--(int) { return {m_rows, m_at--}; }
        const_iterator& operator+=(difference_type n) { return m_at += n, *this; }
        const_iterator& operator-=(difference_type n) { return m_at -= n, *this; }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return a.m_at - b.m_at;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_at == b.m_at; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) {
            return a.m_at <=> b.m_at;
        }

    private:
        const MediaRows* m_rows = nullptr;
        qsizetype m_at = 0;
    };

    MediaRows() = default;
    // `rows` index `source`.
    MediaRows(QList<MediaFile> source, QList<qsizetype> rows)
        : m_source(std::move(source)), m_rows(std::move(rows)) {}
    // Every row of `source`, in its order.
    static MediaRows all(QList<MediaFile> source);

    qsizetype size() const { return m_rows.size(); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const MediaFile& operator[](qsizetype i) const { return m_source[m_rows[i]]; }
    const MediaFile& at(qsizetype i) const { return m_source.at(m_rows.at(i)); }
    const QList<qsizetype>& sourceRows() const { return m_rows; }
    const QList<MediaFile>& source() const { return m_source; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, m_rows.size()}; }

    // The records themselves (a copy of each, unless the rows are the whole source in its order).
    QList<MediaFile> toList() const;

private:
    QList<MediaFile> m_source;
    QList<qsizetype> m_rows;
};

} // namespace tarnwick
