#include "platform/Appcast.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

const QByteArray feed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Tarnwick</title>
    <item>
      <title>Version 1.9</title>
      <link>https://tarnwick.app/download/1.9</link>
      <sparkle:version>190</sparkle:version>
      <sparkle:shortVersionString>1.9</sparkle:shortVersionString>
      <enclosure url="https://tarnwick.app/files/1.9.tar.gz" length="10" type="application/octet-stream"/>
    </item>
    <item>
      <title>Version 1.10</title>
      <enclosure url="https://tarnwick.app/files/1.10.tar.gz" sparkle:version="1100" sparkle:shortVersionString="1.10"/>
    </item>
    <item><title>No version at all</title><link>https://tarnwick.app/x</link></item>
  </channel>
</rss>)";

} // namespace

TEST(Appcast, ReadsVersionsFromElementsOrEnclosureAttributes) {
    const auto result = parseAppcast(feed);
    EXPECT_TRUE(result.errorText.isEmpty());
    ASSERT_EQ(result.items.size(), 2);
    EXPECT_EQ(result.items[0].shortVersion, QStringLiteral("1.9"));
    EXPECT_EQ(result.items[0].version, QStringLiteral("190"));
    EXPECT_EQ(result.items[0].downloadPage, QUrl("https://tarnwick.app/download/1.9"));
    EXPECT_EQ(result.items[1].shortVersion, QStringLiteral("1.10"));
    EXPECT_EQ(result.items[1].downloadPage, QUrl("https://tarnwick.app/files/1.10.tar.gz"));
}

TEST(Appcast, NewestItemComparesVersionsNumerically) {
    const auto newest = newestItem(parseAppcast(feed).items);
    ASSERT_TRUE(newest.has_value());
    EXPECT_EQ(newest->comparableVersion(), QStringLiteral("1.10"));
    EXPECT_FALSE(newestItem({}).has_value());
}

TEST(Appcast, ComparesDottedVersions) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {{"1.10", "1.9", 1}, {"1.2", "1.2.0", 0},   {"0.1.0", "0.1.1", -1},
                          {"2", "10", -1},    {"1.0b2", "1.0b1", 1}, {" 3.0 ", "3", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(compareVersions(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.expected)
            << c.a << " vs " << c.b;
}

TEST(Appcast, BrokenFeedReportsAnError) {
    const auto result = parseAppcast("<rss><channel><item><title>1.0</title>");
    EXPECT_TRUE(result.items.isEmpty());
    EXPECT_FALSE(result.errorText.isEmpty());
    EXPECT_TRUE(parseAppcast("not xml").items.isEmpty());
}

TEST(Appcast, OffersOnlyWebPagesAsDownloadLinks) {
    struct Case {
        const char* link;
        const char* enclosure;
        const char* expected;
    };
    const Case cases[] = {
        {"file:///etc/passwd", "https://tarnwick.app/f.tar.gz", "https://tarnwick.app/f.tar.gz"},
        {"javascript:alert(1)", "", ""},
        {"/download", "smb://nas/share/f.tar.gz", ""},
        {"HTTPS://tarnwick.app/get", "", "https://tarnwick.app/get"},
        {"", "http://tarnwick.app/f.tar.gz", "http://tarnwick.app/f.tar.gz"},
    };
    for (const auto& c : cases) {
        const QByteArray xml = "<rss><channel><item><link>" + QByteArray(c.link) +
                               "</link><version>2.0</version><enclosure url=\"" + QByteArray(c.enclosure) +
                               "\"/></item></channel></rss>";
        const auto result = parseAppcast(xml);
        ASSERT_EQ(result.items.size(), 1) << c.link;
        EXPECT_EQ(result.items[0].downloadPage, QUrl(QString::fromLatin1(c.expected))) << c.link;
    }
}
