#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Decoding that refuses bad input instead of substituting replacement characters.
namespace tarnwick::strict {

// nullopt on any invalid sequence; an initial byte-order mark is dropped; ASCII fast path.
std::optional<QString> decodeUtf8(QByteArrayView bytes);
// nullopt on an odd byte count or an unpaired surrogate.
std::optional<QString> decodeUtf16(QByteArrayView bytes, bool bigEndian);

} // namespace tarnwick::strict
