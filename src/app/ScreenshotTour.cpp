#include "app/ScreenshotTour.h"

#include "platform/PathText.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/browser/StorageMapView.h"
#include "ui/common/ViewHelpers.h"

#include "analysis/ProjectManager.h"
#include "app/MainWindow.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"
#include "ui/cards/ClipCard.h"
#include "ui/cards/ClipCardsView.h"
#include "ui/common/Command.h"
#include "ui/common/Sheet.h"
#include "ui/preview/ClipKind.h"
#include "ui/scrub/MediaScrubView.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/tools/EasyImportSheet.h"
#include "ui/tools/SearchOfflineFilesSheet.h"
#include "ui/tools/StatsView.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace tarnwick {

ScreenshotTour::ScreenshotTour(MainWindow& window, QString outDir, QList<QUrl> projects)
    : QObject(&window), m_window(window), m_outDir(std::move(outDir)), m_projects(std::move(projects)) {}

void ScreenshotTour::shoot(const QString& name) {
    QApplication::processEvents();
    const QString file = QDir(m_outDir).filePath(
        QStringLiteral("%1-%2.png").arg(QString::number(++m_shot).rightJustified(2, u'0'), name));
    QScreen* screen = m_window.screen();
    const QRect frame = m_window.frameGeometry();
    QPixmap shot =
        screen ? screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()) : QPixmap();
    if (shot.isNull() || shot.toImage().allGray())
        shot = m_window.grab();
    shot.save(file);
    std::printf("%s\n", qPrintable(file));
}

void ScreenshotTour::after(int ms, std::function<void()> step) {
    QTimer::singleShot(ms, this, std::move(step));
}

void ScreenshotTour::closeDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
}

