#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

namespace tarnwick {

// Splits CSV text into records as it arrives, piece by piece: commas end cells; CR, LF and CR LF
// end records; a double quote opens quoting only as a cell's first character (anywhere else it is
// part of the cell, as in names with an inch mark), "" inside quotes is one quote.
// It keeps every cell until told which ones to keep, then only those, and notes whether a record
// holds anything besides white space, so a record costs no memory beyond the cells kept, however
// wide or long its other cells.
class ResolveCSVScanner {
public:
    // Called at the end of every record, blank ones included; the record's cells are readable
    // until it returns.
    explicit ResolveCSVScanner(std::function<void()> recordEnded);

    // From the next record on: the cells at these positions only, in kept(0) and kept(1); a
    // negative position keeps nothing.
    void keepCells(qsizetype first, qsizetype second);

    // No cell of the text can be longer than this (0: not known). A cell kept past a megabyte
    // then takes its room once, up to this bound, instead of doubling again and again.
    void setLongestCell(qint64 length) { m_longestCell = length; }

    void feed(QStringView text);
    // The end of the text: an unfinished record (an open quote included) ends here.
    void finish();
    // The text ended inside a quoted cell: true from the last record's callback on.
    bool endsInsideQuote() const { return m_endsInsideQuote; }

    // Every cell of the record, until keepCells() is called.
    const QStringList& cells() const { return m_cells; }
    // Empty when the record is shorter; may be taken (moved from) by the callback.
    QString& kept(int which) { return m_kept[which]; }
    // A cell of the record holds a character that is not white space.
    bool hasContent() const { return m_content; }

private:
    void append(const char16_t* from, const char16_t* to);
    void endCell();
    void endRecord();
    void startCell();

    std::function<void()> m_recordEnded;
    bool m_keepAll = true;
    qsizetype m_keepAt[2] = {-1, -1};
    QStringList m_cells;
    QString m_cell;    // the cell being read, when all are kept
    QString m_kept[2]; // the two cells asked for
    QString* m_target = &m_cell;
    qsizetype m_cellIndex = 0;
    qint64 m_longestCell = 0;
    bool m_content = false;
    bool m_pending = false; // something outside quotes since the last record ended
    bool m_quoted = false;
    bool m_atCellStart = true; // nothing of the cell read yet: a quote here opens quoting
    bool m_endsInsideQuote = false;
    bool m_quoteAtEnd = false; // a quote ended the last piece inside quotes: "" or the closing one
    bool m_swallowLF = false;  // a CR ended the last piece: a LF that follows belongs to it
};

} // namespace tarnwick
