#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// Builds small big-endian RIFX files for the After Effects reader's tests and benchmarks.
namespace tarnwick::aeptest {

inline QByteArray bigEndian32(quint32 value) {
    QByteArray out(4, '\0');
    out[0] = static_cast<char>(value >> 24);
    out[1] = static_cast<char>(value >> 16);
    out[2] = static_cast<char>(value >> 8);
    out[3] = static_cast<char>(value);
    return out;
}

// A chunk with its size field; an odd payload is followed by one pad byte.
inline QByteArray chunk(const char* id, const QByteArray& payload) {
    QByteArray out = QByteArray(id, 4) + bigEndian32(static_cast<quint32>(payload.size())) + payload;
    if (payload.size() % 2 == 1)
        out.append('\0');
    return out;
}

inline QByteArray list(const char* type, const QByteArray& content) {
    return chunk("LIST", QByteArray(type, 4) + content);
}

inline QByteArray rifx(const QByteArray& content) {
    return QByteArray("RIFX", 4) + bigEndian32(static_cast<quint32>(content.size() + 4)) +
           QByteArray("Egg!", 4) + content;
}

inline QByteArray utf16BE(const QString& text) {
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() >> 8));
        out.append(static_cast<char>(c.unicode() & 0xFF));
    }
    return out;
}

// Writes a small project at `path` that names each footage path once; returns whether it was written.
inline bool writeProject(const QString& path, const QStringList& footage, qsizetype padding = 0) {
    QByteArray content;
    for (const QString& f : footage)
        content += chunk("Utf8", f.toUtf8());
    if (padding > 0)
        content += chunk("idta", QByteArray(padding, '\x01'));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(rifx(content)) > 0;
}

// The alias record of a footage item: the file or folder it targets, as JSON text.
inline QByteArray alias(const QString& fullpath, bool targetIsFolder) {
    const QJsonObject record{{"ascendcount_base", 2},
                             {"ascendcount_target", 2},
                             {"fullpath", fullpath},
                             {"platform", fullpath.contains(u'\\') ? 1 : 2},
                             {"server_name", ""},
                             {"server_volume_name", ""},
                             {"target_is_folder", targetIsFolder}};
    return QJsonDocument(record).toJson(QJsonDocument::Compact);
}

// A footage item's settings with the frame range and frame number width where sequences keep them.
inline QByteArray footageSettings(quint32 firstFrame = 0, quint32 lastFrame = 0, quint32 digits = 0) {
    QByteArray settings(222, '\0');
    settings.replace(172, 4, bigEndian32(firstFrame));
    settings.replace(176, 4, bigEndian32(lastFrame));
    settings.replace(180, 4, bigEndian32(digits));
    return settings;
}

// A footage item of one file: settings, an empty name, the alias, the footage options.
inline QByteArray fileFootage(const QString& path) {
    return list("Item", chunk("idta", QByteArray(84, '\0')) +
                            list("Pin ", chunk("sspc", footageSettings()) + chunk("Utf8", {}) +
                                             list("Als2", chunk("alas", alias(path, false))) +
                                             chunk("opti", QByteArray("MOoV") + QByteArray(54, '\0'))));
}

// A footage item that is a numbered sequence: the alias targets the folder, and two texts after it
// hold the frame name's prefix and suffix; the range (none: 0xFFFFFFFF) and width are in the settings.
inline QByteArray sequenceFootage(const QString& folder, const QString& prefix, const QString& suffix,
                                  quint32 firstFrame, quint32 lastFrame, quint32 digits) {
    return list("Item",
                chunk("idta", QByteArray(84, '\0')) +
                    list("Pin ", chunk("sspc", footageSettings(firstFrame, lastFrame, digits)) +
                                     chunk("Utf8", {}) + list("Als2", chunk("alas", alias(folder, true))) +
                                     chunk("Utf8", prefix.toUtf8()) + chunk("Utf8", suffix.toUtf8()) +
                                     chunk("opti", QByteArray("JPEG") + QByteArray(54, '\0'))));
}

// A composition item: its type in the item data, its name, its settings.
inline QByteArray compositionItem(const QString& name) {
    QByteArray data(84, '\0');
    data[1] = 4;
    return list("Item",
                chunk("idta", data) + chunk("Utf8", name.toUtf8()) + chunk("cdta", QByteArray(204, '\0')));
}

// A folder item holding `items`.
inline QByteArray folderItem(const QString& name, const QByteArray& items) {
    QByteArray data(84, '\0');
    data[1] = 1;
    return list("Item", chunk("idta", data) + chunk("Utf8", name.toUtf8()) +
                            chunk("sfdt", QByteArray(4, '\0')) + list("Sfdr", items));
}

// A render queue item's output: a folder followed by output-module settings.
inline QByteArray renderOutput(const QString& folder) {
    return list("LItm",
                list("LOm ", list("Als2", chunk("alas", alias(folder, true))) +
                                 chunk("Utf8", QByteArray("Comp 1")) + chunk("Utf8", QByteArray(".mov")) +
                                 chunk("Roou", QByteArray(154, '\1')) + chunk("Ropt", QByteArray(64, '\0'))));
}

// Writes a project of `content` at `path`; returns whether it was written.
inline bool writeRifx(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(rifx(content)) > 0;
}

// A project at `path` holding compositions of these names and naming each footage path once.
inline bool writeCompositions(const QString& path, const QStringList& compositions,
                              const QStringList& footage) {
    QByteArray content;
    for (const QString& name : compositions)
        content += compositionItem(name);
    for (const QString& f : footage)
        content += chunk("Utf8", f.toUtf8());
    return writeRifx(path, content);
}

} // namespace tarnwick::aeptest
