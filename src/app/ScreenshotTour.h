#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace tarnwick {

class MainWindow;

// `tarnwick --screenshots OUTDIR PROJECTS...` (scripts/screenshots): walks the window through its
// main states (welcome, empty, analysing, imported, each prompt and sheet) and saves a PNG of
// the screen around the window for each, then quits.
class ScreenshotTour : public QObject {
    Q_OBJECT
public:
    ScreenshotTour(MainWindow& window, QString outDir, QList<QUrl> projects);
    void start();

private:
    void next();
    void shoot(const QString& name);
    void after(int ms, std::function<void()> step);
    void closeDialogs();

    MainWindow& m_window;
    QString m_outDir;
    QList<QUrl> m_projects;
    QList<std::function<void()>> m_steps;
    int m_shot = 0;
    bool m_analysingShot = false;
};

} // namespace tarnwick
