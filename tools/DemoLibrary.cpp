// Writes the projects of a small demo library over the media that scripts/demo generated:
// three Premiere Pro projects that use some clips, leave others unused and reference a few
// files that do not exist, plus one After Effects project.
#include "support/AEPRifxBuilder.h"
#include "support/ProjectGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTextStream>

#include <cstdio>

using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir root(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    QStringList media;
    QDirIterator it(root.filePath(QStringLiteral("Media")), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        media.append(it.next());
    media.sort();
    if (media.size() < 6) {
        std::fprintf(stderr, "expected the generated media in %s/Media\n", argv[1]);
        return 1;
    }
    root.mkpath(QStringLiteral("Projects"));
    const QString missing = root.filePath(QStringLiteral("Media/Footage/"));
    const QString aep = root.filePath(QStringLiteral("Projects/Motion Titles.aep"));

    struct Plan {
        QString name;
        QStringList paths;
        quint32 seed;
    };
    const qsizetype third = media.size() / 3;
    const QList<Plan> plans{
        {QStringLiteral("Brand Film"),
         media.mid(0, third + 2) + QStringList{missing + QStringLiteral("A001_C004_lost.mov"), aep}, 3},
        {QStringLiteral("Interview Cut"),
         media.mid(third, third + 2) + QStringList{missing + QStringLiteral("B002_C001_offline.mp4")}, 5},
        {QStringLiteral("Social Teasers"), media.mid(2 * third), 7},
    };
    for (const Plan& plan : plans) {
        ProjectGeneratorOptions options;
        options.mediaPaths = plan.paths;
        options.usedFraction = 0.55;
        options.sequenceCount = 3;
        options.nestedSequenceCount = 1;
        options.fillerLinesPerObject = 2;
        options.effectLinesPerTrackItem = 2;
        options.seed = plan.seed;
        const auto project = ProjectGenerator::generate(options);
        const QString path =
            root.filePath(QStringLiteral("Projects/") + plan.name + QStringLiteral(".prproj"));
        if (!ProjectGenerator::writeProject(path, project.xml)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s: %lld media, %lld on timelines\n", qPrintable(path),
                    qlonglong(project.mediaPaths.size()), qlonglong(project.usedPaths.size()));
    }

    using namespace tarnwick::aeptest;
    QByteArray footage;
    for (const QString& path : media.mid(media.size() - 2))
        footage += chunk("Utf8", path.toUtf8());
    QFile file(aep);
    if (!file.open(QIODevice::WriteOnly) || file.write(rifx(list("Fold", footage))) < 0)
        return 1;
    std::printf("%s\n", qPrintable(aep));
    return 0;
}
