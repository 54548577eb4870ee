#include "ui/common/LinuxDesktopServices.h"
#include "ui/common/RevealAndCopy.h"

#include "support/FakeDesktopServices.h"
#include "support/UiTestHelpers.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

MediaFile mediaAt(const QString& path, std::optional<QString> matched = std::nullopt) {
    MediaFile file;
    file.path = path;
    file.matchedPath = std::move(matched);
    return file;
}

bool logged(const UiLogCapture& log, const QString& fragment) {
    return std::any_of(log.lines.begin(), log.lines.end(),
                       [&](const QString& line) { return line.contains(fragment); });
}

} // namespace

// Stands in for the desktop's file manager on a private session bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        shownUris.append(uris);
        startupIds.append(startupId);
    }

public:
    QList<QStringList> shownUris;
    QStringList startupIds;
};

namespace {

// A dbus-daemon of our own, so the test never reaches the user's session.
class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        // Its socket in a folder of ours, so it goes with the test rather than staying in /tmp.
        m_daemon.start(daemon, {"--session", "--nofork", "--print-address=1",
                                QStringLiteral("--address=unix:dir=") + m_folder.path()});
        if (!m_daemon.waitForStarted(10000))
            return;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("tarnwick-test-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("tarnwick-test-filemanager"));
        m_daemon.kill();
        m_daemon.waitForFinished(10000);
    }
    bool isRunning() const { return !address.isEmpty(); }
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
};

} // namespace

TEST(LinuxDesktopServices, ShowItemsCarriesTheEncodedFileURLAndAnEmptyStartupId) {
    const QDBusMessage message = LinuxDesktopServices::showItemsMessage("/Volumes/Média/Day 1/A001 #2.mov");
    EXPECT_EQ(message.service(), "org.freedesktop.FileManager1");
    EXPECT_EQ(message.path(), "/org/freedesktop/FileManager1");
    EXPECT_EQ(message.interface(), "org.freedesktop.FileManager1");
    EXPECT_EQ(message.member(), "ShowItems");
    ASSERT_EQ(message.arguments().size(), 2);
    EXPECT_EQ(message.arguments()[0].toStringList(),
              QStringList{"file:///Volumes/M%C3%A9dia/Day%201/A001%20%232.mov"});
    EXPECT_EQ(message.arguments()[1].toString(), "");
}

TEST(LinuxDesktopServices, WithoutABusOpensTheParentFolder) {
    QList<QUrl> opened;
    LinuxDesktopServices desktop(QDBusConnection(QStringLiteral("tarnwick-not-connected")),
                                 [&](const QUrl& url) {
                                     opened.append(url);
                                     return true;
                                 });
    desktop.revealFile("/Volumes/Media/Day 1/A001.mov");
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile("/Volumes/Media/Day 1")});
}

TEST(LinuxDesktopServices, ARevealThatNothingCouldOpenAnswersNotShown) {
    bool launcherFound = false;
    LinuxDesktopServices desktop(QDBusConnection(QStringLiteral("tarnwick-not-connected")),
                                 [&](const QUrl&) { return launcherFound; });
    QList<bool> answers;
    desktop.revealFile("/tmp/Tarnwick_Unused_1.5.csv", [&](bool shown) { answers.append(shown); });
    launcherFound = true;
    desktop.revealFile("/tmp/Tarnwick_Unused_1.5.csv", [&](bool shown) { answers.append(shown); });
    EXPECT_EQ(answers, (QList<bool>{false, true}));
}

// The opener's exit status says whether an application took the file; one that waits for the
// application has shown it. Each open is answered exactly once.
TEST(LinuxDesktopServices, OpeningAFileAnswersWhetherAnApplicationTookIt) {
    QTemporaryDir dir;
    auto opener = [&](const QString& name, const QByteArray& body) {
        const QString path = dir.filePath(name);
        QFile script(path);
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$1\" >> " + dir.filePath("args").toUtf8() + "\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    };
    LinuxDesktopServices desktop(QDBusConnection(QStringLiteral("tarnwick-not-connected")),
                                 [](const QUrl&) { return true; });
    const QString csv = QStringLiteral("/tmp/Tarnwick Unused 1.5.csv");
    auto openWith = [&](const QString& program, int answerAfterMs = 60000) {
        desktop.setFileOpener(program, answerAfterMs);
        QList<bool> answers;
        desktop.openFile(csv, [&](bool opened) { answers.append(opened); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 20000));
        return answers;
    };
    EXPECT_EQ(openWith(opener("opens", "exit 0")), QList<bool>{true});
    EXPECT_EQ(openWith(opener("no-application", "exit 3")), QList<bool>{false});
    EXPECT_EQ(openWith(dir.filePath("no-such-opener")), QList<bool>{false});

    // Waits for the application, which then quits with a failure: still one answer, "opened".
    const QString gate = dir.filePath("gate");
    QList<bool> answers;
    desktop.setFileOpener(
        opener("waits", "while [ ! -e '" + gate.toUtf8() + "' ]; do sleep 0.05; done\nexit 4"), 50);
    desktop.openFile(csv, [&](bool opened) { answers.append(opened); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 20000));
    QFile(gate).open(QIODevice::WriteOnly);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.findChildren<QProcess*>().isEmpty(); }, 20000));
    EXPECT_EQ(answers, QList<bool>{true});

    QFile args(dir.filePath("args"));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts), QStringList(3, csv));
}

