#include "app/tour/TourLibraries.h"

#include "analysis/ProjectManager.h"

namespace tarnwick::tourLibraries {

namespace {

// Two hundred projects of similar size over a shared drive: every tenth file is used by two
// projects.
void addSeries(QList<ProjectFile>& projects, QList<MediaFile>& files) {
    for (int p = 0; p < 200; ++p) {
        ProjectFile project;
        project.name = QStringLiteral("Episode %1").arg(p + 1, 3, 10, QLatin1Char('0'));
        project.url = QUrl::fromLocalFile(QStringLiteral("/media/editor/Series/%1.prproj").arg(project.name));
        projects.append(project);
        for (int f = 0; f < 6; ++f) {
            MediaFile file;
            file.path = QStringLiteral("/media/editor/Series/%1/A%2_C%3.mov")
                            .arg(project.name)
                            .arg(p % 9 + 1, 3, 10, QLatin1Char('0'))
                            .arg(f + 1, 3, 10, QLatin1Char('0'));
            file.size = 52'000'000'000 + qint64((p * 7 + f * 3) % 11) * 1'300'000'000;
            file.status = MediaFileStatus::online;
            file.usageCount = (p + f) % 3 == 0 ? 0 : 1;
            file.projectNames = {project.name};
            if (f == 0 && p % 10 == 0 && p > 0) {
                file.projectNames.append(projects[p - 1].name);
                projects[p - 1].mediaFiles.append(file.path);
            }
            projects[p].mediaFiles.append(file.path);
            files.append(file);
        }
    }
}

// What a parse records of a used file: the project's usage of it (the sidebar counts these).
void recordUse(ProjectFile& project, const MediaFile& file) {
    if (file.usageCount < 1)
        return;
    project.usedFiles.append(file.path);
    project.usageCountByPath.insert(file.path, file.usageCount);
}

// The staged projects say which files they use, and the files' counts follow from them as after
// an import; the bin stays empty (its files belong to the library staged over).
void stage(ProjectManager& manager, QList<ProjectFile> projects, const QList<MediaFile>& files) {
    for (ProjectFile& project : projects)
        for (const MediaFile& file : files)
            if (file.projectNames.contains(project.name))
                recordUse(project, file);
    manager.edit(ProjectManager::ListChange::usage)
        .setRecycleBin({})
        .setProjects(std::move(projects))
        .setMediaFiles(files);
}

// One project of camera clips with long names.
void addCameraOriginals(QList<ProjectFile>& projects, QList<MediaFile>& files) {
    ProjectFile camera;
    camera.name = QStringLiteral("Harbour Promo Camera Originals");
    QStringList names{QStringLiteral("Interview Camera A Wide Shot Take 12.mov"),
                      QStringLiteral("A001_C002_0519XY_take2.mov"),
                      QStringLiteral("Drone_Harbour_Sunrise_4K_HDR_graded_v3.mov"),
                      QStringLiteral("Broll Market Stalls.mov")};
    for (int i = 40; i < 76; ++i)
        names.append(QStringLiteral("B1384_C%1.mp4").arg(i, 3, 10, QLatin1Char('0')));
    for (int i = 0; i < names.size(); ++i) {
        MediaFile file;
        file.path = QStringLiteral("/media/editor/Harbour/Camera/") + names[i];
        file.size = 9'000'000'000 - qint64(i) * 110'000'000;
        file.status = MediaFileStatus::online;
        file.usageCount = i % 2;
        file.projectNames = {camera.name};
        camera.mediaFiles.append(file.path);
        files.append(file);
    }
    projects.append(camera);
}

} // namespace

void stageLargeLibrary(ProjectManager& manager) {
    QList<ProjectFile> projects;
    QList<MediaFile> files;
    addSeries(projects, files);
    addCameraOriginals(projects, files);
    stage(manager, projects, files);
}

// A feature, a dozen spots and a long tail of small jobs: the tail is too small to read.
void stageLongTailLibrary(ProjectManager& manager) {
    QList<ProjectFile> projects;
    QList<MediaFile> files;
    auto add = [&](const QString& name, qint64 size, int usage) {
        ProjectFile project;
        project.name = name;
        projects.append(project);
        MediaFile file;
        file.path = QStringLiteral("/media/editor/Jobs/%1/A001_C001.mov").arg(name);
        projects.last().mediaFiles.append(file.path);
        file.size = size;
        file.status = MediaFileStatus::online;
        file.usageCount = usage;
        file.projectNames = {name};
        files.append(file);
    };
    add(QStringLiteral("Harbour Feature"), 9'200'000'000'000, 1);
    for (int i = 1; i <= 12; ++i)
        add(QStringLiteral("Spot %1").arg(i, 2, 10, QLatin1Char('0')),
            420'000'000'000 - qint64(i) * 9'000'000'000, i % 2);
    for (int i = 1; i <= 60; ++i)
        add(QStringLiteral("Social Cut %1").arg(i, 2, 10, QLatin1Char('0')),
            6'000'000'000 + qint64(i) * 90'000'000, i % 3 ? 1 : 0);
    stage(manager, projects, files);
}

} // namespace tarnwick::tourLibraries
