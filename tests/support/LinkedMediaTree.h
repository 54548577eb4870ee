#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

namespace tarnwick::testing {

// A media volume linked into a home folder, on the real disk:
//   <root>/mnt/media/Archive/a.mov, <root>/mnt/media/Other/b.mov
//   <root>/home/media-link -> <root>/mnt/media         (made by makeVolumeLink())
//   <root>/home/clip-link.mov -> <root>/mnt/media/Archive/a.mov
class LinkedMediaTree {
public:
    LinkedMediaTree() : root(QDir(dir.path()).canonicalPath()) {
        for (const QString& file : QStringList{volume() + "/Archive/a.mov", volume() + "/Other/b.mov"}) {
            QDir().mkpath(QFileInfo(file).absolutePath());
            QFile out(file);
            if (out.open(QIODevice::WriteOnly))
                out.write("media");
        }
        QDir().mkpath(root + "/home");
        link(volume() + "/Archive/a.mov", clipLink());
    }

    QString volume() const { return root + "/mnt/media"; }
    QString volumeLink() const { return root + "/home/media-link"; }
    QString clipLink() const { return root + "/home/clip-link.mov"; }
    bool makeVolumeLink() const { return link(volume(), volumeLink()); }

    static bool link(const QString& target, const QString& at) {
        return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
    }

    QTemporaryDir dir;
    QString root;
};

} // namespace tarnwick::testing