void ScreenshotTour::seedHistory(ProjectManager& manager) {
    const QList<std::pair<AuditAction, const char*>> history{
        {AuditAction::movedToTrash, "/Volumes/Media/Shoot/Day1/A001_C002_take2.mov"},
        {AuditAction::movedToFolder, "/Volumes/Media/Shoot/Day2/B001_C007.mov"},
        {AuditAction::deletedPermanently, "/Volumes/Media/Renders/old_export_v3.mov"},
        {AuditAction::restored, "/Volumes/Media/Shoot/Day1/A001_C005.mov"},
        {AuditAction::transcoded, "/Volumes/Media/Interviews/int_cam_a.mxf"}};
    QList<AuditLogEntry> entries;
    qint64 age = 3 * 86400;
    for (const auto& [action, path] : history) {
        AuditLogEntry e;
        e.action = action;
        e.filePath = QString::fromUtf8(path);
        e.fileName = QFileInfo(e.filePath).fileName();
        e.fileSize = 1'850'000'000 + age * 1000;
        e.timestamp = QDateTime::currentDateTimeUtc().addSecs(-age);
        e.projectNames = {QStringLiteral("Harbour Promo")};
        if (action == AuditAction::movedToFolder)
            e.destinationPath = QStringLiteral("/Volumes/Archive/Shoot/Day2/B001_C007.mov");
        entries.append(e);
        age /= 6;
    }
    AuditLogManager::shared().append(entries);
    StatsManager::shared().recordDeletion(37, 18'400'000'000);
    StatsManager::shared().recordMove(12, 4'200'000'000);
    manager.addSequenceRule(QStringLiteral("dailies"), SequenceRuleAction::ignore);
}

void ScreenshotTour::next() {
    if (m_steps.isEmpty()) {
        QApplication::quit();
        return;
    }
    auto step = m_steps.takeFirst();
    step();
}

void ScreenshotTour::start() {
    QDir().mkpath(m_outDir);
    ContentView* view = m_window.contentView();
    ProjectManager& pm = view->manager();
    auto wait = [this](int ms) { return [this, ms] { after(ms, [this] { next(); }); }; };
    auto shootStep = [this](const QString& name) {
        return [this, name] {
            shoot(name);
            next();
        };
    };

    m_steps << wait(800) << shootStep(QStringLiteral("welcome"));
    m_steps << [this, view] {
        view->setHasCompletedWelcome(true);
        after(400, [this] { next(); });
    } << shootStep(QStringLiteral("empty"));
    m_steps << [this, view, &pm] {
        // The analysing state is caught on the import's first progress report.
        connect(&pm, &ProjectManager::progressChanged, this, [this, &pm] {
            if (pm.isAnalyzing() && pm.totalFilesToScan() > 0 && !m_analysingShot) {
                m_analysingShot = true;
                // After this turn's layouts, so the overlay shows the count too.
                QTimer::singleShot(0, this, [this, &pm] {
                    if (pm.isAnalyzing())
                        shoot(QStringLiteral("analysing"));
                });
            }
        });
        connect(
            view, &ContentView::importFinished, this, [this] { after(1200, [this] { next(); }); },
            Qt::SingleShotConnection);
        view->handleDrop(m_projects);
    };
    // The prompts an import raises come one at a time; each is shot, then answered "not now".
    for (int i = 0; i < 4; ++i) {
        m_steps << [this, view] {
            if (view->presentations().current()) {
                shoot(QStringLiteral("prompt-") +
                      view->presentations().currentName().section(QLatin1Char(' '), 0, 1));
                closeDialogs();
            }
            after(500, [this] { next(); });
        };
    }
    m_steps << shootStep(QStringLiteral("imported"));
    m_steps << [this, view] {
        if (!view->manager().projects().isEmpty())
            view->sidebar()->setExpanded(view->manager().projects().first().id, true);
        after(300, [this] { next(); });
    } << shootStep(QStringLiteral("imported-timelines"));
    const QList<std::pair<Command, QString>> sheets{
        {Command::showStats, QStringLiteral("sheet-stats")},
        {Command::viewAuditLog, QStringLiteral("sheet-audit-log")},
        {Command::searchOfflineFiles, QStringLiteral("sheet-search-offline")},
        {Command::manageProtectedFolders, QStringLiteral("sheet-protected-folders")},
        {Command::manageSequenceUsage, QStringLiteral("sheet-sequence-usage")},
        {Command::easyImport, QStringLiteral("sheet-easy-import")},
    };
    // Some history for the tool sheets: clean-ups in the audit log and the statistics, a rule.
    m_steps << [this, view] {
        seedHistory(view->manager());
        after(100, [this] { next(); });
    };
    for (const auto& [command, name] : sheets) {
        m_steps << [this, view, command] {
            view->handleCommand(command);
            after(500, [this] { next(); });
        } << [this, name] {
            shoot(name);
            after(100, [this] { next(); });
        };
        if (name == QStringLiteral("sheet-search-offline")) {
            m_steps << [this, view] {
                // Copies of the offline files in a scratch folder give the search candidates.
                m_scratch = std::make_unique<QTemporaryDir>();
                for (const MediaFile& file : view->manager().mediaFiles()) {
                    if (!file.isOffline())
                        continue;
                    const QFileInfo info(file.path);
                    for (const QString& folder :
                         QStringList{QStringLiteral("Recovered/") + info.dir().dirName(),
                                     QStringLiteral("Old Drive/Misc")}) {
                        QDir(m_scratch->path()).mkpath(folder);
                        QFile copy(m_scratch->filePath(folder + QLatin1Char('/') + info.fileName()));
                        if (copy.open(QIODevice::WriteOnly))
                            copy.write("demo");
                    }
                }
                if (auto* sheet = findSheet<SearchOfflineFilesSheet>())
                    sheet->startScan(m_scratch->path());
                after(2000, [this] { next(); });
            } << [this] {
                if (auto* sheet = findSheet<SearchOfflineFilesSheet>())
                    sheet->list()->expandAll();
                after(300, [this] { next(); });
            } << shootStep(QStringLiteral("sheet-search-offline-results"));
        }
        if (name == QStringLiteral("sheet-easy-import") && !m_projects.isEmpty()) {
            m_steps << [this] {
                // The library's projects are open already and would not be listed: scan copies.
                m_scratch = std::make_unique<QTemporaryDir>();
                const QDir scratch(m_scratch->path());
                int n = 0;
                for (const QUrl& project : std::as_const(m_projects)) {
                    const QString folder =
                        n % 2 == 0 ? QStringLiteral("Archive 2024") : QStringLiteral("Backups");
                    scratch.mkpath(folder);
                    QFile::copy(project.toLocalFile(),
                                scratch.filePath(folder + QStringLiteral("/Old ") +
                                                 QFileInfo(project.toLocalFile()).fileName()));
                    ++n;
                }
                if (auto* sheet = findSheet<EasyImportSheet>())
                    sheet->startScan(m_scratch->path());
                after(1500, [this] { next(); });
            } << shootStep(QStringLiteral("sheet-easy-import-results"));
        }
        if (name == QStringLiteral("sheet-stats")) {
            m_steps << [this] {
                if (auto* sheet = findSheet<StatsView>())
                    sheet->saveImage(QDir(m_outDir).filePath(QStringLiteral("sheet-stats-share-card.png")));
                next();
            };
        }
        m_steps << [this] {
            closeDialogs();
            after(300, [this] { next(); });
        };
    }
    m_steps << [this, view] {
        view->sidebar()->verticalScrollBar()->setValue(view->sidebar()->verticalScrollBar()->maximum());
        after(300, [this] { next(); });
    } << shootStep(QStringLiteral("imported-sweep"));
    m_steps << [this, view] {
        view->handleCommand(Command::addAllUnused);
        view->presentations().confirmMoveToTrash();
        after(500, [this] { next(); });
    } << [this] {
        shoot(QStringLiteral("alert-delete-files"));
        closeDialogs();
        after(300, [this] { next(); });
    };
    m_steps << shootStep(QStringLiteral("bin-pane"));
    // The clean-up sheets and cards, raised with made-up outcomes (nothing on disk changes).
    QStringList errors;
    for (int i = 1; i <= 40; ++i)
        errors.append(QStringLiteral("/Volumes/Share/Day%1/A%2.mxf: the encoder stopped")
                          .arg(i % 3 + 1)
                          .arg(i, 3, 10, QLatin1Char('0')));
    const QList<std::pair<QString, std::function<void()>>> dialogs{
        {QStringLiteral("sheet-permanent-delete"),
         [view] { view->presentations().showSheet(WindowSheet::permanentDelete); }},
        {QStringLiteral("sheet-transcode-confirmation"),
         [view] { view->presentations().showSheet(WindowSheet::transcodeConfirmation); }},
        {QStringLiteral("sheet-deletion-result"),
         [view] {
             view->presentations().showDeletionResult(DeletionResult{12, 0, {}});
         }},
        {QStringLiteral("sheet-move-result-errors"),
         [view, errors] {
             view->presentations().showMoveResult(BinMoveResult{12, 3, errors.mid(0, 3)});
         }},
        {QStringLiteral("sheet-trash-failure"),
         [view, &pm, errors] {
             view->presentations().showTrashFailure({4, pm.recycleBin().mid(0, 3), errors.mid(0, 3)});
         }},
    };
    for (const auto& [name, raise] : dialogs) {
        m_steps << [this, raise] {
            raise();
            after(900, [this] { next(); });
        } << [this, name] {
            shoot(name);
            closeDialogs();
            after(300, [this] { next(); });
        };
    }
    m_steps << [this, &pm] {
        pm.setMoveTotalFiles(12);
        pm.setMoveTotalBytes(4'800'000'000);
        pm.setMoveFilesCompleted(5);
        pm.setMoveBytesCompleted(2'016'000'000);
        pm.setMoveProgressFraction(0.42);
        pm.setMoveMBps(183.4);
        pm.setMoveCurrentFile(QStringLiteral("/Volumes/Share/Day2/A014_C003_0519.mov"));
        pm.setIsMoveInProgress(true);
        after(400, [this] { next(); });
    } << shootStep(QStringLiteral("overlay-move-progress"));
    m_steps << [this, &pm] {
        pm.setIsMoveInProgress(false);
        pm.setTranscodeTotalFiles(12);
        pm.setTranscodeFilesCompleted(3);
        pm.setTranscodeProgressFraction(0.31);
        pm.setTranscodeSpaceSaved(1'240'000'000);
        pm.setTranscodeCurrentFile(QStringLiteral("A004_C012_0519.mov"));
        pm.setIsTranscodeInProgress(true);
        after(400, [this] { next(); });
    } << shootStep(QStringLiteral("overlay-transcode-progress"));
    m_steps << [this, &pm, errors] {
        pm.setIsTranscodeInProgress(false);
        pm.setTranscodeCompleteResult(
            TranscodeCompleteResult{8, 2, int(errors.size()), 3'400'000'000, errors, false});
        pm.setShowTranscodeComplete(true);
        after(400, [this] { next(); });
    } << shootStep(QStringLiteral("overlay-transcode-result"));
    m_steps << [this, &pm] {
        // As Done does, so the next result gets a card of its own.
        pm.setShowTranscodeComplete(false);
        pm.setTranscodeCompleteResult(std::nullopt);
        after(300, [this] { next(); });
    };
    m_steps << [this, &pm] {
        pm.setTranscodeCompleteResult(TranscodeCompleteResult{5, 0, 0, 2'100'000'000, {}, false});
        pm.setShowTranscodeComplete(true);
        after(400, [this] { next(); });
    } << shootStep(QStringLiteral("overlay-transcode-done"));
    m_steps << [this, &pm] {
        pm.setShowTranscodeComplete(false);
        pm.setTranscodeCompleteResult(std::nullopt);
        after(300, [this] { next(); });
    };
    m_steps << [this, view] {
        view->setDetailViewMode(DetailViewMode::cards);
        after(2500, [this] { next(); }); // posters and stills arrive
    } << shootStep(QStringLiteral("cards"));
    m_steps << [this, view] {
        // The pointer a third of the way over the first video card that has its poster.
        if (auto* cards = view->findChild<ClipCardsView*>()) {
            for (ClipCard* card : cards->grid()->liveCards()) {
                if (card->kind() == ClipKind::video && card->engine() && card->engine()->ready()) {
                    const QPointF at(card->width() / 3.0, 80);
                    QMouseEvent move(QEvent::MouseMove, at, card->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                                     Qt::NoModifier);
                    QApplication::sendEvent(card, &move);
                    break;
                }
            }
        }
        after(1500, [this] { next(); });
    } << shootStep(QStringLiteral("cards-hover"));
    for (const bool audio : {false, true}) {
        m_steps << [this, view, audio] {
            for (const MediaFile& file : view->manager().mediaFiles()) {
                const ClipKind kind = mediaKind(file);
                if (file.isOnDisk() && kind == (audio ? ClipKind::audio : ClipKind::video)) {
                    const QString path = file.matchedPath.value_or(file.path);
                    Sheet::present(&m_window, createMediaScrubView(path, QFileInfo(path).fileName(), audio));
                    break;
                }
            }
            after(3000, [this] { next(); });
        } << [this, audio] {
            shoot(audio ? QStringLiteral("sheet-scrub-audio") : QStringLiteral("sheet-scrub-video"));
            closeDialogs();
            after(500, [this] { next(); });
        };
    }
    m_steps << [this, view] {
        view->setDetailViewMode(DetailViewMode::table);
        after(2500, [this] { next(); }); // thumbnails arrive from the decoding threads
    } << shootStep(QStringLiteral("imported-table"));
    m_steps << [this, view] {
        view->setDetailViewMode(DetailViewMode::map);
        after(300, [this] { next(); });
    } << shootStep(QStringLiteral("imported-map"));
    m_steps << [this, view] {
        if (auto* map = view->findChild<StorageMapView*>(); map && !map->footprints().isEmpty())
            map->drillInto(map->footprints().first().project.name);
        after(300, [this] { next(); });
    } << shootStep(QStringLiteral("imported-map-project"));
    m_steps << [this, view] {
        view->setDetailViewMode(DetailViewMode::table);
        if (auto* table = view->findChild<MediaFileListView*>()) {
            for (int row = 0; row < table->model()->rowCount(); ++row) {
                const MediaFile& file = table->model()->file(row);
                if (file.isOnDisk() &&
                    mediaKindFromExtension(path::pathExtension(file.path)) == MediaKind::image) {
                    table->previewRow(row);
                    break;
                }
            }
        }
        after(800, [this] { next(); });
    } << [this] {
        shoot(QStringLiteral("sheet-image-preview"));
        closeDialogs();
        after(300, [this] { next(); });
    };
    addPlaybackAndReadabilitySteps(*view);
    addStagedStates(view);
    next();
}

// Cards narrowed by the filter to one clip: a bright poster under its badges, an audio card and a
// video card after play was pressed (their controls, or the note of a system without sound), and a
// name with CJK text and underscores in the table. Each step clears what it set.
void ScreenshotTour::addPlaybackAndReadabilitySteps(ContentView& view) {
    auto firstCard = [&view](ClipKind kind) -> ClipCard* {
        if (auto* cards = view.findChild<ClipCardsView*>())
            for (ClipCard* card : cards->grid()->liveCards())
                if (card->kind() == kind)
                    return card;
        return nullptr;
    };
    auto narrowedTo = [this, &view](DetailViewMode mode, const QString& text) {
        return [this, &view, mode, text] {
            view.setDetailViewMode(mode);
            view.manager().setFilterText(text);
            after(2500, [this] { next(); }); // posters, stills and thumbnails arrive
        };
    };
    auto reset = [this, &view] {
        if (auto* cards = view.findChild<ClipCardsView*>())
            for (ClipCard* card : cards->grid()->liveCards())
                card->stopPlayback();
        view.manager().setFilterText(QString());
        after(300, [this] { next(); });
    };
    m_steps << narrowedTo(DetailViewMode::cards, QStringLiteral("Snowfield")) << [this] {
        shoot(QStringLiteral("cards-bright-poster"));
        next();
    } << [this, firstCard] {
        if (ClipCard* card = firstCard(ClipKind::video))
            card->startAudioPlayback();
        after(1500, [this] { next(); });
    } << [this] {
        shoot(QStringLiteral("cards-video-playing"));
        next();
    } << reset;
    m_steps << narrowedTo(DetailViewMode::cards, QStringLiteral("Room_Tone")) << [this, firstCard] {
        if (ClipCard* card = firstCard(ClipKind::audio))
            card->startAudioPlayback();
        after(1000, [this] { next(); });
    } << [this] {
        shoot(QStringLiteral("cards-audio-play-pressed"));
        next();
    } << reset;
    m_steps << narrowedTo(DetailViewMode::table, QStringLiteral("_Street_")) << [this] {
        shoot(QStringLiteral("table-cjk-name"));
        next();
    } << reset;
}

} // namespace tarnwick
