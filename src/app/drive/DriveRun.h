#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace tarnwick {

class ContentView;
class EventLoopProbe;
class MainWindow;

// `tarnwick --drive REPORT PROJECTS...` (scripts/drive): acts as a user on the window (opens the
// projects as a drop does, sorts, switches views, types a filter, Add All Unused, Restore All,
// Clear All, opens them again) and
// writes, for each action, the event loop's longest answer and then the memory and threads at
// rest, to standard output and to REPORT; then quits.
class DriveRun : public QObject {
    Q_OBJECT
public:
    // Takes `--drive REPORT` out of `arguments`; REPORT, or empty when the option is absent.
    static QString takeOption(QStringList& arguments);
    static void begin(MainWindow& window, QString report, QList<QUrl> projects);

    DriveRun(MainWindow& window, QString report, QList<QUrl> projects);

private:
    using Step = std::function<void()>;

    void start();
    void next();
    // Runs `action` with the probe reset, then after `settleMs` reports the longest answer.
    void measure(const QString& name, std::function<void()> action, int settleMs = 1500);
    // The same for an action whose end `done` tells (asked every 50 ms), reporting when it ended.
    void measureUntil(const QString& name, std::function<void()> action, std::function<bool()> done);
    // The same for an action that ends with the window's import.
    void measureImport(const QString& name);
    // After `idleMs` at rest: the memory and threads.
    void rest(const QString& name, int idleMs);
    void browse();
    void report(const QString& line);
    void closeDialogs();
    ContentView& view() const;

    MainWindow& m_window;
    QString m_report;
    QList<QUrl> m_projects;
    QList<Step> m_steps;
    EventLoopProbe* m_probe = nullptr;
    qint64 m_dropMs = 0;
    int m_rests = 0;
};

} // namespace tarnwick
