// Writes a large library for scripts/drive: FILES media files (empty, sparse, each of its own size,
// so that no two are duplicate candidates)
// in folders of 1,000, and PROJECTS Premiere Pro projects, each using an overlapping slice of them
// so that every file is in about two projects and about half of them are on no timeline.
#include "support/ProjectGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;

namespace {

QStringList writeMedia(const QDir& root, int count) {
    static const char* const extensions[] = {"mov", "mp4", "mxf", "wav", "png"};
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("Media/Card%1").arg(i / 1000, 3, 10, QLatin1Char('0'));
        if (i % 1000 == 0)
            root.mkpath(folder);
        const QString path = root.filePath(QStringLiteral("%1/C%2_clip.%3")
                                               .arg(folder)
                                               .arg(i, 6, 10, QLatin1Char('0'))
                                               .arg(QLatin1String(extensions[i % 5])));
        QFile file(path);
        if (!file.exists() &&
            (!file.open(QIODevice::WriteOnly) || !file.resize((qint64(1) << 16) + qint64(i) * 13)))
            return {};
        paths.append(path);
    }
    return paths;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FOLDER PROJECTS FILES\n", argv[0]);
        return 2;
    }
    const QDir root(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    const int projectCount = std::max(1, std::atoi(argv[2]));
    const int fileCount = std::max(projectCount, std::atoi(argv[3]));
    const QStringList media = writeMedia(root, fileCount);
    if (media.isEmpty()) {
        std::fprintf(stderr, "cannot write the media under %s\n", argv[1]);
        return 1;
    }
    root.mkpath(QStringLiteral("Projects"));
    const int step = fileCount / projectCount;
    for (int p = 0; p < projectCount; ++p) {
        ProjectGeneratorOptions options;
        for (int i = 0; i < 2 * step; ++i)
            options.mediaPaths.append(media.at((p * step + i) % fileCount));
        options.usedFraction = 0.35;
        options.sequenceCount = 2;
        options.fillerLinesPerObject = 2;
        options.effectLinesPerTrackItem = 2;
        options.seed = quint32(p + 1);
        const QString path =
            root.filePath(QStringLiteral("Projects/Project %1.prproj").arg(p, 3, 10, QLatin1Char('0')));
        if (!ProjectGenerator::writeProject(path, ProjectGenerator::generate(options).xml)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("%d projects over %d files in %s\n", projectCount, fileCount, qPrintable(root.path()));
    return 0;
}
