#include "actions/ArchiveDestination.h"

#include <QDir>

namespace tarnwick {

namespace {

QString lastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

std::pair<QString, QString> ArchiveDestination::splitExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1)
        return {name, QString()};
    return {name.left(dot), name.mid(dot + 1)};
}

std::optional<QString> ArchiveDestination::destinationFor(const QString& source, const QString& folder) {
    const QString root = QDir::cleanPath(folder);
    QString relative = QDir::cleanPath(source);
    if (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    if (relative.isEmpty() || relative == QLatin1String("."))
        return std::nullopt;
    const QString destination = QDir::cleanPath(root + QLatin1Char('/') + relative);
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (!destination.startsWith(prefix) || destination.size() == prefix.size())
        return std::nullopt;
    return destination;
}

QString ArchiveDestination::candidate(const QString& destination, int n, Numbering numbering,
                                      const QString& stagedPath) {
    const QString number = QLatin1Char('_') + QString::number(n);
    QString name;
    switch (numbering) {
    case Numbering::binFile: {
        const auto [stem, extension] = splitExtension(lastComponent(stagedPath));
        name = stem + number + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension.toLower());
        break;
    }
    case Numbering::listFile: {
        const auto [stem, extension] = splitExtension(lastComponent(destination));
        name = stem + number + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
        break;
    }
    case Numbering::listContainer:
        name = splitExtension(lastComponent(destination)).first + number + QStringLiteral(".RDC");
        break;
    }
    const QString parent = parentOf(destination);
    return parent.endsWith(QLatin1Char('/')) ? QString(parent + name)
                                             : QString(parent + QLatin1Char('/') + name);
}

QString ArchiveDestination::outsideFolderText() {
    return QStringLiteral("its path leads outside the destination folder");
}

} // namespace tarnwick
