#include "ui/common/AppCommands.h"
#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/FakeSoftwareUpdater.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/common/SupportMail.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// Chooses at once: hands back the preset choice (empty: cancelled) and keeps the requests.
class PresetPanel : public FilePanel {
public:
    QList<QUrl> choice;
    QList<OpenPanelRequest> requests;
    QDialog* open(QWidget*, const OpenPanelRequest& request, Chosen chosen) override {
        requests.append(request);
        chosen(choice);
        return nullptr;
    }
};

struct Fixture {
    QTemporaryDir store;
    QTemporaryDir files;
    std::shared_ptr<FakeAccessGrantBackend> backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants{store.path(), backend, false};
    CommandCenter center;
    PresetPanel panel;
    FakeSoftwareUpdater updater;
    QList<QUrl> opened;
    bool mailProgram = true;
    AppCommands commands{
        {center, panel, grants, updater, [this](const QUrl& u, std::function<void(bool)> done) {
             opened.append(u);
             done(mailProgram);
         }}};
    QList<CommandPost> posts;

    Fixture() {
        QObject::connect(&center, &CommandCenter::posted, [this](const CommandPost& p) { posts.append(p); });
    }
    QUrl file(const QString& name) {
        const QString path = files.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        return QUrl::fromLocalFile(path);
    }
};

} // namespace

TEST(AppCommands, OpenProjectsGrantsEveryChosenFileThenPostsThemInPanelOrder) {
    Fixture f;
    f.panel.choice = {f.file("b edit.prproj"), f.file("Ä café.prproj"), f.file("素材.prproj")};
    f.commands.openProjectsPanel(nullptr);

    ASSERT_EQ(f.panel.requests.size(), 1);
    const auto& request = f.panel.requests.first();
    EXPECT_TRUE(request.allowsMultipleSelection);
    EXPECT_TRUE(request.canChooseFiles);
    EXPECT_FALSE(request.canChooseDirectories);
    EXPECT_EQ(request.message, QStringLiteral("Select Premiere Pro project files to analyze"));
    EXPECT_TRUE(request.nameFilters.join(' ').contains(QStringLiteral("*.prproj")));

    EXPECT_EQ(f.backend->bookmarksCreated, 3);
    ASSERT_EQ(f.posts.size(), 1);
    EXPECT_EQ(f.posts[0], CommandPost(OpenProjects{f.panel.choice}));
}

TEST(AppCommands, FilesThatCannotBeGrantedAreStillImported) {
    Fixture f;
    f.panel.choice = {f.file("a.prproj"), f.file("b.prproj")};
    f.backend->bookmarkFails.insert(f.panel.choice[0].toLocalFile());
    f.commands.openProjectsPanel(nullptr);
    ASSERT_EQ(f.posts.size(), 1);
    EXPECT_EQ(f.posts[0], CommandPost(OpenProjects{f.panel.choice}));
}

TEST(AppCommands, CancelledPanelsPostNothingAndGrantNothing) {
    Fixture f;
    f.commands.openProjectsPanel(nullptr);
    f.commands.importDaVinciCSVPanel(nullptr);
    EXPECT_EQ(f.panel.requests.size(), 2);
    EXPECT_TRUE(f.posts.isEmpty());
    EXPECT_EQ(f.backend->bookmarksCreated, 0);
    EXPECT_TRUE(f.grants.bookmarkedPaths().isEmpty());
}

TEST(AppCommands, DaVinciCSVGrantsTheFileAndPostsItsURL) {
    Fixture f;
    f.panel.choice = {f.file("unused clips.csv")};
    f.commands.importDaVinciCSVPanel(nullptr);
    const auto& request = f.panel.requests.first();
    EXPECT_FALSE(request.allowsMultipleSelection);
    EXPECT_EQ(request.message,
              QStringLiteral("Select a DaVinci Resolve metadata CSV (unused clips, Usage = 0)"));
    EXPECT_TRUE(request.nameFilters.join(' ').contains(QStringLiteral("*.csv")));
    EXPECT_EQ(f.backend->bookmarksCreated, 1);
    ASSERT_EQ(f.posts.size(), 1);
    EXPECT_EQ(f.posts[0], CommandPost(ImportDaVinciCSV{f.panel.choice.first()}));
}

TEST(AppCommands, GetSupportHandsAPreparedMailToTheDesktop) {
    Fixture f;
    f.commands.openSupportMail();
    ASSERT_EQ(f.opened.size(), 1);
    const QUrl mail = f.opened.first();
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(mail.path(), supportAddress);
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded),
              QStringLiteral("Tarnwick Support Request"));
    EXPECT_TRUE(query.queryItemValue("body", QUrl::FullyDecoded)
                    .startsWith(QStringLiteral("\n\n---\nApp: Tarnwick ")));
}

TEST(AppCommands, GetSupportWithoutAMailProgramGivesTheAddressToWriteTo) {
    Fixture f;
    QStringList told;
    QObject::connect(&f.commands, &AppCommands::supportMailUnavailable,
                     [&](const QString& address) { told.append(address); });
    f.commands.openSupportMail();
    EXPECT_TRUE(told.isEmpty());
    f.mailProgram = false;
    f.commands.openSupportMail();
    EXPECT_EQ(f.opened.size(), 2);
    EXPECT_EQ(told, QStringList{supportAddress});
}

TEST(SupportMail, MissingVersionsReadUnknownAndSurviveEncoding) {
    const QString os = QStringLiteral("Debian GNU/Linux 12 (bookworm) & more=1+2");
    EXPECT_EQ(supportMailBody({}, os),
              QStringLiteral("\n\n---\nApp: Tarnwick Unknown (Build Unknown)\nLinux: ") + os);
    const auto url = supportMailURL({}, os);
    ASSERT_TRUE(url.has_value());
    const QUrlQuery query(*url);
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded), supportMailBody({}, os));
    EXPECT_EQ(query.queryItems().size(), 2);
}

TEST(SupportMail, FeedbackBodyNamesVersionBuildAndSystem) {
    const AppVersionInfo info{QStringLiteral("1.4.2"), QStringLiteral("88")};
    EXPECT_EQ(feedbackMailBody(info, QStringLiteral("Linux 6.1")),
              QStringLiteral(
                  "What went wrong, or what would make Tarnwick better for you?\n\n\n---\nTarnwick 1.4.2 "
                  "(88)\nLinux 6.1"));
    EXPECT_EQ(feedbackMailBody({}, QStringLiteral("L")).section('\n', -2, -2),
              QStringLiteral("Tarnwick ? (?)"));
    const auto url = feedbackMailURL(info, QStringLiteral("Linux 6.1"));
    ASSERT_TRUE(url.has_value());
    const QUrlQuery query(*url);
    EXPECT_EQ(url->path(), feedbackAddress);
    ASSERT_EQ(query.queryItems().size(), 2);
    EXPECT_EQ(query.queryItems()[0].first, QStringLiteral("subject"));
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), QStringLiteral("Tarnwick feedback"));
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
              feedbackMailBody(info, QStringLiteral("Linux 6.1")));
}
