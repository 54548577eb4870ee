#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace tarnwick {

// One run of UTF-16BE text up to its terminator, prepared so that every tail of it (each slash unit
// starts one) is judged in constant time, exactly as decoding the tail and testing it as a footage
// path would. This keeps the UTF-16 scan linear on long runs of path-like text. One object is
// reused for run after run, keeping its buffers.
class AEPUtf16Run {
public:
    // `bytes` holds whole big-endian units.
    void assign(QByteArrayView bytes);

    // The tail from unit `start`, backslashes turned into slashes, when it decodes and is a plausible
    // footage path. The unit at `start` must be "/", "\" or an ASCII letter.
    std::optional<QString> plausibleTail(qsizetype start) const;

private:
    bool findExtension(const uchar* bytes, qsizetype units);
    void decode(const uchar* bytes, qsizetype units);
    void findBoundaries();

    bool m_viable = false; // false when no tail can have a footage extension
    QString m_text;
    QString m_normalized; // backslashes as slashes
    qsizetype m_lastUnpaired = -1;
    std::vector<qint32> m_printable;     // printable scalars in [0, k)
    std::vector<char> m_isBoundary;      // grapheme boundary before unit k
    std::vector<qint32> m_boundaryCount; // boundaries in (0, k]
    qsizetype m_componentStart = 0;      // after the last separator of the text without trailing ones
    qsizetype m_extensionDot = -1;       // last "." of that last component
};

} // namespace tarnwick
