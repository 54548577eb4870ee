// Arbitrary bytes through the text helpers the stores and readers lean on: JSON must round-trip what
// it decodes, and the path and grapheme rules must keep their invariants on any text.
#include "model/PathComponents.h"
#include "platform/Graphemes.h"
#include "platform/JsonForm.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using tarnwick::text;
namespace graphemes = tarnwick::graphemes;
namespace json = tarnwick::json;
namespace path = tarnwick::path;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<QJsonDocument> doc = json::decode(bytes)) {
        const std::optional<QJsonDocument> again = json::decode(json::encode(*doc));
        require(again.has_value() && *again == *doc);
    }

    const QString s = QString::fromUtf8(bytes);
    const qsizetype clusters = graphemes::count(s);
    require(clusters == graphemes::countUtf8(std::string_view(bytes.constData(), size_t(bytes.size()))));
    require(graphemes::prefix(s, clusters) == s && graphemes::suffix(s, clusters) == s);
    const qsizetype half = clusters / 2;
    require(graphemes::prefix(s, half) + graphemes::suffix(s, clusters - half) == s);

    require(text::canonicalEquals(s, text::nfc(s)));
    require(text::canonicalHash(s) == text::canonicalHash(text::nfc(s)));
    require(text::compareScalars(s, s) == 0);

    const QString last = path::lastPathComponent(s);
    require(!last.contains(QLatin1Char('/')) || last == QLatin1String("/"));
    const QString extension = path::pathExtension(s);
    if (!extension.isEmpty() && !s.endsWith(QLatin1Char('/')))
        require(path::deletingPathExtension(s) + QLatin1Char('.') + extension == s);
    const QString standard = path::standardizingPath(s);
    require(!standard.contains(QLatin1String("//")));
    for (const QString& component : tarnwick::pathComponentsHelper(s))
        require(!component.isEmpty() && !component.contains(QLatin1Char('/')));
    return 0;
}
