#include "readers/AEPParser.h"

#include <QByteArrayView>
#include <QSet>

#include <cstddef>
#include <cstdint>

using tarnwick::AEPParser;

// The in-memory stages of a parse: the chunk walk over the container, the two whole-file scans, the
// footage sequences and the compositions' names.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    AEPParser parser;
    QSet<QString> found;
    parser.walkChunks(bytes, bytes.size() < 12 ? 0 : 12, bytes.size(), found, 0);
    found.unite(parser.extractPaths(bytes));
    if (size >= 1)
        AEPParser::readUTF16BEPath(bytes, data[0] % (size + 1), static_cast<qint64>(size));
    for (const QString& path : found) {
        if (path.contains(QLatin1Char('\\')))
            __builtin_trap(); // backslashes are always turned into slashes
    }
    for (const tarnwick::ImageSequence& sequence : AEPParser::readSequences(bytes)) {
        if (sequence.folder.contains(QLatin1Char('\\')))
            __builtin_trap();
    }
    for (const QString& name : AEPParser::readCompositions(bytes)) {
        if (name.isEmpty())
            __builtin_trap(); // an item without a name names no composition
    }
    return 0;
}
