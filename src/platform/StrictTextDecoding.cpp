#include "platform/StrictTextDecoding.h"

#include <QStringDecoder>

#include <algorithm>

namespace tarnwick::strict {

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<uchar>(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QString> decodeUtf16(QByteArrayView bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype k = 0; k < units; ++k) {
        const uchar hi = bigEndian ? d[2 * k] : d[2 * k + 1];
        const uchar lo = bigEndian ? d[2 * k + 1] : d[2 * k];
        out[k] = static_cast<char16_t>((hi << 8) | lo);
    }
    for (qsizetype k = 0; k < units; ++k) {
        if (QChar::isHighSurrogate(out[k])) {
            if (k + 1 >= units || !QChar::isLowSurrogate(out[k + 1]))
                return std::nullopt;
            ++k;
        } else if (QChar::isLowSurrogate(out[k])) {
            return std::nullopt;
        }
    }
    return text;
}

} // namespace tarnwick::strict
