#include "ui/preview/ClipKind.h"

#include "model/MediaFile.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace tarnwick;

namespace {

MediaFile file(const QString& path, MediaFileStatus status = MediaFileStatus::online) {
    MediaFile media;
    media.path = path;
    media.status = status;
    return media;
}

QUrl plain(const QString& path) {
    return QUrl::fromLocalFile(path);
}

auto existing(QSet<QString> paths) {
    return [paths](const QString& path) { return paths.contains(path); };
}

} // namespace

TEST(ClipKind, ExtensionSetsAndKinds) {
    EXPECT_EQ(clipVideoExtensions().size(), 11);
    EXPECT_EQ(clipImageExtensions().size(), 16);
    EXPECT_EQ(clipAudioExtensions().size(), 8);
    EXPECT_EQ(mediaKind(file("/m/A.MOV")), ClipKind::video);
    EXPECT_EQ(mediaKind(file("/m/a.dng")), ClipKind::image); // camera raw elsewhere, a still here
    EXPECT_EQ(mediaKind(file("/m/a.flac")), ClipKind::audio);
    EXPECT_EQ(mediaKind(file("/m/a.prproj")), ClipKind::other);
    EXPECT_EQ(mediaKind(file("/m/noextension")), ClipKind::other);
    MediaFile proxied = file("/m/a.wav");
    proxied.proxyPath = "/m/Proxies/a.mov";
    EXPECT_EQ(mediaKind(proxied), ClipKind::video);
}

TEST(ClipKind, ProxyThatExistsIsPlayedWhateverTheStatus) {
    MediaFile offline = file("/m/a.wav", MediaFileStatus::offline);
    offline.proxyPath = "/m/Proxies/a.mov";
    EXPECT_EQ(playableVideoURL(offline, plain, existing({"/m/Proxies/a.mov"})), plain("/m/Proxies/a.mov"));
    EXPECT_EQ(playableAudioURL(offline, plain, existing({"/m/Proxies/a.mov"})), plain("/m/Proxies/a.mov"));
    // A missing proxy falls back to the status and extension rules.
    EXPECT_EQ(playableVideoURL(offline, plain, existing({})), std::nullopt);
    MediaFile online = file("/m/a.mov");
    online.proxyPath = "/m/Proxies/gone.mov";
    EXPECT_EQ(playableVideoURL(online, plain, existing({})), plain("/m/a.mov"));
}

TEST(ClipKind, MatchedPathDecidesVideoButPathDecidesAudio) {
    MediaFile matched = file("/old/a.wav", MediaFileStatus::matching);
    matched.matchedPath = "/new/a.mov";
    EXPECT_EQ(playableVideoURL(matched, plain, existing({})), plain("/new/a.mov"));
    MediaFile sound = file("/old/a.wav", MediaFileStatus::matching);
    sound.matchedPath = "/new/a.bin";
    EXPECT_EQ(playableVideoURL(sound, plain, existing({})), std::nullopt);
    EXPECT_EQ(playableAudioURL(sound, plain, existing({})), plain("/new/a.bin"));
    MediaFile notSound = file("/old/a.bin", MediaFileStatus::matching);
    notSound.matchedPath = "/new/a.wav";
    EXPECT_EQ(playableAudioURL(notSound, plain, existing({})), std::nullopt);
}

TEST(ClipKind, FilesNotOnDiskHaveNoPlayableURL) {
    for (MediaFileStatus status :
         {MediaFileStatus::moved, MediaFileStatus::offline, MediaFileStatus::inRecycleBin}) {
        EXPECT_EQ(playableVideoURL(file("/m/a.mov", status), plain, existing({})), std::nullopt);
        EXPECT_EQ(playableAudioURL(file("/m/a.wav", status), plain, existing({})), std::nullopt);
    }
    EXPECT_EQ(playableVideoURL(file("/m/a.mov", MediaFileStatus::transcoded), plain, existing({})),
              plain("/m/a.mov"));
    EXPECT_EQ(playableAudioURL(file("/m/a.png"), plain, existing({})), std::nullopt);
}
