#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

} // namespace tarnwick::aeptest
