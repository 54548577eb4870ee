#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

#include "readers/PrprojTextBuffer.h"

// Turning a project file's bytes into its XML: raw DEFLATE first, then the body of a gzip member.
// Only a stream inflated to its end counts; a following gzip member is inflated and appended; output
// beyond inflatedSizeCap() is refused while inflating, before more memory is taken.
namespace tarnwick::prproj {

inline constexpr qint64 maxInflatedSize = qint64(8) << 30;

// The most a project may inflate to: the lower of maxInflatedSize and a quarter of the machine's
// physical memory (the reader needs a multiple of the text besides it).
qint64 inflatedSizeCap();

enum class InflateEngine {
    fastest, // libdeflate when built with it, else zlib
    zlib,
};

struct ByteRange {
    qsizetype begin = 0;
    qsizetype end = 0;
};

// The DEFLATE body of a gzip file as its header describes it: after the optional fields, up to the
// last 8 bytes (the trailer). Absent when the header does not leave room for a body.
std::optional<ByteRange> gzipBody(QByteArrayView data);

// Inflates raw DEFLATE data at the start of `input`, appending to `out`. On success returns how many
// input bytes the stream used; fails on damaged or unfinished streams and past `limit` output bytes.
// `overLimit`, when given, tells whether it failed for the limit.
std::optional<qsizetype> inflateRaw(QByteArrayView input, QByteArray& out, qint64 sizeHint,
                                    InflateEngine engine, qint64 limit = maxInflatedSize,
                                    bool* overLimit = nullptr);

// The XML as valid UTF-8, or absent when neither route inflates completely to UTF-8 text.
// `limit` < 0: inflatedSizeCap(). `overLimit`, when given, is set when the text would exceed it.
std::optional<QByteArray> decompressProjectData(QByteArrayView data,
                                                InflateEngine engine = InflateEngine::fastest,
                                                qint64 limit = -1, bool* overLimit = nullptr);

// The text as decompressProjectData gives it, inflated into a TextBuffer, before the UTF-8 check
// (which the caller makes while it reads the text): decompressProjectData is exactly this when the
// text is valid UTF-8, and absent when it is not.
std::optional<TextBuffer> inflateProjectText(QByteArrayView data, qint64 limit = -1,
                                             bool* overLimit = nullptr);

} // namespace tarnwick::prproj
