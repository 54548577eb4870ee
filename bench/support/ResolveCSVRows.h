#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace tarnwick::bench {

inline QString resolveClipName(qint64 i) {
    return QStringLiteral("A%1_C001.mov").arg(i, 7, 10, QLatin1Char('0'));
}

// "A0000001_C001.mov,/Volumes/Medi,A\n": 34 bytes a row, each row a clip of its own. Made once per
// folder and size.
inline QString resolveRowsFile(const QDir& folder, qint64 rows) {
    const QString path = folder.filePath(QStringLiteral("rows-%1.csv").arg(rows));
    if (QFile::exists(path))
        return path;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("File Name,Clip Directory,Reel\n");
    QByteArray block;
    for (qint64 i = 0; i < rows; ++i) {
        block += resolveClipName(i).toLatin1() + ",/Volumes/Medi,A\n";
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    return path;
}

} // namespace tarnwick::bench
