#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// One run of path-like text up to its end, prepared so that every tail of it that starts a
// candidate (each slash starts one) is judged exactly as decoding the tail and testing it as a
// footage path would, in constant time or, for scripts clustered by rules of their own, in time
// shared with the other tails. This keeps the scans linear on long runs of path-like text. One
// object is reused for run after run, keeping its buffers.
class AEPPathRun {
public:
    // Whole big-endian UTF-16 units; tail k starts at unit k.
    void assignUtf16BE(QByteArrayView bytes);
    // UTF-8 bytes starting at an ASCII byte; the tail at a byte offset starts at unitOf(offset).
    void assignUtf8(QByteArrayView bytes);
    qsizetype unitOf(qsizetype byteOffset) const { return m_unitOfByte[static_cast<size_t>(byteOffset)]; }

    // Characters (grapheme clusters) of the tail from unit `start`, exactly as segmenting the tail's
    // own text counts them; 0 for a run without a footage extension (left unprepared). The character
    // at `start` must be ASCII.
    qsizetype tailCharacters(qsizetype start) const;

    // The tail from unit `start`, backslashes turned into slashes, when it decodes and is a plausible
    // footage path. The tail must start with "/", "\" or an ASCII letter before a ":".
    std::optional<QString> plausibleTail(qsizetype start) const;

    // Units segmented on their own to count tails' characters (besides each run's one segmentation),
    // over the process: the measure of the work on runs of scripts with clustering rules of their own.
    static qint64 unitsSegmentedForTails();

private:
    template <typename UnitAt> bool findExtension(qsizetype units, UnitAt unitAt);
    void decodeUtf16BE(const uchar* bytes, qsizetype units);
    void decodeUtf8(const uchar* bytes, qsizetype count);
    void countPrintable();
    void findBoundaries();
    void findScriptStates();
    qsizetype boundariesAfter(qsizetype start) const;
    qint32 windowBoundaries(qsizetype at, qsizetype next, quint8 script, char32_t scriptChar,
                            quint8 nextScript) const;

    bool m_viable = false; // false when no tail can have a footage extension
    bool m_simple = false; // every unit below U+0300: a boundary between any two but CR LF
    // Text from U+0300 up is segmented once for the whole run. When every character comes from blocks
    // the platform clusters by the generic rules alone (combining marks, Greek, Cyrillic, Hangul, CJK,
    // punctuation, emoji), a tail's boundaries after its start are the run's.
    bool m_segmentable = false;
    QString m_text;
    QString m_normalized;                // backslashes as slashes
    qsizetype m_lastUndecodable = -1;    // last unit of an undecodable sequence
    std::vector<qint32> m_unitOfByte;    // UTF-8: unit index of each byte's sequence
    std::vector<qint32> m_printable;     // printable scalars in [0, k)
    std::vector<char> m_isBoundary;      // grapheme boundary before unit k
    std::vector<qint32> m_boundaryCount; // boundaries in (0, k]
    qsizetype m_componentStart = 0;      // after the last separator of the text without trailing ones
    qsizetype m_extensionDot = -1;       // last "." of that last component

    // Runs with other scripts (Indic, Thai, Khmer, ...), see findScriptStates().
    std::vector<quint8> m_scriptAfter;  // script item state after unit k
    std::vector<qint32> m_nextAscii;    // first unit below U+0080 after unit k, or the size
    std::vector<qint32> m_nextScripted; // first scalar at or after unit k with a script of its own, or -1
    mutable std::unordered_map<qint64, qint32> m_boundariesAfter; // by unit and script state
    mutable std::vector<std::pair<qint64, qint32>> m_steps;
    mutable QString m_window;
};

} // namespace tarnwick
