#include "app/drive/DriveRun.h"

#include "actions/RecycleBin.h"
#include "analysis/ProjectManager.h"
#include "app/MainWindow.h"
#include "app/OptionValue.h"
#include "app/drive/EventLoopProbe.h"
#include "app/drive/ProcessMemory.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/common/CommandCenter.h"
#include "ui/window/ContentView.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace tarnwick {

QString DriveRun::takeOption(QStringList& arguments) {
    return takeOptionValue(arguments, QStringLiteral("--drive"));
}

void DriveRun::begin(MainWindow& window, QString report, QList<QUrl> projects) {
    (new DriveRun(window, std::move(report), std::move(projects)))->start();
}

DriveRun::DriveRun(MainWindow& window, QString report, QList<QUrl> projects)
    : QObject(&window), m_window(window), m_report(std::move(report)), m_projects(std::move(projects)),
      m_probe(new EventLoopProbe(this)) {}

void DriveRun::start() {
    view().setHasCompletedWelcome(true);
    const int rounds = qEnvironmentVariableIsSet("TARNWICK_DRIVE_ROUNDS")
                           ? qEnvironmentVariableIntValue("TARNWICK_DRIVE_ROUNDS")
                           : 3;
    rest(QStringLiteral("launched"), 1500);
    for (int round = 1; round <= rounds; ++round) {
        measureImport(QStringLiteral("open %1 projects, round %2").arg(m_projects.size()).arg(round));
        rest(QStringLiteral("after import, round %1").arg(round), 5000);
        if (round == 1)
            browse();
        measureUntil(
            QStringLiteral("Add All Unused, round %1").arg(round),
            [] { CommandCenter::shared().post(Command::addAllUnused); },
            [this] { return !view().manager().isBusy() && !view().manager().recycleBin().isEmpty(); });
        // As the bin's Restore All button does.
        measureUntil(
            QStringLiteral("Restore All, round %1").arg(round),
            [this] { (void)RecycleBin(view().manager()).restoreAllFromRecycleBin(); },
            [this] { return !view().manager().isBusy() && view().manager().recycleBin().isEmpty(); });
        measure(QStringLiteral("Clear All, round %1").arg(round),
                [] { CommandCenter::shared().post(Command::clearAllProjects); });
        rest(QStringLiteral("after Clear All, round %1").arg(round), 5000);
    }
    rest(QStringLiteral("idle 10 s later"), 10000);
    m_steps << [] { QApplication::quit(); };
    next();
}

void DriveRun::next() {
    if (m_steps.isEmpty())
        return;
    const Step step = m_steps.takeFirst();
    step();
}

void DriveRun::measure(const QString& name, std::function<void()> action, int settleMs) {
    m_steps << [this, name, action = std::move(action), settleMs] {
        m_probe->reset();
        action();
        QTimer::singleShot(settleMs, this, [this, name] {
            report(QStringLiteral("%1: longest answer %2 ms, %3 over 100 ms, GUI thread busiest second %4 ms")
                       .arg(name)
                       .arg(m_probe->longestMs())
                       .arg(m_probe->slowAnswers())
                       .arg(m_probe->busiestSecondCpuMs(), 0, 'f', 0));
            next();
        });
    };
}

