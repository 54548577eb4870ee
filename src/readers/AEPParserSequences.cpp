// The project items AEPParser reads by their lists: footage that is a numbered sequence of stills,
// and the compositions' names.
#include "readers/AEPParser.h"

#include "platform/PathText.h"
#include "readers/AEPPathText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtEndian>

#include <cstring>

namespace tarnwick {

namespace {

constexpr quint32 undefinedFrame = 0xFFFFFFFF;
// An alias is a line of JSON: anything larger is not one.
constexpr qint64 maxAliasBytes = 1 << 20;

// Where the footage's settings keep the frame range and the frame number's width.
constexpr qint64 settingsFirstFrameAt = 172;
constexpr qint64 settingsLastFrameAt = 176;
constexpr qint64 settingsDigitsAt = 180;

// The item type an "idta" starts with: folders are 1, compositions 4, footage 7.
constexpr quint16 compositionItem = 4;

struct Chunk {
    QByteArrayView id;
    QByteArrayView listType; // empty unless a LIST
    QByteArrayView payload;  // a LIST's without its type
};

// The chunks of [from, to) in order; false at the first one that does not fit.
template <typename F> bool forEachChunk(QByteArrayView data, qint64 from, qint64 to, F&& take) {
    const auto* d = reinterpret_cast<const uchar*>(data.data());
    qint64 p = from;
    while (p + 8 <= to) {
        const qint64 size = qFromBigEndian<quint32>(d + p + 4);
        const qint64 end = p + 8 + size;
        if (end > to)
            return false;
        Chunk chunk{data.sliced(p, 4), {}, data.sliced(p + 8, size)};
        if (chunk.id == QByteArrayView("LIST")) {
            if (size < 4)
                return false;
            chunk.listType = data.sliced(p + 8, 4);
            chunk.payload = data.sliced(p + 12, size - 4);
        }
        if (!take(chunk))
            return true;
        p = end + (size % 2);
    }
    return true;
}

// The folder an alias targets; none when it targets a file.
std::optional<QString> aliasedFolder(QByteArrayView alias) {
    std::optional<QString> folder;
    const auto inAlias = [&folder](const Chunk& chunk) {
        if (chunk.id != QByteArrayView("alas") || chunk.payload.size() > maxAliasBytes)
            return true;
        const QJsonObject json = QJsonDocument::fromJson(chunk.payload.toByteArray()).object();
        const QString path = json.value(QLatin1StringView("fullpath")).toString();
        if (json.value(QLatin1StringView("target_is_folder")).toBool() && !path.isEmpty())
            folder = path;
        return false;
    };
    forEachChunk(alias, 0, alias.size(), inAlias);
    if (!folder)
        return std::nullopt;
    folder->replace(u'\\', u'/');
    while (folder->size() > 1 && folder->endsWith(u'/'))
        folder->chop(1);
    return folder;
}

// The range and width the footage's settings store, where they store one.
void takeFrames(QByteArrayView settings, ImageSequence& sequence) {
    if (settings.size() < settingsDigitsAt + 4)
        return;
    const auto* d = reinterpret_cast<const uchar*>(settings.data());
    const quint32 first = qFromBigEndian<quint32>(d + settingsFirstFrameAt);
    const quint32 last = qFromBigEndian<quint32>(d + settingsLastFrameAt);
    const quint32 digits = qFromBigEndian<quint32>(d + settingsDigitsAt);
    if (first != undefinedFrame && last != undefinedFrame && first <= last && last > 0) {
        sequence.firstFrame = first;
        sequence.lastFrame = last;
    }
    if (digits <= 18)
        sequence.digits = int(digits);
}

// A footage item's list: its settings, then the alias, then (for a sequence) the texts holding the
// frame name's prefix and suffix, then the footage options.
std::optional<ImageSequence> sequenceOfPin(QByteArrayView pin) {
    QByteArrayView settings;
    std::optional<QString> folder;
    QList<QByteArrayView> texts;
    bool complete = false;
    forEachChunk(pin, 0, pin.size(), [&](const Chunk& chunk) {
        if (!folder) {
            if (chunk.id == QByteArrayView("sspc"))
                settings = chunk.payload;
            else if (chunk.listType == QByteArrayView("Als2"))
                folder = aliasedFolder(chunk.payload);
            return !(chunk.listType == QByteArrayView("Als2") && !folder);
        }
        if (chunk.id == QByteArrayView("Utf8")) {
            texts.append(chunk.payload);
            return true;
        }
        complete = chunk.id == QByteArrayView("opti");
        return false;
    });
    if (!complete || texts.size() < 2)
        return std::nullopt;
    const std::optional<QString> prefix = aep::decodeUtf8(texts[texts.size() - 2]);
    const std::optional<QString> suffix = aep::decodeUtf8(texts.last());
    if (!prefix || !suffix || (prefix->isEmpty() && suffix->isEmpty()) || prefix->contains(u'/') ||
        suffix->contains(u'/'))
        return std::nullopt;
    ImageSequence sequence;
    sequence.folder = *folder;
    sequence.prefix = *prefix;
    sequence.suffix = *suffix;
    takeFrames(settings, sequence);
    return sequence;
}

// The lists of one type wherever they are, each as its content after the type, as the walk would
// reach them. memmem(3) finds a four-byte type several times faster than a byte-by-byte search.
template <typename F> void forEachListOfType(QByteArrayView data, const char (&type)[5], F&& take) {
    const auto* d = reinterpret_cast<const uchar*>(data.data());
    const auto next = [&](qsizetype from) -> qsizetype {
        const void* hit = ::memmem(d + from, std::size_t(data.size() - from), type, 4);
        return hit ? static_cast<const uchar*>(hit) - d : -1;
    };
    for (qsizetype at = next(0); at >= 0; at = next(at + 1)) {
        if (at < 8 || std::memcmp(d + at - 8, "LIST", 4) != 0)
            continue;
        const qint64 size = qFromBigEndian<quint32>(d + at - 4);
        if (size < 4 || at + size > data.size())
            continue;
        take(data.sliced(at + 4, size - 4));
    }
}

// An item's name when the item is a composition: its first "idta" gives the type, its first text
// the name.
std::optional<QString> compositionName(QByteArrayView item) {
    std::optional<quint16> type;
    std::optional<QByteArrayView> name;
    forEachChunk(item, 0, item.size(), [&](const Chunk& chunk) {
        if (!type && chunk.id == QByteArrayView("idta") && chunk.payload.size() >= 2)
            type = qFromBigEndian<quint16>(chunk.payload.data());
        else if (!name && chunk.id == QByteArrayView("Utf8"))
            name = chunk.payload;
        return !(type && name);
    });
    if (type != compositionItem || !name || name->isEmpty())
        return std::nullopt;
    return aep::decodeUtf8(*name);
}

} // namespace

QStringList AEPParser::readCompositions(QByteArrayView data) {
    QStringList names;
    QSet<QString> seen;
    forEachListOfType(data, "Item", [&](QByteArrayView item) {
        std::optional<QString> name = compositionName(item);
        if (name && !seen.contains(*name)) {
            seen.insert(*name);
            names.append(std::move(*name));
        }
    });
    return names;
}

QList<ImageSequence> AEPParser::readSequences(QByteArrayView data) {
    QList<ImageSequence> found;
    forEachListOfType(data, "Pin ", [&](QByteArrayView pin) {
        std::optional<ImageSequence> sequence = sequenceOfPin(pin);
        if (sequence && !found.contains(*sequence))
            found.append(std::move(*sequence));
    });
    return found;
}

bool AEPParser::isRenderLog(const QString& path) {
    const QString folder = path::lastPathComponent(path::deletingLastPathComponent(path));
    return folder.endsWith(QLatin1StringView(".aep Logs"), Qt::CaseInsensitive) &&
           path::pathExtension(path).compare(QLatin1StringView("txt"), Qt::CaseInsensitive) == 0;
}

} // namespace tarnwick
