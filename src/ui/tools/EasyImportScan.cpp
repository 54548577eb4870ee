#include "ui/tools/EasyImportScan.h"

#include "platform/DirectoryWalker.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace tarnwick {

const QString EasyImportScan::autoSaveFolderName = QStringLiteral("Adobe Premiere Pro Auto-Save");

namespace {
bool insideAutoSave(const QString& folder) {
    const QString& name = EasyImportScan::autoSaveFolderName;
    qsizetype from = 0;
    while ((from = folder.indexOf(name, from)) >= 0) {
        const qsizetype end = from + name.size();
        const bool startsComponent = from == 0 || folder.at(from - 1) == QLatin1Char('/');
        const bool endsComponent = end == folder.size() || folder.at(end) == QLatin1Char('/');
        if (startsComponent && endsComponent)
            return true;
        from = end;
    }
    return false;
}

bool hasProjectExtension(QByteArrayView name) {
    // ".prproj" in any letter case, compared on the listed bytes without decoding.
    static constexpr char ext[] = ".prproj";
    constexpr qsizetype n = sizeof(ext) - 1;
    if (name.size() <= n)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        char c = name.at(name.size() - n + i);
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != ext[i])
            return false;
    }
    return true;
}
} // namespace

QList<DiscoveredProject> EasyImportScan::scan(const QString& folder, const QSet<QUrl>& openProjects,
                                              const std::function<void(const QString&)>& progress,
                                              const std::atomic_bool* cancel) {
    QList<DiscoveredProject> found;
    if (!QFileInfo(folder).isDir())
        return found;
    if (progress)
        progress(QStringLiteral("Scanning ") + QFileInfo(folder).fileName() + QStringLiteral("..."));
    DirectoryWalker::Options options;
    options.skipHidden = true;
    options.skipPackages = true;
    options.cancel = cancel;
    qint64 index = 0;
    DirectoryWalker::walk(folder, options, [&](const DirectoryWalker::Entry& entry) {
        if (progress && index % progressInterval == 0)
            progress(QStringLiteral("Scanned ") + QString::number(index) + QStringLiteral(" items..."));
        ++index;
        if (entry.type == DirectoryWalker::EntryType::directory || !hasProjectExtension(entry.nameBytes))
            return DirectoryWalker::Action::proceed;
        const QString path = entry.path();
        const QUrl url = QUrl::fromLocalFile(path);
        if (openProjects.contains(url) || insideAutoSave(entry.folder))
            return DirectoryWalker::Action::proceed;
        DiscoveredProject project;
        project.url = url;
        project.fileName = entry.name();
        project.parentDirectory = entry.folder;
        const QFileInfo info(path);
        if (info.exists()) {
            project.size = info.size();
            project.modificationDate = info.lastModified();
        }
        found.append(std::move(project));
        return DirectoryWalker::Action::proceed;
    });
    std::stable_sort(found.begin(), found.end(), [](const DiscoveredProject& a, const DiscoveredProject& b) {
        return a.parentDirectory.normalized(QString::NormalizationForm_C) <
               b.parentDirectory.normalized(QString::NormalizationForm_C);
    });
    return found;
}

QList<DiscoveredProjectFolder> EasyImportScan::groups(const QList<DiscoveredProject>& projects) {
    QHash<QString, QList<DiscoveredProject>> byFolder;
    for (const DiscoveredProject& project : projects)
        byFolder[project.parentDirectory].append(project);
    QList<DiscoveredProjectFolder> out = discoveredProjectList(byFolder);
    std::sort(out.begin(), out.end(), [](const DiscoveredProjectFolder& a, const DiscoveredProjectFolder& b) {
        return a.directory.normalized(QString::NormalizationForm_C) <
               b.directory.normalized(QString::NormalizationForm_C);
    });
    return out;
}

} // namespace tarnwick
