// The tour's transcoded clip: a clip made with ffmpeg, staged alone and replaced by a real
// Transcode & Replace run, then its card and its table row. The library is put back after.
#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "ui/bin/BinOverlays.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/window/ContentView.h"

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

namespace tarnwick {

namespace {

const QString clipName = QStringLiteral("Harbour_Flyover");

QStringList clipArguments(const QString& out) {
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-loglevel"),
            QStringLiteral("error"),
            QStringLiteral("-y"),
            QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("testsrc2=size=640x360:rate=25"),
            QStringLiteral("-t"),
            QStringLiteral("3"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-preset"),
            QStringLiteral("ultrafast"),
            out};
}

} // namespace

void ScreenshotTour::transcodedClip() {
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return;
    // The clip, made off the GUI thread by the ffmpeg program.
    m_steps << [this, ffmpeg] {
        m_scratch = std::make_unique<QTemporaryDir>();
        auto* make = new QProcess(this);
        connect(make, &QProcess::finished, this, [this, make] {
            make->deleteLater();
            next();
        });
        make->start(ffmpeg,
                    clipArguments(QDir(m_scratch->path()).filePath(clipName + QStringLiteral(".mp4"))));
    };
    // Staged alone and transcoded through the runner, as the bin's Transcode & Replace does.
    m_steps << [this] {
        m_mediaBeforeRun = manager().mediaFiles();
        m_binBeforeRun = manager().recycleBin();
        MediaFile clip;
        clip.path = QDir(m_scratch->path()).filePath(clipName + QStringLiteral(".mp4"));
        clip.size = QFileInfo(clip.path).size();
        clip.status = MediaFileStatus::inRecycleBin;
        if (!manager().projects().isEmpty())
            clip.projectNames = {manager().projects().first().name};
        QList<MediaFile> files = m_mediaBeforeRun;
        files.append(clip);
        manager()
            .edit(ProjectManager::ListChange::entries)
            .setMediaFiles(files)
            .setRecycleBin({RecycleBinItem{freshId(), clip, QDateTime::currentDateTimeUtc()}});
        view().runner().request(CleanupRunKind::transcode, {}, this,
                                [this](const CleanupResult&) { after(600, [this] { next(); }); });
    };
    m_steps << act(
        [this] {
            if (auto* card = view().findChild<TranscodeCompleteOverlay*>())
                card->doneButton()->click();
        },
        300);
    narrowTo(DetailViewMode::cards, clipName);
    m_steps << shot(QStringLiteral("cards-transcoded"));
    hoverFirstVideoCard();
    m_steps << shot(QStringLiteral("cards-transcoded-hover"));
    endHover();
    narrowTo(DetailViewMode::table, clipName);
    m_steps << shot(QStringLiteral("table-transcoded"));
    resetNarrowing();
    putBackLibrary();
}

} // namespace tarnwick
