#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace tarnwick {

// One run of path-like text up to its end, prepared so that every tail of it that starts a
// candidate (each slash starts one) is judged in constant time, exactly as decoding the tail and
// testing it as a footage path would. This keeps the scans linear on long runs of path-like text.
// One object is reused for run after run, keeping its buffers.
class AEPPathRun {
public:
    // Whole big-endian UTF-16 units; tail k starts at unit k.
    void assignUtf16BE(QByteArrayView bytes);
    // UTF-8 bytes starting at an ASCII byte; the tail at a byte offset starts at unitOf(offset).
    void assignUtf8(QByteArrayView bytes);
    qsizetype unitOf(qsizetype byteOffset) const { return m_unitOfByte[static_cast<size_t>(byteOffset)]; }

    // Whether plausibleTail() can judge this run's tails. Text from U+0300 up is segmented once for
    // the whole run when every character comes from blocks the platform clusters by the generic
    // rules alone (combining marks, Greek, Cyrillic, Hangul, CJK, punctuation, emoji): a tail starts
    // at a slash, a backslash or an ASCII letter, where none of those rules looks further back, so
    // its own boundaries are the run's after its start. Scripts the platform clusters by rules of
    // their own (Indic, Thai, ...) may cluster differently from where the text starts: such runs are
    // left to the caller, which segments each tail on its own.
    bool judgesTails() const { return !m_viable || m_simple || m_segmentable; }

    // The tail from unit `start`, backslashes turned into slashes, when it decodes and is a plausible
    // footage path. The character at `start` must be "/", "\" or an ASCII letter.
    std::optional<QString> plausibleTail(qsizetype start) const;

private:
    template <typename UnitAt> bool findExtension(qsizetype units, UnitAt unitAt);
    void decodeUtf16BE(const uchar* bytes, qsizetype units);
    void decodeUtf8(const uchar* bytes, qsizetype count);
    void countPrintable();
    void findBoundaries();

    bool m_viable = false;      // false when no tail can have a footage extension
    bool m_simple = false;      // every unit below U+0300: a boundary between any two but CR LF
    bool m_segmentable = false; // segmented once for the whole run (see judgesTails())
    QString m_text;
    QString m_normalized;                // backslashes as slashes
    qsizetype m_lastUndecodable = -1;    // last unit of an undecodable sequence
    std::vector<qint32> m_unitOfByte;    // UTF-8: unit index of each byte's sequence
    std::vector<qint32> m_printable;     // printable scalars in [0, k)
    std::vector<char> m_isBoundary;      // grapheme boundary before unit k
    std::vector<qint32> m_boundaryCount; // boundaries in (0, k]
    qsizetype m_componentStart = 0;      // after the last separator of the text without trailing ones
    qsizetype m_extensionDot = -1;       // last "." of that last component
};

} // namespace tarnwick