void DriveRun::measureUntil(const QString& name, std::function<void()> action, std::function<bool()> done) {
    m_steps << [this, name, action = std::move(action), done = std::move(done)] {
        auto clock = std::make_shared<QElapsedTimer>();
        auto poll = std::make_shared<QTimer>();
        m_probe->reset();
        clock->start();
        action();
        const qint64 answered = clock->elapsed(); // the command's own answer
        poll->setInterval(50);
        connect(poll.get(), &QTimer::timeout, this, [this, name, done, clock, poll, answered] {
            if (!done() && clock->elapsed() < 300'000)
                return;
            poll->stop();
            const qint64 took = clock->elapsed();
            QTimer::singleShot(1000, this, [this, name, took, poll, answered] {
                report(
                    QStringLiteral("%1: done in %2 ms, the command answered in %6 ms; longest answer %3 ms, "
                                   "%4 over 100 ms, GUI thread busiest second %5 ms")
                        .arg(name)
                        .arg(took)
                        .arg(m_probe->longestMs())
                        .arg(m_probe->slowAnswers())
                        .arg(m_probe->busiestSecondCpuMs(), 0, 'f', 0)
                        .arg(answered));
                next();
            });
        });
        poll->start();
    };
}

void DriveRun::measureImport(const QString& name) {
    m_steps << [this, name] {
        auto clock = std::make_shared<QElapsedTimer>();
        connect(
            &view(), &ContentView::importFinished, this,
            [this, name, clock] {
                const qint64 took = clock->elapsed();
                // The prompts an import raises are answered "not now", as the measurement goes on.
                QTimer::singleShot(1000, this, [this, name, took] {
                    closeDialogs();
                    report(QStringLiteral(
                               "%1: %2 ms, %3 files; the drop answered in %7 ms; longest answer %4 ms, "
                               "%5 over 100 ms, GUI thread busiest second %6 ms")
                               .arg(name)
                               .arg(took)
                               .arg(view().manager().mediaFiles().size())
                               .arg(m_probe->longestMs())
                               .arg(m_probe->slowAnswers())
                               .arg(m_probe->busiestSecondCpuMs(), 0, 'f', 0)
                               .arg(m_dropMs));
                    QTimer::singleShot(500, this, [this] {
                        closeDialogs();
                        next();
                    });
                });
            },
            Qt::SingleShotConnection);
        m_probe->reset();
        clock->start();
        view().handleDrop(m_projects);
        // The window's own answer to the drop, before the analysis runs on its own.
        m_dropMs = clock->elapsed();
    };
}

void DriveRun::rest(const QString& name, int idleMs) {
    m_steps << [this, name, idleMs] {
        QTimer::singleShot(idleMs, this, [this, name] {
            closeDialogs();
            report(name + QStringLiteral(": ") + ProcessMemory::now().text());
            // TARNWICK_DRIVE_SMAPS=PREFIX: the mappings at each rest, for a closer look.
            const QString smaps = qEnvironmentVariable("TARNWICK_DRIVE_SMAPS");
            QFile in(QStringLiteral("/proc/self/smaps"));
            QFile out(smaps + QString::number(++m_rests));
            if (!smaps.isEmpty() && in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly)) {
                out.write(in.readAll());
                ProcessMemory::writeAllocatorState(out.fileName() + QStringLiteral(".malloc"));
            }
            next();
        });
    };
}

// The actions a user takes over a full library.
void DriveRun::browse() {
    auto sortBy = [this](int column, Qt::SortOrder order) {
        if (auto* list = view().findChild<MediaFileListView*>())
            list->table()->sortByColumn(column, order);
    };
    measure(QStringLiteral("switch to Table"), [this] { view().setDetailViewMode(DetailViewMode::table); });
    measure(QStringLiteral("sort by name"),
            [sortBy] { sortBy(MediaTableModel::fileName, Qt::AscendingOrder); });
    measure(QStringLiteral("sort by size"), [sortBy] { sortBy(MediaTableModel::size, Qt::DescendingOrder); });
    measure(QStringLiteral("switch to Map"), [this] { view().setDetailViewMode(DetailViewMode::map); });
    measure(QStringLiteral("switch to Cards"), [this] { view().setDetailViewMode(DetailViewMode::cards); });
    measure(QStringLiteral("type in the filter"), [this] {
        view().manager().updateFilters(
            [](FilterSettings& filters) { filters.filterText = QStringLiteral("c0"); });
    });
    measure(QStringLiteral("clear the filter"), [this] {
        view().manager().updateFilters([](FilterSettings& filters) { filters.filterText = QString(); });
    });
}

void DriveRun::report(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    QFile file(m_report);
    if (file.open(QIODevice::Append | QIODevice::Text))
        file.write(line.toUtf8() + '\n');
}

void DriveRun::closeDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
}

ContentView& DriveRun::view() const {
    return *m_window.contentView();
}

} // namespace tarnwick
