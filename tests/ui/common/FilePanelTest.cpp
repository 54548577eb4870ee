#include "ui/common/FilePanel.h"
#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace tarnwick;

namespace {

// Keeps the answer until the test gives it, as a panel the user has not closed yet.
class OpenPanel : public FilePanel {
public:
    Chosen pending;
    QDialog* open(QWidget*, const OpenPanelRequest&, Chosen chosen) override {
        pending = std::move(chosen);
        return nullptr;
    }
};

} // namespace

// The caller goes on at once and hears the choice when the panel closes: no nested event loop.
TEST(FilePanel, TheDesktopPanelOpensWithoutWaitingAndAnswersWhenItCloses) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Cut Á 素材.prproj"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QWidget window;
    window.show();
    OpenPanelRequest request;
    request.message = QStringLiteral("Select Premiere Pro project files to analyze");
    request.startFolder = dir.path();
    QList<QList<QUrl>> answers;
    auto record = [&answers](const QList<QUrl>& urls) { answers.append(urls); };

    QPointer<QDialog> panel = FilePanel::system().open(&window, request, record);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(answers.isEmpty());
    auto* files = qobject_cast<QFileDialog*>(panel.data());
    ASSERT_NE(files, nullptr);
    files->selectFile(path);
    panel->accept(); // what its Open button does
    ASSERT_EQ(answers.size(), 1);
    EXPECT_EQ(answers[0], QList<QUrl>{QUrl::fromLocalFile(path)});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull()); // gone once closed

    panel = FilePanel::system().open(&window, request, record);
    ASSERT_NE(panel, nullptr);
    panel->reject();
    ASSERT_EQ(answers.size(), 2);
    EXPECT_TRUE(answers[1].isEmpty());
}

TEST(ChooseWithAccess, GrantsTheChoiceBeforeHandingItOnAndKeepsOneWhereOneIsAsked) {
    QTemporaryDir dir;
    auto backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants(dir.filePath(QStringLiteral("grants")), backend, true);
    const QUrl a = QUrl::fromLocalFile(dir.path());
    const QUrl b = QUrl::fromLocalFile(QStringLiteral("/nowhere/b"));
    backend->deniedStart.insert(b.toLocalFile());
    OpenPanel panel;
    QObject context;
    QList<GrantedChoice> choices;
    int grantedWhenHeard = -1;
    auto record = [&](const GrantedChoice& choice) {
        grantedWhenHeard = backend->bookmarksCreated;
        choices.append(choice);
    };

    OpenPanelRequest several;
    several.allowsMultipleSelection = true;
    chooseWithAccess(panel, grants, nullptr, several, &context, record);
    panel.pending({a, b});
    ASSERT_EQ(choices.size(), 1);
    EXPECT_EQ(choices[0].urls, (QList<QUrl>{a, b}));
    EXPECT_EQ(choices[0].refused, QList<QUrl>{b}); // handed on all the same
    EXPECT_EQ(grantedWhenHeard, 1);

    chooseWithAccess(panel, grants, nullptr, OpenPanelRequest{}, &context, record);
    panel.pending({b, a});
    ASSERT_EQ(choices.size(), 2);
    EXPECT_EQ(choices[1].urls, QList<QUrl>{b});

    // Cancelled: nothing granted, nothing heard.
    const int before = backend->bookmarksCreated;
    chooseWithAccess(panel, grants, nullptr, several, &context, record);
    panel.pending({});
    EXPECT_EQ(choices.size(), 2);
    EXPECT_EQ(backend->bookmarksCreated, before);
}

TEST(ChooseWithAccess, AChoiceMadeAfterItsViewWentIsDropped) {
    QTemporaryDir dir;
    auto backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants(dir.filePath(QStringLiteral("grants")), backend, false);
    OpenPanel panel;
    int heard = 0;
    {
        QObject view;
        chooseWithAccess(panel, grants, nullptr, OpenPanelRequest{}, &view,
                         [&heard](const GrantedChoice&) { ++heard; });
    }
    panel.pending({QUrl::fromLocalFile(dir.path())});
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(backend->bookmarksCreated, 0);
}
