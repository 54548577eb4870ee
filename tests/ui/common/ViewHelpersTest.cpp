#include "ui/common/ViewHelpers.h"
#include "ui/brand/BrandPalette.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {
MediaFile withStatus(MediaFileStatus status) {
    MediaFile f;
    f.status = status;
    return f;
}
} // namespace

TEST(ViewHelpers, StatusColoursFollowTheTableAndOnlyOnlineLooksAtTheMatch) {
    MediaFile online = withStatus(MediaFileStatus::online);
    EXPECT_EQ(statusColor(online), Color::brandGreen());
    online.matchedPath = QStringLiteral("/new/place.mov");
    EXPECT_EQ(statusColor(online), Color::brandCyan());
    MediaFile offline = withStatus(MediaFileStatus::offline);
    offline.matchedPath = QStringLiteral("/x");
    EXPECT_EQ(statusColor(offline), Color::brandRed());
    const QList<std::pair<MediaFileStatus, QColor>> table{
        {MediaFileStatus::checking, Color::brandTextTertiary()},
        {MediaFileStatus::matching, Color::brandCyan()},
        {MediaFileStatus::networkOffline, Color::brandAmber()},
        {MediaFileStatus::needsAccess, Color::brandAccent()},
        {MediaFileStatus::inRecycleBin, Color::brandAmber()},
        {MediaFileStatus::deleted, Color::brandTextMuted()},
        {MediaFileStatus::moved, Color::brandAccent()},
        {MediaFileStatus::transcoded, Color::brandAccentDeep()},
        {MediaFileStatus::error, Color::brandRed()}};
    for (const auto& [status, colour] : table)
        EXPECT_EQ(statusColor(withStatus(status)), colour) << text(status).toStdString();
    MediaFile binned = withStatus(MediaFileStatus::inRecycleBin);
    binned.storageType = StorageType::network;
    EXPECT_EQ(statusColor(binned), Color::brandAmber());
}

TEST(ViewHelpers, StorageColours) {
    EXPECT_EQ(brandColor(StorageType::local), Color::brandTextTertiary());
    EXPECT_EQ(brandColor(StorageType::network), Color::brandCyan());
    EXPECT_EQ(brandColor(StorageType::dropbox), Color::brandCyan());
    EXPECT_EQ(brandColor(StorageType::googleDrive), Color::brandGreen());
    EXPECT_EQ(brandColor(StorageType::iCloud), Color::brandCyan());
    EXPECT_EQ(brandColor(StorageType::oneDrive), Color::brandCyan());
    EXPECT_EQ(brandColor(StorageType::unknown), Color::brandTextMuted());
}

TEST(ViewHelpers, MediaKindIgnoresCaseAndKnowsOnlyItsLists) {
    EXPECT_EQ(mediaKindFromExtension(QStringLiteral("MOV")), MediaKind::video);
    EXPECT_EQ(mediaKindFromExtension(QStringLiteral("braw")), MediaKind::video);
    EXPECT_EQ(mediaKindFromExtension(QStringLiteral("Wav")), MediaKind::audio);
    EXPECT_EQ(mediaKindFromExtension(QStringLiteral("heic")), MediaKind::image);
    EXPECT_EQ(mediaKindFromExtension(QStringLiteral("DNG")), MediaKind::other);
    EXPECT_EQ(mediaKindFromExtension(QString()), MediaKind::other);
}

TEST(ViewHelpers, HighlightedPathDimsTheHeadAndBoldsTheMatchedTail) {
    const QColor c = Color::brandGreen();
    const QString path = QStringLiteral("/Volumes/Media/Day1/clip.mov");
    EXPECT_EQ(highlightedPath(path, 2, c),
              (QList<TextRun>{{QStringLiteral("/Volumes/Media/"), Color::withOpacity(c, 0.4), false},
                              {QStringLiteral("Day1/clip.mov"), c, true}}));
    EXPECT_EQ(highlightedPath(path, 4, c),
              (QList<TextRun>{{QStringLiteral("Volumes/Media/Day1/clip.mov"), c, true}}));
    EXPECT_EQ(highlightedPath(path, 9, c), highlightedPath(path, 4, c));
    EXPECT_EQ(highlightedPath(path, 0, c), (QList<TextRun>{{path, Color::withOpacity(c, 0.6), false}}));
    EXPECT_EQ(highlightedPath(path, -3, c), highlightedPath(path, 0, c));
    // Doubled and trailing slashes make no empty components.
    EXPECT_EQ(highlightedPath(QStringLiteral("//Volumes//Media/clip.mov/"), 1, c),
              (QList<TextRun>{{QStringLiteral("/Volumes/Media/"), Color::withOpacity(c, 0.4), false},
                              {QStringLiteral("clip.mov"), c, true}}));
    EXPECT_EQ(highlightedPath(QStringLiteral("/"), 1, c),
              (QList<TextRun>{{QStringLiteral("/"), Color::withOpacity(c, 0.6), false}}));
}

TEST(ViewHelpers, PresetRulesAddIgnorePatternsInButtonOrder) {
    QStringList added;
    for (int i = 0; i < 4; ++i)
        applyPresetRule(i, [&](const QString& pattern) { added.append(pattern); });
    EXPECT_EQ(added, (QStringList{"stringout", "dailies", "sync"}));
}

TEST(ViewHelpers, OfflineGroupsSortCandidatesStablyBestFirstWithNewIds) {
    auto match = [](const QString& path, double score) {
        ScoredMatch m;
        m.foundPath = path;
        m.matchScore.score = score;
        return m;
    };
    const QHash<QString, QList<ScoredMatch>> byPath{
        {QStringLiteral("/lost/a.mov"), {match("first", 0.5), match("best", 0.9), match("second", 0.5)}}};
    const auto groups = OfflineMatchGroup::groups(byPath);
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups[0].offlineFilePath, QStringLiteral("/lost/a.mov"));
    QStringList order;
    for (const auto& c : groups[0].candidates)
        order.append(c.foundPath);
    EXPECT_EQ(order, (QStringList{"best", "first", "second"}));
    EXPECT_NE(OfflineMatchGroup::groups(byPath)[0].id, groups[0].id);
    EXPECT_TRUE(OfflineMatchGroup::groups({}).isEmpty());
}

TEST(ViewHelpers, DiscoveredProjectsSortByPlainComparisonUpperCaseFirst) {
    auto project = [](const QString& name) {
        DiscoveredProject p;
        p.fileName = name;
        return p;
    };
    const auto list = discoveredProjectList(
        {{QStringLiteral("/work"), {project("b.prproj"), project("B.prproj"), project("a.prproj")}}});
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].directory, QStringLiteral("/work"));
    QStringList names;
    for (const auto& p : list[0].projects)
        names.append(p.fileName);
    EXPECT_EQ(names, (QStringList{"B.prproj", "a.prproj", "b.prproj"}));
    EXPECT_TRUE(discoveredProjectList({}).isEmpty());
}