TEST(LinuxDesktopServices, AsksTheFileManagerOnTheBusAndFallsBackWhenItIsMissing) {
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "no dbus-daemon";
    QList<QUrl> opened;
    const URLOpener opener = [&](const QUrl& url) {
        opened.append(url);
        return true;
    };
    LinuxDesktopServices desktop(bus.connect(QStringLiteral("tarnwick-test-client")), opener);

    // No file manager on the bus yet: the call fails and the folder opens instead.
    desktop.revealFile("/Volumes/Media/Day 1/A001.mov");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 20000));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile("/Volumes/Media/Day 1")});

    FakeFileManager manager;
    QDBusConnection serviceSide = bus.connect(QStringLiteral("tarnwick-test-filemanager"));
    ASSERT_TRUE(serviceSide.registerObject("/org/freedesktop/FileManager1", &manager,
                                           QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serviceSide.registerService("org.freedesktop.FileManager1"));
    desktop.revealFile("/Volumes/Media/Day 2/B.mov");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager.shownUris.isEmpty(); }, 20000));
    EXPECT_EQ(manager.shownUris, QList<QStringList>{{"file:///Volumes/Media/Day%202/B.mov"}});
    EXPECT_EQ(manager.startupIds, QStringList{""});
    EXPECT_EQ(opened.size(), 1);
    serviceSide.unregisterObject("/org/freedesktop/FileManager1");
}

TEST(LinuxDesktopServices, CopiesPlainTextToTheClipboard) {
    LinuxDesktopServices desktop(QDBusConnection(QStringLiteral("tarnwick-not-connected")),
                                 [](const QUrl&) { return true; });
    desktop.copyText("/a/one.mov\n/b/two.mov");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "/a/one.mov\n/b/two.mov");
}

TEST(RevealAndCopy, RevealsARelocatedFileWhereItIsAndLogsItsOwnName) {
    tarnwick::testing::FakeDesktopServices desktop;
    UiLogCapture log;
    revealInFinder(desktop, mediaAt("/Old/A001.mov", QStringLiteral("/New/Found A001.mov")));
    revealInFinder(desktop, mediaAt("/Media/B.mov"));
    MediaFile transcoded = mediaAt("/Media/C.mp4");
    transcoded.transcodedPath = QStringLiteral("/Media/C.mov");
    revealInFinder(desktop, transcoded);
    EXPECT_EQ(desktop.revealed, (QStringList{"/New/Found A001.mov", "/Media/B.mov", "/Media/C.mov"}));
    EXPECT_TRUE(logged(log, "Revealing in file manager: A001.mov"));
}

TEST(RevealAndCopy, CopiesPathsOnePerLineWithoutTheLastLineFeed) {
    tarnwick::testing::FakeDesktopServices desktop;
    UiLogCapture log;
    copyPathsToClipboard(desktop,
                         {mediaAt("/a/one.mov", QStringLiteral("/found/one.mov")), mediaAt("/b/two.mov")});
    EXPECT_EQ(desktop.clipboard, "/a/one.mov\n/b/two.mov");
    copyPathsToClipboard(desktop, {mediaAt("/a/one.mov")});
    EXPECT_EQ(desktop.clipboard, "/a/one.mov");
    copyPathsToClipboard(desktop, {});
    EXPECT_EQ(desktop.clipboard, "");
    EXPECT_EQ(desktop.copies, 3);
    EXPECT_TRUE(logged(log, "Copied 2 path(s) to clipboard"));
    EXPECT_TRUE(logged(log, "Copied 0 path(s) to clipboard"));
}

#include "DesktopServicesTest.moc"
